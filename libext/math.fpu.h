// The process-wide floating-point mode and the test that replaces floating-
// point traps.
//
// Every floating-point exception (invalid operation, division by zero,
// overflow, underflow, inexact, denormal operand) is masked, rounding is to
// nearest: 1/0 gives infinity and 0/0 gives NaN instead of a signal. Code
// that must not go on with such a value checks it with `is_not_finite` and
// raises EZeroDivide itself.
//
// The mode is put in force once at program start by this module's static
// initializer (on x86-64 Linux through fedisableexcept, which clears the
// trap enables of both the x87 control word and MXCSR; elsewhere the C
// library's default, which traps nothing, is kept). The mode is per thread:
// a thread started by someone else calls `apply_fpu_mode` before running the
// system's code. A program links this module whenever it calls
// `is_not_finite` (the vector, matrix and colour records do), which is what
// makes the static initializer run.
#pragma once

// True when `x` is NaN, positive infinity or negative infinity.
bool is_not_finite(double x);

// Masks every floating-point exception and selects rounding to nearest on
// the calling thread.
void apply_fpu_mode();

// True when no floating-point exception traps on the calling thread.
bool fpu_exceptions_masked();
