#include "e2e/program_run.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <system_error>

namespace sparvik::e2e {

namespace fs = std::filesystem;

namespace {

// A sysfs entry through a USB device: the enumeration takes such a tty for a real port.
std::string sysfs_link_command(std::string_view device_path) {
  const std::string name = fs::path(device_path).filename().string();
  return "ln -s ../../devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/tty/" + name +
         " /sys/class/tty/" + name;
}

constexpr std::string_view done_marker = "STTY-DONE";

}  // namespace

std::optional<std::string> ProgramRun::unavailable() {
  if (::geteuid() != 0) return "needs root for a private mount namespace";
  int status = 0;
  run_shell("command -v tmux >/dev/null 2>&1", &status);
  if (status != 0) return "tmux is not installed";
  run_shell(
      "unshare -m --propagation private sh -c 'mount -t tmpfs tmpfs /sys/class/tty' "
      ">/dev/null 2>&1",
      &status);
  if (status != 0) return "unshare -m with a tmpfs on /sys/class/tty does not work here";
  return std::nullopt;
}

ProgramRun::ProgramRun() : dir_("sparvik-e2e") {}

ProgramRun::~ProgramRun() {
  pane_.reset();  // ends the program before its directory goes
}

void ProgramRun::write_file(std::string_view name, std::string_view text) const {
  std::ofstream out(dir_.path() / name, std::ios::binary);
  out << text;
}

std::optional<std::string> ProgramRun::read_file(std::string_view name) const {
  std::ifstream in(dir_.path() / name, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

std::vector<std::string> ProgramRun::files_like(std::string_view prefix,
                                                std::string_view suffix) const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_.path())) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix) && name.ends_with(suffix)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void ProgramRun::start(const Launch& launch, int width, int height) {
  std::string script = "set -e; mount -t tmpfs tmpfs /sys/class/tty";
  // The newest entry is listed first.
  for (auto port = launch.ports.rbegin(); port != launch.ports.rend(); ++port) {
    script += "; " + sysfs_link_command(*port);
  }
  if (!launch.analyser_pty.empty()) {
    script += "; mount --bind " + shell_quote(launch.analyser_pty) + " /dev/ttyS0";
  }
  for (const auto& command : launch.setup) script += "; " + command;
  script += "; cd " + shell_quote((dir_.path() / launch.working_subdir).string());
  // The shell's own process id is the program's once it execs.
  script += "; echo $$ >" + shell_quote((dir_.path() / pid_file).string());
  script += "; exec " + shell_quote(SPARVIK_EXE);
  if (!launch.stderr_on_screen) {
    script += " 2>" + shell_quote((dir_.path() / "stderr.txt").string());
  }
  if (!launch.redirections.empty()) script += " " + launch.redirections;

  const std::string command =
      "stty -g >" + shell_quote((dir_.path() / tty_before_file).string()) +
      "; unshare -m --propagation private sh -c " + shell_quote(script) +
      "; echo \"EXIT=$?\"; stty -g >" + shell_quote((dir_.path() / tty_after_file).string()) +
      "; stty -a; echo " + std::string(done_marker) + "; exec sleep 1000000";
  pane_ = std::make_unique<TmuxSession>(command, width, height);
}

bool ProgramRun::wait_for_text(std::string_view text, std::chrono::milliseconds timeout) const {
  return pane_->wait_for_text(text, timeout);
}

std::optional<int> ProgramRun::wait_for_exit(std::chrono::milliseconds timeout) {
  if (!pane_->wait_for_text(done_marker, timeout)) return std::nullopt;
  final_screen_ = pane_->screen();
  std::smatch match;
  if (!std::regex_search(final_screen_, match, std::regex("EXIT=([0-9]+)"))) return std::nullopt;
  const int status = std::stoi(match[1].str());

  const std::size_t from = static_cast<std::size_t>(match.position(0) + match.length(0));
  const std::size_t to = final_screen_.find(done_marker, from);
  std::istringstream words(final_screen_.substr(from, to - from));
  tty_flags_.clear();
  for (std::string word; words >> word;) {
    while (!word.empty() && word.back() == ';') word.pop_back();
    tty_flags_.insert(word);
  }
  return status;
}

void ProgramRun::send_signal(int signal) const {
  const std::optional<std::string> pid = read_file(pid_file);
  ASSERT_TRUE(pid && !pid->empty()) << "the program never started";
  ASSERT_EQ(::kill(static_cast<pid_t>(std::stol(*pid)), signal), 0) << std::strerror(errno);
}

std::string ProgramRun::program_stderr() const {
  return read_file("stderr.txt").value_or("");
}

std::string ProgramRun::log_text() const {
  const auto logs = files_like("sparvik_", ".log");
  if (logs.size() != 1) {
    ADD_FAILURE() << "expected one log file, found " << logs.size();
    return {};
  }
  return read_file(logs.front()).value_or("");
}

}  // namespace sparvik::e2e
