#include "graphics.colors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "test.support.h"

namespace {

constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();

// Installs a resolver for one test and restores the previous one.
class ScopedResolver {
 public:
  explicit ScopedResolver(TSystemColorResolver r) : _old(set_system_color_resolver(r)) {}
  ~ScopedResolver() { set_system_color_resolver(_old); }

 private:
  TSystemColorResolver _old;
};

// System colour n is 0x010203 × n, with junk in the top byte the resolver must drop.
TColor test_system_colors(uint8_t index) { return TColor(0x7F000000u | (0x010203u * index)); }

}  // namespace

TEST(graphics_colors, single_rgb_to_bytes_rounds_ties_to_even_and_clamps) {
  struct Case {
    float component;
    uint8_t expected;
  } cases[] = {
      {0.5f, 128},  // 127.5 -> 128 (even); the only exact tie a float gives
      {0.0f, 0},
      {1.0f, 255},
      {1.2f, 255},  // above 255 clamps
      {-0.1f, 0},   // below 0 clamps
      {-0.0f, 0},
      {0.4f / 255, 0},
      {0.6f / 255, 1},
      {100.4f / 255, 100},
      {100.6f / 255, 101},
      {nan_f, 0},
      {std::numeric_limits<float>::infinity(), 255},
      {-std::numeric_limits<float>::infinity(), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.component);
    const TRGBA rgba(TSingleRGB(c.component, 0, 0));
    EXPECT_EQ(rgba.red, c.expected);
    EXPECT_EQ(rgba.alpha, 255);
    EXPECT_EQ(TRGBA(TSingleRGB(0, 0, c.component)).blue, c.expected);
  }
  const TRGBA c(TSingleRGB(0.5f, 1.2f, -0.1f));
  EXPECT_EQ(c, TRGBA(128, 255, 0, 255));
  EXPECT_EQ(TBGR(TSingleRGB(0.5f, 1.2f, -0.1f)), TBGR(0, 255, 128));
}

TEST(graphics_colors, bytes_to_single_rgb) {
  const TSingleRGB c(TRGBA(255, 0, 128, 7));
  EXPECT_NEAR(c.r, 1.0f, std::numeric_limits<float>::epsilon());
  EXPECT_EQ(c.g, 0.0f);
  EXPECT_EQ(c.b, float(128 * double(1.0f / 255.0f)));
  // Every byte level survives the round trip.
  for (int v = 0; v < 256; ++v) {
    const TRGBA bytes(uint8_t(v), uint8_t(255 - v), uint8_t(v / 2), 255);
    EXPECT_EQ(TRGBA(TSingleRGB(bytes)), bytes) << v;
  }
}

TEST(graphics_colors, single_rgb_arithmetic) {
  const TSingleRGB a(0.25f, 0.5f, 1), b(0.5f, 0.25f, 0.5f);
  EXPECT_EQ(a + b, TSingleRGB(0.75f, 0.75f, 1.5f));
  EXPECT_EQ(a - b, TSingleRGB(-0.25f, 0.25f, 0.5f));
  EXPECT_EQ(a * b, TSingleRGB(0.125f, 0.125f, 0.5f));
  EXPECT_EQ(a + 1.0, TSingleRGB(1.25f, 1.5f, 2));
  EXPECT_EQ(a - 0.25, TSingleRGB(0, 0.25f, 0.75f));
  EXPECT_EQ(a * 2.0, TSingleRGB(0.5f, 1, 2));
  EXPECT_EQ(2.0 * a, TSingleRGB(0.5f, 1, 2));
  EXPECT_EQ(a / 4.0, TSingleRGB(0.0625f, 0.125f, 0.25f));
  EXPECT_EQ(TSingleRGB(0.3f), TSingleRGB(0.3f, 0.3f, 0.3f));
  EXPECT_EQ(TSingleRGB(0.25f, 0.5f, 0.75f).intensity(), 0.5f);
  // Products are rounded once, from 64 bits.
  EXPECT_EQ((TSingleRGB(3, 0, 0) * 0.1).r, float(3 * 0.1));
}

TEST(graphics_colors, single_rgb_division_by_zero_raises) {
  const double divisors[] = {0.0, -0.0, 1e-40, std::numeric_limits<double>::quiet_NaN()};
  for (double s : divisors) EXPECT_THROW_MSG((void)(TSingleRGB(1, 1, 1) / s), EZeroDivide, "") << s;
}

TEST(graphics_colors, single_rgb_equality_is_exact) {
  EXPECT_TRUE(TSingleRGB(0.1f, 0.2f, 0.3f) == TSingleRGB(0.1f, 0.2f, 0.3f));
  EXPECT_FALSE(TSingleRGB(0.1f, 0.2f, 0.3f) == TSingleRGB(std::nextafter(0.1f, 1.0f), 0.2f, 0.3f));
  EXPECT_TRUE(TSingleRGB(0.1f, 0.2f, 0.3f) != TSingleRGB(0.1f, 0.2f, 0.30001f));
  const TSingleRGB n(nan_f, 0, 0);
  EXPECT_FALSE(n == n);
  EXPECT_TRUE(n != n);
}

