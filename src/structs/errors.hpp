// The two error enumerations: SparvikError (start-up, settings, sweep) and SparvikUIError (screens
// and key actions). Each value renders a display text, a debug form and an error-screen hint, and
// names the cause it wraps through source().
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "platform/error_source.hpp"
#include "platform/io_error.hpp"
#include "platform/log/log.hpp"
#include "platform/report.hpp"
#include "platform/serial/serial_error.hpp"

namespace sparvik {

// Library payloads without a library of their own here: small values carrying the message.
struct PackingError {
  std::string message;
  std::string display() const { return message; }
  std::string debug() const;
};
struct TomlReadError {
  std::string message;  // the TOML reader's own text, with its position
  std::string display() const { return message; }
  std::string debug() const;
};
struct TomlWriteError {
  std::string message;
  std::string display() const { return message; }
  std::string debug() const;
};

class SparvikError {
 public:
  enum class Kind : std::uint8_t {
    ParseBeggining,
    ParseEnd,
    PortConnection,
    OpenOutput,
    TUIInitialization,
    TUIRuntimeError,
    TUIPackingError,
    ConfigNotFound,
    InvalidConfig,
    InvalidDataForConfig,
    NoVersionFound,
    BadScanFrequencies,
    LoggerError,
    SendError,
  };
  // Names the last kind: the text tables in errors.cpp are checked against it.
  static constexpr std::size_t kind_count = static_cast<std::size_t>(Kind::SendError) + 1;

  static SparvikError ParseBeggining(std::string text);
  static SparvikError ParseEnd(std::string text);
  static SparvikError PortConnection(serial::SerialError error);
  static SparvikError OpenOutput(IoError error);
  static SparvikError TUIInitialization(Report report);
  static SparvikError TUIRuntimeError(Report report);
  static SparvikError TUIPackingError(PackingError error);
  static SparvikError ConfigNotFound();
  static SparvikError InvalidConfig(TomlReadError error);
  static SparvikError InvalidDataForConfig(TomlWriteError error);
  static SparvikError NoVersionFound();
  static SparvikError BadScanFrequencies(std::string text);
  static SparvikError LoggerError(log::LogError error);
  static SparvikError SendError(IoError error);

  Kind kind() const noexcept { return kind_; }
  // Typed payload access; null when the variant carries another kind of payload.
  template <class T>
  const T* payload() const noexcept {
    return std::get_if<T>(&payload_);
  }

  std::string display() const;
  std::string debug() const;
  std::optional<ErrorSource> source() const;
  // The error-screen hint, chosen by variant.
  const char* hint() const noexcept;

 private:
  using Payload = std::variant<std::monostate, std::string, serial::SerialError, IoError, Report,
                               PackingError, TomlReadError, TomlWriteError, log::LogError>;
  // The payload is built in place: moving a whole variant trips g++ 12's uninitialised-use check.
  template <class T>
  SparvikError(Kind kind, T&& value)
      : kind_(kind), payload_(std::in_place_type<std::remove_cvref_t<T>>, std::forward<T>(value)) {}
  Kind kind_;
  Payload payload_;
};

class SparvikUIError {
 public:
  enum class Kind : std::uint8_t {
    MenuSelectionError,
    UninitializedItemList,
    KeyPress,
    NoPortSelected,
    ScanError,
    NoConnectionInfoCreated,
    NoReturnData,
    NoErrorSpecified,
    SerializeError,
  };
  // Names the last kind: the text tables in errors.cpp are checked against it.
  static constexpr std::size_t kind_count = static_cast<std::size_t>(Kind::SerializeError) + 1;

  // Where a missing prepared item was noticed: item name, line, file (see unprepared_items.hpp).
  struct ItemLocation {
    const char* item;
    std::uint32_t line;
    const char* file;
  };

  static SparvikUIError MenuSelectionError();
  static SparvikUIError UninitializedItemList(ItemLocation at);
  static SparvikUIError KeyPress(IoError error);
  static SparvikUIError NoPortSelected();
  static SparvikUIError ScanError(SparvikError error);
  static SparvikUIError NoConnectionInfoCreated();
  static SparvikUIError NoReturnData();
  static SparvikUIError NoErrorSpecified();
  static SparvikUIError SerializeError(TomlWriteError error);

  Kind kind() const noexcept { return kind_; }
  template <class T>
  const T* payload() const noexcept {
    return std::get_if<T>(&payload_);
  }

  std::string display() const;
  std::string debug() const;
  std::optional<ErrorSource> source() const;
  // What the error screen shows for this error; for ScanError the wrapped error's hint.
  std::string screen_text() const;

 private:
  using Payload = std::variant<std::monostate, ItemLocation, IoError, SparvikError, TomlWriteError>;
  template <class T>
  SparvikUIError(Kind kind, T&& value)
      : kind_(kind), payload_(std::in_place_type<std::remove_cvref_t<T>>, std::forward<T>(value)) {}
  Kind kind_;
  Payload payload_;
};

// "None", or "Some(<debug form>)".
std::string debug_optional(const std::optional<SparvikUIError>& error);

}  // namespace sparvik
