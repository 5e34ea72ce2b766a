// An error report: a message, the chain of causes below it and where it was made. Used where
// failures leave the program's own enumerations (the run loop, start-up hooks).
#pragma once

#include <source_location>
#include <string>
#include <vector>

namespace sparvik {

class Report {
 public:
  // `message` is the top error's display text; `causes` the display texts of its sources, outermost
  // first.
  explicit Report(std::string message, std::vector<std::string> causes = {},
                  std::source_location where = std::source_location::current());

  const std::string& message() const noexcept { return message_; }
  const std::vector<std::string>& causes() const noexcept { return causes_; }
  std::string location() const;  // "src/ui/run_loop.cpp:42:7"

  // The top message only.
  std::string display() const { return message_; }
  // The message, then "Caused by:" with the numbered causes and "Location:", as a report prints.
  std::string debug() const;

 private:
  std::string message_;
  std::vector<std::string> causes_;
  std::string file_;
  unsigned line_ = 0;
  unsigned column_ = 0;
};

}  // namespace sparvik
