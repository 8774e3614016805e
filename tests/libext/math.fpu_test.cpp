#include "math.fpu.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#if defined(__GLIBC__)
#include <fenv.h>
#endif

TEST(math_fpu, is_not_finite_cases) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double x;
    bool expected;
  } cases[] = {
      {0.0, false},
      {-0.0, false},
      {1e308, false},
      {-1e308, false},
      {std::numeric_limits<double>::denorm_min(), false},
      {inf, true},
      {-inf, true},
      {std::numeric_limits<double>::quiet_NaN(), true},
  };
  for (const auto& c : cases) EXPECT_EQ(is_not_finite(c.x), c.expected) << c.x;
}

TEST(math_fpu, exceptions_are_masked_at_load) {
  EXPECT_TRUE(fpu_exceptions_masked());
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
}

TEST(math_fpu, division_by_zero_and_invalid_operations_give_inf_and_nan) {
  volatile double zero = 0.0;
  volatile double one = 1.0;
  volatile double big = 1e308;
  EXPECT_TRUE(std::isinf(one / zero));
  EXPECT_TRUE(std::isinf(-one / zero) && -one / zero < 0);
  EXPECT_TRUE(std::isnan(zero / zero));
  EXPECT_TRUE(std::isinf(big * big));
  EXPECT_TRUE(std::isnan(std::sqrt(-one)));
}

TEST(math_fpu, apply_fpu_mode_masks_traps_enabled_later) {
#if defined(__GLIBC__)
  feenableexcept(FE_DIVBYZERO);
  EXPECT_FALSE(fpu_exceptions_masked());
  apply_fpu_mode();
  EXPECT_TRUE(fpu_exceptions_masked());
  volatile double zero = 0.0;
  EXPECT_TRUE(is_not_finite(1.0 / zero));
#else
  GTEST_SKIP() << "traps are enabled through glibc's feenableexcept";
#endif
}
