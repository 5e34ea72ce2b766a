// A borrowed view of one error in a cause chain, whatever its type: what `source()` hands out.
#pragma once

#include <optional>
#include <string>
#include <typeinfo>

namespace sparvik {

class ErrorSource {
 public:
  // Any error type with display() and debug(); its source() is followed when it has one.
  template <class E>
  ErrorSource(const E& error)  // NOLINT(google-explicit-constructor): a view, like a reference
      : error_(&error), type_(&typeid(E)), ops_(&ops_for<E>) {}

  std::string display() const { return ops_->display(error_); }
  std::string debug() const { return ops_->debug(error_); }
  std::optional<ErrorSource> source() const;

  // The viewed error when it is an E, else null.
  template <class E>
  const E* as() const {
    return *type_ == typeid(E) ? static_cast<const E*>(error_) : nullptr;
  }

 private:
  struct Ops {
    std::string (*display)(const void*);
    std::string (*debug)(const void*);
    // Writes the viewed error's own source into `out`; false when it has none.
    bool (*source)(const void*, ErrorSource* out);
  };
  template <class E>
  static bool source_of(const void* e, ErrorSource* out);
  template <class E>
  static constexpr Ops ops_for{
      [](const void* e) { return static_cast<const E*>(e)->display(); },
      [](const void* e) { return static_cast<const E*>(e)->debug(); },
      &source_of<E>,
  };

  const void* error_;
  const std::type_info* type_;
  const Ops* ops_;
};

template <class E>
bool ErrorSource::source_of(const void* e, ErrorSource* out) {
  if constexpr (requires(const E& x) { x.source(); }) {
    auto s = static_cast<const E*>(e)->source();
    if (!s) return false;
    *out = *s;
    return true;
  } else {
    (void)e;
    (void)out;
    return false;
  }
}

inline std::optional<ErrorSource> ErrorSource::source() const {
  ErrorSource out = *this;
  if (!ops_->source(error_, &out)) return std::nullopt;
  return out;
}

}  // namespace sparvik
