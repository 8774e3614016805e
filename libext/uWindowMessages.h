// The window message record and the message numbers, shared by the host's
// message pump (host API) and the user-interface toolkit (platform), so that
// a message the host retrieves passes to a plug-in's toolkit by address.
#pragma once

#include <cstddef>
#include <cstdint>

#include "math.vector.h"

// A window message. The layout is that of the desktop's message record:
// window handle, message number, two pointer-sized parameters, time stamp and
// the cursor position, with the natural alignment of each field.
struct TMsg {
  intptr_t hwnd = 0;     // the window the message is for
  uint32_t message = 0;  // the message number
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  uint32_t time = 0;  // when it was posted
  TPoint pt;          // the cursor position when it was posted
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
