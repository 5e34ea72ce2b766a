// sparvik_sim: the simulated analyser as a process, for end-to-end tests that start the real
// program in a terminal.
//
//   sparvik_sim [--link PATH] [--record FILE] [--banner] [--silent] [--empty-info]
//               [--mute-info] [--corrupt-at K] [--no-brace] [--hangup] [--records N] [--chunk N]
//               [--split-prompt] [--delay MS] [--scan-ms MS] [--levels-file FILE]
//               [--hangup-after N] [--cut-at K] [--stall-at K] [--flood-after WORD]
//               [--block-ms MS] [--line-end-after-scanraw] [--no-prompt-after-scanraw]
//
// Prints the pty's slave path (e.g. "/dev/pts/5") and a line feed on standard output once it is
// serving, then runs until SIGTERM or SIGINT.
//   --link PATH        also make PATH a symlink to the slave (replaced if present, removed at exit)
//   --record FILE      append every received byte to FILE as it arrives (truncated at start)
//   --banner           leave "\r\ntinySA Shell\r\nch> " pending before anyone opens the port
//   --silent           never answer anything
//   --empty-info       answer "info" with the prompt alone
//   --mute-info        give "info" no answer at all: no echo, no output, no prompt
//   --corrupt-at K     in "scanraw" replies, record K's 'x' becomes '\r'
//   --no-brace         "scanraw" replies lack the opening '{'
//   --hangup           close the master after the first "scanraw" reply has been read
//   --records N        send N records in "scanraw" replies whatever was asked
//   --chunk N          every write cut into N-byte pieces with short pauses
//   --split-prompt     the prompt goes out as "ch" and "> " in two writes
//   --delay MS         pause before each command's output
//   --scan-ms MS       how long "scan" takes
//   --levels-file FILE raw levels (decimal, whitespace-separated), point i gets value i (cycled)
//   --hangup-after N   close the master once the replies to N commands were read (0: the banner)
//   --cut-at K         close the master after K bytes of a "scanraw" reply
//   --stall-at K       fall silent for 3.5 s after K bytes of a "scanraw" reply
//   --flood-after WORD after the echo of command WORD, send without end and never a prompt
//   --block-ms MS      how long each block of 20 "scanraw" records takes to measure
//   --line-end-after-scanraw   "\r\n" after the closing "}" of "scanraw" replies (not the device)
//   --no-prompt-after-scanraw  no prompt after "scanraw" replies
// Exit status: 0 after a signal, 2 on bad arguments, 1 when the pty cannot be set up.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "sim/simulated_analyser.hpp"

namespace {

int usage(std::string_view why) {
  std::cerr << "sparvik_sim: " << why << "\n(see the comment at the top of sim_main.cpp)\n";
  return 2;
}

bool read_levels(const std::string& path, std::vector<std::uint16_t>& levels) {
  std::ifstream in(path);
  if (!in) return false;
  unsigned long value = 0;
  while (in >> value) {
    if (value > 0xffff) return false;
    levels.push_back(static_cast<std::uint16_t>(value));
  }
  return in.eof() && !levels.empty();
}

}  // namespace

int main(int argc, char** argv) {
  sparvik::sim::SimConfig config;
  std::string link;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    auto number = [&](std::size_t& out) {
      const char* text = value();
      if (!text) return false;
      char* end = nullptr;
      out = std::strtoull(text, &end, 10);
      return *text != '\0' && *end == '\0';
    };
    std::size_t n = 0;
    if (arg == "--banner")
      config.banner = true;
    else if (arg == "--silent")
      config.silent = true;
    else if (arg == "--empty-info")
      config.empty_info = true;
    else if (arg == "--mute-info")
      config.mute_info = true;
    else if (arg == "--no-brace")
      config.omit_brace = true;
    else if (arg == "--hangup")
      config.hang_up_after_scanraw = true;
    else if (arg == "--split-prompt")
      config.split_prompt = true;
    else if (arg == "--line-end-after-scanraw")
      config.line_end_after_scanraw = true;
    else if (arg == "--no-prompt-after-scanraw")
      config.no_prompt_after_scanraw = true;
    else if (arg == "--block-ms" && number(n))
      config.scanraw_block_pause = std::chrono::milliseconds(n);
    else if (arg == "--corrupt-at" && number(n))
      config.corrupt_record = n;
    else if (arg == "--records" && number(n))
      config.record_count = n;
    else if (arg == "--chunk" && number(n))
      config.chunk_size = n;
    else if (arg == "--delay" && number(n))
      config.command_delay = std::chrono::milliseconds(n);
    else if (arg == "--scan-ms" && number(n))
      config.scan_duration = std::chrono::milliseconds(n);
    else if (arg == "--hangup-after" && number(n))
      config.hang_up_after_replies = n;
    else if (arg == "--cut-at" && number(n))
      config.scanraw_hang_up_at = n;
    else if (arg == "--stall-at" && number(n))
      config.scanraw_stall_at = n;
    else if (arg == "--flood-after" && value())
      config.flood_after = argv[i];
    else if (arg == "--link" && value())
      link = argv[i];
    else if (arg == "--record" && value())
      config.record_file = argv[i];
    else if (arg == "--levels-file") {
      const char* path = value();
      if (!path || !read_levels(path, config.levels)) return usage("unreadable levels file");
    } else {
      return usage(std::string("bad argument ") + std::string(arg));
    }
  }

  // Block the stop signals before the serving thread exists, so only sigwait() sees them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  std::unique_ptr<sparvik::sim::SimulatedAnalyser> sim;
  try {
    sim = sparvik::sim::SimulatedAnalyser::start(config);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  if (!link.empty()) {
    ::unlink(link.c_str());
    if (::symlink(sim->port_path().c_str(), link.c_str()) != 0) {
      std::perror("sparvik_sim: symlink");
      return 1;
    }
  }
  std::cout << sim->port_path() << std::endl;

  int signal = 0;
  sigwait(&stop_signals, &signal);
  sim->stop();
  if (!link.empty()) ::unlink(link.c_str());
  return 0;
}
