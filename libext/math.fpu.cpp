#include "math.fpu.h"

#include <cfenv>
#include <cmath>
#if defined(__GLIBC__)
#include <fenv.h>  // fedisableexcept, fegetexcept (GNU extensions)
#endif

bool is_not_finite(double x) { return !std::isfinite(x); }

void apply_fpu_mode() {
#if defined(__GLIBC__) && defined(FE_ALL_EXCEPT)
  fedisableexcept(FE_ALL_EXCEPT);
#endif
  std::fesetround(FE_TONEAREST);
}

bool fpu_exceptions_masked() {
#if defined(__GLIBC__)
  return fegetexcept() == 0;
#else
  return true;  // the C library offers no traps to enable
#endif
}

namespace {

// Puts the mode in force on the main thread before main() runs.
struct TFpuModeAtLoad {
  TFpuModeAtLoad() { apply_fpu_mode(); }
};
const TFpuModeAtLoad fpu_mode_at_load;

}  // namespace
