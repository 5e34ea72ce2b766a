#include "sim/simulated_analyser.hpp"

#include <fcntl.h>
#include <fmt/format.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <utility>

#include "scan/measurement_time.hpp"

namespace sparvik::sim {

namespace {

[[noreturn]] void fail(const char* what) {
  throw std::runtime_error(fmt::format("simulated analyser: {}: {}", what, std::strerror(errno)));
}

std::vector<std::string> split_words(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ') ++j;
    if (j > i) words.emplace_back(line.substr(i, j - i));
    i = j;
  }
  return words;
}

std::optional<std::uint64_t> parse_number(const std::string& word) {
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (ec != std::errc{} || end != word.data() + word.size()) return std::nullopt;
  return value;
}

constexpr std::string_view kThreads =
    "stklimit|   stack|stk free|    addr|refs|prio|    state|        name\r\n"
    "20000200|2000054C|00000128|20001A48|   0| 128|  CURRENT|           main\r\n"
    "20001B70|20001C0C|00000044|20001C70|   0|   1|    READY|           idle\r\n"
    "20001CC8|20002364|000001F4|200023A8|   0| 127|   QUEUED|          sweep\r\n";

// The smaller model's most points for "scan".
constexpr std::uint64_t kScanPointsLimit = 290;
// How long the v1.4-222 shell lets a measurement run before it takes the next line.
constexpr std::chrono::seconds kNextLineTakenAfter{5};
// Longer than any test runs, and short enough that a deadline from it stays within the clock.
constexpr double kLongestMeasurementMicros = 365.0 * 24 * 3600 * 1e6;
// How often the serving loop looks at the line while it waits for input: the bounds of each
// exchange's moments are this far apart when the thread runs on time.
constexpr int kLookEveryMs = 1;

}  // namespace

std::uint16_t default_level(std::size_t point_index) {
  // -90 dBm floor with a ripple of up to 1 dBm, and a -30 dBm peak every 97 points.
  if (point_index % 97 == 48) return static_cast<std::uint16_t>((128 - 30) * 32);
  return static_cast<std::uint16_t>((128 - 90) * 32 + (point_index * 7) % 32);
}

SimulatedAnalyser::SimulatedAnalyser(Private, SimConfig config) : config_(std::move(config)) {}

std::unique_ptr<SimulatedAnalyser> SimulatedAnalyser::start(SimConfig config) {
  // Owned from here on, so a failure below closes whatever was opened.
  auto sim = std::make_unique<SimulatedAnalyser>(Private{}, std::move(config));

  sim->master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (sim->master_ < 0) fail("posix_openpt");
  if (::grantpt(sim->master_) != 0) fail("grantpt");
  if (::unlockpt(sim->master_) != 0) fail("unlockpt");
  char name[128];
  if (::ptsname_r(sim->master_, name, sizeof name) != 0) fail("ptsname_r");
  sim->port_path_ = name;

  // Our own slave descriptor stays open for the simulator's life: while it is open the master
  // never sees a hang-up between the tested code's opens, and the raw settings persist.
  sim->slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (sim->slave_ < 0) fail("open slave");
  termios tio{};
  if (::tcgetattr(sim->slave_, &tio) != 0) fail("tcgetattr");
  ::cfmakeraw(&tio);
  if (::tcsetattr(sim->slave_, TCSANOW, &tio) != 0) fail("tcsetattr");

  int flags = ::fcntl(sim->master_, F_GETFL);
  if (flags < 0 || ::fcntl(sim->master_, F_SETFL, flags | O_NONBLOCK) != 0) fail("fcntl");
  sim->wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (sim->wake_ < 0) fail("eventfd");

  if (!sim->config_.record_file.empty()) {
    sim->record_fd_ = ::open(sim->config_.record_file.c_str(),
                             O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (sim->record_fd_ < 0) fail("open record file");
  }

  // Nobody has the port's name yet, so whatever comes from the tested code comes after this.
  sim->no_input_at_ = Clock::now();
  if (sim->config_.banner && !sim->config_.silent) {
    sim->send("\r\ntinySA Shell\r\nch> ");
    sim->watching_ = 0;
    sim->unread_at_ = sim->last_write_;
  }

  sim->thread_ = std::thread([raw = sim.get()] { raw->serve(); });
  return sim;
}

SimulatedAnalyser::~SimulatedAnalyser() {
  stop();
  close_master();
  for (int fd : {slave_, wake_, record_fd_}) {
    if (fd >= 0) ::close(fd);
  }
}

void SimulatedAnalyser::stop() {
  if (!thread_.joinable()) return;
  std::uint64_t one = 1;
  // The eventfd stays readable from now on, so every pause and wait of the thread ends at once.
  [[maybe_unused]] auto ignored = ::write(wake_, &one, sizeof one);
  thread_.join();
}

void SimulatedAnalyser::hang_up() {
  stop();
  close_master();
}

void SimulatedAnalyser::close_master() {
  if (master_ < 0) return;
  ::close(master_);
  master_ = -1;
  std::lock_guard lock(mutex_);
  hung_up_ = true;
  changed_.notify_all();
}

void SimulatedAnalyser::hang_up_when_drained() {
  // Closing the master hangs the slave up, and a hang-up discards the slave's unread input: so
  // wait until the reader has taken the reply (the input queue stayed empty for two looks).
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int empty_looks = 0;
  while (empty_looks < 2 && std::chrono::steady_clock::now() < give_up) {
    const auto pending = unread_output();
    if (!pending) break;
    empty_looks = *pending == 0 ? empty_looks + 1 : 0;
    if (!pause_for(std::chrono::milliseconds(5))) break;
  }
  close_master();
  stopping_ = true;
}

std::string SimulatedAnalyser::received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

std::vector<std::string> SimulatedAnalyser::commands() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines;
  for (const auto& exchange : exchanges_) lines.push_back(exchange.command);
  return lines;
}

