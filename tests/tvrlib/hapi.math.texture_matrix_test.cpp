#include "hapi.math.texture_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double pi = 3.141592653589793;

// The texture matrix of a placement: translate, turn, then scale by (sx, sy)
// with x negated for a reflection.
float4x4 placement(double ox, double oy, double angle, double sx, double sy, bool mirror) {
  float4x4 m = float4x4::identity();
  m.translate(ox, oy, 0).rotate_z(angle).scale(mirror ? -sx : sx, sy, 1);
  return m;
}

TEST(texture_matrix, decompose_scaled_identity_with_offset) {
  float4x4 t = float4x4::identity();
  t.at(0, 0) = 2;
  t.at(1, 1) = 2;
  t.at(0, 3) = 0.5;
  TTextureTransform d = decompose_texture_matrix(t);
  EXPECT_DOUBLE_EQ(d.scale_x, 0.5);
  EXPECT_DOUBLE_EQ(d.scale_y, 0.5);
  EXPECT_DOUBLE_EQ(d.angle, 0);
  EXPECT_FALSE(d.mirror);
  EXPECT_DOUBLE_EQ(d.offset_x, 0.25);
  EXPECT_DOUBLE_EQ(d.offset_y, 0);
  EXPECT_EQ(compose_texture_matrix(d), t);
}

TEST(texture_matrix, round_trip) {
  struct Case {
    double ox, oy, angle, sx, sy;
    bool mirror;
  };
  const Case cases[] = {
      {0, 0, 0, 1, 1, false},         {0.3, -0.2, pi / 2, 1, 1, false},
      {1.5, 2.5, pi, 3, 0.25, false}, {-4, 0.1, 3 * pi / 2, 0.5, 2, false},
      {0, 0, 0.1, 1, 1, true},        {0.7, 0.7, 2.0, 4, 5, true},
      {0, 1, 5.5, 1e-3, 1e3, false},
  };
  for (const Case& c : cases) {
    float4x4 t = placement(c.ox, c.oy, c.angle, c.sx, c.sy, c.mirror);
    TTextureTransform d = decompose_texture_matrix(t);
    EXPECT_NEAR(d.angle, c.angle, 1e-9) << c.angle;
    EXPECT_GE(d.angle, 0);
    EXPECT_LT(d.angle, 2 * pi);
    EXPECT_NEAR(d.offset_x, c.ox, 1e-9);
    EXPECT_NEAR(d.offset_y, c.oy, 1e-9);
    EXPECT_NEAR(d.scale_x, 1 / c.sx, 1e-9 / c.sx);
    EXPECT_NEAR(d.scale_y, 1 / c.sy, 1e-9 / c.sy);
    EXPECT_EQ(d.mirror, c.mirror);
    float4x4 back = compose_texture_matrix(d);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(back.m[i], t.m[i], 1e-9) << i;
  }
}

TEST(texture_matrix, negative_angles_are_brought_into_range) {
  TTextureTransform d = decompose_texture_matrix(placement(0, 0, -pi / 2, 1, 1, false));
  EXPECT_DOUBLE_EQ(d.angle, 6.283185307179586 - pi / 2);
}

TEST(texture_matrix, replacing_the_angle_keeps_the_rest) {
  float4x4 t = placement(0.2, 0.4, 1.0, 2, 3, false);
  TTextureTransform d = decompose_texture_matrix(t);
  d.angle = double(float(pi / 2));
  TTextureTransform again = decompose_texture_matrix(compose_texture_matrix(d));
  EXPECT_NEAR(again.angle, 1.5707963705062866, 1e-12);
  EXPECT_NEAR(again.offset_x, 0.2, 1e-12);
  EXPECT_NEAR(again.offset_y, 0.4, 1e-12);
  EXPECT_NEAR(again.scale_x, 0.5, 1e-12);
  EXPECT_NEAR(again.scale_y, 1.0 / 3, 1e-12);
}

TEST(texture_matrix, degenerate_rows_give_unit_scales) {
  float4x4 t = float4x4::identity();
  t.at(1, 1) = 0;  // row 1 has length zero
  t.at(0, 0) = 4;
  TTextureTransform d = decompose_texture_matrix(t);
  EXPECT_EQ(d.scale_x, 1);
  EXPECT_EQ(d.scale_y, 1);
  EXPECT_EQ(d.angle, 0);
}

TEST(texture_matrix, compose_replaces_zero_scales) {
  TTextureTransform t;
  t.scale_x = 0;
  t.scale_y = 1e-13;
  EXPECT_EQ(compose_texture_matrix(t), float4x4::identity());
  EXPECT_EQ(t.scale_x, 1);
  EXPECT_EQ(t.scale_y, 1);
}

TEST(texture_matrix, reciprocals_that_are_not_finite_raise) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  TTextureTransform t;
  t.scale_x = nan;
  EXPECT_THROW(compose_texture_matrix(t), EZeroDivide);
  float4x4 m = float4x4::identity();
  m.at(0, 0) = nan;
  EXPECT_THROW(decompose_texture_matrix(m), EZeroDivide);
}

}  // namespace
