// The platform's system-colour table (window background, button face,
// highlight, ...), and its installation as the resolver of the colour
// records, so that a TColor naming a system colour converts to real bytes.
//
// The table holds the classic light desktop scheme; indices follow the
// platform's numbering (5 = window background, 15 = button face, ...).
// Loading this module installs the table (a static registration object);
// a program that needs it in force before its first colour conversion calls
// `install_system_colors`, which also guarantees the module is linked.
#pragma once

#include <cstdint>

#include "graphics.colors.h"

// System colour indices.
enum TSystemColorIndex : uint8_t {
  COLOR_SCROLLBAR = 0,
  COLOR_BACKGROUND = 1,
  COLOR_ACTIVECAPTION = 2,
  COLOR_INACTIVECAPTION = 3,
  COLOR_MENU = 4,
  COLOR_WINDOW = 5,
  COLOR_WINDOWFRAME = 6,
  COLOR_MENUTEXT = 7,
  COLOR_WINDOWTEXT = 8,
  COLOR_CAPTIONTEXT = 9,
  COLOR_ACTIVEBORDER = 10,
  COLOR_INACTIVEBORDER = 11,
  COLOR_APPWORKSPACE = 12,
  COLOR_HIGHLIGHT = 13,
  COLOR_HIGHLIGHTTEXT = 14,
  COLOR_BTNFACE = 15,
  COLOR_BTNSHADOW = 16,
  COLOR_GRAYTEXT = 17,
  COLOR_BTNTEXT = 18,
  COLOR_INACTIVECAPTIONTEXT = 19,
  COLOR_BTNHIGHLIGHT = 20,
  COLOR_3DDKSHADOW = 21,
  COLOR_3DLIGHT = 22,
  COLOR_INFOTEXT = 23,
  COLOR_INFOBK = 24,
  COLOR_HOTLIGHT = 26,
  COLOR_GRADIENTACTIVECAPTION = 27,
  COLOR_GRADIENTINACTIVECAPTION = 28,
  COLOR_MENUHILIGHT = 29,
  COLOR_MENUBAR = 30,
};

// The colour (red + green·2^8 + blue·2^16) of system colour `index`; 0
// (black) for an index the table does not know.
TColor system_color(uint8_t index);

// Makes `system_color` the colour records' system-colour resolver.
void install_system_colors();
