// The one place that includes curses.h: wide-character API on, and its function-like macros
// (clear(), erase(), refresh(), ...) off so they cannot capture our own member names.
#pragma once

#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#ifndef NCURSES_NOMACROS
#define NCURSES_NOMACROS 1
#endif
#include <curses.h>
