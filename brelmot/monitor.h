// The monitor: one never-shown window that hears the system's device-change
// broadcasts, rescans the card-reader driver after a settled burst of
// arrivals, sweeps vanished drives after a burst of removals, and removes
// every icon it registered when it ends.
#pragma once

#include <windows.h>

constexpr int kResourceTextChars = 100;
constexpr int kClassNameReadChars = 50;  // class names read from other windows

// Process globals, zero at start.
extern CHAR ClassName[kResourceTextChars];    // string 109; the single-instance key
extern CHAR WindowTitle[kResourceTextChars];  // string 103
extern HINSTANCE AppInstance;                 // set before the window is created
extern BYTE AlreadyRunning;                   // another process's window has ClassName
extern UINT_PTR DebounceTimer;                // SetTimer's result while pending, else 0
extern BYTE BurstIsRemoval;                   // kind of the pending burst's first event

// Posted to the window itself when a burst has settled: wParam
// DBT_DEVICEARRIVAL with lParam 0, or DBT_DEVICEREMOVECOMPLETE with lParam 1.
constexpr UINT WM_DRIVES_SETTLED = WM_USER + 1000;
constexpr UINT_PTR DEBOUNCE_TIMER_ID = 0x1000;
constexpr UINT kDebounceMs = 1000;
// Posted to every top-level window when the monitor removed icons on exit.
constexpr WPARAM kIconsRemovedCommand = 41061;

BOOL CALLBACK FindRunningInstance(HWND window, LPARAM);
void RegisterMonitorClass(HINSTANCE instance);
HWND CreateMonitorWindow(HINSTANCE instance);
LRESULT CALLBACK MonitorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Unregisters the tracked letters that the system no longer has, unless the
// shell still shows this program's icon for them.
void RemovalSweep();

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showState);
