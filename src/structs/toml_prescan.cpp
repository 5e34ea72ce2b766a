#include "structs/toml_prescan.hpp"

#include <vector>

#include "utf8/utf8.hpp"

namespace sparvik {

namespace {

// toml++ 3.3 asks whether a code point is horizontal whitespace through a lookup whose unhandled
// branches are marked unreachable; for these code points the test is undefined behaviour.
// Measured under UBSan over every code point, in each place the parser reads one.
constexpr bool whitespace_test_is_undefined(char32_t c) {
  return (c >= 0xA1 && c <= 0x499) || (c >= 0x2C5E && c <= 0x3057 && c != 0x3000) ||
         (c >= 0xFB26 && c <= 0xFEFE);
}

// Where an array expects a value the parser asserts that the next code point ends no value, and
// it takes these line separators for value ends; elsewhere outside strings it rejects them.
constexpr bool is_non_ascii_line_break(char32_t c) {
  return c == 0x85 || c == 0x2028 || c == 0x2029;
}

// What the parser skips after a line-ending backslash besides spaces, tabs and line breaks.
constexpr bool is_non_ascii_space(char32_t c) {
  return c == 0xA0 || c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200B) || c == 0x202F ||
         c == 0x205F || c == 0x2060 || c == 0x3000 || c == 0xFEFF;
}

// Walks the text once, skipping strings and comments the way TOML delimits them.
class Prescan {
 public:
  Prescan(std::string_view text, std::size_t limit) : text_(text), limit_(limit) {}

  std::optional<TomlRefusal> run() {
    while (at_ < text_.size()) {
      const char c = text_[at_];
      // No non-ASCII text is valid TOML outside strings and comments, but the parser tests what
      // it reaches before it gives up (a bare value up to its end), so each one is judged here.
      if (static_cast<unsigned char>(c) >= 0x80) {
        const char32_t code_point = utf8::decode_at(text_, at_).code_point;
        if (whitespace_test_is_undefined(code_point) || is_non_ascii_line_break(code_point)) {
          return TomlRefusal{line_, "a non-ASCII character outside strings and comments"};
        }
      }
      // The parser reads a bare value (number, date, boolean) on to the next terminator, whatever
      // lies between: brackets and quotes in there open nothing.
      if (in_bare_value_) {
        if (!ends_bare_value(c)) {
          ++at_;
          continue;
        }
        in_bare_value_ = false;
      }
      // A quote glued to a value or key is not a string to the parser, which reads on to the
      // next terminator; what follows is then treated as outside strings here too.
      if ((c == '"' || c == '\'') && opens_token(previous_)) {
        if (!skip_string(c)) return TomlRefusal{line_, "a non-ASCII character after a backslash"};
        line_start_ = false;
        previous_ = c;
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
          if (in_value_) in_bare_value_ = true;
          break;
      }
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '#') {
        line_start_ = false;
        previous_ = c;
      }
      if (header_ + key_dots_ + value_dots_ + open_.size() > limit_) {
        return TomlRefusal{line_, "tables or arrays nested too deep"};
      }
    }
    return std::nullopt;
  }

 private:
  struct Open {
    char bracket;
    std::size_t key_dots;  // the dotted key in force where it opened
  };

  static bool ends_bare_value(char c) {
    return c == ' ' || c == '\t' || (c >= '\n' && c <= '\r') || c == ']' || c == '}' || c == ',' ||
           c == '#';
  }

  // Where a string may begin: at the start of a line, or after what opens a value or a key part.
  static bool opens_token(char previous) {
    return previous == '\n' || previous == '=' || previous == '[' || previous == '{' ||
           previous == ',' || previous == '.';
  }

  void new_line() {
    ++line_;
    previous_ = '\n';
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

  // After a backslash in a multi-line basic string the parser tests the next code point for
  // whitespace; when it is one (a line-ending backslash) it tests each up to the line break,
  // then each it skips after it, up to the first that is no whitespace to it. True when one of
  // those tests is undefined. In single-line strings an escape is looked up, never tested.
  bool escape_reaches_undefined_test() const {
    const auto undefined_at = [&](std::size_t i) {
      return i < text_.size() && whitespace_test_is_undefined(utf8::decode_at(text_, i).code_point);
    };
    std::size_t next = at_ + 1;
    while (next < text_.size() && (text_[next] == ' ' || text_[next] == '\t')) ++next;
    if (undefined_at(next)) return true;
    if (text_.substr(next).starts_with("\r\n")) {
      next += 2;
    } else if (next < text_.size() && text_[next] == '\n') {
      ++next;
    } else {
      return false;
    }
    while (next < text_.size()) {
      if (text_.substr(next).starts_with("\r\n")) {
        next += 2;
        continue;
      }
      const utf8::Decoded d = utf8::decode_at(text_, next);
      if (d.code_point != ' ' && d.code_point != '\t' && d.code_point != '\n' &&
          !is_non_ascii_space(d.code_point)) {
        break;
      }
      next += d.length;
    }
    return undefined_at(next);
  }

  // From an opening quote to just past the closing one (or the end of the text). A single-line
  // string also ends at a line break, where it is malformed anyway. False when an escape in a
  // multi-line basic string leads the parser to an undefined whitespace test.
  bool skip_string(char quote) {
    const bool basic = quote == '"';
    const std::string_view triple = basic ? R"(""")" : "'''";
    if (starts_with(triple)) {
      at_ += 3;
      while (at_ < text_.size()) {
        if (basic && text_[at_] == '\\') {
          if (escape_reaches_undefined_test()) return false;
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
          return true;
        }
        if (text_[at_] == '\n') ++line_;
        ++at_;
      }
      return true;
    }
    ++at_;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '\n') return true;
      ++at_;
      if (c == quote) return true;
      if (basic && c == '\\' && at_ < text_.size() && text_[at_] != '\n') ++at_;
    }
    return true;
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
  bool in_bare_value_ = false;
  char previous_ = '\n';  // the last character outside strings that is not whitespace
  std::vector<Open> open_;
};

}  // namespace

std::optional<TomlRefusal> prescan_toml(std::string_view text, std::size_t nesting_limit) {
  return Prescan(text, nesting_limit).run();
}

}  // namespace sparvik
