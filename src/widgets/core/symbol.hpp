// What a cell shows: one character's UTF-8 bytes, held in the cell itself. Every frame rebuilds
// every cell, so a heap string per cell would cost allocations on each pass of the loop.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <string_view>

#include "utf8/utf8.hpp"

namespace sparvik::widgets {

class Symbol {
 public:
  constexpr Symbol() = default;  // a blank
  // Implicit, so that a symbol is written as the text it shows.
  constexpr Symbol(std::string_view text) { assign(text); }  // NOLINT(google-explicit-constructor)
  constexpr Symbol(const char* text) : Symbol(std::string_view(text)) {}  // NOLINT

  // Keeps the first character of `text` (U+FFFD when it is malformed); empty text shows nothing.
  constexpr void assign(std::string_view text) {
    if (text.empty()) {
      *this = Symbol(0, 0);
      return;
    }
    const utf8::Character ch = utf8::next_character(text, 0);
    bytes_ = {};
    size_ = 0;
    for (const char c : ch.symbol) bytes_[size_++] = c;
  }
  // One byte below 0x80: the common case, taken without decoding.
  static constexpr Symbol ascii(char c) { return Symbol(c, 1); }

  constexpr std::string_view view() const { return {bytes_.data(), size_}; }
  constexpr operator std::string_view() const { return view(); }  // NOLINT

  // Unused bytes are always zero, so comparing the whole array compares the text.
  friend constexpr bool operator==(const Symbol& a, const Symbol& b) {
    return std::bit_cast<std::uint32_t>(a.bytes_) == std::bit_cast<std::uint32_t>(b.bytes_) &&
           a.size_ == b.size_;
  }
  friend constexpr bool operator==(const Symbol& a, std::string_view b) { return a.view() == b; }
  friend constexpr bool operator==(const Symbol& a, const char* b) {
    return a.view() == std::string_view(b);
  }

 private:
  constexpr Symbol(char c, std::uint8_t size) : bytes_{c, 0, 0, 0}, size_(size) {}

  std::array<char, 4> bytes_{' ', 0, 0, 0};
  std::uint8_t size_ = 1;
};

}  // namespace sparvik::widgets
