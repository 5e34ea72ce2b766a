// The run loop over a recording terminal: the key map, what is ignored, where action errors go and
// which failures end the loop.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/io_error.hpp"
#include "platform/report.hpp"
#include "platform/terminal/event.hpp"
#include "platform/terminal/key_decode.hpp"
#include "platform/terminal/terminal.hpp"
#include "platform/terminal/test_backend.hpp"
#include "support/temp_dir.hpp"
#include "ui_struct/app_info.hpp"
#include "widgets/line_gauge.hpp"
#include "widgets/list.hpp"

namespace sparvik {
namespace {

namespace fs = std::filesystem;
using term::Event;
using term::KeyCode;
using term::KeyEvent;
using term::KeyEventKind;
using term::Modifiers;

KeyEvent key(KeyCode code) {
  return KeyEvent::key(code);
}
KeyEvent ch(char32_t c) {
  return KeyEvent::character(c);
}
KeyEvent with_kind(KeyEvent event, KeyEventKind kind) {
  event.kind = kind;
  return event;
}
KeyEvent with_mods(KeyEvent event, Modifiers mods) {
  event.mods = mods;
  return event;
}

// Everything a key may change.
struct Snapshot {
  MenuState menu;
  std::uint8_t focus;
  bool exit;
  widgets::ListState ports;
  widgets::ListState bauds;
  std::uint64_t start, stop, points, repeat;
  std::size_t workers_started;
  std::optional<SparvikUIError::Kind> stored_error;
  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

void PrintTo(const Snapshot& s, std::ostream* os) {
  *os << "{menu " << int(s.menu) << ", focus " << int(s.focus) << ", exit " << s.exit
      << ", port row " << (s.ports.selected ? std::to_string(*s.ports.selected) : "-")
      << ", baud row " << (s.bauds.selected ? std::to_string(*s.bauds.selected) : "-")
      << ", counters " << s.start << "/" << s.stop << "/" << s.points << "/" << s.repeat
      << ", workers " << s.workers_started << ", error "
      << (s.stored_error ? std::to_string(int(*s.stored_error)) : "none") << "}";
}

// An application state as start-up builds it, on a 100x30 recording terminal, with its settings
// file in a directory of its own and a sweep worker that is only counted.
class Harness {
 public:
  explicit Harness(std::vector<std::string> ports = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"})
      : backend(100, 30), app(AppInfo::build(std::move(ports), std::nullopt)) {
    app.config_path = dir_.path() / "config.toml";
    app.start_worker = [this](ConnectionInfo, ConnectionInfo) { ++workers_started; };
  }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  // Puts the state on `menu` as the steps would leave it, without going through them.
  void go_to(MenuState menu) {
    app.menu = menu;
    if (menu == MenuState::ScanRunning) app.progress_bar = widgets::LineGauge{};
  }

  void push(const std::vector<KeyEvent>& keys) {
    for (const KeyEvent& k : keys) backend.push_event(k);
  }

  std::expected<void, Report> run() {
    auto terminal = term::Terminal::create(backend);
    if (!terminal) {
      ADD_FAILURE() << "no terminal";
      return {};
    }
    return app.run(*terminal);
  }

  Snapshot snapshot() {
    std::optional<SparvikUIError::Kind> stored;
    if (app.connection_info) {
      app.connection_info->error_raised.with([&](const std::optional<SparvikUIError>& e) {
        if (e) stored = e->kind();
      });
    }
    return {app.menu,
            app.selected_widget,
            app.exit,
            app.port_list.state,
            app.baudrate_list.state,
            app.start_frequency.value,
            app.stop_frequency.value,
            app.points.value,
            app.repeat.value,
            workers_started,
            stored};
  }

  std::string screen() const {
    std::string all;
    for (const auto& line : backend.lines()) all += line + "\n";
    return all;
  }

  test_support::TempDir dir_{"sparvik-run-loop"};
  term::TestBackend backend;
  AppInfo app;
  std::size_t workers_started = 0;
};

constexpr MenuState all_screens[] = {MenuState::ConnectionSetup, MenuState::ScanSetup,
                                     MenuState::ScanResult, MenuState::ScanRunning,
                                     MenuState::ErrorReport};

TEST(RunLoopQuit, QAndEscEndTheLoopOnEveryScreenRightAfterTheirEvent) {
  for (const KeyEvent quit : {ch(U'q'), key(KeyCode::Esc)}) {
    for (const MenuState menu : all_screens) {
      SCOPED_TRACE(::testing::Message() << "screen " << int(menu) << ", " << describe(quit));
      Harness h;
      h.go_to(menu);
      // Enter would act on every screen but the sweep screen; it must not be read at all.
      h.push({quit, key(KeyCode::Enter)});
      Snapshot expected = h.snapshot();
      expected.exit = true;

      EXPECT_TRUE(h.run());
      EXPECT_EQ(h.snapshot(), expected);
      EXPECT_EQ(h.backend.queued_events(), 1u);
      EXPECT_GE(h.backend.draw_calls(), 1u);
    }
  }
}

// A stop asked for from outside (a signal) ends the run as q does: on every screen, at the pass
// that sees it, with the event that woke the poll left unread, and also while no event comes.
TEST(RunLoopQuit, ANotedStopEndsTheLoopOnEveryScreenAsQDoes) {
  for (const MenuState menu : all_screens) {
    SCOPED_TRACE(::testing::Message() << "screen " << int(menu));
    Harness with_q;
    with_q.go_to(menu);
    with_q.push({ch(U'q')});
    ASSERT_TRUE(with_q.run());

    Harness h;
    h.go_to(menu);
    // Neither may be read; q only ends a loop that missed the stop.
    h.push({key(KeyCode::Enter), ch(U'q')});
    h.app.stop_requested = [] { return true; };
    EXPECT_TRUE(h.run());
    EXPECT_EQ(h.snapshot(), with_q.snapshot());
    EXPECT_EQ(h.backend.queued_events(), 2u);
    EXPECT_EQ(h.backend.poll_calls(), 1u);
  }

  // Noted while the loop waits in vain: the next pass ends it. q, typed two idle passes later,
  // would end it too but late.
  Harness h;
  h.go_to(MenuState::ScanSetup);
  bool noted = false;
  std::size_t idle_passes = 0;
  h.app.stop_requested = [&] { return noted; };
  h.backend.set_idle_handler([&](term::TestBackend& backend) {
    ++idle_passes;
    noted = true;
    if (idle_passes == 3) backend.push_char(U'q');
  });
  EXPECT_TRUE(h.run());
  EXPECT_TRUE(h.app.exit);
  EXPECT_EQ(idle_passes, 1u);
}

// While nothing happens the sweep screen follows the worker: each wait for an event lasts 16 ms
// at most, and what the worker published meanwhile is on the next frame.
TEST(RunLoopIdle, WaitsSixteenMillisecondsForAnEventAndRedrawsAfterEachWait) {
  Harness h;
  h.go_to(MenuState::ScanRunning);
  constexpr std::size_t idle_passes = 5;
  std::size_t published = 0;
  h.backend.set_idle_handler([&](term::TestBackend& backend) {
    if (published > 0) {
      EXPECT_NE(h.screen().find("step " + std::to_string(published)), std::string::npos)
          << "no redraw after wait " << published << "\n"
          << h.screen();
    }
    if (published == idle_passes) {
      backend.push_char(U'q');
      return;
    }
    ++published;
    h.app.connection_info->update_message("step " + std::to_string(published));
  });
  ASSERT_TRUE(h.run());
  EXPECT_EQ(published, idle_passes);
  EXPECT_EQ(h.backend.poll_timeouts(),
            std::vector<std::chrono::milliseconds>(idle_passes + 1, std::chrono::milliseconds(16)));
}

struct KeyCase {
  const char* name;
  MenuState screen;
  std::vector<KeyEvent> keys;
  std::function<void(Snapshot&)> effect;  // applied to the snapshot before the keys
};

void PrintTo(const KeyCase& c, std::ostream* os) {
  *os << c.name;
}

class KeyMap : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyMap, EachKeyRunsItsAction) {
  const KeyCase& c = GetParam();
  Harness h;
  h.go_to(c.screen);
  Snapshot expected = h.snapshot();
  c.effect(expected);
  h.push(c.keys);
  if (!expected.exit) h.push({ch(U'q')});
  expected.exit = true;

