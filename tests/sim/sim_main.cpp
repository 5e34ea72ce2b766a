// sparvik_sim: the simulated analyser as a process, for end-to-end tests that start the real
// program in a terminal.
//
//   sparvik_sim [--link PATH] [--record FILE] [--banner] [--silent] [--empty-info]
//               [--mute-info] [--corrupt-at K] [--no-brace] [--hangup] [--records N] [--chunk N]
//               [--split-prompt] [--delay MS] [--time-scale X] [--slowdown N]
//               [--next-line-aborts-measurement] [--levels-file FILE] [--hangup-after N]
//               [--cut-at K] [--stall-at K] [--flood-after WORD] [--line-end-after-scanraw]
//               [--no-prompt-after-scanraw]
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
//   --time-scale X     measure "scan" and "scanraw" in X times the device's time (1: its pace, 0:
//                      no time at all)
//   --slowdown N       measure N times as long, as with a narrow bandwidth set on the device
//   --next-line-aborts-measurement   the v1.4-222 shell: a line sent while "scan" or "scanraw"
//                      measures aborts it after 5 s
//   --levels-file FILE raw levels (decimal, whitespace-separated), point i gets value i (cycled)
//   --hangup-after N   close the master once the replies to N commands were read (0: the banner)
//   --cut-at K         close the master after K bytes of a "scanraw" reply
//   --stall-at K       fall silent for 3.5 s after K bytes of a "scanraw" reply
//   --flood-after WORD after the echo of command WORD, send without end and never a prompt
//   --line-end-after-scanraw   "\r\n" after the closing "}" of "scanraw" replies (not the device)
//   --no-prompt-after-scanraw  no prompt after "scanraw" replies
// Exit status: 0 after a signal, 2 on bad arguments, 1 when the pty cannot be set up.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "sim/simulated_analyser.hpp"

namespace {

using sparvik::sim::SimConfig;

// The member a flag sets; its type says whether a value follows the flag and what kind.
using Member = std::variant<bool SimConfig::*, std::size_t SimConfig::*,
                            std::optional<std::size_t> SimConfig::*,
                            std::chrono::milliseconds SimConfig::*, double SimConfig::*,
                            std::string SimConfig::*, std::optional<std::string> SimConfig::*>;

struct Flag {
  std::string_view name;
  Member member;
};

const Flag kFlags[] = {
    {"--record", &SimConfig::record_file},
    {"--banner", &SimConfig::banner},
    {"--silent", &SimConfig::silent},
    {"--empty-info", &SimConfig::empty_info},
    {"--mute-info", &SimConfig::mute_info},
    {"--corrupt-at", &SimConfig::corrupt_record},
    {"--no-brace", &SimConfig::omit_brace},
    {"--hangup", &SimConfig::hang_up_after_scanraw},
    {"--records", &SimConfig::record_count},
    {"--chunk", &SimConfig::chunk_size},
    {"--split-prompt", &SimConfig::split_prompt},
    {"--delay", &SimConfig::command_delay},
    {"--time-scale", &SimConfig::time_scale},
    {"--slowdown", &SimConfig::slowdown},
    {"--next-line-aborts-measurement", &SimConfig::next_line_aborts_measurement},
    {"--hangup-after", &SimConfig::hang_up_after_replies},
    {"--cut-at", &SimConfig::scanraw_hang_up_at},
    {"--stall-at", &SimConfig::scanraw_stall_at},
    {"--flood-after", &SimConfig::flood_after},
    {"--line-end-after-scanraw", &SimConfig::line_end_after_scanraw},
    {"--no-prompt-after-scanraw", &SimConfig::no_prompt_after_scanraw},
};

std::optional<std::size_t> parse_count(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  char* end = nullptr;
  const std::size_t n = std::strtoull(text, &end, 10);
  if (*end != '\0') return std::nullopt;
  return n;
}

// A finite factor of at least 0.
std::optional<double> parse_factor(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  char* end = nullptr;
  const double x = std::strtod(text, &end);
  if (*end != '\0' || !std::isfinite(x) || x < 0) return std::nullopt;
  return x;
}

// Sets `member` from the flag's value (none for a bool); false when the value is missing or bad.
bool set(SimConfig& config, const Member& member, const char* value) {
  return std::visit(
      [&](auto field) {
        auto& target = config.*field;
        using T = std::remove_reference_t<decltype(target)>;
        if constexpr (std::is_same_v<T, bool>) {
          target = true;
          return true;
        } else if constexpr (std::is_same_v<T, double>) {
          const auto x = parse_factor(value);
          if (!x) return false;
          target = *x;
          return true;
        } else if constexpr (std::is_same_v<T, std::string> ||
                             std::is_same_v<T, std::optional<std::string>>) {
          if (value == nullptr) return false;
          target = value;
          return true;
        } else {
          const auto n = parse_count(value);
          if (!n) return false;
          target = T(*n);
          return true;
        }
      },
      member);
}

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
  SimConfig config;
  std::string link;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--link" && value) {
      link = argv[++i];
      continue;
    }
    if (arg == "--levels-file") {
      if (!value || !read_levels(argv[++i], config.levels)) return usage("unreadable levels file");
      continue;
    }
    const auto flag = std::ranges::find(kFlags, arg, &Flag::name);
    if (flag == std::end(kFlags) || !set(config, flag->member, value)) {
      return usage(std::string("bad argument ") + std::string(arg));
    }
    if (!std::holds_alternative<bool SimConfig::*>(flag->member)) ++i;
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
