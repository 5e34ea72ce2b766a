#include <mutex>
#include <stdexcept>

#include "platform/log/dispatch.hpp"
#include "platform/log/log.hpp"

namespace sparvik::log::testing {

// Written under the record lock; read and cleared under it too.
class CaptureStore final : public detail::Destination {
 public:
  void write(Level level, std::string_view target, std::string_view module_path,
             std::string_view message) override {
    records_.push_back(
        CapturedRecord{level, std::string(target), std::string(module_path), std::string(message)});
  }

  std::vector<CapturedRecord> records() const {
    std::lock_guard lock(detail::record_mutex());
    return records_;
  }

  void clear() {
    std::lock_guard lock(detail::record_mutex());
    records_.clear();
  }

 private:
  std::vector<CapturedRecord> records_;
};

Capture::Capture(std::string_view filter_text) : store_(std::make_shared<CaptureStore>()) {
  auto filter = Filter::parse(filter_text);
  if (!filter) throw std::invalid_argument(filter.error().message);
  if (!detail::install(std::move(*filter), store_)) {
    throw std::logic_error("log capture: a logger or another capture is already installed");
  }
}

Capture::~Capture() {
  detail::uninstall(store_.get());
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

void Capture::clear() {
  store_->clear();
}

}  // namespace sparvik::log::testing
