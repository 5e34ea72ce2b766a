// The termios port against a pseudo-terminal with the simulated analyser on the other end.
#include "platform/serial/serial_port.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/serial/line_rate.hpp"
#include "sim/port_talk.hpp"
#include "sim/simulated_analyser.hpp"
#include "support/temp_dir.hpp"

namespace sparvik::serial {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test_support::TempDir;

std::unique_ptr<Port> open_or_fail(const std::string& path, PortSettings settings = {}) {
  auto port = open_port(path, settings);
  EXPECT_TRUE(port.has_value()) << (port ? "" : port.error().debug());
  return port ? std::move(*port) : nullptr;
}

std::size_t open_descriptor_count() {
  return static_cast<std::size_t>(std::distance(
      std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator{}));
}

class EveryRate : public testing::TestWithParam<std::uint32_t> {};

TEST_P(EveryRate, OpensAtTheRateAndTalks) {
  auto sim = sim::SimulatedAnalyser::start();
  // The line really carries the rate: ask the kernel through a descriptor of our own, opened
  // first since the port refuses later opens.
  int probe = ::open(sim->port_path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(probe, 0);
  auto port = open_or_fail(sim->port_path(), {.baudrate = GetParam()});
  ASSERT_TRUE(port);
  auto rate = detail::read_line_rate(probe);
  ::close(probe);
  ASSERT_TRUE(rate.has_value());
  EXPECT_EQ(rate->output, GetParam());
  EXPECT_EQ(rate->input, GetParam());

  ASSERT_TRUE(sim::write_text(*port, "version\r"));
  EXPECT_EQ(sim::read_until(*port, "ch> "), "version\r\ntinySA_v1.4-143-g864bb27\r\nch> ");
  EXPECT_EQ(sim->received(), "version\r");
}

INSTANTIATE_TEST_SUITE_P(TenRates, EveryRate,
                         testing::Values(19200, 38400, 57600, 115200, 230400, 460800, 921600,
                                         1843200, 2000000, 3000000),
                         [](const auto& rate) { return std::to_string(rate.param); });

TEST(OpenPort, MissingDeviceGivesTheSystemsMessage) {
  TempDir dir("sparvik-serial");
  auto port = open_port((dir.path() / "ttyACM9").string(), {});
  ASSERT_FALSE(port.has_value());
  EXPECT_EQ(port.error().kind, SerialErrorKind::NoDevice);
  EXPECT_EQ(port.error().description, "No such file or directory");
  EXPECT_EQ(port.error().code, ENOENT);
  EXPECT_EQ(port.error().debug(),
            "Error { kind: NoDevice, description: \"No such file or directory\" }");
}

TEST(OpenPort, FailuresCloseTheDescriptor) {
  TempDir dir("sparvik-serial");
  const auto not_a_terminal = dir.path() / "plain-file";
  std::ofstream(not_a_terminal) << "x";
  const std::size_t before = open_descriptor_count();
  for (int i = 0; i < 20; ++i) {
    auto port = open_port(not_a_terminal.string(), {});
    ASSERT_FALSE(port.has_value());
    EXPECT_EQ(port.error().kind, SerialErrorKind::Io);
    EXPECT_EQ(port.error().code, ENOTTY);
    EXPECT_EQ(port.error().description, std::strerror(ENOTTY));
  }
  EXPECT_EQ(open_descriptor_count(), before);
}

TEST(OpenPort, ZeroRateIsRefused) {
  auto sim = sim::SimulatedAnalyser::start();
  auto port = open_port(sim->port_path(), {.baudrate = 0});
  ASSERT_FALSE(port.has_value());
  EXPECT_EQ(port.error().kind, SerialErrorKind::InvalidInput);
}

TEST(OpenPort, IsRefusedWhileAnotherHoldsTheLine) {
  auto sim = sim::SimulatedAnalyser::start();
  const auto expect_in_use = [&] {
    auto second = open_port(sim->port_path(), {});
    ASSERT_FALSE(second.has_value());
    EXPECT_EQ(second.error().debug(),
              "Error { kind: Io(Other), description: \"The port is in use by another "
              "program\" }");
  };
  // The superuser may open a device in exclusive mode, so the mode is read, not tried.
  int probe = ::open(sim->port_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(probe, 0);
  const auto exclusive = [&] {
    int on = -1;
    EXPECT_EQ(::ioctl(probe, TIOCGEXCL, &on), 0);
    return on;
  };
  {
    auto first = open_or_fail(sim->port_path());
    ASSERT_TRUE(first);
    EXPECT_EQ(exclusive(), 1);
    expect_in_use();
  }
  EXPECT_EQ(exclusive(), 0);
  ::close(probe);
  {
    // Another serial tool's lock, on a descriptor of its own.
    int other = ::open(sim->port_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    expect_in_use();
    ::close(other);
  }
  // Closing the port gives the line back.
  EXPECT_TRUE(open_or_fail(sim->port_path()));
}

TEST(OpenPort, KeepsInputThatWasPendingBeforeTheOpen) {
  auto sim = sim::SimulatedAnalyser::start({.banner = true});
  auto port = open_or_fail(sim->port_path());
  ASSERT_TRUE(port);
  EXPECT_EQ(sim::read_until(*port, "ch> "), "\r\ntinySA Shell\r\nch> ");
}

TEST(PortRead, TimesOutAfterTheTimeOutWhenTheLineIsSilent) {
  auto sim = sim::SimulatedAnalyser::start({.silent = true});
  auto port = open_or_fail(sim->port_path(), {.timeout = 200ms});
  ASSERT_TRUE(port);
  ASSERT_TRUE(sim::write_text(*port, "version\r"));
  ASSERT_TRUE(sim->wait_for_received("version\r", 5s));

  std::uint8_t buffer[64];
  const auto began = Clock::now();
  auto n = port->read(buffer);
  const auto waited = Clock::now() - began;
  ASSERT_FALSE(n.has_value());
  EXPECT_EQ(n.error().kind, IoErrorKind::TimedOut);
  EXPECT_GE(waited, 200ms);
  EXPECT_LT(waited, 5s);
}

TEST(PortRead, WaitsTheTimeOutItIsGiven) {
  auto sim = sim::SimulatedAnalyser::start({.silent = true});
  auto port = open_or_fail(sim->port_path(), {.timeout = 100ms});
  ASSERT_TRUE(port);
  std::uint8_t buffer[64];
  const auto began = Clock::now();
  auto n = port->read(buffer, 600ms);
  ASSERT_FALSE(n.has_value());
  EXPECT_EQ(n.error().kind, IoErrorKind::TimedOut);
  EXPECT_GE(Clock::now() - began, 600ms);

  // A time-out beyond the clock's range waits until the bytes come.
  auto answering = sim::SimulatedAnalyser::start();
  auto other = open_or_fail(answering->port_path(), {.timeout = 100ms});
  ASSERT_TRUE(other);
  ASSERT_TRUE(sim::write_text(*other, "x"));
  auto echoed = other->read(buffer, std::chrono::milliseconds::max());
  ASSERT_TRUE(echoed.has_value());
  EXPECT_EQ(buffer[0], 'x');
}

extern "C" void ignore_signal(int) {}

TEST(PortRead, SignalsDoNotShortenTheWait) {
  struct sigaction action {};
  action.sa_handler = ignore_signal;  // no SA_RESTART: poll() returns EINTR
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

  auto sim = sim::SimulatedAnalyser::start({.silent = true});
  auto port = open_or_fail(sim->port_path(), {.timeout = 400ms});
  ASSERT_TRUE(port);
  const pthread_t reader = ::pthread_self();
  std::atomic<bool> done{false};
  std::thread interrupter([&] {
    for (int i = 0; i < 6 && !done; ++i) {
      std::this_thread::sleep_for(50ms);
      ::pthread_kill(reader, SIGUSR1);
    }
  });

  std::uint8_t buffer[64];
  const auto began = Clock::now();
  auto n = port->read(buffer);
  const auto waited = Clock::now() - began;
  done = true;
  interrupter.join();
  ::sigaction(SIGUSR1, &previous, nullptr);

  ASSERT_FALSE(n.has_value());
  EXPECT_EQ(n.error().kind, IoErrorKind::TimedOut);
  EXPECT_GE(waited, 400ms);
}

TEST(PortRead, FailsAtOnceWhenTheOtherEndHangsUp) {
  auto sim = sim::SimulatedAnalyser::start();
  // A long time-out, so that "at once" and "after the time-out" cannot be confused under load.
  auto port = open_or_fail(sim->port_path(), {.timeout = 20s});
  ASSERT_TRUE(port);

  // Hang up while the read is already waiting, as an unplugged device does.
  std::thread unplug([&] {
    std::this_thread::sleep_for(100ms);
    sim->hang_up();
  });
  std::uint8_t buffer[64];
  const auto began = Clock::now();
  auto first = port->read(buffer);
  const auto waited = Clock::now() - began;
  unplug.join();

  ASSERT_FALSE(first.has_value()) << "returned " << *first << " bytes";
  EXPECT_NE(first.error().kind, IoErrorKind::TimedOut);
  EXPECT_LT(waited, 5s);

  // And every later call fails at once too.
  const auto again = Clock::now();
  EXPECT_FALSE(port->read(buffer).has_value());
  EXPECT_FALSE(sim::write_text(*port, "resume\r"));
  EXPECT_LT(Clock::now() - again, 5s);
}

TEST(PortWrite, WritesEverythingWhenTheLineFillsUp) {
  // Far more than the pty holds, so the write has to wait for room again and again.
  auto sim = sim::SimulatedAnalyser::start({.silent = true});
  auto port = open_or_fail(sim->port_path(), {.timeout = 30s});  // generous for slow sanitizers
  ASSERT_TRUE(port);
  std::string data(256 * 1024, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
  data.back() = '!';

  ASSERT_TRUE(sim::write_text(*port, data));
  ASSERT_TRUE(sim->wait_for_received("!", 10s));
  EXPECT_EQ(sim->received(), data);
}

TEST(PortWrite, GivesUpAfterTheTimeOutWhenNobodyReads) {
  auto sim = sim::SimulatedAnalyser::start({.silent = true});
  sim->stop();  // the master stays open but nothing drains it
  auto port = open_or_fail(sim->port_path(), {.timeout = 200ms});
  ASSERT_TRUE(port);
  std::vector<std::uint8_t> data(1024 * 1024, 'z');

  const auto began = Clock::now();
  auto written = port->write(data);
  const auto waited = Clock::now() - began;
  ASSERT_TRUE(written.has_value()) << written.error().debug();
  EXPECT_GT(*written, 0u);
  EXPECT_LT(*written, data.size());
  EXPECT_GE(waited, 200ms);
  EXPECT_LT(waited, 5s);

  // With the line still full, the next write has nothing to report but the time-out.
  auto stuck = port->write(data);
  ASSERT_FALSE(stuck.has_value());
  EXPECT_EQ(stuck.error().kind, IoErrorKind::TimedOut);
}

TEST(ListPorts, SucceedsWithNamesOfDevices) {
  auto ports = list_ports();
  ASSERT_TRUE(ports.has_value()) << ports.error().debug();
  for (const auto& name : *ports) EXPECT_TRUE(name.starts_with("/dev/")) << name;
}

TEST(SerialErrorDebug, NamesTheKindAndQuotesTheDescription) {
  struct Case {
    SerialError error;
    const char* debug;
  };
  const Case cases[] = {
      {{SerialErrorKind::Io, "No such file or directory", ENOENT},
       R"(Error { kind: Io(NotFound), description: "No such file or directory" })"},
      {{SerialErrorKind::Io, "Permission denied", EACCES},
       R"(Error { kind: Io(PermissionDenied), description: "Permission denied" })"},
      {{SerialErrorKind::Io, "odd", 0}, R"(Error { kind: Io(Other), description: "odd" })"},
      {{SerialErrorKind::NoDevice, "No such device", ENODEV},
       R"(Error { kind: NoDevice, description: "No such device" })"},
      {{SerialErrorKind::InvalidInput, "say \"no\"", 0},
       R"(Error { kind: InvalidInput, description: "say \"no\"" })"},
      {{SerialErrorKind::Unknown, "", 0}, R"(Error { kind: Unknown, description: "" })"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.error.debug(), c.debug);
}

}  // namespace
}  // namespace sparvik::serial
