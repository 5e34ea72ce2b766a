// Display texts, debug forms, error-screen texts and sources of both error enumerations.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "structs/errors.hpp"
#include "structs/unprepared_items.hpp"

namespace sparvik {
namespace {

IoError broken_pipe() {
  return IoError::from_errno(EPIPE);
}
serial::SerialError no_device() {
  return serial::SerialError{serial::SerialErrorKind::NoDevice, "No such device", ENODEV};
}
Report two_cause_report() {
  return Report("terminal lost", {"write failed", "pipe closed"});
}

struct SparvikErrorRow {
  std::function<SparvikError()> make;
  SparvikError::Kind kind;
  std::string display;
  std::function<std::string()> debug;  // computed where a library payload is involved
  std::string hint;
  std::function<std::optional<std::string>()> source_debug;  // nullopt: no source
};

std::function<std::string()> is(std::string text) {
  return [text] { return text; };
}
std::function<std::optional<std::string>()> none() {
  return [] { return std::optional<std::string>(); };
}

using K = SparvikError::Kind;

std::vector<SparvikErrorRow> sparvik_error_rows() {
  return {
      {[] { return SparvikError::ParseBeggining("{"); }, K::ParseBeggining,
       "Couldn't parse the beggining of the data ({)", is(R"(ParseBeggining("{"))"),
       "An error occured while receiving data, the scan never sent back any valid data", none()},
      {[] { return SparvikError::ParseEnd("Wrong alignement char"); }, K::ParseEnd,
       "Couldn't parse the end of the data (Wrong alignement char)",
       is(R"(ParseEnd("Wrong alignement char"))"),
       "An error occured while receiving data, scan was interupted before ending properly", none()},
      {[] { return SparvikError::PortConnection(no_device()); }, K::PortConnection,
       "Couldn't connect to the given port",
       [] { return "PortConnection(" + no_device().debug() + ")"; },
       "An error occured while trying to connect, check the selected port and baudrate",
       [] { return std::optional(no_device().debug()); }},
      {[] { return SparvikError::OpenOutput(broken_pipe()); }, K::OpenOutput,
       "Couldn't open the given file",
       is(R"(OpenOutput(Os { code: 32, kind: BrokenPipe, message: "Broken pipe" }))"),
       "An error occured while trying to export the scan",
       [] { return std::optional(broken_pipe().debug()); }},
      {[] { return SparvikError::TUIInitialization(two_cause_report()); }, K::TUIInitialization,
       "An error occured while creating the TUI",
       [] { return "TUIInitialization(" + two_cause_report().debug() + ")"; },
       "An error occured while trying to create the TUI",
       [] { return std::optional<std::string>(R"("terminal lost")"); }},
      {[] { return SparvikError::TUIRuntimeError(two_cause_report()); }, K::TUIRuntimeError,
       "A runtime error occured :\nterminal lost",
       [] { return "TUIRuntimeError(" + two_cause_report().debug() + ")"; },
       "An error occured during runtime", none()},
      {[] { return SparvikError::TUIPackingError(PackingError{"bad bits"}); }, K::TUIPackingError,
       "An error occured while trying to parse the result",
       is(R"(TUIPackingError(PackingError { message: "bad bits" }))"),
       "An error occured while trying to parse the data points",
       [] { return std::optional<std::string>(R"(PackingError { message: "bad bits" })"); }},
      {[] { return SparvikError::ConfigNotFound(); }, K::ConfigNotFound,
       "The config file couldn't be opened", is("ConfigNotFound"),
       "An error occured while trying to open the config file", none()},
      {[] { return SparvikError::InvalidConfig(TomlReadError{"missing field `port`"}); },
       K::InvalidConfig, "The config config.toml couldn't be read",
       is(R"(InvalidConfig(TomlReadError { message: "missing field `port`" }))"),
       "An error forbid to read the config as it seems invalid, please delete config.toml and "
       "retry",
       [] {
         return std::optional<std::string>(R"(TomlReadError { message: "missing field `port`" })");
       }},
      {[] { return SparvikError::InvalidDataForConfig(TomlWriteError{"too big"}); },
       K::InvalidDataForConfig, "The config config.toml couldn't be written",
       is(R"(InvalidDataForConfig(TomlWriteError { message: "too big" }))"),
       "An error forbit to write the config",
       [] { return std::optional<std::string>(R"(TomlWriteError { message: "too big" })"); }},
      {[] { return SparvikError::NoVersionFound(); }, K::NoVersionFound,
       "Couldn't acquire the version of the device connected to the specified port",
       is("NoVersionFound"),
       "An error forbid the gathering of the version, check your TinySA is connected and powered "
       "on",
       none()},
      {[] { return SparvikError::BadScanFrequencies("start \"0\" is\tbelow"); },
       K::BadScanFrequencies, "The given scan frequencies are inccorect (start \"0\" is\tbelow)",
       is(R"(BadScanFrequencies("start \"0\" is\tbelow"))"),
       "An error occured because the scan frequencies weren't set correctly", none()},
      {[] { return SparvikError::LoggerError(log::LogError{"bad filter"}); }, K::LoggerError,
       "Couldn't initialize the logging modure",
       [] { return "LoggerError(" + log::LogError{"bad filter"}.debug() + ")"; },
       "Couldn't initialize the error logger",
       [] { return std::optional(log::LogError{"bad filter"}.debug()); }},
      {[] { return SparvikError::SendError(broken_pipe()); }, K::SendError,
       "Couldn't write to the TinySA, connection lost",
       is(R"(SendError(Os { code: 32, kind: BrokenPipe, message: "Broken pipe" }))"),
       "Couldn't finish sending data to TinySA", none()},
  };
}

TEST(SparvikErrorTexts, EveryVariantRendersItsTextsAndSource) {
  const auto rows = sparvik_error_rows();
  ASSERT_EQ(rows.size(), 14u);
  for (const auto& row : rows) {
    const SparvikError error = row.make();
    SCOPED_TRACE(row.display);
    EXPECT_EQ(error.kind(), row.kind);
    EXPECT_EQ(error.display(), row.display);
    EXPECT_EQ(error.debug(), row.debug());
    EXPECT_STREQ(error.hint(), row.hint.c_str());
    const auto source = error.source();
    const auto expected_source = row.source_debug();
    ASSERT_EQ(source.has_value(), expected_source.has_value());
    if (source) {
      EXPECT_EQ(source->debug(), *expected_source);
    }
  }
}

TEST(SparvikErrorTexts, SourceIsAViewOfThePayloadItself) {
  const auto error = SparvikError::OpenOutput(broken_pipe());
  const auto source = error.source();
  ASSERT_TRUE(source);
  ASSERT_NE(source->as<IoError>(), nullptr);
  EXPECT_EQ(source->as<IoError>(), error.payload<IoError>());
  EXPECT_EQ(source->as<std::string>(), nullptr);
}

TEST(SparvikErrorTexts, InitializationSourceWalksTheReportsCauseChain) {
  const auto error = SparvikError::TUIInitialization(two_cause_report());
  std::vector<std::string> chain;
  for (auto link = error.source(); link; link = link->source()) chain.push_back(link->display());
  EXPECT_EQ(chain, (std::vector<std::string>{"terminal lost", "write failed", "pipe closed"}));
}

TEST(SparvikErrorTexts, ChainSurvivesCopiesOfTheError) {
  std::optional<SparvikError> original = SparvikError::TUIInitialization(two_cause_report());
  const SparvikError copy = *original;
  original.reset();
  auto link = copy.source();
  ASSERT_TRUE(link);
  link = link->source();
  ASSERT_TRUE(link);
  EXPECT_EQ(link->display(), "write failed");
}

using UK = SparvikUIError::Kind;

struct UIErrorRow {
  std::function<SparvikUIError()> make;
  UK kind;
  std::string display;
  std::string debug;
  std::string screen_text;
  std::optional<std::string> source_debug;
};

std::vector<UIErrorRow> ui_error_rows() {
  return {
      {[] { return SparvikUIError::MenuSelectionError(); }, UK::MenuSelectionError,
       "An error occured while selecting a menu item", "MenuSelectionError",
       "An error occured while trying to select a menu item", std::nullopt},
      {[] {
         return SparvikUIError::UninitializedItemList({"Port", 305, "src/ui"});
       },
       UK::UninitializedItemList, "The item list (Port) wasn't initialyzed (src/ui:305)",
       R"(UninitializedItemList("Port", 305, "src/ui"))", "The item Port was left uninitialized",
       std::nullopt},
      {[] { return SparvikUIError::KeyPress(IoError::from_errno(ENOENT)); }, UK::KeyPress,
       "An error occured while proccesing the key events",
       R"(KeyPress(Os { code: 2, kind: NotFound, message: "No such file or directory" }))",
       "An error occured while processing key events",
       R"(Os { code: 2, kind: NotFound, message: "No such file or directory" })"},
      {[] { return SparvikUIError::NoPortSelected(); }, UK::NoPortSelected, "No port was selected",
       "NoPortSelected", "No connection port was selected", std::nullopt},
      {[] { return SparvikUIError::ScanError(SparvikError::NoVersionFound()); }, UK::ScanError,
       "An error occured while trying to scan: \n => Couldn't acquire the version of the device "
       "connected to the specified port",
       "ScanError(NoVersionFound)",
       "An error forbid the gathering of the version, check your TinySA is connected and powered "
       "on",
       "NoVersionFound"},
      {[] { return SparvikUIError::NoConnectionInfoCreated(); }, UK::NoConnectionInfoCreated,
       "An error occured while trying to acquire the connection info structure",
       "NoConnectionInfoCreated",
       "An error occured when tring to acquire connection info with the TinySA", std::nullopt},
      {[] { return SparvikUIError::NoReturnData(); }, UK::NoReturnData,
       "An error occured while trying to acquire the return data", "NoReturnData",
       "An error occured when trying to acquire the return data with the TinySA", std::nullopt},
      {[] { return SparvikUIError::NoErrorSpecified(); }, UK::NoErrorSpecified,
       "An unspecified error occured", "NoErrorSpecified", "An unspecified error occured",
       std::nullopt},
      {[] { return SparvikUIError::SerializeError(TomlWriteError{"too big"}); }, UK::SerializeError,
       "Couldn't serialize the error to file",
       R"(SerializeError(TomlWriteError { message: "too big" }))",
       "An error occured while tring to save the current config",
       R"(TomlWriteError { message: "too big" })"},
  };
}

TEST(SparvikUIErrorTexts, EveryVariantRendersItsTextsAndSource) {
  const auto rows = ui_error_rows();
  ASSERT_EQ(rows.size(), 9u);
  for (const auto& row : rows) {
    const SparvikUIError error = row.make();
    SCOPED_TRACE(row.debug);
    EXPECT_EQ(error.kind(), row.kind);
    EXPECT_EQ(error.display(), row.display);
    EXPECT_EQ(error.debug(), row.debug);
    EXPECT_EQ(error.screen_text(), row.screen_text);
    const auto source = error.source();
    ASSERT_EQ(source.has_value(), row.source_debug.has_value());
    if (source) {
      EXPECT_EQ(source->debug(), *row.source_debug);
    }
  }
}

TEST(SparvikUIErrorTexts, OtherItemListChecksNameTheirItem) {
  const auto error = SparvikUIError::UninitializedItemList({"Port List", 389, "src/ui_struct"});
  EXPECT_EQ(error.display(), "The item list (Port List) wasn't initialyzed (src/ui_struct:389)");
  EXPECT_EQ(error.debug(), R"(UninitializedItemList("Port List", 389, "src/ui_struct"))");
  EXPECT_EQ(error.screen_text(), "The item Port List was left uninitialized");
}

TEST(SparvikUIErrorTexts, TheSixItemChecksKeepTheirFixedPlaces) {
  const struct {
    SparvikUIError::ItemLocation at;
    const char* debug;
  } cases[] = {
      {unprepared_item::port_widget, R"(UninitializedItemList("Port", 305, "src/ui"))"},
      {unprepared_item::baud_widget, R"(UninitializedItemList("Baud", 310, "src/ui"))"},
      {unprepared_item::progress_bar, R"(UninitializedItemList("ProgressBar", 360, "src/ui"))"},
      {unprepared_item::baudrate_selection,
       R"(UninitializedItemList("Baudrate", 244, "src/ui_struct"))"},
      {unprepared_item::port_list_colors,
       R"(UninitializedItemList("Port List", 389, "src/ui_struct"))"},
      {unprepared_item::baudrate_list_colors,
       R"(UninitializedItemList("Baudrate", 392, "src/ui_struct"))"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SparvikUIError::UninitializedItemList(c.at).debug(), c.debug);
  }
}

TEST(SparvikUIErrorTexts, ScanErrorShowsTheWrappedErrorsHintAndDisplay) {
  for (const auto& row : sparvik_error_rows()) {
    const SparvikError inner = row.make();
    const auto error = SparvikUIError::ScanError(inner);
    SCOPED_TRACE(inner.debug());
    EXPECT_EQ(error.screen_text(), inner.hint());
    EXPECT_EQ(error.display(), "An error occured while trying to scan: \n => " + inner.display());
    EXPECT_EQ(error.debug(), "ScanError(" + inner.debug() + ")");
  }
}

TEST(SparvikUIErrorTexts, ScanErrorSourceGoesThroughTheWrappedError) {
  const auto error = SparvikUIError::ScanError(SparvikError::PortConnection(no_device()));
  const auto first = error.source();
  ASSERT_TRUE(first);
  const SparvikError* inner = first->as<SparvikError>();
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->kind(), SparvikError::Kind::PortConnection);
  const auto second = first->source();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->debug(), no_device().debug());
  EXPECT_FALSE(second->source());

  const auto send = SparvikUIError::ScanError(SparvikError::SendError(broken_pipe()));
  ASSERT_TRUE(send.source());
  EXPECT_FALSE(send.source()->source());
}

TEST(SparvikUIErrorTexts, OptionalDebugForm) {
  EXPECT_EQ(debug_optional(std::nullopt), "None");
  EXPECT_EQ(debug_optional(SparvikUIError::ScanError(SparvikError::ConfigNotFound())),
            "Some(ScanError(ConfigNotFound))");
}

}  // namespace
}  // namespace sparvik
