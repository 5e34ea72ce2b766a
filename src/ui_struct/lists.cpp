// The baud-rate table with its iterator, and the selections of the two lists.
#include <fmt/format.h>

#include "structs/unprepared_items.hpp"
#include "ui_struct/app_info.hpp"
#include "ui_struct/fatal_error.hpp"

namespace sparvik {

std::optional<BaudRate> BaudRateIter::nth(std::size_t n) {
  // Written so that a huge n cannot overflow the position.
  if (n >= baud_rates.size() - position_) {
    position_ = baud_rates.size();
    return std::nullopt;
  }
  const BaudRate rate = baud_rates[position_ + n];
  position_ += n + 1;
  return rate;
}

std::pair<std::size_t, std::optional<std::size_t>> BaudRateIter::size_hint() const {
  const std::size_t left = baud_rates.size() - position_;
  return {left, left};
}

BaudRateList BaudRateList::make_default() {
  BaudRateList list;
  list.items.assign(baud_rates.begin(), baud_rates.end());
  list.state.select(3);
  return list;
}

std::expected<BaudRate, SparvikUIError> BaudRateList::selected_baudrate() const {
  if (!state.selected) {
    return std::unexpected(
        SparvikUIError::UninitializedItemList(unprepared_item::baudrate_selection));
  }
  BaudRateIter rates;
  if (auto rate = rates.nth(*state.selected)) return *rate;
  return std::unexpected(SparvikUIError::MenuSelectionError());
}

std::expected<std::string, SparvikUIError> PortList::selected_port() const {
  if (!state.selected) return std::unexpected(SparvikUIError::NoPortSelected());
  // Drawing the list keeps the selection on an existing row, so this cannot be past the end.
  if (*state.selected >= items.size()) {
    fatal_error(fmt::format("selected port {} lies past the {} known ports", *state.selected,
                            items.size()));
  }
  return items[*state.selected];
}

std::optional<ScanField> scan_field_from_index(std::uint8_t index) {
  switch (index) {
    case 0:
      return ScanField::StartFrequency;
    case 1:
      return ScanField::StopFrequency;
    case 2:
      return ScanField::Points;
    case 3:
      return ScanField::Repeat;
    default:
      return std::nullopt;
  }
}

}  // namespace sparvik
