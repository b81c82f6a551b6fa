// The monitor window and its handling of device changes.
#include "monitor.h"

#include <dbt.h>

#include "driveicon.h"
#include "readerslots.h"
#include "resource.h"

CHAR ClassName[kResourceTextChars];
CHAR WindowTitle[kResourceTextChars];
HINSTANCE AppInstance;
BYTE AlreadyRunning;
UINT_PTR DebounceTimer;
BYTE BurstIsRemoval;

namespace {

// ASCII case fold over the reference's length; an empty reference matches.
bool StartsWithIgnoringCase(LPCSTR text, LPCSTR reference) {
  for (; *reference != 0; ++text, ++reference) {
    CHAR a = *text, b = *reference;
    if (a >= 'a' && a <= 'z') a = static_cast<CHAR>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<CHAR>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

// Unregisters every letter this process registered; true if there was one.
bool RemoveAllIcons() {
  bool removed = false;
  for (int index = 0; index < kDriveLetters; ++index) {
    if (TrackedLetters[index] == 0) continue;
    SetDriveIcon(static_cast<CHAR>('A' + index), 1);
    removed = true;
  }
  return removed;
}

// The debounce timer's expiry is handled by the window procedure, as WM_TIMER.
VOID CALLBACK DebounceTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time) {
  MonitorWndProc(window, message, id, static_cast<LPARAM>(time));
}

void OnDeviceChange(HWND window, WPARAM event, LPARAM data) {
  BYTE removal;
  if (event == DBT_DEVICEARRIVAL) {
    removal = 0;
  } else if (event == DBT_DEVICEREMOVECOMPLETE && data != 0) {
    // Only a volume or a device node that went counts as a removal.
    const DWORD type = reinterpret_cast<const DEV_BROADCAST_HDR*>(data)->dbch_devicetype;
    if (type != DBT_DEVTYP_VOLUME && type != DBT_DEVTYP_DEVNODE) return;
    removal = 1;
  } else {
    return;
  }
  // A burst lasts until a second passes without an accepted event; its kind
  // is that of its first event.
  if (DebounceTimer != 0)
    KillTimer(window, DEBOUNCE_TIMER_ID);
  else
    BurstIsRemoval = removal;
  DebounceTimer = SetTimer(window, DEBOUNCE_TIMER_ID, kDebounceMs, DebounceTimerProc);
}

void OnBurstSettled(HWND window) {
  KillTimer(window, DEBOUNCE_TIMER_ID);
  DebounceTimer = 0;
  if (BurstIsRemoval != 0)
    PostMessageA(window, WM_DRIVES_SETTLED, DBT_DEVICEREMOVECOMPLETE, 1);
  else
    PostMessageA(window, WM_DRIVES_SETTLED, DBT_DEVICEARRIVAL, 0);
}

void Paint(HWND window, LPCSTR text) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  DrawTextA(dc, text, lstrlenA(text), &client, DT_CENTER);
  EndPaint(window, &paint);
}

}  // namespace

BOOL CALLBACK FindRunningInstance(HWND window, LPARAM) {
  CHAR name[kClassNameReadChars];
  if (GetClassNameA(window, name, kClassNameReadChars) == 0) return TRUE;
  if (lstrcmpA(name, ClassName) != 0) return TRUE;
  AlreadyRunning = 1;
  return FALSE;
}

void RegisterMonitorClass(HINSTANCE instance) {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MonitorWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_BRELMOT));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszMenuName = MAKEINTRESOURCEA(IDC_BRELMOT);
  windowClass.lpszClassName = ClassName;
  windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
  RegisterClassExA(&windowClass);
}

HWND CreateMonitorWindow(HINSTANCE instance) {
  // The window procedure loads resources while the window is being created.
  AppInstance = instance;
  // No WS_VISIBLE, and nothing ever shows the window.
  return CreateWindowExA(0, ClassName, WindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                         nullptr, instance, nullptr);
}

void RemovalSweep() {
  const DWORD present = GetLogicalDrives();
  // A registration stays while the shell still shows this program's icon for
  // the drive; a drive that is gone has no icon to show, and loses it.
  CHAR reference[kIconFileChars];
  BuildProgramFilePath(reference);
  for (int index = 0; index < kDriveLetters; ++index) {
    if (TrackedLetters[index] == 0 || ((present >> index) & 1) != 0) continue;
    const CHAR letter = static_cast<CHAR>('A' + index);
    CHAR drivePath[4];
    BuildDrivePath(letter, drivePath);
    CHAR shown[kIconFileChars] = "";
    GetDriveIconLocation(drivePath, shown, kIconFileChars);
    if (!StartsWithIgnoringCase(shown, reference)) SetDriveIcon(letter, 1);
  }
}

LRESULT CALLBACK MonitorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CHAR text[kResourceTextChars];
  LoadStringA(AppInstance, IDS_HELLO, text, kResourceTextChars);
  switch (message) {
    case WM_CREATE:
      ScanReaderSlots();
      return 0;
    case WM_DESTROY:
      if (RemoveAllIcons()) PostMessageA(HWND_BROADCAST, WM_COMMAND, kIconsRemovedCommand, 0);
      PostQuitMessage(0);
      return 0;
    case WM_ENDSESSION:
      // Whether the session really ends or not: the icons go now. A cancelled
      // end of session gets them back with the next arrival burst.
      RemoveAllIcons();
      return 0;
    case WM_PAINT:
      Paint(window, text);
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDM_ABOUT:
          DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_ABOUTBOX), window, AboutDlgProc, 0);
          return 0;
        case IDM_EXIT:
          DestroyWindow(window);
          return 0;
        default:
          return DefWindowProcA(window, message, wParam, lParam);
      }
    case WM_TIMER:
      OnBurstSettled(window);
      return 0;
    case WM_DEVICECHANGE:
      OnDeviceChange(window, wParam, lParam);
      return 0;
    case WM_DRIVES_SETTLED:
      if (wParam == DBT_DEVICEARRIVAL)
        ScanReaderSlots();
      else if (wParam == DBT_DEVICEREMOVECOMPLETE && lParam == 1)
        RemovalSweep();
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  LoadStringA(instance, IDS_APP_TITLE, WindowTitle, kResourceTextChars);
  LoadStringA(instance, IDC_BRELMOT, ClassName, kResourceTextChars);

  // Before this process registers its class, so only another process's
  // window can match.
  EnumWindows(FindRunningInstance, 0);
  if (AlreadyRunning != 0) return -1;

  const UINT length = GetWindowsDirectoryA(WindowsDir, kWindowsDirChars);
  if (length == 0 || length >= kWindowsDirChars) return -1;

  RegisterMonitorClass(instance);
  if (CreateMonitorWindow(instance) == nullptr) return 0;
  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_BRELMOT));

  // GetMessageA answers -1 on failure; that ends the loop as WM_QUIT does
  // instead of spinning.
  MSG message = {};
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (TranslateAcceleratorA(message.hwnd, accelerators, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
