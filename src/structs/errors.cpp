// Texts, debug forms and sources of the two error enumerations.
#include "structs/errors.hpp"

#include <fmt/format.h>

#include <array>
#include <cstddef>

namespace sparvik {

namespace {

constexpr std::array<const char*, 14> sparvik_error_names{
    "ParseBeggining",       "ParseEnd",          "PortConnection",
    "OpenOutput",           "TUIInitialization", "TUIRuntimeError",
    "TUIPackingError",      "ConfigNotFound",    "InvalidConfig",
    "InvalidDataForConfig", "NoVersionFound",    "BadScanFrequencies",
    "LoggerError",          "SendError",
};

// Indexed by the variant's position: what the error screen shows for it.
constexpr std::array<const char*, 14> sparvik_error_hints{
    "An error occured while receiving data, the scan never sent back any valid data",
    "An error occured while receiving data, scan was interupted before ending properly",
    "An error occured while trying to connect, check the selected port and baudrate",
    "An error occured while trying to export the scan",
    "An error occured while trying to create the TUI",
    "An error occured during runtime",
    "An error occured while trying to parse the data points",
    "An error occured while trying to open the config file",
    "An error forbid to read the config as it seems invalid, please delete config.toml and retry",
    "An error forbit to write the config",
    "An error forbid the gathering of the version, check your TinySA is connected and powered on",
    "An error occured because the scan frequencies weren't set correctly",
    "Couldn't initialize the error logger",
    "Couldn't finish sending data to TinySA",
};

constexpr std::array<const char*, 9> ui_error_names{
    "MenuSelectionError", "UninitializedItemList",   "KeyPress",     "NoPortSelected",
    "ScanError",          "NoConnectionInfoCreated", "NoReturnData", "NoErrorSpecified",
    "SerializeError",
};

template <class Array, class Kind>
const char* by_kind(const Array& table, Kind kind) noexcept {
  return table[static_cast<std::size_t>(kind)];
}

// "Name" for a variant without payload, "Name(<the payload's debug form>)" for the others.
template <class Payload, class Visitor>
std::string debug_form(const char* name, const Payload& payload, const Visitor& visitor) {
  if (std::holds_alternative<std::monostate>(payload)) return name;
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
  switch (kind_) {
    case Kind::ParseBeggining:
      return fmt::format("Couldn't parse the beggining of the data ({})",
                         std::get<std::string>(payload_));
    case Kind::ParseEnd:
      return fmt::format("Couldn't parse the end of the data ({})",
                         std::get<std::string>(payload_));
    case Kind::PortConnection:
      return "Couldn't connect to the given port";
    case Kind::OpenOutput:
      return "Couldn't open the given file";
    case Kind::TUIInitialization:
      return "An error occured while creating the TUI";
    case Kind::TUIRuntimeError:
      return "A runtime error occured :\n" + std::get<Report>(payload_).display();
    case Kind::TUIPackingError:
      return "An error occured while trying to parse the result";
    case Kind::ConfigNotFound:
      return "The config file couldn't be opened";
    case Kind::InvalidConfig:
      return "The config config.toml couldn't be read";
    case Kind::InvalidDataForConfig:
      return "The config config.toml couldn't be written";
    case Kind::NoVersionFound:
      return "Couldn't acquire the version of the device connected to the specified port";
    case Kind::BadScanFrequencies:
      return fmt::format("The given scan frequencies are inccorect ({})",
                         std::get<std::string>(payload_));
    case Kind::LoggerError:
      return "Couldn't initialize the logging modure";
    case Kind::SendError:
      return "Couldn't write to the TinySA, connection lost";
  }
  return {};
}

std::string SparvikError::debug() const {
  return debug_form(by_kind(sparvik_error_names, kind_), payload_, PayloadDebug{});
}

std::optional<ErrorSource> SparvikError::source() const {
  switch (kind_) {
    case Kind::PortConnection:
      return ErrorSource(std::get<serial::SerialError>(payload_));
    case Kind::OpenOutput:
      return ErrorSource(std::get<IoError>(payload_));
    case Kind::TUIInitialization:
      return ErrorSource(std::get<Report>(payload_).wrapped());
    case Kind::TUIPackingError:
      return ErrorSource(std::get<PackingError>(payload_));
    case Kind::InvalidConfig:
      return ErrorSource(std::get<TomlReadError>(payload_));
    case Kind::InvalidDataForConfig:
      return ErrorSource(std::get<TomlWriteError>(payload_));
    case Kind::LoggerError:
      return ErrorSource(std::get<log::LogError>(payload_));
    // SendError and TUIRuntimeError carry a payload but name no cause.
    default:
      return std::nullopt;
  }
}

const char* SparvikError::hint() const noexcept {
  return by_kind(sparvik_error_hints, kind_);
}

// ---- SparvikUIError ----

SparvikUIError SparvikUIError::MenuSelectionError() {
  return {Kind::MenuSelectionError, std::monostate{}};
}
SparvikUIError SparvikUIError::UninitializedItemList(const char* item, std::uint32_t line,
                                                     const char* file) {
  return {Kind::UninitializedItemList, ItemLocation{item, line, file}};
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
  switch (kind_) {
    case Kind::MenuSelectionError:
      return "An error occured while selecting a menu item";
    case Kind::UninitializedItemList: {
      const auto& at = std::get<ItemLocation>(payload_);
      return fmt::format("The item list ({}) wasn't initialyzed ({}:{})", at.item, at.file,
                         at.line);
    }
    case Kind::KeyPress:
      return "An error occured while proccesing the key events";
    case Kind::NoPortSelected:
      return "No port was selected";
    case Kind::ScanError:
      return "An error occured while trying to scan: \n => " +
             std::get<SparvikError>(payload_).display();
    case Kind::NoConnectionInfoCreated:
      return "An error occured while trying to acquire the connection info structure";
    case Kind::NoReturnData:
      return "An error occured while trying to acquire the return data";
    case Kind::NoErrorSpecified:
      return "An unspecified error occured";
    case Kind::SerializeError:
      return "Couldn't serialize the error to file";
  }
  return {};
}

std::string SparvikUIError::debug() const {
  struct Visitor : PayloadDebug {
    using PayloadDebug::operator();
    std::string operator()(const ItemLocation& at) const {
      return fmt::format("{}, {}, {}", debug_quote(at.item), at.line, debug_quote(at.file));
    }
  };
  return debug_form(by_kind(ui_error_names, kind_), payload_, Visitor{});
}

std::optional<ErrorSource> SparvikUIError::source() const {
  switch (kind_) {
    case Kind::KeyPress:
      return ErrorSource(std::get<IoError>(payload_));
    case Kind::ScanError:
      return ErrorSource(std::get<SparvikError>(payload_));
    case Kind::SerializeError:
      return ErrorSource(std::get<TomlWriteError>(payload_));
    default:
      return std::nullopt;
  }
}

std::string SparvikUIError::screen_text() const {
  switch (kind_) {
    case Kind::MenuSelectionError:
      return "An error occured while trying to select a menu item";
    case Kind::UninitializedItemList:
      return fmt::format("The item {} was left uninitialized",
                         std::get<ItemLocation>(payload_).item);
    case Kind::KeyPress:
      return "An error occured while processing key events";
    case Kind::NoPortSelected:
      return "No connection port was selected";
    case Kind::ScanError:
      return std::get<SparvikError>(payload_).hint();
    case Kind::NoConnectionInfoCreated:
      return "An error occured when tring to acquire connection info with the TinySA";
    case Kind::NoReturnData:
      return "An error occured when trying to acquire the return data with the TinySA";
    case Kind::NoErrorSpecified:
      return "An unspecified error occured";
    case Kind::SerializeError:
      return "An error occured while tring to save the current config";
  }
  return {};
}

std::string debug_optional(const std::optional<SparvikUIError>& error) {
  if (!error) return "None";
  return fmt::format("Some({})", error->debug());
}

}  // namespace sparvik
