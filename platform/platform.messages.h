// The window message record and the message numbers of the toolkit stand-in.
// The host's message pump passes records of the same layout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "math.vector.h"  // TPoint

// Window, icon and other handles: pointer-sized, 0 for none.
using THandle = intptr_t;

// A window message. The layout is that of the desktop's message record (and
// of the host's message record, which the host API defines on its side):
// window handle, message number, two pointer-sized parameters, time stamp and
// the cursor position, with the natural alignment of each field, so a host
// record can be passed by address.
struct TMsg {
  THandle hwnd = 0;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  uint32_t time = 0;
  TPoint pt;
};
static_assert(offsetof(TMsg, message) == sizeof(void*));
static_assert(offsetof(TMsg, wParam) == 2 * sizeof(void*));
static_assert(offsetof(TMsg, lParam) == 3 * sizeof(void*));
static_assert(offsetof(TMsg, time) == 4 * sizeof(void*));
static_assert(offsetof(TMsg, pt) == 4 * sizeof(void*) + 4);
static_assert(sizeof(TMsg) == (sizeof(void*) == 8 ? 48 : 28));

// A few message numbers, as the desktop numbers them.
inline constexpr uint32_t WM_NULL = 0x0000;
inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_KEYUP = 0x0101;
inline constexpr uint32_t WM_CHAR = 0x0102;
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_USER = 0x0400;

