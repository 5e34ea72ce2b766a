// An error report: a message, the chain of causes below it and where it was made. Used where
// failures leave the program's own enumerations (the run loop, start-up hooks).
#pragma once

#include <cstddef>
#include <optional>
#include <source_location>
#include <string>
#include <vector>

#include "platform/error_source.hpp"

namespace sparvik {

class Report {
 public:
  // One error of the chain: the wrapped error, or one of its causes. Links live side by side in
  // the report, so a link's source is simply the next one.
  class Link {
   public:
    Link(std::string text, bool has_next) : text_(std::move(text)), has_next_(has_next) {}
    std::string display() const { return text_; }
    std::string debug() const;
    std::optional<ErrorSource> source() const;

   private:
    std::string text_;
    bool has_next_;
  };

  // `message` is the top error's display text; `causes` the display texts of its sources, outermost
  // first.
  explicit Report(std::string message, std::vector<std::string> causes = {},
                  std::source_location where = std::source_location::current());

  const std::string& message() const noexcept { return message_; }
  const std::vector<std::string>& causes() const noexcept { return causes_; }
  std::string location() const;  // "src/ui/run_loop.cpp:42:7"

  // The error the report wraps; its source() walks the causes in order.
  const Link& wrapped() const noexcept { return chain_.front(); }

  // The top message only.
  std::string display() const { return message_; }
  // The message, then "Caused by:" with the numbered causes and "Location:", as a report prints.
  std::string debug() const;

 private:
  std::string message_;
  std::vector<std::string> causes_;
  std::vector<Link> chain_;  // message_ first, then causes_; never empty
  std::string file_;
  unsigned line_ = 0;
  unsigned column_ = 0;
};

}  // namespace sparvik
