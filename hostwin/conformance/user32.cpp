// user32 as brelmot's monitor uses it: a window class registered once, hidden
// top-level windows, finding them by class (FindWindowA, EnumWindows with
// GetClassNameA), posted and sent messages, the message loop's GetMessageA
// results, and the debounce timer's ways: a timer with a callback, SetTimer
// on a pending timer, KillTimer, and where WM_TIMER comes among the messages.
//
// Under Wine other windows exist too (the desktop's, and a hidden window of
// this thread's own that Wine makes): only the messages of this program's
// two windows and of the thread are printed. Timings are real under Wine
// and the test clock's on the host (GetMessageA and Sleep move it); what is
// printed is only which side of a bound a time fell on, with bounds far
// from both answers, as a loaded machine is late but never early.
#include "conformance.h"

#include <cstring>

using conformance::LastError;
using conformance::Outcome;

namespace {

const char kClass[] = "ConfWnd";

HWND g_first, g_second, g_gone;
bool g_created;

const char* Name(HWND h) {
  if (h == nullptr) return "null";
  if (h == g_first) return "first";
  if (h == g_second) return "second";
  if (h == g_gone) return "destroyed";
  return "another";
}

// Messages this program sends or posts itself, and the ones of window
// creation and destruction; Wine's windows get many more, left unprinted.
bool Printed(UINT message) {
  return message >= WM_USER || message == WM_COMMAND || message == WM_TIMER || message == WM_QUIT ||
         message == WM_CREATE || message == WM_DESTROY || message == WM_CLOSE;
}

void PrintMessage(UINT message) {
  switch (message) {
    case WM_COMMAND: std::printf("WM_COMMAND"); break;
    case WM_TIMER: std::printf("WM_TIMER"); break;
    case WM_QUIT: std::printf("WM_QUIT"); break;
    case WM_CREATE: std::printf("WM_CREATE"); break;
    case WM_DESTROY: std::printf("WM_DESTROY"); break;
    case WM_CLOSE: std::printf("WM_CLOSE"); break;
    default: std::printf("WM_USER+%u", message - WM_USER); break;
  }
}

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) g_created = true;
  // WM_CREATE comes before CreateWindowExA has returned the handle.
  if (Printed(message) && message != WM_CREATE) {
    std::printf("  window %s got ", Name(hwnd));
    PrintMessage(message);
    std::printf(" %lu %lu\n", static_cast<unsigned long>(wParam), static_cast<unsigned long>(lParam));
  }
  if (message == WM_USER + 3) return static_cast<LRESULT>(wParam + lParam);
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

VOID CALLBACK TimerProc(HWND hwnd, UINT message, UINT_PTR id, DWORD) {
  std::printf("  timer callback for %s: ", Name(hwnd));
  PrintMessage(message);
  std::printf(" id %lu\n", static_cast<unsigned long>(id));
}

HWND Create(const char* className, const char* title) {
  g_created = false;
  return CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                         nullptr, nullptr, nullptr);
}

// Takes the next message that this program cares about and prints it; the
// others are dispatched unprinted. Returns GetMessageA's result.
BOOL Next(MSG* message) {
  for (;;) {
    const BOOL result = GetMessageA(message, nullptr, 0, 0);
    const bool ours = message->hwnd == nullptr || message->hwnd == g_first || message->hwnd == g_second;
    if (result == -1 || (ours && Printed(message->message))) {
      std::printf("get -> %d %s ", result, Name(message->hwnd));
      PrintMessage(message->message);
      std::printf(" %lu ", static_cast<unsigned long>(message->wParam));
      // A timer's callback: Windows passes its address, Wine a handle of
      // its own that stands for it; both run it when the message is dispatched.
      if (message->message == WM_TIMER)
        std::printf("%s\n", message->lParam != 0 ? "callback" : "0");
      else
        std::printf("%lu\n", static_cast<unsigned long>(message->lParam));
      return result;
    }
    DispatchMessageA(message);
  }
}

// Next, then dispatched. The dispatch's answer is the window procedure's;
// for a timer callback, which returns nothing, it is left unprinted.
BOOL NextDispatched(MSG* message) {
  const BOOL result = Next(message);
  if (result > 0) {
    const LRESULT answer = DispatchMessageA(message);
    if (answer != 0 && message->message != WM_TIMER) std::printf("  dispatch -> %ld\n", static_cast<long>(answer));
  }
  return result;
}

