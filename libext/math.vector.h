// Vector records in single and double precision and the 4×4 transform matrix
// that the scene builder composes placements with.
//
// `half2`, `half3`, `half4` hold 32-bit float components, `float2`, `float3`,
// `float4` 64-bit ones (the names count components, not bits). Every record
// is a plain value with public fields x, y, z, w; the aliases u, v, q, r and
// the array view items(i) are accessors that return a reference to the same
// field:
//
//   float3 a(1, 2, 3);
//   a.u() = 5;                   // a.x == 5
//   a.items(2) += 1;             // a.z == 4
//   float3 b = 2.0 * a - float3(1);
//   float3 n = normalize(b);     // EZeroDivide for the zero vector
//
// Arithmetic is component-wise. On the half records it is carried out in
// 64-bit precision and each result component is rounded to 32 bits when
// stored. Division raises EZeroDivide (empty message) instead of producing an
// infinite or NaN component; nothing else fails. == compares with a relative
// tolerance (see `same_value`).
//
// `float4x4` is row-major: m[4r + c] is row r, column c. It maps column
// vectors, p' = M·p with p = (x, y, z, 1), so m[3], m[7] and m[11] hold the
// translation. Every modifying operation applies its transform after the one
// the matrix already describes:
//
//   float4x4 m = float4x4::identity();
//   m.rotate_z(pi / 2).translate(5, 0, 0);     // rotate first, then move
//   float3 p = m.transform_point(float3(1, 0, 0));  // (5, 1, 0)
#pragma once

#include <cstdint>

#include "math.fpu.h"
#include "system.h"

// Two 32-bit signed integers, the integer point records convert to and from.
struct TPoint {
  int32_t x = 0;
  int32_t y = 0;
  friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};

// True when a and b are the same within the tolerance of their precision:
// |a − b| ≤ max(min(|a|, |b|) × eps, eps) with eps = 1e-12 for 64-bit and
// 1e-4 for 32-bit components. NaN is never the same as anything.
bool same_value(double a, double b, double eps);

namespace vector_detail {

// Raises EZeroDivide with an empty message.
[[noreturn]] void zero_divide();

// The record whose component i is f(i), each rounded to the component type.
template <class V, class F>
constexpr V generate(F f) {
  V r;
  for (int i = 0; i < V::size; ++i) r.items(i) = typename V::component(f(i));
  return r;
}

}  // namespace vector_detail

// ---------------------------------------------------------------------------
// Component access and arithmetic shared by the six records
// ---------------------------------------------------------------------------

// Base of the vector records `D` with `N` components of type `T`: the alias
// and array accessors, and the arithmetic. It holds no data, so the record's
// layout is its fields.
//
// Arithmetic is component-wise. The operators are friends defined here, so
// they are found only for arguments of a record type: nothing else in a
// program (number arithmetic in other libraries, say) ever sees them, and
// headers can come in any order.
template <class D, class T, int N>
struct TVectorRecord {
  using component = T;
  static constexpr int size = N;

  // The component at `i` (0 = x, 1 = y, 2 = z, 3 = w); an index outside
  // 0..N-1 is an assertion failure.
  constexpr T& items(int i) { return item(self(), i); }
  constexpr const T& items(int i) const { return item(self(), i); }

  constexpr T& u() { return self().x; }
  constexpr const T& u() const { return self().x; }
  constexpr T& v() { return self().y; }
  constexpr const T& v() const { return self().y; }
  constexpr T& q() requires(N >= 3) { return self().z; }
  constexpr const T& q() const requires(N >= 3) { return self().z; }
  constexpr T& r() requires(N >= 4) { return self().w; }
  constexpr const T& r() const requires(N >= 4) { return self().w; }

