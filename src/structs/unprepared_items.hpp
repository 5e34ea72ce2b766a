// The places where a prepared list or gauge is found missing, as UninitializedItemList reports
// them. These are fixed message text, shown on the error screen and in the log as they always
// were: the line and file name the check's place in the original layout, not in these sources.
#pragma once

#include "structs/errors.hpp"

namespace sparvik::unprepared_item {

using Location = SparvikUIError::ItemLocation;

// Drawing the connection screen.
inline constexpr Location port_widget{"Port", 305, "src/ui"};
inline constexpr Location baud_widget{"Baud", 310, "src/ui"};
// Drawing the sweep screen.
inline constexpr Location progress_bar{"ProgressBar", 360, "src/ui"};
// Reading the baud-rate list's selection.
inline constexpr Location baudrate_selection{"Baudrate", 244, "src/ui_struct"};
// Colouring the two lists of the connection screen.
inline constexpr Location port_list_colors{"Port List", 389, "src/ui_struct"};
inline constexpr Location baudrate_list_colors{"Baudrate", 392, "src/ui_struct"};

}  // namespace sparvik::unprepared_item