int g_enumerated;
int g_stopAt;  // 0: never

BOOL CALLBACK Enumerate(HWND hwnd, LPARAM) {
  if (hwnd != g_first && hwnd != g_second) return TRUE;
  ++g_enumerated;
  std::printf("  enumerated %s\n", Name(hwnd));
  return g_enumerated != g_stopAt;
}

void ClassesAndWindows() {
  WNDCLASSEXA c;
  std::memset(&c, 0, sizeof(c));
  c.cbSize = sizeof(c);
  c.style = CS_HREDRAW | CS_VREDRAW;
  c.lpfnWndProc = Proc;
  c.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  c.lpszClassName = kClass;
  std::printf("register class -> %s\n", Outcome(RegisterClassExA(&c) != 0).s);
  c.lpszClassName = "CONFWND";
  std::printf("register it again in upper case -> %s\n", Outcome(RegisterClassExA(&c) != 0).s);

  g_first = Create("confwnd", "first");
  std::printf("create first -> %s, WM_CREATE %s\n", Outcome(g_first != nullptr).s,
              g_created ? "before the return" : "missing");
  g_second = Create(kClass, "second");
  std::printf("create second -> %s\n", Outcome(g_second != nullptr).s);
  // Windows reports ERROR_CANNOT_FIND_WND_CLASS, Wine
  // ERROR_CLASS_DOES_NOT_EXIST; the monitor reads neither.
  HWND none = Create("HostwinConfNoClass", "none");
  std::printf("create of a class not registered -> %s\n", none != nullptr ? "ok" : "fails");
  g_gone = Create(kClass, "gone");
  std::printf("destroy a third -> %s\n", Outcome(DestroyWindow(g_gone) != FALSE).s);
  std::printf("window first: IsWindow %d, IsWindowVisible %d; destroyed: IsWindow %d\n", IsWindow(g_first) ? 1 : 0,
              IsWindowVisible(g_first) ? 1 : 0, IsWindow(g_gone) ? 1 : 0);

  char name[64];
  std::memset(name, conformance::kFiller, sizeof(name));
  int n = GetClassNameA(g_first, name, sizeof(name));
  std::printf("class name -> %d \"%s\"\n", n, n > 0 ? name : "");
  std::memset(name, conformance::kFiller, sizeof(name));
  n = GetClassNameA(g_first, name, 4);
  std::printf("class name into 4 -> %d \"%s\" after: ", n, n > 0 ? name : "");
  conformance::PrintHex(name + 4, 1);
  std::printf("\n");
  // Windows reports ERROR_INVALID_WINDOW_HANDLE, Wine ERROR_INVALID_PARAMETER;
  // the monitor passes such a window over either way.
  n = GetClassNameA(g_gone, name, sizeof(name));
  std::printf("class name of the destroyed window -> %d\n", n);

  std::printf("find by class -> %s\n", Name(FindWindowA("CONFWND", nullptr)));
  std::printf("find by class and title -> %s\n", Name(FindWindowA(kClass, "first")));
  std::printf("find by class and another title -> %s\n", Name(FindWindowA(kClass, "none")));
  std::printf("find a class not registered -> %s\n", Name(FindWindowA("HostwinConfNoClass", nullptr)));

  // Windows made later lie above the earlier ones.
  g_enumerated = 0;
  g_stopAt = 0;
  std::printf("enumerate:\n");
  BOOL all = EnumWindows(Enumerate, 0);
  std::printf("  -> %d\n", all ? 1 : 0);
  g_enumerated = 0;
  g_stopAt = 1;
  std::printf("enumerate, stopping at the first of this program's:\n");
  all = EnumWindows(Enumerate, 0);
  std::printf("  -> %d\n", all ? 1 : 0);
}

