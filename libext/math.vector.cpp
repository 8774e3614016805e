#include "math.vector.h"

#include <algorithm>
#include <cmath>
#include <limits>

static_assert(sizeof(half2) == 8 && sizeof(half3) == 12 && sizeof(half4) == 16);
static_assert(sizeof(float2) == 16 && sizeof(float3) == 24 && sizeof(float4) == 32);
static_assert(sizeof(float4x4) == 128);
static_assert(std::is_standard_layout_v<float3> && std::is_trivially_copyable_v<float4x4>);

// ---------------------------------------------------------------------------
// Records and conversions
// ---------------------------------------------------------------------------

half2::half2(const float2& v) : x(float(v.x)), y(float(v.y)) {}
half2::half2(TPoint p) : x(float(p.x)), y(float(p.y)) {}
half3::half3(const float3& v) : x(float(v.x)), y(float(v.y)), z(float(v.z)) {}
half4::half4(const float4& v) : x(float(v.x)), y(float(v.y)), z(float(v.z)), w(float(v.w)) {}

namespace {

// The nearest integer, ties to even (the rounding mode the floating-point
// mode keeps); INT32_MIN when there is none in range.
int32_t round_to_int(double x) {
  const double r = std::nearbyint(x);
  if (!(r >= double(std::numeric_limits<int32_t>::min()) && r <= double(std::numeric_limits<int32_t>::max())))
    return std::numeric_limits<int32_t>::min();
  return int32_t(r);
}

}  // namespace

TPoint to_point(const half2& v) { return {round_to_int(v.x), round_to_int(v.y)}; }
TPoint to_point(const float2& v) { return {round_to_int(v.x), round_to_int(v.y)}; }

float3 normalize(const float3& v) {
  const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  const double reciprocal = 1.0 / length;
  if (is_not_finite(reciprocal)) vector_detail::zero_divide();
  return v * reciprocal;
}

// ---------------------------------------------------------------------------
// Comparison and errors
// ---------------------------------------------------------------------------

bool same_value(double a, double b, double eps) {
  const double tolerance = std::max(std::min(std::fabs(a), std::fabs(b)) * eps, eps);
  return std::fabs(a - b) <= tolerance;
}

bool is_zero(double x) { return std::fabs(x) <= zero_tolerance; }

void vector_detail::zero_divide() { throw EZeroDivide(); }

// ---------------------------------------------------------------------------
// float4x4
// ---------------------------------------------------------------------------

float4x4 float4x4::identity() {
  float4x4 r;
  r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1;
  return r;
}

float4x4 float4x4::multiply(const float4x4& a, const float4x4& b) {
  float4x4 c;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += b.m[4 * i + k] * a.m[4 * k + j];
      c.m[4 * i + j] = sum;
    }
  return c;
}

float4x4& float4x4::scale(double a, double b, double c) {
  for (int j = 0; j < 4; ++j) {
    m[j] *= a;
    m[4 + j] *= b;
    m[8 + j] *= c;
  }
  return *this;
}

float4x4& float4x4::rotate_z(double angle) {
  const double s = std::sin(angle);
  const double c = std::cos(angle);
  for (int j = 0; j < 4; ++j) {
    const double p = m[j];
    const double q = m[4 + j];
    m[j] = p * c - q * s;
    m[4 + j] = p * s + q * c;
  }
  return *this;
}

float4x4& float4x4::rotate(const float3& axis, double angle) {
  const float3 n = normalize(axis);
  const double x = n.x, y = n.y, z = n.z;
  const double s = std::sin(angle);
  const double c = std::cos(angle);
  const double t = 1 - c;
  float4x4 r = identity();
  r.m[0] = x * x * t + c;
  r.m[1] = x * y * t - z * s;
  r.m[2] = x * z * t + y * s;
  r.m[4] = x * y * t + z * s;
  r.m[5] = y * y * t + c;
  r.m[6] = y * z * t - x * s;
  r.m[8] = x * z * t - y * s;
  r.m[9] = y * z * t + x * s;
  r.m[10] = z * z * t + c;
  *this = multiply(*this, r);
  return *this;
}

float4x4& float4x4::translate(double a, double b, double c) {
  for (int j = 0; j < 4; ++j) {
    const double w = m[12 + j];
    m[j] += a * w;
    m[4 + j] += b * w;
    m[8 + j] += c * w;
  }
  return *this;
}

float4 float4x4::transform(const float4& p) const {
  float4 r;
  for (int i = 0; i < 4; ++i)
    r.items(i) = m[4 * i] * p.x + m[4 * i + 1] * p.y + m[4 * i + 2] * p.z + m[4 * i + 3] * p.w;
  return r;
}

float3 float4x4::transform_point(const float3& p) const {
  const float4 r = transform(float4(p.x, p.y, p.z, 1));
  return {r.x, r.y, r.z};
}

float3 float4x4::transform_direction(const float3& d) const {
  const float4 r = transform(float4(d.x, d.y, d.z, 0));
  return {r.x, r.y, r.z};
}

bool is_not_finite(const float4x4& m) {
  for (double x : m.m)
    if (is_not_finite(x)) return true;
  return false;
}

bool operator==(const float4x4& a, const float4x4& b) {
  for (int i = 0; i < 16; ++i)
    if (!same_value(a.m[i], b.m[i], 1e-12)) return false;
  return true;
}
