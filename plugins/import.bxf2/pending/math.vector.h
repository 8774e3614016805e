// Placeholder for the support library's vector records until they are in
// libext (used only while libext/math.vector.h is missing).
#pragma once

struct float2 {
  double x = 0, y = 0;
  constexpr float2() = default;
  constexpr float2(double x_, double y_) : x(x_), y(y_) {}
};
struct float3 {
  double x = 0, y = 0, z = 0;
  constexpr float3() = default;
  constexpr float3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
};
struct float4 {
  double x = 0, y = 0, z = 0, w = 0;
  constexpr float4() = default;
  constexpr float4(double x_, double y_, double z_, double w_) : x(x_), y(y_), z(z_), w(w_) {}
};