  friend constexpr D operator-(const D& a) {
    return vector_detail::generate<D>([&](int i) { return -double(a.items(i)); });
  }
  friend constexpr D operator+(const D& a, const D& b) {
    return vector_detail::generate<D>([&](int i) { return double(a.items(i)) + double(b.items(i)); });
  }
  friend constexpr D operator-(const D& a, const D& b) {
    return vector_detail::generate<D>([&](int i) { return double(a.items(i)) - double(b.items(i)); });
  }
  friend constexpr D operator*(const D& a, const D& b) {
    return vector_detail::generate<D>([&](int i) { return double(a.items(i)) * double(b.items(i)); });
  }
  friend constexpr D operator*(double s, const D& a) {
    return vector_detail::generate<D>([&](int i) { return s * double(a.items(i)); });
  }
  friend constexpr D operator*(const D& a, double s) {
    return vector_detail::generate<D>([&](int i) { return double(a.items(i)) * s; });
  }
  // Every component times 1/s; EZeroDivide when that reciprocal (rounded to
  // the component type) is not finite.
  friend D operator/(const D& a, double s) {
    const double reciprocal = double(T(1.0 / s));
    if (is_not_finite(reciprocal)) vector_detail::zero_divide();
    return a * reciprocal;
  }
  // The quotients in the order x, y, z, w; EZeroDivide as soon as one of them
  // is not finite (0/0 included).
  friend D operator/(const D& a, const D& b) {
    return vector_detail::generate<D>([&](int i) {
      const double quotient = double(a.items(i)) / double(b.items(i));
      if (is_not_finite(quotient)) vector_detail::zero_divide();
      return quotient;
    });
  }

  friend D& operator+=(D& a, const D& b) { return a = a + b; }
  friend D& operator-=(D& a, const D& b) { return a = a - b; }
  friend D& operator*=(D& a, double s) { return a = a * s; }
  friend D& operator/=(D& a, double s) { return a = a / s; }

  // Every pair of components the same within the tolerance of the component
  // type (see same_value); != is its negation.
  friend bool operator==(const D& a, const D& b) {
    constexpr double tolerance = sizeof(T) == sizeof(double) ? 1e-12 : 1e-4;
    for (int i = 0; i < N; ++i)
      if (!same_value(a.items(i), b.items(i), tolerance)) return false;
    return true;
  }

 private:
  constexpr D& self() { return static_cast<D&>(*this); }
  constexpr const D& self() const { return static_cast<const D&>(*this); }

  template <class R>
  static constexpr auto& item(R& d, int i) {
    ASSERT(i >= 0 && i < N);
    if constexpr (N >= 4)
      if (i == 3) return d.w;
    if constexpr (N >= 3)
      if (i == 2) return d.z;
    return i == 1 ? d.y : d.x;
  }
};

// ---------------------------------------------------------------------------
// The records
// ---------------------------------------------------------------------------

struct float2;
struct float3;
struct float4;

struct half2 : TVectorRecord<half2, float, 2> {
  float x = 0, y = 0;
  constexpr half2() = default;
  constexpr half2(float x_, float y_) : x(x_), y(y_) {}
  constexpr explicit half2(float all) : x(all), y(all) {}
  // Each component rounded to 32 bits.
  explicit half2(const float2& v);
  // The integers converted exactly (as far as 32 bits hold them).
  explicit half2(TPoint p);
};

struct half3 : TVectorRecord<half3, float, 3> {
  float x = 0, y = 0, z = 0;
  constexpr half3() = default;
  constexpr half3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  constexpr explicit half3(float all) : x(all), y(all), z(all) {}
  explicit half3(const float3& v);
};

struct half4 : TVectorRecord<half4, float, 4> {
  float x = 0, y = 0, z = 0, w = 0;
  constexpr half4() = default;
  constexpr half4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
  constexpr explicit half4(float all) : x(all), y(all), z(all), w(all) {}
  explicit half4(const float4& v);
};

struct float2 : TVectorRecord<float2, double, 2> {
  double x = 0, y = 0;
  constexpr float2() = default;
  constexpr float2(double x_, double y_) : x(x_), y(y_) {}
  constexpr explicit float2(double all) : x(all), y(all) {}
  constexpr explicit float2(const half2& v) : x(v.x), y(v.y) {}
  // The integers converted exactly.
  constexpr explicit float2(TPoint p) : x(p.x), y(p.y) {}
};

