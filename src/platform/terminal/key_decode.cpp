#include "platform/terminal/key_decode.hpp"

#include "platform/terminal/ncurses.hpp"

namespace sparvik::term {
namespace {

struct NamedKey {
  int code;
  KeyCode key;
  Modifiers mods;
};

constexpr Modifiers none = Modifiers::None;
constexpr Modifiers shift = Modifiers::Shift;

constexpr NamedKey function_keys[] = {
    {KEY_LEFT, KeyCode::Left, none},
    {KEY_RIGHT, KeyCode::Right, none},
    {KEY_UP, KeyCode::Up, none},
    {KEY_DOWN, KeyCode::Down, none},
    {KEY_SLEFT, KeyCode::Left, shift},
    {KEY_SRIGHT, KeyCode::Right, shift},
    {KEY_SR, KeyCode::Up, shift},
    {KEY_SF, KeyCode::Down, shift},
    {KEY_HOME, KeyCode::Home, none},
    {KEY_END, KeyCode::End, none},
    {KEY_SHOME, KeyCode::Home, shift},
    {KEY_SEND, KeyCode::End, shift},
    {KEY_A1, KeyCode::Home, none},
    {KEY_C1, KeyCode::End, none},
    {KEY_PPAGE, KeyCode::PageUp, none},
    {KEY_NPAGE, KeyCode::PageDown, none},
    {KEY_SPREVIOUS, KeyCode::PageUp, shift},
    {KEY_SNEXT, KeyCode::PageDown, shift},
    {KEY_A3, KeyCode::PageUp, none},
    {KEY_C3, KeyCode::PageDown, none},
    {KEY_DC, KeyCode::Delete, none},
    {KEY_SDC, KeyCode::Delete, shift},
    {KEY_IC, KeyCode::Insert, none},
    {KEY_SIC, KeyCode::Insert, shift},
    {KEY_ENTER, KeyCode::Enter, none},
    {KEY_BACKSPACE, KeyCode::Backspace, none},
    {KEY_BTAB, KeyCode::BackTab, shift},
};

Event decode_function_key(std::uint32_t code, std::span<const ModifiedKey> modified_keys) {
  if (code == static_cast<std::uint32_t>(KEY_RESIZE)) return ResizeEvent{};
  if (code == static_cast<std::uint32_t>(KEY_MOUSE)) return OtherEvent{};
  for (const NamedKey& k : function_keys) {
    if (code == static_cast<std::uint32_t>(k.code)) return KeyEvent::key(k.key, k.mods);
  }
  for (const ModifiedKey& k : modified_keys) {
    if (code == k.code) return KeyEvent::key(k.key, k.mods);
  }
  return KeyEvent::key(KeyCode::Other);
}

KeyEvent decode_character(char32_t c) {
  switch (c) {
    case 0x1B:
      return KeyEvent::key(KeyCode::Esc);
    // In raw mode Enter sends CR and Backspace DEL; LF and BS are Ctrl+J and Ctrl+H, decoded with
    // the other Ctrl+letter bytes below.
    case '\r':
      return KeyEvent::key(KeyCode::Enter);
    case '\t':
      return KeyEvent::key(KeyCode::Tab);
    case 0x7F:
      return KeyEvent::key(KeyCode::Backspace);
    case 0x00:
      return KeyEvent::character(' ', Modifiers::Ctrl);
    default:
      break;
  }
  if (c >= 0x01 && c <= 0x1A) return KeyEvent::character(U'a' + (c - 0x01), Modifiers::Ctrl);
  if (c >= 0x1C && c <= 0x1F) return KeyEvent::character(U'4' + (c - 0x1C), Modifiers::Ctrl);
  const bool control = c >= 0x80 && c <= 0x9F;
  const bool not_scalar = c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF);
  if (control || not_scalar) return KeyEvent::key(KeyCode::Other);
  if (c >= U'A' && c <= U'Z') return KeyEvent::character(c, Modifiers::Shift);
  return KeyEvent::character(c);
}

}  // namespace

Event decode_key(RawKey raw, bool after_escape, std::span<const ModifiedKey> modified_keys) {
  Event event = raw.function_key ? decode_function_key(raw.code, modified_keys)
                                 : Event(decode_character(static_cast<char32_t>(raw.code)));
  if (after_escape) {
    if (auto* key = std::get_if<KeyEvent>(&event)) key->mods = key->mods | Modifiers::Alt;
  }
  return event;
}

}  // namespace sparvik::term
