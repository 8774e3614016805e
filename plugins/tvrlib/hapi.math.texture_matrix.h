// The texture placement of a host mesh node as a 2-D transform: a matrix
// taken apart into angle, offsets, scales and mirroring, and put together
// again, so that one of them (the angle) can be replaced while the others
// stay as they were.
//
//   TTextureTransform t = decompose_texture_matrix(node_texture_matrix);
//   t.angle = quarter_turn;
//   float4x4 turned = compose_texture_matrix(t);
//
// The two invert each other for matrices whose upper-left 2 × 2 block is a
// scaled rotation or reflection.
#pragma once

#include "math.vector.h"

struct TTextureTransform {
  double angle = 0;     // rotation in radians, in [0, 2π) after decomposition
  double offset_x = 0;  // offset along the texture's x
  double offset_y = 0;  // offset along the texture's y
  double scale_x = 1;   // reciprocal of the length of the matrix's row 0 (1 when degenerate)
  double scale_y = 1;   // reciprocal of the length of the matrix's row 1 (1 when degenerate)
  bool mirror = false;  // the 2-D part of the matrix is a reflection
};

// The parameters of the texture matrix `t`. When row 0 or row 1 has length
// zero (at most 1e-12) both scales are 1. Raises EZeroDivide when a
// reciprocal is not finite (a length that is not a number).
TTextureTransform decompose_texture_matrix(const float4x4& t);

// The texture matrix of `t`: translate by the offsets, turn by the angle, then
// scale by the reciprocal scales (x negated when mirrored). A zero scale in
// `t` (at most 1e-12) is first set to 1. Raises EZeroDivide when a reciprocal is not finite.
float4x4 compose_texture_matrix(TTextureTransform& t);
