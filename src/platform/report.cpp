#include "platform/report.hpp"

#include <fmt/format.h>

namespace sparvik {

Report::Report(std::string message, std::vector<std::string> causes, std::source_location where)
    : message_(std::move(message)),
      causes_(std::move(causes)),
      file_(where.file_name()),
      line_(where.line()),
      column_(where.column()) {}

std::string Report::location() const { return fmt::format("{}:{}:{}", file_, line_, column_); }

std::string Report::debug() const {
  std::string out = message_;
  if (!causes_.empty()) {
    out += "\n\nCaused by:";
    for (std::size_t i = 0; i < causes_.size(); ++i) {
      out += fmt::format("\n   {}: {}", i, causes_[i]);
    }
  }
  out += fmt::format("\n\nLocation:\n   {}", location());
  return out;
}

}  // namespace sparvik
