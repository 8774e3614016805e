// Colour records in floating-point and byte layouts, and their conversions to
// and from the platform colour value.
//
// `TColor`, the platform colour value, is a 32-bit integer red + green·2^8 +
// blue·2^16. A negative value names a system colour (window background,
// button face, ...) by its low byte; every conversion from a `TColor`
// resolves it first through the installed system-colour resolver. The
// support library knows no system colours itself: its built-in resolver
// gives black, and the platform layer installs its table at start.
//
//   TRGBA c(TSingleRGB(0.5f, 1.2f, -0.1f));   // 128, 255, 0, alpha 255
//   TColor v = c.to_color();                    // 0x0000FF80
//   TSingleRGB grey = TSingleRGB::from_color(system_color_ref(15));
//
// Float-to-byte conversion rounds to nearest with ties to even and clamps to
// 0..255; nothing else clamps or checks, and only division fails (EZeroDivide).
#pragma once

#include <cstdint>

#include "system.h"

using TColor = int32_t;

// The TColor that names system colour `index`.
constexpr TColor system_color_ref(uint8_t index) { return TColor(0xFF000000u | index); }

// Returns the colour (red + green·2^8 + blue·2^16) of system colour `index`.
using TSystemColorResolver = TColor (*)(uint8_t index);

// Installs `resolver` (null restores the built-in one, which gives black) and
// returns the one installed before (null for the built-in one).
TSystemColorResolver set_system_color_resolver(TSystemColorResolver resolver);

// `color` itself when it is not negative, else the resolver's colour for its
// low byte (bits 24..31 of the result cleared).
TColor resolve_color(TColor color);

struct TRGBA;
struct TBGRA;
struct TBGR;

// ---------------------------------------------------------------------------
// TSingleRGB
// ---------------------------------------------------------------------------

// A colour of three 32-bit floats, nominally 0 to 1. Arithmetic is done in
// 64 bits and stored rounded to 32; == compares exactly (NaN never equal).
struct TSingleRGB {
  float r = 0, g = 0, b = 0;

  constexpr TSingleRGB() = default;
  constexpr TSingleRGB(float r_, float g_, float b_) : r(r_), g(g_), b(b_) {}
  // Grey: every component `grey`.
  constexpr explicit TSingleRGB(float grey) : r(grey), g(grey), b(grey) {}
  // Each byte × (1/255 as a 32-bit float), alpha ignored.
  explicit TSingleRGB(const TRGBA& c);

  // Through TRGBA (system colours resolved).
  static TSingleRGB from_color(TColor color);
  // Through TRGBA: rounded, clamped bytes.
  TColor to_color() const;

  float& red() { return r; }
  float red() const { return r; }
  float& green() { return g; }
  float green() const { return g; }
  float& blue() { return b; }
  float blue() const { return b; }
  // The component at `i` (0 = r, 1 = g, 2 = b); another index is an
  // assertion failure. `elements` and `items` are the same view.
  float& items(int i);
  float items(int i) const;
  float& elements(int i) { return items(i); }
  float elements(int i) const { return items(i); }

  // (r + g + b) / 3.
  float intensity() const;
};

TSingleRGB operator+(const TSingleRGB& a, const TSingleRGB& c);
TSingleRGB operator-(const TSingleRGB& a, const TSingleRGB& c);
TSingleRGB operator*(const TSingleRGB& a, const TSingleRGB& c);
TSingleRGB operator+(const TSingleRGB& a, double s);
TSingleRGB operator-(const TSingleRGB& a, double s);
TSingleRGB operator*(const TSingleRGB& a, double s);
TSingleRGB operator*(double s, const TSingleRGB& a);
// Every component times 1/s rounded to 32 bits; EZeroDivide when that
// reciprocal is not finite.
TSingleRGB operator/(const TSingleRGB& a, double s);
bool operator==(const TSingleRGB& a, const TSingleRGB& c);
inline bool operator!=(const TSingleRGB& a, const TSingleRGB& c) { return !(a == c); }

// ---------------------------------------------------------------------------
// Byte layouts
// ---------------------------------------------------------------------------

// Bytes red, green, blue, alpha in that order; `value` = red + green·2^8 +
// blue·2^16 + alpha·2^24. Records compare by value.
struct TRGBA {
  uint8_t red = 0, green = 0, blue = 0, alpha = 0;

  constexpr TRGBA() = default;
  constexpr TRGBA(uint8_t red_, uint8_t green_, uint8_t blue_, uint8_t alpha_)
      : red(red_), green(green_), blue(blue_), alpha(alpha_) {}
  // Each component × 255 rounded to nearest (ties to even), clamped to
  // 0..255 (NaN gives 0); alpha 255.
  explicit TRGBA(const TSingleRGB& c);
  // Same channels, alpha 0.
  explicit TRGBA(const TBGR& c);
  // Same channels, alpha kept.
  explicit TRGBA(const TBGRA& c);

