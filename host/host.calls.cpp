#include "host.calls.h"

#include <atomic>
#include <mutex>

namespace {

std::atomic<int64_t> g_calls{0};
std::atomic<int64_t> g_armed{0};
std::mutex g_failed_mutex;
std::string g_failed;

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

}  // namespace

void THostStop::request() noexcept { g_stop.store(true); }
void THostStop::clear() noexcept { g_stop.store(false); }
bool THostStop::requested() noexcept { return g_stop.load(); }

void THostFaults::arm(int64_t n) {
  g_calls = 0;
  g_armed = n < 0 ? 0 : n;
  std::lock_guard lock(g_failed_mutex);
  g_failed.clear();
}

int64_t THostFaults::calls() { return g_calls; }

void THostFaults::reset() { g_calls = 0; }

std::string THostFaults::failed_operation() {
  std::lock_guard lock(g_failed_mutex);
  return g_failed;
}

bool THostFaults::hit(const char* operation) {
  int64_t n = ++g_calls;
  int64_t armed = g_armed;
  if (armed == 0 || n != armed) return false;
  g_armed = 0;
  std::lock_guard lock(g_failed_mutex);
  g_failed = operation;
  return true;
}

void host_plain_call(const char* operation) {
  if (THostStop::requested()) throw EOleSysError(E_ABORT);
  if (THostFaults::hit(operation)) throw EOleSysError(E_FAIL);
}
