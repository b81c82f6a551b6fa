// user32 for one thread: window classes, windows, the message queue with its
// timers on a test clock, painting, modal dialogs and the module's resources.
//
// Time only moves inside GetMessageA: when nothing is ready it jumps to the
// next due timer or scheduled action, so a run of the program is exact and
// repeatable and takes no real time.
#include <windows.h>
#include <hostwin/control.h>

#include "names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <set>

namespace hostwin {
namespace {

using user32::ClassInfo;
using user32::Message;
using user32::WindowInfo;

struct WindowRec {
  WindowInfo info;
  WNDPROC proc = nullptr;
  DLGPROC dialogProc = nullptr;  // set for a dialog
  bool dialogEnded = false;
  INT_PTR dialogResult = 0;
  bool unreadableClass = false;
  bool destroying = false;
  std::vector<Message> received;  // foreign windows only
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT elapse;
  DWORD due;
  TIMERPROC proc;
};

struct Scheduled {
  DWORD at;
  std::uint64_t seq;
  std::function<void()> action;
};

struct User32 {
  std::map<std::string, ClassInfo> classes;  // by lower-case name
  std::map<HWND, WindowRec> windows;
  std::vector<HWND> zorder;  // top-level windows, topmost first
  std::uintptr_t nextHwnd = 0x10010;
  std::deque<MSG> queue;
  bool quit = false;
  int quitCode = 0;
  DWORD now = 0;
  std::vector<Timer> timers;
  UINT_PTR nextThreadTimer = 0x7000;
  std::vector<Scheduled> scheduled;
  std::uint64_t seq = 0;
  std::vector<Message> broadcasts;
  std::vector<std::string> problems;
  std::map<UINT, std::string> strings;
  std::set<UINT> menus, dialogs, icons;
  std::map<UINT, std::vector<ACCEL>> accels;
  std::function<void(HWND)> responder;
  std::vector<user32::DialogRecord> dialogsShown;
  std::vector<std::string> drawn;
  std::vector<user32::Posted> posted;
};

User32& u() {
  static User32 state;
  return state;
}

using detail::Lower;

std::string Hex(std::uintptr_t v) {
  char b[24];
  std::snprintf(b, sizeof(b), "0x%llx", static_cast<unsigned long long>(v));
  return b;
}

// "#109" for an integer resource, the text otherwise.
std::string ResourceName(LPCSTR name) {
  if (name == nullptr) return "(null)";
  if (IS_INTRESOURCE(name)) return "#" + std::to_string(static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)));
  return name;
}

UINT ResourceId(LPCSTR name) {
  return IS_INTRESOURCE(name) ? static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)) : 0xFFFFFFFFu;
}

void ResetUser32() { u() = User32(); }

std::size_t OwnWindows() {
  std::size_t n = 0;
  for (const auto& w : u().windows) n += !w.second.info.foreign;
  return n;
}

std::string DescribeWindows() {
  std::string out;
  for (const auto& w : u().windows)
    if (!w.second.info.foreign) out += "window of class " + w.second.info.className + "; ";
  return out;
}

[[maybe_unused]] const bool registered = detail::RegisterArea({"user32", ResetUser32, OwnWindows, DescribeWindows});

WindowRec* Find(HWND h) {
  auto it = u().windows.find(h);
  return it == u().windows.end() ? nullptr : &it->second;
}

std::string WindowName(HWND h) {
  if (h == HWND_BROADCAST) return "HWND_BROADCAST";
  if (h == nullptr) return "(null)";
  const WindowRec* w = Find(h);
  return w ? w->info.className : Hex(reinterpret_cast<std::uintptr_t>(h));
}

std::string MessageArgs(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  return WindowName(h) + "|" + Hex(msg) + "|" + Hex(wp) + "|" + Hex(static_cast<std::uintptr_t>(lp));
}

HWND NewHwnd() {
  HWND h = reinterpret_cast<HWND>(u().nextHwnd);
  u().nextHwnd += 0x10;
  return h;
}

