// How the reference host answers calls from plug-ins: the guard around every
// COM call (an exception inside becomes a failure code, never a crash) and
// the failing-call switch that tests use to walk every failure path of a
// plug-in. Reserved method-table slots answer E_NOTIMPL from their bodies in
// TVR_TLB.h.
//
// The switch counts every call a plug-in makes on a host interface (not the
// IUnknown methods). Armed with n, the n-th call counted from then fails: a
// COM call answers E_FAIL without doing anything, a plain call raises
// EOleSysError (E_FAIL), as the application does when one of its plain calls
// fails. Counting goes on after the failure; the switch fires once.
//
//   THostFaults::arm(3);             // the third host call from now fails
//   run_the_plugin_command();
//   THostFaults::failed_operation(); // "IEntity.SetName", say
//   THostFaults::disarm();
#pragma once

#include <cstdint>
#include <new>
#include <string>

#include "tvrlib.com.h"

// The process-wide failing-call switch.
class THostFaults {
 public:
  // Makes the n-th call from now fail (n >= 1); restarts the count. 0 disarms.
  static void arm(int64_t n);
  static void disarm() { arm(0); }
  // The number of calls counted since the last arm or reset.
  static int64_t calls();
  // Restarts the count without arming.
  static void reset();
  // The operation ("IEntity.SetName") that the switch made fail, or "".
  static std::string failed_operation();

  // Counts one call of `operation`; true when it is the one to fail.
  static bool hit(const char* operation);
};

// The host's answer to a request to stop (Ctrl-C in a program): from
// `request` until `clear`, every call on a host interface fails at once, a
// COM call answering E_ABORT and a plain call raising EOleSysError
// (E_ABORT), except IProgress.Proceed, which answers false. A command that
// runs then ends at its next host call. `request` may be called from a
// signal handler.
class THostStop {
 public:
  static void request() noexcept;
  static void clear() noexcept;
  static bool requested() noexcept;
};

// The body of a COM call: counts the call, runs `body` (which returns the
// result code) and turns an exception raised inside into a failure code:
// EOleSysError gives its code, running out of memory E_OUTOFMEMORY, anything
// else E_FAIL.

template <class F>
HRESULT host_call(const char* operation, F&& body) noexcept {
  try {
    if (THostStop::requested()) return E_ABORT;
    if (THostFaults::hit(operation)) return E_FAIL;
    return body();
  } catch (const EOleSysError& e) {
    return e.error_code();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// Counts a plain call; raises EOleSysError (E_FAIL) when it is the one to
// fail, EOleSysError (E_ABORT) while a stop is requested.
void host_plain_call(const char* operation);

// Stores a counted reference to `value` in the out parameter; E_POINTER for a
// null slot (a new, unreferenced `value` is destroyed then).
template <class I, class C>
HRESULT put_interface(I** slot, C* value) {
  TRef<I> hold(static_cast<I*>(value));
  if (!slot) return E_POINTER;
  *slot = hold.detach();
  return S_OK;
}
