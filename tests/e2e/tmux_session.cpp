#include "e2e/tmux_session.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace sparvik::e2e {

std::string run_shell(const std::string& command, int* status) {
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("popen failed: " + command);
  std::string out;
  std::array<char, 4096> chunk{};
  std::size_t n = 0;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) out.append(chunk.data(), n);
  const int raw = ::pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

std::string shell_quote(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  out += "'";
  return out;
}

namespace {
std::string unique_socket_name() {
  static std::atomic<int> counter{0};
  return "sparvik-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}
}  // namespace

TmuxSession::TmuxSession(const std::string& command, int width, int height)
    : socket_(unique_socket_name()) {
  int status = 0;
  tmux("-f /dev/null new-session -d -s main -x " + std::to_string(width) + " -y " +
           std::to_string(height) + " " + shell_quote(command),
       &status);
  if (status != 0) throw std::runtime_error("tmux new-session failed");
  // Keep the pane after the program ends, so its last screen and exit can be read.
  tmux("set-option -t main remain-on-exit on");
}

TmuxSession::~TmuxSession() {
  tmux("kill-server");
}

std::string TmuxSession::tmux(const std::string& arguments, int* status) const {
  return run_shell("tmux -u -L " + socket_ + " " + arguments + " 2>/dev/null", status);
}

void TmuxSession::send_keys(const std::vector<std::string>& keys) const {
  std::string args = "send-keys -t main";
  for (const auto& key : keys) {
    // Appended piece by piece: g++ 12 at -O3 misreads "literal" + std::string&& as overlapping.
    args += ' ';
    args += shell_quote(key);
  }
  tmux(args);
}

std::vector<std::string> TmuxSession::lines() const {
  std::istringstream in(screen());
  std::vector<std::string> rows;
  for (std::string row; std::getline(in, row);) {
    row.erase(row.find_last_not_of(' ') + 1);
    rows.push_back(row);
  }
  return rows;
}

std::string TmuxSession::screen() const {
  return tmux("capture-pane -p -t main");
}

void TmuxSession::pipe_output_to(const std::string& file) const {
  tmux("pipe-pane -o -t main " + shell_quote("cat >> " + shell_quote(file)));
}

std::string TmuxSession::pane_format(std::string_view format) const {
  std::string out = tmux("display-message -p -t main " + shell_quote(format));
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

bool TmuxSession::wait_until(const std::function<bool(const std::string&)>& ready,
                             std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    if (ready(screen())) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (std::chrono::steady_clock::now() < deadline);
  return ready(screen());
}

bool TmuxSession::wait_for_text(std::string_view text, std::chrono::milliseconds timeout) const {
  return wait_until([&](const std::string& s) { return s.find(text) != std::string::npos; },
                    timeout);
}

}  // namespace sparvik::e2e
