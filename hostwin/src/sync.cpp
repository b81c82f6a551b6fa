// kernel32: interlocked operations. The world is single-threaded, but the call
// is recorded like every other so that tests can see it was used.
#include <windows.h>
#include <hostwin/control.h>

LONG InterlockedExchange(LONG volatile* Target, LONG Value) {
  DWORD error = 0;
  hostwin::detail::Enter("InterlockedExchange", std::to_string(Value), &error);  // cannot fail
  return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}
