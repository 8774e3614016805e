#include "graphics.colors.h"

#include <cmath>

#include "math.fpu.h"

static_assert(sizeof(TSingleRGB) == 12 && sizeof(TRGBA) == 4 && sizeof(TBGRA) == 4 && sizeof(TBGR) == 3);

// ---------------------------------------------------------------------------
// System colours
// ---------------------------------------------------------------------------

namespace {

TColor no_system_colors(uint8_t) { return 0; }

TSystemColorResolver system_color_resolver = no_system_colors;

// A component × 255 as a byte: nearest, ties to even, clamped; NaN gives 0.
uint8_t to_byte(float component) {
  const double v = std::nearbyint(double(component) * 255);
  if (!(v > 0)) return 0;
  if (v > 255) return 255;
  return uint8_t(v);
}

// 1/255 rounded to 32 bits, the step between two byte levels.
constexpr double byte_step = double(1.0f / 255.0f);

// 64-bit arithmetic on each component, each result rounded to 32 bits.
template <class F>
TSingleRGB each(const TSingleRGB& a, F f) {
  return TSingleRGB(float(f(double(a.r), 0)), float(f(double(a.g), 1)), float(f(double(a.b), 2)));
}

}  // namespace

TSystemColorResolver set_system_color_resolver(TSystemColorResolver resolver) {
  TSystemColorResolver old = system_color_resolver;
  system_color_resolver = resolver ? resolver : no_system_colors;
  return old == no_system_colors ? nullptr : old;
}

TColor resolve_color(TColor color) {
  if (color >= 0) return color;
  return TColor(uint32_t(system_color_resolver(uint8_t(color))) & 0xFFFFFFu);
}

// ---------------------------------------------------------------------------
// TSingleRGB
// ---------------------------------------------------------------------------

TSingleRGB::TSingleRGB(const TRGBA& c)
    : r(float(c.red * byte_step)), g(float(c.green * byte_step)), b(float(c.blue * byte_step)) {}

TSingleRGB TSingleRGB::from_color(TColor color) { return TSingleRGB(TRGBA::from_color(color)); }
TColor TSingleRGB::to_color() const { return TRGBA(*this).to_color(); }

float& TSingleRGB::items(int i) {
  ASSERT(i >= 0 && i < 3);
  return i == 0 ? r : i == 1 ? g : b;
}

float TSingleRGB::items(int i) const { return const_cast<TSingleRGB*>(this)->items(i); }

float TSingleRGB::intensity() const { return float((double(r) + double(g) + double(b)) / 3); }

TSingleRGB operator+(const TSingleRGB& a, const TSingleRGB& c) {
  return each(a, [&](double x, int i) { return x + double(c.items(i)); });
}
TSingleRGB operator-(const TSingleRGB& a, const TSingleRGB& c) {
  return each(a, [&](double x, int i) { return x - double(c.items(i)); });
}
TSingleRGB operator*(const TSingleRGB& a, const TSingleRGB& c) {
  return each(a, [&](double x, int i) { return x * double(c.items(i)); });
}
TSingleRGB operator+(const TSingleRGB& a, double s) {
  return each(a, [&](double x, int) { return x + s; });
}
TSingleRGB operator-(const TSingleRGB& a, double s) {
  return each(a, [&](double x, int) { return x - s; });
}
TSingleRGB operator*(const TSingleRGB& a, double s) {
  return each(a, [&](double x, int) { return x * s; });
}
TSingleRGB operator*(double s, const TSingleRGB& a) { return a * s; }

TSingleRGB operator/(const TSingleRGB& a, double s) {
  const double reciprocal = double(float(1.0 / s));
  if (is_not_finite(reciprocal)) throw EZeroDivide();
  return a * reciprocal;
}

bool operator==(const TSingleRGB& a, const TSingleRGB& c) { return a.r == c.r && a.g == c.g && a.b == c.b; }

// ---------------------------------------------------------------------------
// Byte layouts
// ---------------------------------------------------------------------------

TRGBA::TRGBA(const TSingleRGB& c) : red(to_byte(c.r)), green(to_byte(c.g)), blue(to_byte(c.b)), alpha(255) {}
TRGBA::TRGBA(const TBGR& c) : red(c.R_byte), green(c.G_byte), blue(c.B_byte), alpha(0) {}
TRGBA::TRGBA(const TBGRA& c) : red(c.R_byte), green(c.G_byte), blue(c.B_byte), alpha(c.A_byte) {}

TRGBA TRGBA::from_color(TColor color) {
  TRGBA c = from_value(uint32_t(resolve_color(color)));
  c.alpha = 255;
  return c;
}

TBGRA::TBGRA(const TRGBA& c) : B_byte(c.blue), G_byte(c.green), R_byte(c.red), A_byte(c.alpha) {}

TBGRA TBGRA::from_color(TColor color) { return TBGRA(TRGBA::from_color(color)); }
TColor TBGRA::to_color() const { return TRGBA(*this).to_color(); }

TBGR::TBGR(const TRGBA& c) : B_byte(c.blue), G_byte(c.green), R_byte(c.red) {}
TBGR::TBGR(const TSingleRGB& c) : TBGR(TRGBA(c)) {}

TBGR TBGR::from_color(TColor color) {
  const uint32_t v = uint32_t(resolve_color(color));
  return TBGR(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v));
}

TColor TBGR::to_color() const { return TColor(R_byte | G_byte << 8 | B_byte << 16); }

uint8_t& TBGR::items(int i) {
  ASSERT(i >= 0 && i < 3);
  return i == 0 ? B_byte : i == 1 ? G_byte : R_byte;
}

uint8_t TBGR::items(int i) const { return const_cast<TBGR*>(this)->items(i); }