std::vector<Exchange> SimulatedAnalyser::exchanges() const {
  std::lock_guard lock(mutex_);
  return exchanges_;
}

std::optional<Moment> SimulatedAnalyser::banner_taken() const {
  std::lock_guard lock(mutex_);
  return banner_taken_;
}

bool SimulatedAnalyser::wait_for_received(std::string_view text,
                                          std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout,
                           [&] { return received_.find(text) != std::string::npos; });
}

bool SimulatedAnalyser::wait_for_hang_up(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return hung_up_; });
}

void SimulatedAnalyser::serve() {
  while (!stopping_ && master_ >= 0) {
    // What came while the last command ran is the shell's next input.
    handle_input();
    if (stopping_ || master_ < 0) return;
    const bool flooding = !flood_pattern_.empty();
    pollfd fds[2] = {{master_, static_cast<short>(POLLIN | (flooding ? POLLOUT : 0)), 0},
                     {wake_, POLLIN, 0}};
    // Just before it returns, a poll looks at the master once more, after the kernel has passed on
    // all that was written to the slave: when it finds nothing, what comes next was written after
    // the poll began.
    const auto looked = Clock::now();
    int ready = ::poll(fds, 2, kLookEveryMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) no_input_at_ = looked;
    if (watching_) {
      check_drained();
      if (stopping_) return;
    }
    if (ready == 0) continue;
    if (flooding && (fds[0].revents & POLLOUT)) flood_some();
    if ((fds[0].revents & POLLIN) && take_input()) continue;
    if (flooding && (fds[0].revents & (POLLHUP | POLLERR)) == 0) continue;
    // A hang-up or error without data cannot happen while our slave descriptor is open; should
    // it happen anyway, do not spin.
    if (!pause_for(std::chrono::milliseconds(10))) return;
  }
}

bool SimulatedAnalyser::take_input() {
  char buffer[512];
  const ssize_t n = ::read(master_, buffer, sizeof buffer);
  if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);
  // Taken before anything is sent back, so that a command's time is when it came: after the last
  // look that found nothing, and by now.
  const Moment at{no_input_at_, Clock::now()};
  const std::string_view bytes(buffer, static_cast<std::size_t>(n));
  {
    std::lock_guard lock(mutex_);
    received_ += bytes;
    changed_.notify_all();
  }
  if (record_fd_ >= 0) {
    [[maybe_unused]] auto ignored = ::write(record_fd_, bytes.data(), bytes.size());
  }
  queued_.push_back({std::string(bytes), at});
  return true;
}