LRESULT Deliver(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  WindowRec* w = Find(h);
  if (w == nullptr) return 0;
  if (w->info.foreign) {
    w->received.push_back(Message{false, msg, wp, lp});
    return 0;
  }
  if (w->dialogProc != nullptr) return w->dialogProc(h, msg, wp, lp);
  return w->proc != nullptr ? w->proc(h, msg, wp, lp) : 0;
}

void KillTimersOf(HWND h) {
  auto& t = u().timers;
  t.erase(std::remove_if(t.begin(), t.end(), [h](const Timer& x) { return x.hwnd == h; }), t.end());
}

void Forget(HWND h) {
  auto& z = u().zorder;
  z.erase(std::remove(z.begin(), z.end(), h), z.end());
  KillTimersOf(h);
  u().windows.erase(h);
}

}  // namespace

namespace user32 {

DWORD Now() { return u().now; }

void Schedule(DWORD atMs, std::function<void()> action) {
  u().scheduled.push_back(Scheduled{atMs, u().seq++, std::move(action)});
}

std::size_t ScheduledLeft() { return u().scheduled.size(); }

std::vector<TimerInfo> Timers() {
  std::vector<TimerInfo> out;
  for (const Timer& t : u().timers) out.push_back(TimerInfo{t.hwnd, t.id, t.elapse, t.due, t.proc});
  return out;
}

const WindowInfo* Window(HWND hwnd) {
  const WindowRec* w = Find(hwnd);
  return w ? &w->info : nullptr;
}

std::vector<HWND> WindowsOfClass(const std::string& className) {
  std::vector<HWND> out;
  for (HWND h : u().zorder)
    if (Lower(Find(h)->info.className) == Lower(className)) out.push_back(h);
  return out;
}

const ClassInfo* Class(const std::string& name) {
  auto it = u().classes.find(Lower(name));
  return it == u().classes.end() ? nullptr : &it->second;
}

HWND AddForeignWindow(const std::string& className, const std::string& title, bool unreadableClass) {
  HWND h = NewHwnd();
  WindowRec w;
  w.info.className = className;
  w.info.title = title;
  w.info.foreign = true;
  w.unreadableClass = unreadableClass;
  u().windows[h] = w;
  u().zorder.insert(u().zorder.begin(), h);
  return h;
}

std::vector<Message> Broadcasts() { return u().broadcasts; }

std::vector<Message> ForeignMessages(HWND hwnd) {
  const WindowRec* w = Find(hwnd);
  return w ? w->received : std::vector<Message>{};
}

std::vector<MSG> Queue() { return {u().queue.begin(), u().queue.end()}; }
bool QuitPosted() { return u().quit; }
std::vector<std::string> Problems() { return u().problems; }

void SetString(UINT id, const std::string& text) { u().strings[id] = text; }
void AddMenu(UINT id) { u().menus.insert(id); }
void AddDialog(UINT id) { u().dialogs.insert(id); }
void AddIcon(UINT id) { u().icons.insert(id); }
void SetAccelerators(UINT id, const std::vector<ACCEL>& table) { u().accels[id] = table; }

void SetDialogResponder(std::function<void(HWND)> responder) { u().responder = std::move(responder); }
std::vector<DialogRecord> Dialogs() { return u().dialogsShown; }
std::vector<std::string> DrawnTexts() { return u().drawn; }
std::vector<Posted> PostedLog() { return u().posted; }

}  // namespace user32
}  // namespace hostwin

using hostwin::u;

int LoadStringA(HINSTANCE, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  DWORD error = 0;
  if (hostwin::detail::Enter("LoadStringA", std::to_string(uID) + "|" + std::to_string(cchBufferMax), &error)) {
    SetLastError(error);
    if (lpBuffer != nullptr && cchBufferMax > 0) lpBuffer[0] = 0;
    return 0;
  }
  if (lpBuffer == nullptr || cchBufferMax <= 0) return 0;
  auto it = u().strings.find(uID);
  if (it == u().strings.end()) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    lpBuffer[0] = 0;
    return 0;
  }
  const int n = std::min<int>(static_cast<int>(it->second.size()), cchBufferMax - 1);
  std::memcpy(lpBuffer, it->second.data(), static_cast<std::size_t>(n));
  lpBuffer[n] = 0;
  return n;
}

HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
  DWORD error = 0;
  if (hostwin::detail::Enter("LoadIconA", (hInstance ? "module|" : "system|") + hostwin::ResourceName(lpIconName),
                             &error)) {
    SetLastError(error);
    return nullptr;
  }
  const UINT id = hostwin::ResourceId(lpIconName);
  if (hInstance == nullptr) return reinterpret_cast<HICON>(static_cast<std::uintptr_t>(0x300000 + (id & 0xFFFF)));
  if (u().icons.count(id) == 0) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HICON>(static_cast<std::uintptr_t>(0x200000 + id));
}

HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
  DWORD error = 0;
  if (hostwin::detail::Enter("LoadCursorA",
                             (hInstance ? "module|" : "system|") + hostwin::ResourceName(lpCursorName), &error)) {
    SetLastError(error);
    return nullptr;
  }
  if (hInstance != nullptr) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HCURSOR>(static_cast<std::uintptr_t>(0x310000 + (hostwin::ResourceId(lpCursorName) & 0xFFFF)));
}

HACCEL LoadAcceleratorsA(HINSTANCE, LPCSTR lpTableName) {
  DWORD error = 0;
  if (hostwin::detail::Enter("LoadAcceleratorsA", hostwin::ResourceName(lpTableName), &error)) {
    SetLastError(error);
    return nullptr;
  }
  const UINT id = hostwin::ResourceId(lpTableName);
  if (u().accels.count(id) == 0) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HACCEL>(static_cast<std::uintptr_t>(0x400000 + id));
}

