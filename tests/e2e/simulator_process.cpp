#include "e2e/simulator_process.hpp"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace sparvik::e2e {

namespace {

// Reads one line from `fd`, giving up at `deadline`.
std::string read_line(int fd, std::chrono::steady_clock::time_point deadline) {
  std::string line;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd waiting{fd, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (::poll(&waiting, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
    char c = 0;
    if (::read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line.push_back(c);
  }
  return {};
}

}  // namespace

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& options,
                                   std::filesystem::path record_file)
    : record_file_(std::move(record_file)) {
  std::vector<std::string> args{SPARVIK_SIM_EXE, "--record", record_file_.string()};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, out[1]);
  const int spawned = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    pid_ = -1;
    throw std::runtime_error("cannot start " + args[0]);
  }
  pty_ = read_line(out[0], std::chrono::steady_clock::now() + std::chrono::seconds(10));
  ::close(out[0]);
  if (pty_.empty()) throw std::runtime_error("the simulator did not report its pty");
}

SimulatorProcess::~SimulatorProcess() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
}

std::string SimulatorProcess::received() const {
  std::ifstream in(record_file_, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

}  // namespace sparvik::e2e