void SimulatedAnalyser::handle_input() {
  while (!queued_.empty() && !stopping_) {
    Arrival chunk = std::move(queued_.front());
    queued_.pop_front();
    arrived_ = chunk.at;
    for (std::size_t i = 0; i < chunk.bytes.size() && !stopping_; ++i) {
      const char c = chunk.bytes[i];
      const auto byte = static_cast<std::uint8_t>(c);
      if (c == '\r') {
        std::string line = std::move(line_);
        line_.clear();
        // The rest goes back ahead of what comes while this line runs: a line after it has come
        // too, for a shell that takes the next line during a measurement.
        if (i + 1 < chunk.bytes.size()) queued_.push_front({chunk.bytes.substr(i + 1), chunk.at});
        if (!flood_pattern_.empty()) {
          record_command(line);
        } else if (config_.mute_info && split_words(line) == std::vector<std::string>{"info"}) {
          echo_.clear();
          record_command(line);
        } else {
          echo_ += "\r\n";
          send(echo_);
          echo_.clear();
          run_command(line);
        }
        break;
      }
      if (byte == 0x08 || byte == 0x7F) {
        if (!line_.empty()) {
          line_.pop_back();
          if (flood_pattern_.empty()) echo_ += "\b \b";
        }
      } else if (byte >= 0x20) {
        line_ += c;
        if (flood_pattern_.empty()) echo_ += c;
      }
    }
    if (!echo_.empty() && !stopping_) send(echo_);
    echo_.clear();
  }
}

bool SimulatedAnalyser::line_waiting() const {
  return std::ranges::any_of(queued_, [](const Arrival& arrival) {
    return arrival.bytes.find('\r') != std::string::npos;
  });
}

void SimulatedAnalyser::record_command(const std::string& line) {
  std::lock_guard lock(mutex_);
  exchanges_.push_back({line, arrived_, std::nullopt, repeat_});
  changed_.notify_all();
}

void SimulatedAnalyser::run_command(const std::string& line) {
  record_command(line);
  if (config_.silent) return;
  if (config_.command_delay.count() > 0 && !pause_for(config_.command_delay)) return;

  const auto words = split_words(line);
  if (words.empty()) {
    prompt();
    return;
  }
  const std::string& name = words.front();
  const std::vector<std::string> args(words.begin() + 1, words.end());

  if (config_.flood_after == name) {
    if (name == "scanraw") {
      send("{");
      flood_pattern_ = std::string("x\x00\x10", 3);
    } else {
      flood_pattern_ = "noise without end\r\n";
    }
    return;
  }

  if (auto it = config_.replies.find(name); it != config_.replies.end()) {
    send(it->second);
  } else if (name == "version") {
    send(config_.version + "\r\n");
  } else if (name == "info") {
    if (!config_.empty_info) {
      std::string text;
      for (const auto& info_line : config_.info) text += info_line + "\r\n";
      send(text);
    }
  } else if (name == "vbat") {
    send("4134 mV\r\n");
  } else if (name == "leveloffset") {
    send("leveloffset low 0.0\r\nleveloffset high 0.0\r\n");
  } else if (name == "usart_cfg") {
    send("Serial: 115200 baud\r\n");
  } else if (name == "threads") {
    send(kThreads);
  } else if (name == "sweep") {
    const bool numbers = !args.empty() && std::ranges::all_of(args, [](const std::string& word) {
      return parse_number(word).has_value();
    });
    if (args.empty()) {
      send(fmt::format("{} {} {}\r\n", sweep_start_, sweep_stop_, sweep_points_));
    } else if (numbers && args.size() >= 2 && args.size() <= 3) {
      sweep_start_ = *parse_number(args[0]);
      sweep_stop_ = *parse_number(args[1]);
      if (args.size() == 3) sweep_points_ = *parse_number(args[2]);
    } else if (args.size() == 2 && parse_number(args[1])) {
      const std::uint64_t value = *parse_number(args[1]);
      if (args[0] == "start") sweep_start_ = value;
      if (args[0] == "stop") sweep_stop_ = value;
      if (args[0] == "points") sweep_points_ = value;
    }
  } else if (name == "scan") {
    scan(args);
  } else if (name == "scanraw") {
    scanraw(args);
  } else if (name == "repeat") {
    set_repeat(args);
  } else if (name == "mode") {
    set_mode(args);
  } else if (name == "zero" || name == "marker" || name == "pause" || name == "resume") {
    // Accepted silently, as the device does.
  } else {
    send(name + "?\r\n");
  }
  if (stopping_) return;
  if (aborted_) {
    // The next line has taken the shell: the aborted command has no prompt.
    aborted_ = false;
    return;
  }
  if (name != "scanraw" || !config_.no_prompt_after_scanraw) prompt();
  if (name == "scanraw" && config_.hang_up_after_scanraw) {
    hang_up_when_drained();
    return;
  }
  std::lock_guard lock(mutex_);
  watching_ = exchanges_.size();
  // The reply's last byte cannot have been read before its write began.
  unread_at_ = last_write_;
}

