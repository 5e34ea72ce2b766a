// Texts, debug forms and sources of the two error enumerations.
#include "structs/errors.hpp"

#include <fmt/format.h>

#include <array>
#include <cstddef>
#include <string_view>

namespace sparvik {

namespace {

// Everything about a kind that is fixed text, one row per kind in the order of the enumeration.
// `display` holds one "{}" per payload field it shows (`shown`); `names_source` says whether
// source() hands out the payload.
struct SparvikErrorRow {
  SparvikError::Kind kind;
  std::string_view name;
  std::string_view display;
  std::size_t shown;
  std::string_view hint;  // what the error screen shows for it
  bool names_source;
};

struct UIErrorRow {
  SparvikUIError::Kind kind;
  std::string_view name;
  std::string_view display;
  std::size_t shown;
  // What the error screen shows: "{}" takes the item name, or a wrapped error's hint.
  std::string_view screen_text;
  bool names_source;
};

using SK = SparvikError::Kind;
constexpr std::array<SparvikErrorRow, SparvikError::kind_count> sparvik_error_rows{{
    {SK::ParseBeggining, "ParseBeggining", "Couldn't parse the beggining of the data ({})", 1,
     "An error occured while receiving data, the scan never sent back any valid data", false},
    {SK::ParseEnd, "ParseEnd", "Couldn't parse the end of the data ({})", 1,
     "An error occured while receiving data, scan was interupted before ending properly", false},
    {SK::PortConnection, "PortConnection", "Couldn't connect to the given port", 0,
     "An error occured while trying to connect, check the selected port and baudrate", true},
    {SK::OpenOutput, "OpenOutput", "Couldn't open the given file", 0,
     "An error occured while trying to export the scan", true},
    {SK::TUIInitialization, "TUIInitialization", "An error occured while creating the TUI", 0,
     "An error occured while trying to create the TUI", true},
    // Shows its report instead of naming it as the cause.
    {SK::TUIRuntimeError, "TUIRuntimeError", "A runtime error occured :\n{}", 1,
     "An error occured during runtime", false},
    {SK::TUIPackingError, "TUIPackingError", "An error occured while trying to parse the result", 0,
     "An error occured while trying to parse the data points", true},
    {SK::ConfigNotFound, "ConfigNotFound", "The config file couldn't be opened", 0,
     "An error occured while trying to open the config file", false},
    {SK::InvalidConfig, "InvalidConfig", "The config config.toml couldn't be read", 0,
     "An error forbid to read the config as it seems invalid, please delete config.toml and retry",
     true},
    {SK::InvalidDataForConfig, "InvalidDataForConfig", "The config config.toml couldn't be written",
     0, "An error forbit to write the config", true},
    {SK::NoVersionFound, "NoVersionFound",
     "Couldn't acquire the version of the device connected to the specified port", 0,
     "An error forbid the gathering of the version, check your TinySA is connected and powered on",
     false},
    {SK::BadScanFrequencies, "BadScanFrequencies", "The given scan frequencies are inccorect ({})",
     1, "An error occured because the scan frequencies weren't set correctly", false},
    {SK::LoggerError, "LoggerError", "Couldn't initialize the logging modure", 0,
     "Couldn't initialize the error logger", true},
    // Carries the I/O error without naming it as the cause.
    {SK::SendError, "SendError", "Couldn't write to the TinySA, connection lost", 0,
     "Couldn't finish sending data to TinySA", false},
}};

using UK = SparvikUIError::Kind;
constexpr std::array<UIErrorRow, SparvikUIError::kind_count> ui_error_rows{{
    {UK::MenuSelectionError, "MenuSelectionError", "An error occured while selecting a menu item",
     0, "An error occured while trying to select a menu item", false},
    // The display puts the file before the line.
    {UK::UninitializedItemList, "UninitializedItemList",
     "The item list ({}) wasn't initialyzed ({}:{})", 3, "The item {} was left uninitialized",
     false},
    {UK::KeyPress, "KeyPress", "An error occured while proccesing the key events", 0,
     "An error occured while processing key events", true},
    {UK::NoPortSelected, "NoPortSelected", "No port was selected", 0,
     "No connection port was selected", false},
    {UK::ScanError, "ScanError", "An error occured while trying to scan: \n => {}", 1, "{}", true},
    {UK::NoConnectionInfoCreated, "NoConnectionInfoCreated",
     "An error occured while trying to acquire the connection info structure", 0,
     "An error occured when tring to acquire connection info with the TinySA", false},
    {UK::NoReturnData, "NoReturnData", "An error occured while trying to acquire the return data",
     0, "An error occured when trying to acquire the return data with the TinySA", false},
    {UK::NoErrorSpecified, "NoErrorSpecified", "An unspecified error occured", 0,
     "An unspecified error occured", false},
    {UK::SerializeError, "SerializeError", "Couldn't serialize the error to file", 0,
     "An error occured while tring to save the current config", true},
}};

// True when the text's only braces are `count` "{}" placeholders.
constexpr bool has_placeholders(std::string_view text, std::size_t count) {
  std::size_t pairs = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '}') return false;
    if (text[i] != '{') continue;
    if (i + 1 == text.size() || text[i + 1] != '}') return false;
    ++pairs;
    ++i;
  }
  return pairs == count;
}