void Messages() {
  std::printf("post to first -> %s\n", Outcome(PostMessageA(g_first, WM_USER + 1, 1, 2) != FALSE).s);
  std::printf("post to the thread -> %s\n", Outcome(PostMessageA(nullptr, WM_USER + 2, 3, 4) != FALSE).s);
  std::printf("post to the destroyed window -> %s\n", Outcome(PostMessageA(g_gone, WM_USER, 0, 0) != FALSE).s);
  std::printf("send to second:\n");
  LRESULT answer = SendMessageA(g_second, WM_USER + 3, 5, 6);
  std::printf("  -> %ld\n", static_cast<long>(answer));
  SetLastError(0);
  answer = SendMessageA(g_gone, WM_USER + 3, 5, 6);
  std::printf("send to the destroyed window -> %ld, error %lu\n", static_cast<long>(answer), LastError());
  PostQuitMessage(7);
  std::printf("post to second after PostQuitMessage -> %s\n",
              Outcome(PostMessageA(g_second, WM_USER + 4, 7, 8) != FALSE).s);
  std::printf("post to every top-level window -> %s\n",
              Outcome(PostMessageA(HWND_BROADCAST, WM_COMMAND, 41061, 0) != FALSE).s);
  // Posted messages in their order, WM_QUIT once none is left.
  MSG message;
  while (NextDispatched(&message) > 0) {
  }
  SetLastError(0);
  const BOOL result = GetMessageA(&message, g_gone, 0, 0);
  std::printf("get for the destroyed window -> %d, error %lu\n", result, LastError());
}

void Timers() {
  MSG message;
  // The timer due first comes first, whatever the order they were set in;
  // a timer with a callback carries it in lParam and runs it when dispatched.
  std::printf("set timer 1, 1500 ms -> %s\n", SetTimer(g_first, 1, 1500, nullptr) != 0 ? "nonzero" : "0");
  std::printf("set timer 2, 100 ms, callback -> %s\n", SetTimer(g_first, 2, 100, TimerProc) != 0 ? "nonzero" : "0");
  NextDispatched(&message);
  std::printf("kill timer 2 -> %s\n", Outcome(KillTimer(g_first, 2) != FALSE).s);
  NextDispatched(&message);
  std::printf("kill timer 1 -> %s\n", Outcome(KillTimer(g_first, 1) != FALSE).s);
  // Only the failure: the error of a timer that is not there is not settled
  // between Windows versions, and the monitor reads none.
  std::printf("kill timer 1 again -> %s\n", KillTimer(g_first, 1) != FALSE ? "ok" : "fails");

  // Windows reports ERROR_INVALID_WINDOW_HANDLE, Wine ERROR_INVALID_HANDLE;
  // the monitor only sees that no timer was set.
  const UINT_PTR none = SetTimer(g_gone, 5, 100, nullptr);
  std::printf("set a timer on the destroyed window -> %s\n", none != 0 ? "nonzero" : "0");

  // SetTimer on a pending timer starts its period again.
  SetTimer(g_first, 3, 1000, nullptr);
  Sleep(600);
  std::printf("set timer 3 again after 600 of its 1000 ms -> %s\n",
              SetTimer(g_first, 3, 1000, nullptr) != 0 ? "nonzero" : "0");
  DWORD start = GetTickCount();
  NextDispatched(&message);
  std::printf("  it came %s 900 ms after the second SetTimer\n", GetTickCount() - start >= 900 ? "at least" : "within");
  KillTimer(g_first, 3);

  // A due timer waits behind posted messages. However late its WM_TIMER is
  // taken, the timer keeps its period: the next one comes one period after
  // the expiry that was missed, not one period after it was taken.
  SetTimer(g_first, 4, 2000, nullptr);
  Sleep(3000);
  PostMessageA(g_first, WM_USER + 5, 0, 0);
  NextDispatched(&message);
  NextDispatched(&message);
  start = GetTickCount();
  NextDispatched(&message);
  std::printf("  it came %s 1800 ms after the late one\n", GetTickCount() - start < 1800 ? "within" : "at least");
}

void Destruction() {
  // Destroying a window ends its timers.
  std::printf("destroy first:\n");
  std::printf("  -> %s\n", Outcome(DestroyWindow(g_first) != FALSE).s);
  std::printf("kill its timer 4 -> %s\n", KillTimer(g_first, 4) != FALSE ? "ok" : "fails");
  // Windows reports ERROR_INVALID_WINDOW_HANDLE, Wine ERROR_ACCESS_DENIED.
  std::printf("destroy it again -> %s\n", DestroyWindow(g_first) != FALSE ? "ok" : "fails");
  // WM_CLOSE left to DefWindowProcA destroys the window.
  std::printf("send WM_CLOSE to second:\n");
  std::printf("  -> %ld\n", static_cast<long>(SendMessageA(g_second, WM_CLOSE, 0, 0)));
  std::printf("windows left: first %d, second %d\n", IsWindow(g_first) ? 1 : 0, IsWindow(g_second) ? 1 : 0);
}

}  // namespace

int main() {
  ClassesAndWindows();
  Messages();
  Timers();
  Destruction();
  return 0;
}
