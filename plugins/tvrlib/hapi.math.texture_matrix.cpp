#include "hapi.math.texture_matrix.h"

#include <algorithm>
#include <cmath>

#include "math.fpu.h"

namespace {

constexpr double two_pi = 6.283185307179586;

// 1 / x; EZeroDivide when that is not finite.
double reciprocal(double x) {
  double r = 1.0 / x;
  if (is_not_finite(r)) throw EZeroDivide("");
  return r;
}

double row_length(const float4x4& t, int row) {
  return std::sqrt(t.at(row, 0) * t.at(row, 0) + t.at(row, 1) * t.at(row, 1) + t.at(row, 2) * t.at(row, 2));
}

}  // namespace

TTextureTransform decompose_texture_matrix(const float4x4& t) {
  TTextureTransform result;
  float4x4 copy = t;
  result.scale_x = row_length(t, 0);
  result.scale_y = row_length(t, 1);
  if (is_zero(result.scale_x) || is_zero(result.scale_y)) {
    result.scale_x = 1;
    result.scale_y = 1;
  } else {
    result.scale_x = reciprocal(std::fabs(result.scale_x));
    result.scale_y = reciprocal(std::fabs(result.scale_y));
  }
  copy.scale(result.scale_x, result.scale_y, 1);

  result.mirror = same_value(copy.at(0, 1), copy.at(1, 0), zero_tolerance) &&
                  same_value(copy.at(0, 0), -copy.at(1, 1), zero_tolerance);
  if (result.mirror) copy.scale(-1, 1, 1);

  // Row 0 has unit length now; the clamp only absorbs rounding past ±1,
  // which would otherwise give no angle at all.
  result.angle = std::acos(std::clamp(copy.at(0, 0), -1.0, 1.0));
  if (copy.at(1, 0) < 0) result.angle = -result.angle;

  copy.rotate_z(-result.angle);
  result.offset_x = copy.at(0, 3);
  result.offset_y = copy.at(1, 3);
  if (result.angle < 0) result.angle += two_pi;
  return result;
}

float4x4 compose_texture_matrix(TTextureTransform& t) {
  if (is_zero(t.scale_x)) t.scale_x = 1;
  if (is_zero(t.scale_y)) t.scale_y = 1;
  double a = reciprocal(t.scale_x);
  double b = reciprocal(t.scale_y);
  if (t.mirror) a = -a;
  float4x4 m = float4x4::identity();
  m.translate(t.offset_x, t.offset_y, 0).rotate_z(t.angle).scale(a, b, 1);
  return m;
}