// Row i holds kind i, and each display text has exactly the placeholders its row fills: a
// missed, reordered or mistyped row does not compile.
template <class Rows>
constexpr bool rows_are_sound(const Rows& rows) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (static_cast<std::size_t>(rows[i].kind) != i) return false;
    if (!has_placeholders(rows[i].display, rows[i].shown)) return false;
  }
  return true;
}
static_assert(rows_are_sound(sparvik_error_rows));
static_assert(rows_are_sound(ui_error_rows));
// Only these two screen texts are filled in; every other one is shown as it is.
constexpr bool screen_texts_are_sound() {
  for (const auto& row : ui_error_rows) {
    const bool filled = row.kind == UK::UninitializedItemList || row.kind == UK::ScanError;
    if (!has_placeholders(row.screen_text, filled ? 1 : 0)) return false;
  }
  return true;
}
static_assert(screen_texts_are_sound());

template <class Rows, class Kind>
const auto& row_of(const Rows& rows, Kind kind) noexcept {
  return rows[static_cast<std::size_t>(kind)];
}

// The error a payload names as its cause: a report's wrapped error, else the payload itself.
struct PayloadSource {
  std::optional<ErrorSource> operator()(std::monostate) const { return std::nullopt; }
  std::optional<ErrorSource> operator()(const std::string&) const { return std::nullopt; }
  std::optional<ErrorSource> operator()(const SparvikUIError::ItemLocation&) const {
    return std::nullopt;
  }
  std::optional<ErrorSource> operator()(const Report& report) const {
    return ErrorSource(report.wrapped());
  }
  template <class E>
  std::optional<ErrorSource> operator()(const E& error) const {
    return ErrorSource(error);
  }
};

// "Name" for a variant without payload, "Name(<the payload's debug form>)" for the others.
template <class Payload, class Visitor>
std::string debug_form(std::string_view name, const Payload& payload, const Visitor& visitor) {
  if (std::holds_alternative<std::monostate>(payload)) return std::string(name);
  return fmt::format("{}({})", name, std::visit(visitor, payload));
}

// The payload's own debug form, whatever it is.
struct PayloadDebug {
  std::string operator()(std::monostate) const { return {}; }
  std::string operator()(const std::string& text) const { return debug_quote(text); }
  template <class E>
  std::string operator()(const E& error) const {
    return error.debug();
  }
};

}  // namespace

std::string PackingError::debug() const {
  return fmt::format("PackingError {{ message: {} }}", debug_quote(message));
}
std::string TomlReadError::debug() const {
  return fmt::format("TomlReadError {{ message: {} }}", debug_quote(message));
}
std::string TomlWriteError::debug() const {
  return fmt::format("TomlWriteError {{ message: {} }}", debug_quote(message));
}

// ---- SparvikError ----

SparvikError SparvikError::ParseBeggining(std::string text) {
  return {Kind::ParseBeggining, std::move(text)};
}
SparvikError SparvikError::ParseEnd(std::string text) {
  return {Kind::ParseEnd, std::move(text)};
}
SparvikError SparvikError::PortConnection(serial::SerialError error) {
  return {Kind::PortConnection, std::move(error)};
}
SparvikError SparvikError::OpenOutput(IoError error) {
  return {Kind::OpenOutput, std::move(error)};
}
SparvikError SparvikError::TUIInitialization(Report report) {
  return {Kind::TUIInitialization, std::move(report)};
}
SparvikError SparvikError::TUIRuntimeError(Report report) {
  return {Kind::TUIRuntimeError, std::move(report)};
}
SparvikError SparvikError::TUIPackingError(PackingError error) {
  return {Kind::TUIPackingError, std::move(error)};
}
SparvikError SparvikError::ConfigNotFound() {
  return {Kind::ConfigNotFound, std::monostate{}};
}
SparvikError SparvikError::InvalidConfig(TomlReadError error) {
  return {Kind::InvalidConfig, std::move(error)};
}
SparvikError SparvikError::InvalidDataForConfig(TomlWriteError error) {
  return {Kind::InvalidDataForConfig, std::move(error)};
}
SparvikError SparvikError::NoVersionFound() {
  return {Kind::NoVersionFound, std::monostate{}};
}
SparvikError SparvikError::BadScanFrequencies(std::string text) {
  return {Kind::BadScanFrequencies, std::move(text)};
}
SparvikError SparvikError::LoggerError(log::LogError error) {
  return {Kind::LoggerError, std::move(error)};
}
SparvikError SparvikError::SendError(IoError error) {
  return {Kind::SendError, std::move(error)};
}

