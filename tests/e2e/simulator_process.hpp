// The simulated analyser as a separate process (build/sparvik_sim), for runs of the real program:
// started with its command-line options, its pty path read from its first line of output, and
// stopped with SIGTERM when the object goes.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace sparvik::e2e {

class SimulatorProcess {
 public:
  // Starts the simulator with `options` (see tests/sim/sim_main.cpp), recording what it receives
  // into `record_file`. Throws std::runtime_error when it does not come up within a few seconds.
  SimulatorProcess(const std::vector<std::string>& options, std::filesystem::path record_file);
  ~SimulatorProcess();
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;

  // The pty slave, e.g. "/dev/pts/5".
  const std::string& pty() const { return pty_; }
  // Everything received so far, exactly as written by the program.
  std::string received() const;

 private:
  pid_t pid_ = -1;
  std::string pty_;
  std::filesystem::path record_file_;
};

}  // namespace sparvik::e2e
