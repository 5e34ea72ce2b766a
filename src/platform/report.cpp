#include "platform/report.hpp"

#include <fmt/format.h>

#include <string_view>

#include "platform/io_error.hpp"

namespace sparvik {

namespace {
// Source paths arrive absolute from the build; reports read better from the source root down.
std::string relative_source_path(std::string_view path) {
  const auto at = path.rfind("/src/");
  if (at == std::string_view::npos) return std::string(path);
  return std::string(path.substr(at + 1));
}
}  // namespace

std::string Report::Link::debug() const {
  return debug_quote(text_);
}

std::optional<ErrorSource> Report::Link::source() const {
  if (!has_next_) return std::nullopt;
  return ErrorSource(*(this + 1));  // the chain is contiguous; see Report::chain_
}

Report::Report(std::string message, std::vector<std::string> causes, std::source_location where)
    : message_(std::move(message)),
      causes_(std::move(causes)),
      file_(relative_source_path(where.file_name())),
      line_(where.line()),
      column_(where.column()) {
  chain_.reserve(causes_.size() + 1);
  chain_.emplace_back(message_, !causes_.empty());
  for (std::size_t i = 0; i < causes_.size(); ++i) {
    chain_.emplace_back(causes_[i], i + 1 < causes_.size());
  }
}

std::string Report::location() const {
  return fmt::format("{}:{}:{}", file_, line_, column_);
}

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