std::string SparvikError::display() const {
  const auto& row = row_of(sparvik_error_rows, kind_);
  if (row.shown == 0) return std::string(row.display);
  if (const auto* report = std::get_if<Report>(&payload_)) {
    return fmt::format(fmt::runtime(row.display), report->display());
  }
  return fmt::format(fmt::runtime(row.display), std::get<std::string>(payload_));
}

std::string SparvikError::debug() const {
  return debug_form(row_of(sparvik_error_rows, kind_).name, payload_, PayloadDebug{});
}

std::optional<ErrorSource> SparvikError::source() const {
  if (!row_of(sparvik_error_rows, kind_).names_source) return std::nullopt;
  return std::visit(PayloadSource{}, payload_);
}

const char* SparvikError::hint() const noexcept {
  return row_of(sparvik_error_rows, kind_).hint.data();  // a literal: ends with a null
}

// ---- SparvikUIError ----

SparvikUIError SparvikUIError::MenuSelectionError() {
  return {Kind::MenuSelectionError, std::monostate{}};
}
SparvikUIError SparvikUIError::UninitializedItemList(ItemLocation at) {
  return {Kind::UninitializedItemList, at};
}
SparvikUIError SparvikUIError::KeyPress(IoError error) {
  return {Kind::KeyPress, std::move(error)};
}
SparvikUIError SparvikUIError::NoPortSelected() {
  return {Kind::NoPortSelected, std::monostate{}};
}
SparvikUIError SparvikUIError::ScanError(SparvikError error) {
  return {Kind::ScanError, std::move(error)};
}
SparvikUIError SparvikUIError::NoConnectionInfoCreated() {
  return {Kind::NoConnectionInfoCreated, std::monostate{}};
}
SparvikUIError SparvikUIError::NoReturnData() {
  return {Kind::NoReturnData, std::monostate{}};
}
SparvikUIError SparvikUIError::NoErrorSpecified() {
  return {Kind::NoErrorSpecified, std::monostate{}};
}
SparvikUIError SparvikUIError::SerializeError(TomlWriteError error) {
  return {Kind::SerializeError, std::move(error)};
}

std::string SparvikUIError::display() const {
  const auto& row = row_of(ui_error_rows, kind_);
  if (row.shown == 0) return std::string(row.display);
  if (const auto* at = std::get_if<ItemLocation>(&payload_)) {
    return fmt::format(fmt::runtime(row.display), at->item, at->file, at->line);
  }
  return fmt::format(fmt::runtime(row.display), std::get<SparvikError>(payload_).display());
}

std::string SparvikUIError::debug() const {
  struct Visitor : PayloadDebug {
    using PayloadDebug::operator();
    std::string operator()(const ItemLocation& at) const {
      return fmt::format("{}, {}, {}", debug_quote(at.item), at.line, debug_quote(at.file));
    }
  };
  return debug_form(row_of(ui_error_rows, kind_).name, payload_, Visitor{});
}

std::optional<ErrorSource> SparvikUIError::source() const {
  if (!row_of(ui_error_rows, kind_).names_source) return std::nullopt;
  return std::visit(PayloadSource{}, payload_);
}

std::string SparvikUIError::screen_text() const {
  const auto& row = row_of(ui_error_rows, kind_);
  if (const auto* at = std::get_if<ItemLocation>(&payload_)) {
    return fmt::format(fmt::runtime(row.screen_text), at->item);
  }
  if (const auto* wrapped = std::get_if<SparvikError>(&payload_)) {
    return fmt::format(fmt::runtime(row.screen_text), wrapped->hint());
  }
  return std::string(row.screen_text);
}

std::string debug_optional(const std::optional<SparvikUIError>& error) {
  if (!error) return "None";
  return fmt::format("Some({})", error->debug());
}

}  // namespace sparvik
