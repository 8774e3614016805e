#include "math.vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "test.support.h"

namespace {

constexpr double pi = std::numbers::pi;
constexpr double nan_ = std::numeric_limits<double>::quiet_NaN();

// The record with components 1, 2, 3, 4 (as many as it has), scaled by k.
template <class V>
V sample(double k = 1) {
  V v;
  for (int i = 0; i < V::size; ++i) v.items(i) = typename V::component((i + 1) * k);
  return v;
}

template <class V>
void expect_components(const V& v, std::initializer_list<double> expected) {
  ASSERT_EQ(int(expected.size()), V::size);
  int i = 0;
  for (double e : expected) {
    EXPECT_DOUBLE_EQ(double(v.items(i)), e) << "component " << i;
    ++i;
  }
}

void expect_matrix(const float4x4& m, std::initializer_list<double> expected) {
  int i = 0;
  for (double e : expected) {
    EXPECT_NEAR(m.m[i], e, 1e-15) << "element " << i;
    ++i;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Operations every record has
// ---------------------------------------------------------------------------

template <class V>
class math_vector_record : public ::testing::Test {};
using VectorRecords = ::testing::Types<half2, half3, half4, float2, float3, float4>;
TYPED_TEST_SUITE(math_vector_record, VectorRecords);

TYPED_TEST(math_vector_record, aliases_and_items_share_the_fields) {
  using V = TypeParam;
  V v = sample<V>();
  EXPECT_EQ(&v.u(), &v.x);
  EXPECT_EQ(&v.v(), &v.y);
  EXPECT_EQ(&v.items(0), &v.x);
  EXPECT_EQ(&v.items(1), &v.y);
  if constexpr (V::size >= 3) {
    EXPECT_EQ(&v.q(), &v.z);
    EXPECT_EQ(&v.items(2), &v.z);
  }
  if constexpr (V::size >= 4) {
    EXPECT_EQ(&v.r(), &v.w);
    EXPECT_EQ(&v.items(3), &v.w);
  }
  v.u() = 7;
  EXPECT_EQ(v.x, 7);
  EXPECT_EQ(sizeof(V), V::size * sizeof(typename V::component));
  EXPECT_THROW((void)v.items(V::size), EAssertionFailed);
  EXPECT_THROW((void)v.items(-1), EAssertionFailed);
}

TYPED_TEST(math_vector_record, make_from_one_number) {
  using V = TypeParam;
  const V v(2.5);
  for (int i = 0; i < V::size; ++i) EXPECT_EQ(v.items(i), 2.5);
  const V zero;
  for (int i = 0; i < V::size; ++i) EXPECT_EQ(zero.items(i), 0);
}

TYPED_TEST(math_vector_record, arithmetic_is_component_wise) {
  using V = TypeParam;
  const V a = sample<V>();     // 1, 2, 3, 4
  const V b = sample<V>(0.5);  // 0.5, 1, 1.5, 2
  for (int i = 0; i < V::size; ++i) {
    const double ai = i + 1, bi = (i + 1) * 0.5;
    SCOPED_TRACE(i);
    EXPECT_EQ((-a).items(i), -ai);
    EXPECT_EQ((a + b).items(i), ai + bi);
    EXPECT_EQ((a - b).items(i), ai - bi);
    EXPECT_EQ((a * b).items(i), ai * bi);
    EXPECT_EQ((3.0 * a).items(i), 3 * ai);
    EXPECT_EQ((a * 3.0).items(i), 3 * ai);
    EXPECT_EQ((a / 4.0).items(i), ai / 4);
    EXPECT_EQ((a / b).items(i), 2);
  }
  V c = a;
  c += b;
  c -= b;
  c *= 2;
  c /= 2;
  EXPECT_TRUE(c == a);
}

TYPED_TEST(math_vector_record, division_by_zero_raises) {
  using V = TypeParam;
  const V a = sample<V>();
  const double divisors[] = {0.0, -0.0, nan_, std::numeric_limits<double>::denorm_min()};
  for (double s : divisors) EXPECT_THROW_MSG((void)(a / s), EZeroDivide, "") << s;
  // Any zero divisor component raises, wherever it stands.
  for (int i = 0; i < V::size; ++i) {
    V b = sample<V>();
    b.items(i) = 0;
    EXPECT_THROW((void)(a / b), EZeroDivide) << "component " << i;
  }
  // Dividing by infinity is fine: the reciprocal is 0.
  EXPECT_TRUE(a / std::numeric_limits<double>::infinity() == V(0.0));
}

TYPED_TEST(math_vector_record, equality_uses_the_precision_tolerance) {
  using V = TypeParam;
  const bool is_half = sizeof(typename V::component) == sizeof(float);
  const double eps = is_half ? 1e-4 : 1e-12;
  const V a = sample<V>();
  for (int i = 0; i < V::size; ++i) {
    SCOPED_TRACE(i);
    V near = a, far = a;
    near.items(i) += typename V::component(eps * 0.5);
    far.items(i) += typename V::component((i + 1) * eps * 3);
    EXPECT_TRUE(a == near);
    EXPECT_FALSE(a != near);
    EXPECT_FALSE(a == far);
    EXPECT_TRUE(a != far);
  }
  V with_nan = a;
  with_nan.x = typename V::component(nan_);
  EXPECT_FALSE(with_nan == with_nan);
}

// ---------------------------------------------------------------------------
// Edge cases of single records
// ---------------------------------------------------------------------------

TEST(math_vector, division_by_zero_cases) {
  EXPECT_THROW((void)(float2(1, 2) / 0.0), EZeroDivide);
  EXPECT_THROW((void)(float2(0, 2) / float2(0, 1)), EZeroDivide);  // 0/0 is NaN
  EXPECT_THROW((void)(float3(1, 2, 3) / float3(1, 0, 1)), EZeroDivide);
  // A reciprocal that only overflows 32 bits still raises for half records.
  EXPECT_NO_THROW((void)(float2(1, 2) / 1e-40));
  EXPECT_THROW((void)(half2(1, 2) / 1e-40), EZeroDivide);
  // A quotient is checked in 64 bits before it is rounded.
  EXPECT_NO_THROW((void)(half2(1e30f, 0) / half2(1e-30f, 1)));
  EXPECT_THROW((void)(half2(1, 0) / half2(0, 1)), EZeroDivide);
}

TEST(math_vector, equality_tolerance_cases) {
  struct Case {
    double a, b;
    bool same64, same32;
  } cases[] = {
      {1, 1 + 1e-13, true, true},     {1, 1 + 1e-11, false, true},    {1, 1.00005, false, true},
      {1, 1.001, false, false},       {0, 1e-12, true, true},  // absolute floor near zero
      {0, 3e-12, false, true},        {0, 1e-4, false, true},         {0, 3e-4, false, false},
      {1e6, 1e6 + 1e-7, true, true},  // relative above one
      {1e6, 1e6 + 1e-5, false, true}, {1e6, 1e6 + 200, false, false}, {-1, 1, false, false},
      {nan_, nan_, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " vs " << c.b);
    EXPECT_EQ(same_value(c.a, c.b, 1e-12), c.same64);
    EXPECT_EQ(same_value(c.a, c.b, 1e-4), c.same32);
  }
  EXPECT_TRUE(float3(1, 2, 3) == float3(1 + 1e-13, 2, 3));
  EXPECT_TRUE(half2(1, 0) == half2(1.00005f, 0));
  EXPECT_FALSE(half2(1, 0) == half2(1.001f, 0));
  EXPECT_TRUE(half2(1, 0) != half2(1.001f, 0));
}

TEST(math_vector, half_arithmetic_rounds_each_result_to_32_bits) {
  // 0.1 is multiplied in 64 bits and only the product rounded.
  EXPECT_EQ((half2(3, 1) * 0.1).x, float(3 * 0.1));
  EXPECT_EQ((half2(16777216.0f, 0) + half2(1, 0)).x, 16777216.0f);  // tie to even
  EXPECT_EQ((half3(1, 1, 1) / 3.0).x, float(1.0 * double(float(1.0 / 3.0))));
}

TEST(math_vector, integer_points_round_ties_to_even) {
  struct Case {
    double value;
    int32_t expected;
  } cases[] = {
      {0.5, 0},
      {1.5, 2},
      {2.5, 2},
      {-0.5, 0},
      {-1.5, -2},
      {-2.5, -2},
      {2.4, 2},
      {2.6, 3},
      {-2.6, -3},
      {2147483647.0, 2147483647},
      {-2147483648.0, INT32_MIN},
      {3e9, INT32_MIN},
      {-3e9, INT32_MIN},
      {nan_, INT32_MIN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(to_point(float2(c.value, 0)).x, c.expected) << c.value;
    EXPECT_EQ(to_point(float2(0, c.value)).y, c.expected) << c.value;
  }
  EXPECT_EQ(to_point(half2(2.5f, -3.5f)), (TPoint{2, -4}));
  const float2 f(TPoint{-3, 2147483647});
  EXPECT_EQ(f.x, -3);
  EXPECT_EQ(f.y, 2147483647.0);
  const half2 h(TPoint{-3, 16777217});
  EXPECT_EQ(h.x, -3);
  EXPECT_EQ(h.y, 16777216.0f);
}

TEST(math_vector, half_and_float_conversions) {
  const half3 h(float3(0.1, 1e300, -2));
  expect_components(h, {double(0.1f), std::numeric_limits<double>::infinity(), -2});
  expect_components(float3(half3(0.1f, 2, 3)), {double(0.1f), 2, 3});
  expect_components(half2(float2(0.25, 8)), {0.25, 8});
  expect_components(float2(half2(0.25f, 8)), {0.25, 8});
  expect_components(half4(float4(1, 2, 3, 4)), {1, 2, 3, 4});
  expect_components(float4(half4(1, 2, 3, 4)), {1, 2, 3, 4});
  expect_components(float4(float3(5, 6, 7)), {5, 6, 7, 1});
}

TEST(math_vector, normalize) {
  expect_components(normalize(float3(3, 0, 4)), {0.6, 0, 0.8});
  expect_components(normalize(float3(0, -2, 0)), {0, -1, 0});
  const float3 n = normalize(float3(1, 1, 1));
  EXPECT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1, 1e-15);
  EXPECT_THROW((void)normalize(float3(0, 0, 0)), EZeroDivide);
  EXPECT_THROW((void)normalize(float3(nan_, 0, 0)), EZeroDivide);
}

// ---------------------------------------------------------------------------
// float4x4
// ---------------------------------------------------------------------------

TEST(math_vector_matrix, identity_and_default) {
  expect_matrix(float4x4::identity(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
  expect_matrix(float4x4(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  float4x4 m;
  m.at(1, 3) = 7;
  EXPECT_EQ(m.m[7], 7);
}

TEST(math_vector_matrix, translate_then_scale) {
  float4x4 m = float4x4::identity();
  m.translate(5, 0, 0);
  expect_matrix(m, {1, 0, 0, 5, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
  m.scale(2, 1, 1);
  expect_matrix(m, {2, 0, 0, 10, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
  m.translate(1, 2, 3).scale(1, 3, -1);
  expect_matrix(m, {2, 0, 0, 11, 0, 3, 0, 6, 0, 0, -1, -3, 0, 0, 0, 1});
  expect_components(m.transform_point(float3(1, 1, 1)), {13, 9, -4});
  expect_components(m.transform_direction(float3(1, 1, 1)), {2, 3, -1});
}

TEST(math_vector_matrix, translate_uses_the_bottom_row) {
  float4x4 m;
  for (int i = 0; i < 16; ++i) m.m[i] = i;
  m.translate(1, 2, 3);
  expect_matrix(m, {12, 14, 16, 18, 28, 31, 34, 37, 44, 48, 52, 56, 12, 13, 14, 15});
}

TEST(math_vector_matrix, rotate_z) {
  float4x4 m = float4x4::identity();
  m.rotate_z(pi / 2);
  EXPECT_NEAR(m.m[0], 0, 1e-15);
  EXPECT_EQ(m.m[1], -1);
  EXPECT_EQ(m.m[4], 1);
  EXPECT_NEAR(m.m[5], 0, 1e-15);
  expect_matrix(m, {0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
  // Counter-clockwise, after the existing translation.
  float4x4 t = float4x4::identity();
  t.translate(1, 0, 0).rotate_z(pi / 2);
  expect_matrix(t, {0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1});
  const float3 p = t.transform_point(float3(0, 0, 5));
  EXPECT_NEAR(p.x, 0, 1e-15);
  EXPECT_NEAR(p.y, 1, 1e-15);
  EXPECT_NEAR(p.z, 5, 1e-15);
}

TEST(math_vector_matrix, rotate_about_an_axis) {
  const double h = std::sqrt(0.5);
  struct Case {
    float3 axis;
    double angle;
    double expected[16];
  } cases[] = {
      {{1, 0, 0}, pi / 2, {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1}},
      {{0, 1, 0}, pi / 2, {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1}},
      {{0, 0, 1}, pi / 2, {0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
      {{0, 0, 7}, pi / 4, {h, -h, 0, 0, h, h, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},     // axis need not be a unit
      {{0, 0, -1}, pi / 2, {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},    // clockwise seen from +z
      {{1, 1, 1}, 2 * pi / 3, {0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1}},  // x -> y -> z -> x
      {{1, 0, 0}, pi, {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1}},
      {{3, 4, 0}, 0, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.axis.x << "," << c.axis.y << "," << c.axis.z << " by " << c.angle);
    float4x4 m = float4x4::identity();
    m.rotate(c.axis, c.angle);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i], c.expected[i], 1e-15) << "element " << i;
  }
  float4x4 m = float4x4::identity();
  EXPECT_THROW(m.rotate(float3(0, 0, 0), 1), EZeroDivide);
}

TEST(math_vector_matrix, rotate_applies_after_the_existing_transform) {
  float4x4 rz = float4x4::identity();
  rz.translate(1, 2, 3).rotate_z(0.3);
  float4x4 r = float4x4::identity();
  r.translate(1, 2, 3).rotate(float3(0, 0, 2), 0.3);
  EXPECT_TRUE(r == rz);
  // Moving (0, 0, 0) to (1, 0, 0), then a quarter turn about x leaves it.
  float4x4 m = float4x4::identity();
  m.translate(0, 1, 0).rotate(float3(1, 0, 0), pi / 2);
  const float3 p = m.transform_point(float3(0, 0, 0));
  EXPECT_NEAR(p.x, 0, 1e-15);
  EXPECT_NEAR(p.y, 0, 1e-15);
  EXPECT_NEAR(p.z, 1, 1e-15);
}

TEST(math_vector_matrix, multiply_is_a_followed_by_b) {
  float4x4 a, b;
  for (int i = 0; i < 16; ++i) {
    a.m[i] = i + 1;
    b.m[i] = (i % 5) - 2;
  }
  // C[4i + j] = sum over k of B[4i + k] * A[4k + j], worked out by hand for two elements.
  const float4x4 c = float4x4::multiply(a, b);
  EXPECT_EQ(c.m[0], -2 * 1 + -1 * 5 + 0 * 9 + 1 * 13);
  EXPECT_EQ(c.m[6], 2 * 3 + -2 * 7 + -1 * 11 + 0 * 15);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += b.m[4 * i + k] * a.m[4 * k + j];
      EXPECT_EQ(c.m[4 * i + j], sum);
    }
  // Translate then rotate, composed both ways.
  float4x4 t = float4x4::identity(), r = float4x4::identity();
  t.translate(1, 0, 0);
  r.rotate_z(pi / 2);
  const float3 tr = float4x4::multiply(t, r).transform_point(float3(0, 0, 0));
  EXPECT_NEAR(tr.x, 0, 1e-15);
  EXPECT_NEAR(tr.y, 1, 1e-15);
  const float3 rt = float4x4::multiply(r, t).transform_point(float3(0, 0, 0));
  EXPECT_NEAR(rt.x, 1, 1e-15);
  EXPECT_NEAR(rt.y, 0, 1e-15);
  EXPECT_TRUE(float4x4::multiply(float4x4::identity(), a) == a);
  EXPECT_TRUE(float4x4::multiply(a, float4x4::identity()) == a);
}

TEST(math_vector_matrix, transform_uses_every_row) {
  float4x4 m;
  for (int i = 0; i < 16; ++i) m.m[i] = i;
  expect_components(m.transform(float4(1, 2, 3, 4)), {20, 60, 100, 140});
  expect_components(m.transform_point(float3(1, 2, 3)), {11, 39, 67});
}