void SimulatedAnalyser::set_repeat(const std::vector<std::string>& args) {
  const auto count = args.size() == 1 ? parse_number(args[0]) : std::nullopt;
  if (!count || *count == 0) {
    send("usage: repeat {count}\r\n");
    return;
  }
  repeat_ = *count;
}

void SimulatedAnalyser::set_mode(const std::vector<std::string>& args) {
  // A change of input resets the device's settings; of those the simulator has the repeat count.
  const bool input =
      args.size() == 2 && args[1] == "input" && (args[0] == "low" || args[0] == "high");
  if (!input || args[0] == input_) return;
  input_ = args[0];
  repeat_ = 1;
}

void SimulatedAnalyser::scan(const std::vector<std::string>& args) {
  if (args.size() < 2 || args.size() > 4 || !std::ranges::all_of(args, [](const std::string& word) {
        return parse_number(word).has_value();
      })) {
    send("usage: scan {start(Hz)} {stop(Hz)} [points] [outmask]\r\n");
    return;
  }
  if (args.size() > 2 && *parse_number(args[2]) > kScanPointsLimit) {
    send(fmt::format("sweep points exceeds range {}\r\n", kScanPointsLimit));
    return;
  }
  sweep_start_ = *parse_number(args[0]);
  sweep_stop_ = *parse_number(args[1]);
  if (args.size() > 2) sweep_points_ = *parse_number(args[2]);
  measuring_since_ = Clock::now();
  if (!measure(scan::scan_time({sweep_start_, sweep_stop_, sweep_points_, repeat_}), 1)) return;
  if (args.size() > 3 && *parse_number(args[3]) == 0) return;
  std::string text;
  const double span = static_cast<double>(sweep_stop_) - static_cast<double>(sweep_start_);
  for (std::size_t i = 0; i < sweep_points_; ++i) {
    double step = sweep_points_ > 1 ? span / static_cast<double>(sweep_points_ - 1) : 0.0;
    double frequency = static_cast<double>(sweep_start_) + static_cast<double>(i) * step;
    text += fmt::format("{:f} {:f}\r\n", frequency, raw_to_dbm(level(i)));
  }
  send(text);
}

