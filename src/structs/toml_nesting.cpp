#include "structs/toml_nesting.hpp"

#include <vector>

namespace sparvik {

namespace {

// Walks the text once, skipping strings and comments the way TOML delimits them.
class NestingScan {
 public:
  NestingScan(std::string_view text, std::size_t limit) : text_(text), limit_(limit) {}

  std::optional<TooDeep> run() {
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '"' || c == '\'') {
        skip_string(c);
        line_start_ = false;
        continue;
      }
      ++at_;
      switch (c) {
        case ' ':
        case '\t':
        case '\r':
          break;
        case '#':
          while (at_ < text_.size() && text_[at_] != '\n') ++at_;
          break;
        case '\n':
          new_line();
          break;
        case '[':
          if (line_start_ && open_.empty() && !in_value_) {
            // A table header, "[a.b]" or "[[a.b]]": its dots become the depth of what follows.
            in_header_ = true;
            header_ = 0;
            key_dots_ = 0;
            if (at_ < text_.size() && text_[at_] == '[') ++at_;
          } else {
            open('[');
          }
          break;
        case '{':
          open('{');
          in_value_ = false;  // keys follow
          break;
        case ']':
          if (in_header_) {
            in_header_ = false;
            header_ = key_dots_ + 1;
            key_dots_ = 0;
            if (at_ < text_.size() && text_[at_] == ']') ++at_;
          } else {
            close();
          }
          break;
        case '}':
          close();
          break;
        case ',':
          value_dots_ = 0;
          if (!open_.empty() && open_.back().bracket == '{') {
            key_dots_ = open_.back().key_dots;
            in_value_ = false;
          }
          break;
        case '=':
          in_value_ = true;
          value_dots_ = 0;
          break;
        case '.':
          ++(in_value_ ? value_dots_ : key_dots_);
          break;
        default:
          break;
      }
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '#') line_start_ = false;
      if (header_ + key_dots_ + value_dots_ + open_.size() > limit_) return TooDeep{line_};
    }
    return std::nullopt;
  }

 private:
  struct Open {
    char bracket;
    std::size_t key_dots;  // the dotted key in force where it opened
  };

  void new_line() {
    ++line_;
    value_dots_ = 0;
    // Arrays may span lines; a statement at the top level ends here.
    if (open_.empty()) {
      key_dots_ = 0;
      in_value_ = false;
      in_header_ = false;
      line_start_ = true;
    }
  }

  void open(char bracket) {
    open_.push_back({bracket, key_dots_});
    value_dots_ = 0;
  }

  void close() {
    if (open_.empty()) return;
    key_dots_ = open_.back().key_dots;
    open_.pop_back();
    in_value_ = true;
    value_dots_ = 0;
  }

  bool starts_with(std::string_view what) const { return text_.substr(at_).starts_with(what); }

  // From an opening quote to just past the closing one (or the end of the text). A single-line
  // string also ends at a line break, where it is malformed anyway.
  void skip_string(char quote) {
    const bool basic = quote == '"';
    const std::string_view triple = basic ? R"(""")" : "'''";
    if (starts_with(triple)) {
      at_ += 3;
      while (at_ < text_.size()) {
        if (basic && text_[at_] == '\\') {
          if (at_ + 1 < text_.size() && text_[at_ + 1] == '\n') ++line_;
          at_ += 2;
          continue;
        }
        if (starts_with(triple)) {
          at_ += 3;
          // Up to two more quotes still belong to the string: """a""""  holds a".
          for (int extra = 0; extra < 2 && at_ < text_.size() && text_[at_] == quote; ++extra) {
            ++at_;
          }
          return;
        }
        if (text_[at_] == '\n') ++line_;
        ++at_;
      }
      return;
    }
    ++at_;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '\n') return;
      ++at_;
      if (c == quote) return;
      if (basic && c == '\\' && at_ < text_.size() && text_[at_] != '\n') ++at_;
    }
  }

  std::string_view text_;
  std::size_t limit_;
  std::size_t at_ = 0;
  std::size_t line_ = 1;
  std::size_t header_ = 0;
  std::size_t key_dots_ = 0;
  std::size_t value_dots_ = 0;
  bool in_value_ = false;
  bool in_header_ = false;
  bool line_start_ = true;
  std::vector<Open> open_;
};

}  // namespace

std::optional<TooDeep> find_deep_nesting(std::string_view text, std::size_t limit) {
  return NestingScan(text, limit).run();
}

}  // namespace sparvik