ATOM RegisterClassExA(const WNDCLASSEXA* c) {
  DWORD error = 0;
  std::string args = "?";
  if (c != nullptr && c->lpszClassName != nullptr) args = hostwin::ResourceName(c->lpszClassName);
  if (hostwin::detail::Enter("RegisterClassExA", args, &error)) {
    SetLastError(error);
    return 0;
  }
  if (c == nullptr || c->cbSize != sizeof(WNDCLASSEXA) || c->lpszClassName == nullptr || c->lpfnWndProc == nullptr ||
      IS_INTRESOURCE(c->lpszClassName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string key = hostwin::Lower(c->lpszClassName);
  if (u().classes.count(key) != 0) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  hostwin::user32::ClassInfo info;
  info.name = c->lpszClassName;
  info.style = c->style;
  info.proc = c->lpfnWndProc;
  info.clsExtra = c->cbClsExtra;
  info.wndExtra = c->cbWndExtra;
  info.instance = c->hInstance;
  info.icon = c->hIcon;
  info.smallIcon = c->hIconSm;
  info.cursor = c->hCursor;
  info.background = c->hbrBackground;
  info.menuName = c->lpszMenuName ? hostwin::ResourceName(c->lpszMenuName) : "";
  u().classes[key] = info;
  return static_cast<ATOM>(0xC000 + u().classes.size());
}

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID) {
  DWORD error = 0;
  const std::string cls = lpClassName && !IS_INTRESOURCE(lpClassName) ? lpClassName : "?";
  if (hostwin::detail::Enter("CreateWindowExA",
                             cls + "|" + (lpWindowName ? lpWindowName : "(null)") + "|" + hostwin::Hex(dwStyle),
                             &error)) {
    SetLastError(error);
    return nullptr;
  }
  const hostwin::user32::ClassInfo* c = hostwin::user32::Class(cls);
  if (c == nullptr) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  if (hWndParent != nullptr && hostwin::Find(hWndParent) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  HWND h = hostwin::NewHwnd();
  hostwin::WindowRec w;
  w.proc = c->proc;
  w.info.className = c->name;
  w.info.title = lpWindowName ? lpWindowName : "";
  w.info.style = dwStyle;
  w.info.exStyle = dwExStyle;
  // An overlapped window with CW_USEDEFAULT for x and width gets the system's
  // default place and size; y and height are then ignored.
  w.info.x = X == CW_USEDEFAULT ? 88 : X;
  w.info.y = X == CW_USEDEFAULT ? 66 : Y;
  w.info.width = nWidth == CW_USEDEFAULT ? 640 : nWidth;
  w.info.height = nWidth == CW_USEDEFAULT ? 480 : nHeight;
  w.info.parent = hWndParent;
  w.info.menu = hMenu;
  if (hMenu == nullptr && !c->menuName.empty())
    w.info.menu = reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(0x500000 + u().windows.size()));
  w.info.instance = hInstance;
  w.info.everVisible = (dwStyle & WS_VISIBLE) != 0;
  u().windows[h] = w;
  if (hWndParent == nullptr) u().zorder.insert(u().zorder.begin(), h);

  if (!hostwin::Deliver(h, WM_NCCREATE, 0, 0)) {
    hostwin::Forget(h);
    return nullptr;
  }
  if (hostwin::Deliver(h, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(h);
    return nullptr;
  }
  return hostwin::Find(h) ? h : nullptr;
}

BOOL DestroyWindow(HWND hWnd) {
  DWORD error = 0;
  if (hostwin::detail::Enter("DestroyWindow", hostwin::WindowName(hWnd), &error)) {
    SetLastError(error);
    return FALSE;
  }
  hostwin::WindowRec* w = hostwin::Find(hWnd);
  if (w == nullptr || w->info.foreign) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (w->destroying) return TRUE;
  w->destroying = true;
  hostwin::Deliver(hWnd, WM_DESTROY, 0, 0);
  hostwin::Deliver(hWnd, WM_NCDESTROY, 0, 0);
  hostwin::Forget(hWnd);
  return TRUE;
}

BOOL IsWindow(HWND hWnd) { return hostwin::Find(hWnd) != nullptr; }

BOOL IsWindowVisible(HWND hWnd) {
  const hostwin::WindowRec* w = hostwin::Find(hWnd);
  return w != nullptr && (w->info.style & WS_VISIBLE) != 0;
}

BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  DWORD error = 0;
  if (hostwin::detail::Enter("EnumWindows", "", &error)) {
    SetLastError(error);
    return FALSE;
  }
  const std::vector<HWND> snapshot = u().zorder;
  for (HWND h : snapshot) {
    if (hostwin::Find(h) == nullptr) continue;
    if (!lpEnumFunc(h, lParam)) return FALSE;
  }
  return TRUE;
}

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
  DWORD error = 0;
  if (hostwin::detail::Enter("GetClassNameA", hostwin::WindowName(hWnd) + "|" + std::to_string(nMaxCount), &error)) {
    SetLastError(error);
    return 0;
  }
  const hostwin::WindowRec* w = hostwin::Find(hWnd);
  if (w == nullptr || w->unreadableClass) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (lpClassName == nullptr || nMaxCount <= 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const int n = std::min<int>(static_cast<int>(w->info.className.size()), nMaxCount - 1);
  std::memcpy(lpClassName, w->info.className.data(), static_cast<std::size_t>(n));
  lpClassName[n] = 0;
  return n;
}

HWND FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
  DWORD error = 0;
  if (hostwin::detail::Enter("FindWindowA", std::string(lpClassName ? lpClassName : "(null)"), &error)) {
    SetLastError(error);
    return nullptr;
  }
  for (HWND h : u().zorder) {
    const hostwin::WindowRec* w = hostwin::Find(h);
    if (lpClassName != nullptr && hostwin::Lower(w->info.className) != hostwin::Lower(lpClassName)) continue;
    if (lpWindowName != nullptr && w->info.title != lpWindowName) continue;
    return h;
  }
  return nullptr;
}

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  DWORD error = 0;
  hostwin::detail::Enter("DefWindowProcA", hostwin::MessageArgs(hWnd, Msg, wParam, lParam), &error);
  switch (Msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    default:
      return 0;
  }
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  DWORD error = 0;
  if (hostwin::detail::Enter("PostMessageA", hostwin::MessageArgs(hWnd, Msg, wParam, lParam), &error)) {
    SetLastError(error);
    return FALSE;
  }
  const MSG m{hWnd, Msg, wParam, lParam, u().now, {0, 0}};
  if (hWnd != nullptr && hWnd != HWND_BROADCAST && hostwin::Find(hWnd) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  u().posted.push_back(hostwin::user32::Posted{u().now, hWnd, Msg, wParam, lParam});
  if (hWnd == HWND_BROADCAST) {
    u().broadcasts.push_back(hostwin::user32::Message{true, Msg, wParam, lParam});
    for (HWND h : u().zorder) {
      hostwin::WindowRec* w = hostwin::Find(h);
      if (w->info.foreign) {
        w->received.push_back(hostwin::user32::Message{true, Msg, wParam, lParam});
      } else {
        MSG copy = m;
        copy.hwnd = h;
        u().queue.push_back(copy);
      }
    }
    return TRUE;
  }
  if (hWnd != nullptr) {
    hostwin::WindowRec* w = hostwin::Find(hWnd);
    if (w == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (w->info.foreign) {
      w->received.push_back(hostwin::user32::Message{true, Msg, wParam, lParam});
      return TRUE;
    }
  }
  u().queue.push_back(m);
  return TRUE;
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  DWORD error = 0;
  if (hostwin::detail::Enter("SendMessageA", hostwin::MessageArgs(hWnd, Msg, wParam, lParam), &error)) {
    SetLastError(error);
    return 0;
  }
  if (hWnd == HWND_BROADCAST) {
    u().broadcasts.push_back(hostwin::user32::Message{false, Msg, wParam, lParam});
    const std::vector<HWND> snapshot = u().zorder;
    for (HWND h : snapshot) hostwin::Deliver(h, Msg, wParam, lParam);
    return 1;
  }
  if (hostwin::Find(hWnd) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return hostwin::Deliver(hWnd, Msg, wParam, lParam);
}

VOID PostQuitMessage(int nExitCode) {
  DWORD error = 0;
  hostwin::detail::Enter("PostQuitMessage", std::to_string(nExitCode), &error);
  u().quit = true;
  u().quitCode = nExitCode;
}

BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  DWORD error = 0;
  if (hostwin::detail::Enter("GetMessageA", "", &error)) {
    SetLastError(error);
    return -1;
  }
  // A window that is not there is an error of the call, as on Windows.
  if (hWnd != nullptr && hostwin::Find(hWnd) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  if (lpMsg == nullptr || hWnd != nullptr || wMsgFilterMin != 0 || wMsgFilterMax != 0) {
    // Filters are not simulated.
    u().problems.push_back("GetMessageA with a filter");
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  hostwin::User32& s = u();
  for (;;) {
    if (!s.queue.empty()) {
      *lpMsg = s.queue.front();
      s.queue.pop_front();
      return lpMsg->message != WM_QUIT;
    }
    if (s.quit) {
      s.quit = false;
      *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0, s.now, {0, 0}};
      return FALSE;
    }
    // The earliest scheduled action that is due runs first.
    auto action = std::min_element(s.scheduled.begin(), s.scheduled.end(), [](const auto& a, const auto& b) {
      return a.at != b.at ? a.at < b.at : a.seq < b.seq;
    });
    if (action != s.scheduled.end() && action->at <= s.now) {
      std::function<void()> run = std::move(action->action);
      s.scheduled.erase(action);
      run();
      continue;
    }
    auto timer = std::min_element(s.timers.begin(), s.timers.end(),
                                  [](const hostwin::Timer& a, const hostwin::Timer& b) { return a.due < b.due; });
    if (timer != s.timers.end() && timer->due <= s.now) {
      // A timer that is due makes one WM_TIMER, however many periods were
      // missed; it keeps its period, so it is due again at the first
      // multiple of the period after now, counted from when it was set.
      do timer->due += timer->elapse;
      while (timer->due <= s.now);
      *lpMsg = MSG{timer->hwnd, WM_TIMER, timer->id, reinterpret_cast<LPARAM>(timer->proc), s.now, {0, 0}};
      return TRUE;
    }
    DWORD next = 0;
    bool any = false;
    if (action != s.scheduled.end()) {
      next = action->at;
      any = true;
    }
    if (timer != s.timers.end() && (!any || timer->due < next)) {
      next = timer->due;
      any = true;
    }
    if (!any) {
      // Nothing would ever come: end the loop instead of hanging the test.
      s.problems.push_back("GetMessageA would wait forever at " + std::to_string(s.now) + " ms");
      *lpMsg = MSG{nullptr, WM_QUIT, 0, 0, s.now, {0, 0}};
      return FALSE;
    }
    s.now = next;
  }
}

BOOL TranslateMessage(const MSG* lpMsg) {
  DWORD error = 0;
  hostwin::detail::Enter("TranslateMessage", lpMsg ? hostwin::Hex(lpMsg->message) : "(null)", &error);
  return FALSE;
}

LRESULT DispatchMessageA(const MSG* lpMsg) {
  DWORD error = 0;
  if (lpMsg == nullptr) return 0;
  hostwin::detail::Enter("DispatchMessageA", hostwin::MessageArgs(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam), &error);
  // A timer with a callback is handed to the callback, not the window.
  if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(lpMsg->lParam)(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, u().now);
    return 0;
  }
  if (lpMsg->hwnd == nullptr) return 0;
  return hostwin::Deliver(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

int TranslateAcceleratorA(HWND hWnd, HACCEL hAccTable, LPMSG lpMsg) {
  DWORD error = 0;
  if (hostwin::detail::Enter("TranslateAcceleratorA", lpMsg ? hostwin::Hex(lpMsg->message) : "(null)", &error))
    return 0;
  if (hWnd == nullptr || hAccTable == nullptr || lpMsg == nullptr) return 0;
  auto table = u().accels.find(static_cast<UINT>(reinterpret_cast<std::uintptr_t>(hAccTable) - 0x400000));
  if (table == u().accels.end()) return 0;
  const UINT m = lpMsg->message;
  for (const ACCEL& a : table->second) {
    bool hit;
    if (a.fVirt & FVIRTKEY) {
      hit = (m == WM_KEYDOWN || m == WM_SYSKEYDOWN) && lpMsg->wParam == a.key &&
            ((a.fVirt & FALT) != 0) == (m == WM_SYSKEYDOWN) && (a.fVirt & (FSHIFT | FCONTROL)) == 0;
    } else {
      // A character accelerator: with Alt it comes as WM_SYSCHAR.
      hit = (m == WM_CHAR || m == WM_SYSCHAR) && lpMsg->wParam == a.key && ((a.fVirt & FALT) != 0) == (m == WM_SYSCHAR);
    }
    if (hit) {
      SendMessageA(hWnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
      return 1;
    }
  }
  return 0;
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  DWORD error = 0;
  if (hostwin::detail::Enter("SetTimer",
                             hostwin::WindowName(hWnd) + "|" + hostwin::Hex(nIDEvent) + "|" + std::to_string(uElapse) +
                                 (lpTimerFunc ? "|proc" : "|(null)"),
                             &error)) {
    SetLastError(error);
    return 0;
  }
  // Windows keeps a period between USER_TIMER_MINIMUM and USER_TIMER_MAXIMUM.
  if (uElapse < 10) uElapse = 10;
  if (uElapse > 0x7FFFFFFFu) uElapse = 0x7FFFFFFFu;
  if (hWnd != nullptr) {
    const hostwin::WindowRec* w = hostwin::Find(hWnd);
    if (w == nullptr || w->info.foreign) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    for (hostwin::Timer& t : u().timers)
      if (t.hwnd == hWnd && t.id == nIDEvent) {
        t.elapse = uElapse;
        t.due = u().now + uElapse;
        t.proc = lpTimerFunc;
        return nIDEvent != 0 ? nIDEvent : 1;
      }
    u().timers.push_back(hostwin::Timer{hWnd, nIDEvent, uElapse, u().now + uElapse, lpTimerFunc});
    return nIDEvent != 0 ? nIDEvent : 1;
  }
  const UINT_PTR id = u().nextThreadTimer++;
  u().timers.push_back(hostwin::Timer{nullptr, id, uElapse, u().now + uElapse, lpTimerFunc});
  return id;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  DWORD error = 0;
  if (hostwin::detail::Enter("KillTimer", hostwin::WindowName(hWnd) + "|" + hostwin::Hex(uIDEvent), &error)) {
    SetLastError(error);
    return FALSE;
  }
  auto& t = u().timers;
  auto it = std::find_if(t.begin(), t.end(), [&](const hostwin::Timer& x) { return x.hwnd == hWnd && x.id == uIDEvent; });
  if (it == t.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t.erase(it);
  return TRUE;
}

DWORD GetTickCount() {
  DWORD error = 0;
  hostwin::detail::Enter("GetTickCount", "", &error);
  return u().now;
}

// kernel32's, here because the test clock is user32's.
VOID Sleep(DWORD dwMilliseconds) {
  DWORD error = 0;
  hostwin::detail::Enter("Sleep", std::to_string(dwMilliseconds), &error);
  u().now += dwMilliseconds;
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  DWORD error = 0;
  if (hostwin::detail::Enter("BeginPaint", hostwin::WindowName(hWnd), &error) || hostwin::Find(hWnd) == nullptr ||
      lpPaint == nullptr)
    return nullptr;
  std::memset(lpPaint, 0, sizeof(*lpPaint));
  lpPaint->hdc = reinterpret_cast<HDC>(static_cast<std::uintptr_t>(0x600000));
  GetClientRect(hWnd, &lpPaint->rcPaint);
  return lpPaint->hdc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT*) {
  DWORD error = 0;
  hostwin::detail::Enter("EndPaint", hostwin::WindowName(hWnd), &error);
  return TRUE;
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
  DWORD error = 0;
  if (hostwin::detail::Enter("GetClientRect", hostwin::WindowName(hWnd), &error)) {
    SetLastError(error);
    return FALSE;
  }
  const hostwin::WindowRec* w = hostwin::Find(hWnd);
  if (w == nullptr || lpRect == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *lpRect = RECT{0, 0, w->info.width, w->info.height};
  return TRUE;
}

int DrawTextA(HDC, LPCSTR lpchText, int cchText, LPRECT, UINT format) {
  DWORD error = 0;
  const std::string text = lpchText == nullptr ? std::string()
                           : cchText < 0       ? std::string(lpchText)
                                               : std::string(lpchText, static_cast<std::size_t>(cchText));
  if (hostwin::detail::Enter("DrawTextA", text + "|" + hostwin::Hex(format), &error)) return 0;
  u().drawn.push_back(text);
  return 16;
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  DWORD error = 0;
  if (hostwin::detail::Enter("DialogBoxParamA", hostwin::ResourceName(lpTemplateName) + "|" + hostwin::WindowName(hWndParent),
                             &error)) {
    SetLastError(error);
    return -1;
  }
  const UINT id = hostwin::ResourceId(lpTemplateName);
  if (u().dialogs.count(id) == 0 || lpDialogFunc == nullptr) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return -1;
  }
  HWND dlg = hostwin::NewHwnd();
  hostwin::WindowRec w;
  w.info.className = "#32770";
  w.info.parent = hWndParent;
  w.dialogProc = lpDialogFunc;
  u().windows[dlg] = w;
  hostwin::Deliver(dlg, WM_INITDIALOG, 0, dwInitParam);
  if (!hostwin::Find(dlg)->dialogEnded) {
    if (u().responder)
      u().responder(dlg);
    else
      SendMessageA(dlg, WM_COMMAND, IDOK, 0);
  }
  const hostwin::WindowRec* after = hostwin::Find(dlg);
  INT_PTR result = -1;
  if (after != nullptr && after->dialogEnded) {
    result = after->dialogResult;
  } else {
    u().problems.push_back("modal dialog " + std::to_string(id) + " was never ended");
  }
  u().windows.erase(dlg);
  u().dialogsShown.push_back(hostwin::user32::DialogRecord{id, hWndParent, result});
  return result;
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
  DWORD error = 0;
  if (hostwin::detail::Enter("EndDialog", std::to_string(nResult), &error)) {
    SetLastError(error);
    return FALSE;
  }
  hostwin::WindowRec* w = hostwin::Find(hDlg);
  if (w == nullptr || w->dialogProc == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->dialogEnded = true;
  w->dialogResult = nResult;
  return TRUE;
}