void SimulatedAnalyser::scanraw(const std::vector<std::string>& args) {
  if (args.size() < 2 || args.size() > 3 || !parse_number(args[0]) || !parse_number(args[1]) ||
      (args.size() == 3 && !parse_number(args[2]))) {
    send("usage: scanraw {start(Hz)} {stop(Hz)} [points]\r\n");
    return;
  }
  const std::uint64_t start = *parse_number(args[0]);
  const std::uint64_t stop = *parse_number(args[1]);
  const std::uint64_t points = args.size() == 3 ? *parse_number(args[2]) : sweep_points_;
  if (start > stop) {
    send("frequency range is invalid\r\n");
    return;
  }
  if (points == 0) {
    send("scan point count is invalid\r\n");
    return;
  }
  sweep_start_ = start;
  sweep_stop_ = stop;
  sweep_points_ = points;
  const std::size_t records = config_.record_count.value_or(sweep_points_);
  const auto per_record =
      scan::scanraw_point_time({sweep_start_, sweep_stop_, sweep_points_, repeat_});

  std::string reply;
  reply.reserve(3 * records + 4);
  if (!config_.omit_brace) reply += '{';
  // The device writes after every 20th record, and the rest with the "}" at the end.
  std::vector<Block> blocks;
  blocks.reserve(records / scan::kRecordsPerBlock + 1);
  for (std::size_t i = 0; i < records; ++i) {
    std::uint16_t raw = level(i);
    reply += (config_.corrupt_record == i) ? '\r' : 'x';
    reply += static_cast<char>(raw & 0xff);
    reply += static_cast<char>(raw >> 8);
    if ((i + 1) % scan::kRecordsPerBlock == 0) {
      blocks.push_back({reply.size(), scan::kRecordsPerBlock});
    }
  }
  reply += '}';
  if (config_.line_end_after_scanraw) reply += "\r\n";
  blocks.push_back({reply.size(), records % scan::kRecordsPerBlock});
  if (config_.silent) return;

  const std::string_view all(reply);
  measuring_since_ = Clock::now();
  if (config_.scanraw_hang_up_at && *config_.scanraw_hang_up_at < all.size()) {
    if (send_scanraw_part(all, blocks, 0, *config_.scanraw_hang_up_at, per_record)) {
      hang_up_when_drained();
    }
    return;
  }
  if (config_.scanraw_stall_at && *config_.scanraw_stall_at < all.size()) {
    if (!send_scanraw_part(all, blocks, 0, *config_.scanraw_stall_at, per_record) ||
        !pause_for(config_.scanraw_stall)) {
      return;
    }
    send_scanraw_part(all, blocks, *config_.scanraw_stall_at, all.size(), per_record);
    return;
  }
  send_scanraw_part(all, blocks, 0, all.size(), per_record);
}

bool SimulatedAnalyser::send_scanraw_part(std::string_view reply, std::span<const Block> blocks,
                                          std::size_t from, std::size_t to,
                                          std::chrono::microseconds per_record) {
  std::size_t begin = 0;
  for (const Block& block : blocks) {
    const std::size_t block_begin = std::exchange(begin, block.end);
    if (block.end <= from) continue;
    if (block_begin >= to) break;
    // A block goes out once measured; the rest of one cut short by a stall was measured already.
    // Measuring no time at all still looks for a stop request, so a long reply cannot delay stop().
    if (from <= block_begin && !measure(per_record, block.records)) return false;
    const std::size_t at = std::max(from, block_begin);
    send(reply.substr(at, std::min(block.end, to) - at));
    if (stopping_) return false;
  }
  return true;
}

std::optional<int> SimulatedAnalyser::unread_output() const {
  // What the master writes reaches the slave's input queue through the kernel's own worker. A
  // poll that finds the queue empty waits for that worker first, so the count after it holds all
  // that was written and not read.
  pollfd fds{slave_, POLLIN, 0};
  if (::poll(&fds, 1, 0) < 0) return std::nullopt;
  int pending = 0;
  if (::ioctl(slave_, FIONREAD, &pending) != 0) return std::nullopt;
  return pending;
}

void SimulatedAnalyser::check_drained() {
  // Taken before the look: when it finds output unread, the reader's last read came after this.
  const auto looked = Clock::now();
  const auto pending = unread_output();
  if (!pending) return;
  if (*pending > 0) {
    unread_at_ = looked;
    return;
  }
  const Moment taken{unread_at_, Clock::now()};
  const std::size_t replies = *watching_;
  watching_.reset();
  {
    std::lock_guard lock(mutex_);
    if (replies == 0) {
      banner_taken_ = taken;
    } else {
      exchanges_[replies - 1].reply_taken = taken;
    }
    changed_.notify_all();
  }
  if (config_.hang_up_after_replies == replies) {
    close_master();
    stopping_ = true;
  }
}

void SimulatedAnalyser::flood_some() {
  std::string chunk;
  while (chunk.size() < 4096) chunk += flood_pattern_;
  chunk = chunk.substr(flood_offset_) + chunk.substr(0, flood_offset_);
  const ssize_t n = ::write(master_, chunk.data(), chunk.size());
  if (n > 0) flood_offset_ = (flood_offset_ + static_cast<std::size_t>(n)) % flood_pattern_.size();
}