TEST(graphics_colors, aliases_share_storage) {
  TSingleRGB s(0.1f, 0.2f, 0.3f);
  EXPECT_EQ(&s.red(), &s.r);
  EXPECT_EQ(&s.green(), &s.g);
  EXPECT_EQ(&s.blue(), &s.b);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(&s.items(i), &s.elements(i));
  EXPECT_EQ(&s.items(2), &s.b);
  EXPECT_THROW((void)s.items(3), EAssertionFailed);

  TRGBA c(1, 2, 3, 4);
  EXPECT_EQ(&c.R_byte(), &c.red);
  EXPECT_EQ(&c.A_byte(), &c.alpha);
  c.G_byte() = 9;
  EXPECT_EQ(c.green, 9);

  TBGR t(1, 2, 3);
  EXPECT_EQ(&t.b(), &t.B_byte);
  EXPECT_EQ(&t.blue(), &t.B_byte);
  EXPECT_EQ(&t.g(), &t.G_byte);
  EXPECT_EQ(&t.green(), &t.G_byte);
  EXPECT_EQ(&t.r(), &t.R_byte);
  EXPECT_EQ(&t.red(), &t.R_byte);
  EXPECT_EQ(&t.items(0), &t.B_byte);
  EXPECT_EQ(&t.items(2), &t.R_byte);
  EXPECT_THROW((void)t.items(-1), EAssertionFailed);
}

TEST(graphics_colors, byte_record_layouts) {
  const TRGBA rgba(0x11, 0x22, 0x33, 0x44);
  EXPECT_EQ(rgba.value(), 0x44332211u);
  EXPECT_EQ(rgba.RG_word(), 0x2211);
  EXPECT_EQ(rgba.BA_word(), 0x4433);
  EXPECT_EQ(TRGBA::from_value(0x44332211u), rgba);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&rgba);
  EXPECT_EQ(bytes[0], 0x11);  // red first in memory
  EXPECT_EQ(bytes[3], 0x44);
  TRGBA set;
  set.set_value(0x01020304u);
  EXPECT_EQ(set, TRGBA(4, 3, 2, 1));
  EXPECT_FALSE(set == TRGBA(4, 3, 2, 0));

  const TBGRA bgra(0x11, 0x22, 0x33, 0x44);
  EXPECT_EQ(bgra.B_byte, 0x11);
  EXPECT_EQ(bgra.value(), 0x44332211u);
  EXPECT_EQ(bgra.BG_word(), 0x2211);
  EXPECT_EQ(bgra.RA_word(), 0x4433);
  EXPECT_EQ(TBGRA::from_value(0x44332211u), bgra);

  const TBGR bgr(0x11, 0x22, 0x33);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&bgr)[0], 0x11);
  EXPECT_EQ(sizeof(TBGR), 3u);
  TBGR packed[2];
  EXPECT_EQ(reinterpret_cast<char*>(&packed[1]) - reinterpret_cast<char*>(&packed[0]), 3);
}

TEST(graphics_colors, byte_record_conversions) {
  const TRGBA rgba(10, 20, 30, 40);
  EXPECT_EQ(TBGRA(rgba), TBGRA(30, 20, 10, 40));  // alpha kept
  EXPECT_EQ(TRGBA(TBGRA(30, 20, 10, 40)), rgba);
  EXPECT_EQ(TBGR(rgba), TBGR(30, 20, 10));                   // alpha dropped
  EXPECT_EQ(TRGBA(TBGR(30, 20, 10)), TRGBA(10, 20, 30, 0));  // alpha 0
}

TEST(graphics_colors, platform_color_conversions) {
  const TColor color = 0x00302010;  // red 0x10, green 0x20, blue 0x30
  EXPECT_EQ(TRGBA::from_color(color), TRGBA(0x10, 0x20, 0x30, 255));
  EXPECT_EQ(TRGBA(0x10, 0x20, 0x30, 0x99).to_color(), color);  // alpha cleared
  EXPECT_EQ(TBGRA::from_color(color), TBGRA(0x30, 0x20, 0x10, 255));
  EXPECT_EQ(TBGRA(0x30, 0x20, 0x10, 0x99).to_color(), color);
  EXPECT_EQ(TBGR::from_color(color), TBGR(0x30, 0x20, 0x10));
  EXPECT_EQ(TBGR(0x30, 0x20, 0x10).to_color(), color);
  EXPECT_EQ(TSingleRGB::from_color(0x0000FF), TSingleRGB(TRGBA(255, 0, 0, 255)));
  EXPECT_EQ(TSingleRGB(0.5f, 1.2f, -0.1f).to_color(), 0x0000FF80);
}

TEST(graphics_colors, system_colors_go_through_the_resolver) {
  ScopedResolver scoped(test_system_colors);
  EXPECT_EQ(system_color_ref(5), TColor(0xFF000005u));
  EXPECT_LT(system_color_ref(5), 0);
  EXPECT_EQ(resolve_color(system_color_ref(2)), 0x020406);
  EXPECT_EQ(resolve_color(TColor(0x80000002u)), 0x020406);  // only the low byte names it
  EXPECT_EQ(resolve_color(0x00123456), 0x00123456);         // not negative: unchanged
  EXPECT_EQ(TRGBA::from_color(system_color_ref(1)), TRGBA(3, 2, 1, 255));
  EXPECT_EQ(TBGRA::from_color(system_color_ref(1)), TBGRA(1, 2, 3, 255));
  EXPECT_EQ(TBGR::from_color(system_color_ref(1)), TBGR(1, 2, 3));
  EXPECT_EQ(TSingleRGB::from_color(system_color_ref(1)), TSingleRGB(TRGBA(3, 2, 1, 255)));
}

TEST(graphics_colors, built_in_resolver_gives_black) {
  const TSystemColorResolver old = set_system_color_resolver(nullptr);
  EXPECT_EQ(resolve_color(system_color_ref(5)), 0);
  EXPECT_EQ(TRGBA::from_color(system_color_ref(5)), TRGBA(0, 0, 0, 255));
  EXPECT_EQ(set_system_color_resolver(test_system_colors), nullptr);
  EXPECT_EQ(set_system_color_resolver(old), test_system_colors);
}