  ASSERT_TRUE(h.run());
  EXPECT_EQ(h.snapshot(), expected);
}

void focus(Snapshot& s, std::uint8_t f) {
  s.focus = f;
}

INSTANTIATE_TEST_SUITE_P(
    RunLoop, KeyMap,
    ::testing::Values(
        KeyCase{"RightArrowFocusesBaudRates",
                MenuState::ConnectionSetup,
                {key(KeyCode::Right)},
                [](Snapshot& s) { focus(s, 1); }},
        KeyCase{"LFocusesBaudRates",
                MenuState::ConnectionSetup,
                {ch(U'l')},
                [](Snapshot& s) { focus(s, 1); }},
        KeyCase{"LeftArrowFocusesPorts",
                MenuState::ConnectionSetup,
                {ch(U'l'), key(KeyCode::Left)},
                [](Snapshot& s) { focus(s, 0); }},
        KeyCase{"HFocusesPorts",
                MenuState::ConnectionSetup,
                {ch(U'l'), ch(U'h')},
                [](Snapshot& s) { focus(s, 0); }},
        KeyCase{"DownArrowNextPort",
                MenuState::ConnectionSetup,
                {key(KeyCode::Down)},
                [](Snapshot& s) { s.ports.selected = 1; }},
        KeyCase{"JNextPort",
                MenuState::ConnectionSetup,
                {ch(U'j')},
                [](Snapshot& s) { s.ports.selected = 1; }},
        KeyCase{"UpArrowPreviousPort",
                MenuState::ConnectionSetup,
                {ch(U'j'), ch(U'j'), key(KeyCode::Up)},
                [](Snapshot& s) { s.ports.selected = 1; }},
        KeyCase{"KPreviousBaudRate",
                MenuState::ConnectionSetup,
                {ch(U'l'), ch(U'k')},
                [](Snapshot& s) {
                  focus(s, 1);
                  s.bauds.selected = 2;
                }},
        KeyCase{"UpArrowRaisesCounter",
                MenuState::ScanSetup,
                {key(KeyCode::Up)},
                [](Snapshot& s) { s.start = 250; }},
        KeyCase{
            "KRaisesCounter", MenuState::ScanSetup, {ch(U'k')}, [](Snapshot& s) { s.start = 250; }},
        KeyCase{"DownArrowLowersCounter",
                MenuState::ScanSetup,
                {key(KeyCode::Down)},
                [](Snapshot& s) { s.start = 230; }},
        KeyCase{
            "JLowersCounter", MenuState::ScanSetup, {ch(U'j')}, [](Snapshot& s) { s.start = 230; }},
        KeyCase{"RightThenDownLowersStop",
                MenuState::ScanSetup,
                {ch(U'l'), key(KeyCode::Down)},
                [](Snapshot& s) {
                  focus(s, 1);
                  s.stop = 950;
                }},
        KeyCase{"EnterOnConnectionGoesToParameters",
                MenuState::ConnectionSetup,
                {ch(U'l'), key(KeyCode::Enter)},
                [](Snapshot& s) { s.menu = MenuState::ScanSetup; }},
        KeyCase{"EnterOnParametersStartsTheSweep",
                MenuState::ScanSetup,
                {key(KeyCode::Enter)},
                [](Snapshot& s) {
                  s.menu = MenuState::ScanRunning;
                  s.workers_started = 1;
                }},
        KeyCase{"EnterOnResultQuits",
                MenuState::ScanResult,
                {key(KeyCode::Enter)},
                [](Snapshot& s) { s.exit = true; }},
        KeyCase{"EnterOnErrorScreenQuits",
                MenuState::ErrorReport,
                {key(KeyCode::Enter)},
                [](Snapshot& s) { s.exit = true; }}),
    [](const ::testing::TestParamInfo<KeyCase>& param_info) { return param_info.param.name; });

// Runs a script on a fresh state and gives what it left.
Snapshot after(MenuState screen, const std::vector<KeyEvent>& keys) {
  Harness h;
  h.go_to(screen);
  h.push(keys);
  EXPECT_TRUE(h.run());
  return h.snapshot();
}

TEST(RunLoopModifiers, AKeyWithModifiersActsAsTheBareKey) {
  struct Script {
    MenuState screen;
    std::vector<KeyEvent> keys;  // ends with a quit key
  };
  const Script scripts[] = {
      {MenuState::ConnectionSetup,
       {key(KeyCode::Right), key(KeyCode::Down), ch(U'h'), ch(U'j'), ch(U'j'), key(KeyCode::Up),
        key(KeyCode::Esc)}},
      {MenuState::ConnectionSetup,
       {key(KeyCode::Enter), ch(U'l'), ch(U'k'), key(KeyCode::Right), key(KeyCode::Down),
        key(KeyCode::Enter), ch(U'q')}},
  };
  const Modifiers mod_sets[] = {Modifiers::Shift, Modifiers::Ctrl, Modifiers::Alt,
                                Modifiers::Shift | Modifiers::Ctrl | Modifiers::Alt};
  for (std::size_t i = 0; i < std::size(scripts); ++i) {
    const Script& script = scripts[i];
    const Snapshot plain = after(script.screen, script.keys);
    Harness untouched;
    Snapshot quit_only = untouched.snapshot();
    quit_only.exit = true;
    ASSERT_NE(plain, quit_only) << "script " << i
                                << " must change something for the comparison to mean anything";
    for (const Modifiers mods : mod_sets) {
      SCOPED_TRACE(::testing::Message() << "script " << i << ", modifiers " << int(mods));
      std::vector<KeyEvent> modified;
      for (const KeyEvent& k : script.keys) modified.push_back(with_mods(k, mods));
      EXPECT_EQ(after(script.screen, modified), plain);
    }
  }
}

// Bytes as a raw-mode terminal sends them, through the key decoder into the loop: Ctrl+J (LF)
// and Ctrl+H (BS) act as j and h, and only CR is Enter.
TEST(RunLoopDecodedBytes, ControlLettersActAsTheirLettersAndOnlyCarriageReturnIsEnter) {
  struct Script {
    std::vector<std::uint32_t> bytes;  // ends with a quit key
    std::vector<KeyEvent> same_as;
  };
  const Script scripts[] = {
      {{0x0C, 0x08, 0x0A, 0x0A, 'q'}, {ch(U'l'), ch(U'h'), ch(U'j'), ch(U'j'), ch(U'q')}},
      {{0x0C, 0x0A, 0x0B, 0x0A, 0x1B}, {ch(U'l'), ch(U'j'), ch(U'k'), ch(U'j'), key(KeyCode::Esc)}},
      {{'\r', 'q'}, {key(KeyCode::Enter), ch(U'q')}},
  };
  for (const Script& script : scripts) {
    SCOPED_TRACE(::testing::Message() << "first byte " << script.bytes.front());
    Harness h;
    h.go_to(MenuState::ScanSetup);
    for (const std::uint32_t byte : script.bytes) {
      h.backend.push_event(term::decode_key({.function_key = false, .code = byte}, false, {}));
    }
    ASSERT_TRUE(h.run());
    const Snapshot decoded = h.snapshot();
    EXPECT_EQ(decoded, after(MenuState::ScanSetup, script.same_as));
    // Neither byte of Ctrl+J or Ctrl+H may start the sweep or rewrite the settings.
    const bool entered = script.bytes.front() == '\r';
    EXPECT_EQ(decoded.workers_started, entered ? 1u : 0u);
    EXPECT_EQ(fs::exists(h.app.config_path), entered);
  }
}

TEST(RunLoopIgnored, EnterWhileTheSweepRunsStartsNoSecondWorker) {
  Harness h;
  h.push({key(KeyCode::Enter), key(KeyCode::Enter), key(KeyCode::Enter), key(KeyCode::Enter),
          key(KeyCode::Enter), ch(U'q')});
  ASSERT_TRUE(h.run());
  const Snapshot s = h.snapshot();
  EXPECT_EQ(s.menu, MenuState::ScanRunning);
  EXPECT_EQ(s.workers_started, 1u);
  EXPECT_EQ(s.stored_error, std::nullopt);
}

// Events that must do nothing, each followed by a redraw: the title is changed before each one is
// handed over, so the next wait for an event must find the new title on the screen.
TEST(RunLoopIgnored, InertEventsChangeNothingAndAreEachFollowedByARedraw) {
  const std::vector<Event> inert = {
      ch(U'H'),
      ch(U'J'),
      ch(U'K'),
      ch(U'L'),
      ch(U'Q'),
      ch(U'x'),
      ch(U' '),
      key(KeyCode::Tab),
      key(KeyCode::BackTab),
      key(KeyCode::Home),
      key(KeyCode::End),
      key(KeyCode::Backspace),
      key(KeyCode::Delete),
      key(KeyCode::PageUp),
      key(KeyCode::Other),
      with_kind(ch(U'q'), KeyEventKind::Release),
      with_kind(key(KeyCode::Esc), KeyEventKind::Repeat),
      with_kind(key(KeyCode::Enter), KeyEventKind::Release),
      with_kind(key(KeyCode::Right), KeyEventKind::Release),
      with_kind(key(KeyCode::Up), KeyEventKind::Repeat),
      with_kind(ch(U'j'), KeyEventKind::Release),
      term::ResizeEvent{100, 30},
      term::OtherEvent{},
  };
  for (const MenuState screen : {MenuState::ConnectionSetup, MenuState::ScanSetup}) {
    SCOPED_TRACE(::testing::Message() << "screen " << int(screen));
    Harness h;
    h.go_to(screen);
    const Snapshot before = h.snapshot();
    std::size_t handed = 0;
    h.backend.set_idle_handler([&](term::TestBackend& backend) {
      if (handed > 0) {
        EXPECT_NE(h.screen().find("pass " + std::to_string(handed)), std::string::npos)
            << "no redraw after " << describe(inert[handed - 1]) << "\n"
            << h.screen();
      }
      if (handed == inert.size()) {
        backend.push_char(U'q');
        return;
      }
      ++handed;
      h.app.title = "pass " + std::to_string(handed);
      backend.push_event(inert[handed - 1]);
    });

    ASSERT_TRUE(h.run());
    EXPECT_EQ(handed, inert.size());
    Snapshot expected = before;
    expected.exit = true;
    EXPECT_EQ(h.snapshot(), expected);
  }
}

TEST(RunLoopErrors, AnActionErrorIsStoredAndShownAndTheLoopGoesOn) {
  struct Case {
    const char* name;
    std::vector<std::string> ports;
    std::function<void(Harness&)> prepare;
    std::vector<KeyEvent> keys;
    SparvikUIError::Kind stored;
    const char* shown;
  };
  const Case cases[] = {
      {"no port to start the sweep on",
       {},
       [](Harness& h) {
         // A worker's error stored before is replaced by the action's.
         h.app.connection_info->set_error(SparvikUIError::NoReturnData());
       },
       {key(KeyCode::Enter), key(KeyCode::Enter)},
       SparvikUIError::Kind::NoPortSelected,
       "No connection port was selected"},
      {"focus outside the four boxes",
       {"/dev/ttyS0"},
       [](Harness& h) {
         h.go_to(MenuState::ScanSetup);
         h.app.selected_widget = 6;
       },
       {key(KeyCode::Left)},
       SparvikUIError::Kind::MenuSelectionError,
       "An error occured while trying to select a menu item"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h(c.ports);
    c.prepare(h);
    h.push(c.keys);
    // The error screen ends the run on Enter, as any run ends there.
    h.push({key(KeyCode::Enter)});

    ASSERT_TRUE(h.run());
    const Snapshot s = h.snapshot();
    EXPECT_EQ(s.menu, MenuState::ErrorReport);
    EXPECT_EQ(s.stored_error, c.stored);
    EXPECT_TRUE(s.exit);
    EXPECT_EQ(s.workers_started, 0u);
    EXPECT_NE(h.screen().find(c.shown), std::string::npos) << h.screen();
  }
}

TEST(RunLoopErrors, AnActionErrorWithoutSharedRecordEndsTheLoop) {
  for (const KeyEvent failing : {key(KeyCode::Left), key(KeyCode::Enter)}) {
    SCOPED_TRACE(describe(failing));
    Harness h;
    h.go_to(MenuState::ScanSetup);
    h.app.selected_widget = 6;  // Left fails with MenuSelectionError
    h.app.connection_info.reset();
    h.push({failing, ch(U'q')});

    auto ran = h.run();
    ASSERT_FALSE(ran);
    // The action's own error is lost; the report names the missing record.
    EXPECT_EQ(ran.error().message(), SparvikUIError::NoConnectionInfoCreated().display());
    EXPECT_EQ(h.backend.queued_events(), 1u);
    EXPECT_FALSE(h.app.exit);
  }
}

TEST(RunLoopErrors, RecolouringFailureEndsTheLoopBeforeAnyFrame) {
  struct Case {
    std::optional<widgets::List> AppInfo::*removed;
    SparvikUIError error;
  };
  const Case cases[] = {
      {&AppInfo::port_list_widget,
       SparvikUIError::UninitializedItemList({"Port List", 389, "src/ui_struct"})},
      {&AppInfo::baudrate_list_widget,
       SparvikUIError::UninitializedItemList({"Baudrate", 392, "src/ui_struct"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error.debug());
    Harness h;
    (h.app.*c.removed).reset();
    h.push({ch(U'q')});

    auto ran = h.run();
    ASSERT_FALSE(ran);
    EXPECT_EQ(ran.error().message(), c.error.display());
    EXPECT_EQ(h.backend.draw_calls(), 0u);
    EXPECT_EQ(h.backend.flush_calls(), 0u);
    EXPECT_EQ(h.backend.poll_calls(), 0u);
    EXPECT_EQ(h.backend.queued_events(), 1u);
  }
}

TEST(RunLoopErrors, TerminalFailuresEndTheLoopWithTheInputOutputError) {
  const IoError broken = IoError::custom(IoErrorKind::BrokenPipe, "the console went away");
  struct Case {
    const char* name;
    std::optional<IoError> term::TestBackend::Failures::*failure;
  };
  const Case cases[] = {
      {"console size", &term::TestBackend::Failures::size},
      {"writing cells", &term::TestBackend::Failures::draw},
      {"flushing", &term::TestBackend::Failures::flush},
      {"polling", &term::TestBackend::Failures::poll},
      {"reading the event", &term::TestBackend::Failures::read},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.push({key(KeyCode::Right), ch(U'q')});
    auto terminal = term::Terminal::create(h.backend);  // before the size starts failing
    ASSERT_TRUE(terminal);
    h.backend.failures.*c.failure = broken;

    auto ran = h.app.run(*terminal);
    ASSERT_FALSE(ran);
    EXPECT_EQ(ran.error().message(), broken.display());
    EXPECT_EQ(h.app.selected_widget, 0) << "no key may be acted on after the failure";
  }
}

TEST(RunLoopDeathTest, AFailingDrawIsFatal) {
  Harness h;
  h.go_to(MenuState::ScanRunning);
  h.app.connection_info.reset();  // the sweep screen cannot reach the shared record
  h.push({ch(U'q')});
  EXPECT_DEATH((void)h.run(), "acquire the connection info structure");
}

}  // namespace
}  // namespace sparvik