  static constexpr TRGBA from_value(uint32_t v) {
    return TRGBA(uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24));
  }
  // System colour resolved, low 24 bits kept, alpha 255.
  static TRGBA from_color(TColor color);
  // `value` with the alpha byte cleared.
  constexpr TColor to_color() const { return TColor(value() & 0xFFFFFFu); }

  constexpr uint32_t value() const {
    return uint32_t(red) | uint32_t(green) << 8 | uint32_t(blue) << 16 | uint32_t(alpha) << 24;
  }
  constexpr void set_value(uint32_t v) { *this = from_value(v); }
  // Bytes 0-1 (red + green·2^8) and 2-3 (blue + alpha·2^8).
  constexpr uint16_t RG_word() const { return uint16_t(red | green << 8); }
  constexpr uint16_t BA_word() const { return uint16_t(blue | alpha << 8); }

  uint8_t& R_byte() { return red; }
  uint8_t R_byte() const { return red; }
  uint8_t& G_byte() { return green; }
  uint8_t G_byte() const { return green; }
  uint8_t& B_byte() { return blue; }
  uint8_t B_byte() const { return blue; }
  uint8_t& A_byte() { return alpha; }
  uint8_t A_byte() const { return alpha; }

  friend constexpr bool operator==(const TRGBA& a, const TRGBA& c) { return a.value() == c.value(); }
};

// Bytes blue, green, red, alpha in that order; `value` = blue + green·2^8 +
// red·2^16 + alpha·2^24. Records compare by value.
struct TBGRA {
  uint8_t B_byte = 0, G_byte = 0, R_byte = 0, A_byte = 0;

  constexpr TBGRA() = default;
  // The bytes in storage order: blue, green, red, alpha.
  constexpr TBGRA(uint8_t blue, uint8_t green, uint8_t red, uint8_t alpha)
      : B_byte(blue), G_byte(green), R_byte(red), A_byte(alpha) {}
  // Same channels, alpha kept.
  explicit TBGRA(const TRGBA& c);

  static constexpr TBGRA from_value(uint32_t v) {
    return TBGRA(uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24));
  }
  // System colour resolved, same channels, alpha 255.
  static TBGRA from_color(TColor color);
  // Same channels, alpha dropped.
  TColor to_color() const;

  constexpr uint32_t value() const {
    return uint32_t(B_byte) | uint32_t(G_byte) << 8 | uint32_t(R_byte) << 16 | uint32_t(A_byte) << 24;
  }
  constexpr void set_value(uint32_t v) { *this = from_value(v); }
  // Bytes 0-1 (blue + green·2^8) and 2-3 (red + alpha·2^8).
  constexpr uint16_t BG_word() const { return uint16_t(B_byte | G_byte << 8); }
  constexpr uint16_t RA_word() const { return uint16_t(R_byte | A_byte << 8); }

  friend constexpr bool operator==(const TBGRA& a, const TBGRA& c) { return a.value() == c.value(); }
};

// Bytes blue, green, red in that order, 3 bytes with no padding.
struct TBGR {
  uint8_t B_byte = 0, G_byte = 0, R_byte = 0;

  constexpr TBGR() = default;
  // The bytes in storage order: blue, green, red.
  constexpr TBGR(uint8_t blue_, uint8_t green_, uint8_t red_) : B_byte(blue_), G_byte(green_), R_byte(red_) {}
  // Same channels, alpha dropped.
  explicit TBGR(const TRGBA& c);
  // Through TRGBA: rounded, clamped bytes.
  explicit TBGR(const TSingleRGB& c);

  // System colour resolved, then the bytes moved.
  static TBGR from_color(TColor color);
  TColor to_color() const;

  uint8_t& b() { return B_byte; }
  uint8_t b() const { return B_byte; }
  uint8_t& g() { return G_byte; }
  uint8_t g() const { return G_byte; }
  uint8_t& r() { return R_byte; }
  uint8_t r() const { return R_byte; }
  uint8_t& blue() { return B_byte; }
  uint8_t blue() const { return B_byte; }
  uint8_t& green() { return G_byte; }
  uint8_t green() const { return G_byte; }
  uint8_t& red() { return R_byte; }
  uint8_t red() const { return R_byte; }
  // The byte at `i` (0 = blue, 1 = green, 2 = red); another index is an
  // assertion failure.
  uint8_t& items(int i);
  uint8_t items(int i) const;

  friend constexpr bool operator==(const TBGR&, const TBGR&) = default;
};
