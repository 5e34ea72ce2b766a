// A reference-counted value behind its own mutex. Copies share the one value; it lives as long
// as its last holder. Every access holds the lock for that access alone.
#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace sparvik {

template <class T>
class SharedCell {
 public:
  SharedCell() : inner_(std::make_shared<Inner>()) {}
  explicit SharedCell(T value) : inner_(std::make_shared<Inner>(std::move(value))) {}

  // Runs `f` on the value with the lock held, and returns what it returns.
  template <class F>
  decltype(auto) with(F&& f) const {
    std::lock_guard lock(inner_->mutex);
    return std::forward<F>(f)(inner_->value);
  }
  T get() const {
    return with([](const T& v) { return v; });
  }
  void set(T value) const {
    // The old value is destroyed after the lock is released.
    with([&](T& v) { std::swap(v, value); });
  }
  // Moves the value out, leaving a default one behind.
  T take() const {
    return with([](T& v) { return std::exchange(v, T{}); });
  }
  // Runs `f` on the value when the lock is free at this moment; returns false when it is held.
  template <class F>
  bool try_with(F&& f) const {
    std::unique_lock lock(inner_->mutex, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    std::forward<F>(f)(std::as_const(inner_->value));
    return true;
  }

  long holders() const noexcept { return inner_.use_count(); }
  bool shares_with(const SharedCell& other) const noexcept { return inner_ == other.inner_; }

 private:
  struct Inner {
    Inner() = default;
    explicit Inner(T v) : value(std::move(v)) {}
    std::mutex mutex;
    T value{};
  };
  std::shared_ptr<Inner> inner_;
};

}  // namespace sparvik