struct float3 : TVectorRecord<float3, double, 3> {
  double x = 0, y = 0, z = 0;
  constexpr float3() = default;
  constexpr float3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
  constexpr explicit float3(double all) : x(all), y(all), z(all) {}
  constexpr explicit float3(const half3& v) : x(v.x), y(v.y), z(v.z) {}
};

struct float4 : TVectorRecord<float4, double, 4> {
  double x = 0, y = 0, z = 0, w = 0;
  constexpr float4() = default;
  constexpr float4(double x_, double y_, double z_, double w_) : x(x_), y(y_), z(z_), w(w_) {}
  constexpr explicit float4(double all) : x(all), y(all), z(all), w(all) {}
  constexpr explicit float4(const half4& v) : x(v.x), y(v.y), z(v.z), w(v.w) {}
  // The point (x, y, z) in homogeneous form: w = 1.
  constexpr explicit float4(const float3& v) : x(v.x), y(v.y), z(v.z), w(1) {}
};

// The nearest integers, ties to even. A component that is NaN or outside the
// 32-bit range gives INT32_MIN (the processor's "integer indefinite").
TPoint to_point(const half2& v);
TPoint to_point(const float2& v);

// The unit vector of the same direction; EZeroDivide for the zero vector (or
// any vector whose length has no finite reciprocal).
float3 normalize(const float3& v);

// ---------------------------------------------------------------------------
// Tests on all six records
// ---------------------------------------------------------------------------

template <class V>
concept vector_record = std::is_base_of_v<TVectorRecord<V, typename V::component, V::size>, V>;

// "Zero" for a double: a magnitude of at most zero_tolerance.
inline constexpr double zero_tolerance = 1e-12;
bool is_zero(double x);

// Every component zero (see is_zero).
template <vector_record V>
bool is_zero(const V& v) {
  for (int i = 0; i < V::size; ++i)
    if (!is_zero(double(v.items(i)))) return false;
  return true;
}

// Some component NaN or infinite.
template <vector_record V>
bool is_not_finite(const V& v) {
  for (int i = 0; i < V::size; ++i)
    if (is_not_finite(double(v.items(i)))) return true;
  return false;
}

// ---------------------------------------------------------------------------
// float4x4
// ---------------------------------------------------------------------------

// A 4×4 transform of column vectors, row-major (m[4r + c]), translation in
// m[3], m[7] and m[11]. A default-constructed matrix is all zeros; start from
// `identity()`. The modifying operations return the matrix so calls chain.
struct float4x4 {
  double m[16] = {};

  // The transform that changes nothing.
  static float4x4 identity();
  // The transform `a` followed by the transform `b`: the product b·a.
  static float4x4 multiply(const float4x4& a, const float4x4& b);

  // Scales x by a, y by b and z by c after the current transform.
  float4x4& scale(double a, double b, double c);
  // Rotates counter-clockwise about the z axis by `angle` radians after the
  // current transform.
  float4x4& rotate_z(double angle);
  // Rotates counter-clockwise (right-handed) about `axis` by `angle` radians
  // after the current transform. `axis` need not be a unit vector;
  // EZeroDivide when it is the zero vector.
  float4x4& rotate(const float3& axis, double angle);
  // Moves by (a, b, c) after the current transform.
  float4x4& translate(double a, double b, double c);

  // The element in row `row`, column `col` (both 0..3).
  double& at(int row, int col) { return m[4 * row + col]; }
  double at(int row, int col) const { return m[4 * row + col]; }

  // M·(x, y, z, 1), the homogeneous coordinate dropped.
  float3 transform_point(const float3& p) const;
  // M·(x, y, z, 0): a direction, unaffected by the translation.
  float3 transform_direction(const float3& d) const;
  // M·p.
  float4 transform(const float4& p) const;
};

// Some element NaN or infinite.
bool is_not_finite(const float4x4& m);

// Element-wise within the 64-bit tolerance of same_value.
bool operator==(const float4x4& a, const float4x4& b);
inline bool operator!=(const float4x4& a, const float4x4& b) { return !(a == b); }
