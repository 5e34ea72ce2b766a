#include <spdlog/sinks/base_sink.h>

#include <functional>
#include <mutex>
#include <stdexcept>

#include "platform/log/dispatch.hpp"
#include "platform/log/log.hpp"
#include "platform/log/record.hpp"

namespace sparvik::log::testing {

// Keeps the fields of each record; every member is used under base_sink's mutex.
class CaptureStore final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  std::vector<CapturedRecord> records() {
    std::lock_guard lock(mutex_);
    return records_;
  }

  void clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
  }

  void set_observer(std::function<void(const CapturedRecord&)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
  }

  // Records after this are dropped.
  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    records_ = {};
  }

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override {
    if (closed_) return;
    const auto& record = static_cast<const detail::Record&>(msg);
    records_.push_back(CapturedRecord{detail::from_spdlog(record.level), std::string(record.target),
                                      fmt::to_string(record.logger_name),
                                      fmt::to_string(record.payload)});
    if (observer_) observer_(records_.back());
  }

  void flush_() override {}

 private:
  std::vector<CapturedRecord> records_;
  std::function<void(const CapturedRecord&)> observer_;
  bool closed_ = false;
};

Capture::Capture(std::string_view filter_text) : store_(std::make_shared<CaptureStore>()) {
  auto filter = Filter::parse(filter_text);
  if (!filter) throw std::invalid_argument(filter.error().message);
  if (detail::install(std::move(*filter), store_) == nullptr) {
    throw std::logic_error("log capture: a logger or another capture is already installed");
  }
}

Capture::~Capture() {
  detail::uninstall(store_.get());
  store_->close();
}

std::vector<CapturedRecord> Capture::records() const {
  return store_->records();
}

std::vector<CapturedRecord> Capture::records_for(std::string_view target) const {
  std::vector<CapturedRecord> matching;
  for (CapturedRecord& record : store_->records()) {
    if (record.target == target) matching.push_back(std::move(record));
  }
  return matching;
}

void Capture::observe(std::function<void(const CapturedRecord&)> observer) {
  store_->set_observer(std::move(observer));
}

void Capture::clear() {
  store_->clear();
}

}  // namespace sparvik::log::testing