void SimulatedAnalyser::prompt() {
  if (config_.split_prompt) {
    send("ch");
    if (!pause_for(config_.split_prompt_pause)) return;
    send("> ");
  } else {
    send("ch> ");
  }
}

std::uint16_t SimulatedAnalyser::level(std::size_t point_index) const {
  if (config_.level_at) return config_.level_at(point_index);
  if (!config_.levels.empty()) return config_.levels[point_index % config_.levels.size()];
  return default_level(point_index);
}

void SimulatedAnalyser::send(std::string_view bytes) {
  if (config_.silent) return;
  if (config_.chunk_size == 0) {
    write_all(bytes);
    return;
  }
  for (std::size_t at = 0; at < bytes.size() && !stopping_; at += config_.chunk_size) {
    if (at > 0 && !pause_for(config_.chunk_pause)) return;
    write_all(bytes.substr(at, config_.chunk_size));
  }
}

// Writes all of `bytes` in one write where the pty takes it, waiting for room otherwise.
void SimulatedAnalyser::write_all(std::string_view bytes) {
  if (!bytes.empty()) last_write_ = Clock::now();
  bool take = true;
  while (!bytes.empty() && master_ >= 0 && !stopping_) {
    ssize_t n = ::write(master_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return;
    // The reader is behind: wait for room or for a stop request, and keep what it sends.
    pollfd fds[2] = {{master_, static_cast<short>(POLLOUT | (take ? POLLIN : 0)), 0},
                     {wake_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) {
      stopping_ = true;
      return;
    }
    if (fds[0].revents & POLLIN) take = take_input();
  }
}

bool SimulatedAnalyser::pause_for(std::chrono::milliseconds pause) {
  return wait_until(Clock::now() + pause, false);
}

bool SimulatedAnalyser::measure(std::chrono::microseconds point, std::uint64_t points) {
  const double scale =
      std::isfinite(config_.time_scale) && config_.time_scale > 0 ? config_.time_scale : 0.0;
  const double micros = static_cast<double>(point.count()) * static_cast<double>(points) *
                        static_cast<double>(config_.slowdown) * scale;
  // Rounded up, so that a measurement never ends early.
  const auto time = std::chrono::ceil<Clock::duration>(
      std::chrono::duration<double, std::micro>(std::min(micros, kLongestMeasurementMicros)));
  return wait_until(Clock::now() + time, true);
}

bool SimulatedAnalyser::wait_until(Clock::time_point until, bool measuring) {
  const bool may_abort = measuring && config_.next_line_aborts_measurement;
  const auto line_taken_at = measuring_since_ + kNextLineTakenAfter;
  bool take = master_ >= 0;
  for (;;) {
    const bool line = may_abort && line_waiting();
    const auto wake_at = line ? std::min(until, line_taken_at) : until;
    const auto left = std::max(wake_at - Clock::now(), Clock::duration::zero());
    const auto seconds = std::chrono::floor<std::chrono::seconds>(left);
    const timespec timeout{static_cast<std::time_t>(seconds.count()),
                           static_cast<long>((left - seconds).count())};
    pollfd fds[2] = {{wake_, POLLIN, 0}, {master_, POLLIN, 0}};
    // Even a wait that is over looks for a stop request once.
    const auto looked = Clock::now();
    const int ready = ::ppoll(fds, take ? 2 : 1, &timeout, nullptr);
    if (ready < 0 && errno != EINTR) return true;
    if (ready > 0 && fds[0].revents != 0) {
      stopping_ = true;
      return false;
    }
    if (ready == 0 && take) no_input_at_ = looked;
    // An end or error without data cannot happen while our slave descriptor is open; should it
    // happen anyway, stop looking at the master instead of spinning.
    if (ready > 0 && take && fds[1].revents != 0) take = (fds[1].revents & POLLIN) && take_input();
    const auto now = Clock::now();
    if (may_abort && now >= line_taken_at && line_waiting()) {
      aborted_ = true;
      return false;
    }
    if (now >= until) return true;
  }
}

}  // namespace sparvik::sim
