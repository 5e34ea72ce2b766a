// What each ncurses key report becomes, including Alt (Esc prefix), Ctrl (control characters and
// extended key names) and the events that are no keys.
#include "platform/terminal/key_decode.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "platform/terminal/ncurses.hpp"

namespace sparvik::term {
namespace {

using M = Modifiers;

struct KeyCase {
  const char* name;
  RawKey raw;
  bool after_escape;
  Event expected;
};

RawKey ch(std::uint32_t c) {
  return {false, c};
}
RawKey fn(int code) {
  return {true, static_cast<std::uint32_t>(code)};
}
Event key(KeyCode code, M mods = M::None) {
  return KeyEvent::key(code, mods);
}
Event chr(char32_t c, M mods = M::None) {
  return KeyEvent::character(c, mods);
}

// Codes the terminal description would assign at run time.
constexpr std::uint32_t ctrl_left_code = 545;
constexpr std::uint32_t alt_up_code = 566;
const std::vector<ModifiedKey> modified = {
    {ctrl_left_code, KeyCode::Left, M::Ctrl},
    {alt_up_code, KeyCode::Up, M::Alt},
};

// Every expected key is a press: curses reports no releases or repeats.
const KeyCase cases[] = {
    {"letter", ch('q'), false, chr('q')},
    {"upper_case_letter_has_shift", ch('Q'), false, chr('Q', M::Shift)},
    {"digit", ch('7'), false, chr('7')},
    {"non_ascii_letter", ch(U'é'), false, chr(U'é')},
    {"carriage_return_is_enter", ch('\r'), false, key(KeyCode::Enter)},
    {"line_feed_is_ctrl_j", ch('\n'), false, chr('j', M::Ctrl)},
    {"keypad_enter", fn(KEY_ENTER), false, key(KeyCode::Enter)},
    {"escape_alone", ch(0x1B), false, key(KeyCode::Esc)},
    {"tab", ch('\t'), false, key(KeyCode::Tab)},
    {"back_tab", fn(KEY_BTAB), false, key(KeyCode::BackTab, M::Shift)},
    {"delete_char_is_backspace", ch(0x7F), false, key(KeyCode::Backspace)},
    {"backspace_byte_is_ctrl_h", ch(0x08), false, chr('h', M::Ctrl)},
    {"curses_backspace", fn(KEY_BACKSPACE), false, key(KeyCode::Backspace)},
    {"ctrl_a", ch(0x01), false, chr('a', M::Ctrl)},
    {"ctrl_z", ch(0x1A), false, chr('z', M::Ctrl)},
    {"ctrl_space", ch(0x00), false, chr(' ', M::Ctrl)},
    {"left", fn(KEY_LEFT), false, key(KeyCode::Left)},
    {"right", fn(KEY_RIGHT), false, key(KeyCode::Right)},
    {"up", fn(KEY_UP), false, key(KeyCode::Up)},
    {"down", fn(KEY_DOWN), false, key(KeyCode::Down)},
    {"shift_left", fn(KEY_SLEFT), false, key(KeyCode::Left, M::Shift)},
    {"shift_up", fn(KEY_SR), false, key(KeyCode::Up, M::Shift)},
    {"shift_down", fn(KEY_SF), false, key(KeyCode::Down, M::Shift)},
    {"home", fn(KEY_HOME), false, key(KeyCode::Home)},
    {"end", fn(KEY_END), false, key(KeyCode::End)},
    {"keypad_home", fn(KEY_A1), false, key(KeyCode::Home)},
    {"page_down", fn(KEY_NPAGE), false, key(KeyCode::PageDown)},
    {"delete", fn(KEY_DC), false, key(KeyCode::Delete)},
    {"insert", fn(KEY_IC), false, key(KeyCode::Insert)},
    {"function_key_is_other", fn(KEY_F(5)), false, key(KeyCode::Other)},
    {"unknown_code_is_other", fn(0x7FF), false, key(KeyCode::Other)},
    {"extended_ctrl_left", fn(ctrl_left_code), false, key(KeyCode::Left, M::Ctrl)},
    {"extended_alt_up", fn(alt_up_code), false, key(KeyCode::Up, M::Alt)},
    {"alt_letter", ch('x'), true, chr('x', M::Alt)},
    {"alt_upper_case_letter", ch('H'), true, chr('H', M::Shift | M::Alt)},
    {"alt_ctrl_letter", ch(0x03), true, chr('c', M::Ctrl | M::Alt)},
    {"alt_arrow", fn(KEY_DOWN), true, key(KeyCode::Down, M::Alt)},
    {"escape_twice_is_alt_escape", ch(0x1B), true, key(KeyCode::Esc, M::Alt)},
    {"c1_control_is_other", ch(0x9B), false, key(KeyCode::Other)},
    {"surrogate_is_other", ch(0xD800), false, key(KeyCode::Other)},
    {"beyond_unicode_is_other", ch(0x110000), false, key(KeyCode::Other)},
    {"resize", fn(KEY_RESIZE), false, ResizeEvent{}},
    {"resize_after_escape_stays_resize", fn(KEY_RESIZE), true, ResizeEvent{}},
    {"mouse", fn(KEY_MOUSE), false, OtherEvent{}},
};

void PrintTo(const KeyCase& c, std::ostream* os) {
  *os << c.name;
}

class DecodeKey : public testing::TestWithParam<KeyCase> {};

TEST_P(DecodeKey, GivesTheExpectedEvent) {
  const KeyCase& c = GetParam();
  EXPECT_EQ(decode_key(c.raw, c.after_escape, modified), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, DecodeKey, testing::ValuesIn(cases),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace sparvik::term
