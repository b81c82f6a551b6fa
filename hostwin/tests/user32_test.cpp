// The user32, shell, loader and vexid areas: the rules the monitor's tests
// rely on.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <hostwin/control.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

std::vector<std::string> g_seen;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_NCCREATE && msg != WM_NCDESTROY) g_seen.push_back(std::to_string(msg) + ":" + std::to_string(wp));
  if (msg == WM_DESTROY) PostQuitMessage(7);
  return DefWindowProcA(hwnd, msg, wp, lp);
}

class User32 : public ::testing::Test {
 protected:
  void SetUp() override {
    hostwin::Reset();
    g_seen.clear();
    WNDCLASSEXA c = {};
    c.cbSize = sizeof(c);
    c.lpfnWndProc = RecordingProc;
    c.lpszClassName = "Rec";
    ASSERT_NE(RegisterClassExA(&c), 0);
    hwnd_ = CreateWindowExA(0, "rec", "t", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr,
                            nullptr, nullptr);
    ASSERT_NE(hwnd_, nullptr);
  }
  // Runs the loop until WM_QUIT; returns its wParam.
  static WPARAM Loop() {
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
    return m.wParam;
  }
  HWND hwnd_ = nullptr;
};

TEST_F(User32, QueueOrderAndTheTestClock) {
  // Posted messages first, then a due action, then a due timer; the clock
  // jumps to what comes next.
  EXPECT_EQ(SetTimer(hwnd_, 5, 100, nullptr), 5u);
  hostwin::user32::Schedule(100, [this] { PostMessageA(hwnd_, WM_USER, 1, 0); });
  hostwin::user32::Schedule(250, [this] {
    EXPECT_TRUE(KillTimer(hwnd_, 5));
    EXPECT_FALSE(KillTimer(hwnd_, 5));
    DestroyWindow(hwnd_);
  });
  PostMessageA(hwnd_, WM_USER, 0, 0);
  EXPECT_EQ(Loop(), 7u);
  EXPECT_EQ(g_seen, (std::vector<std::string>{"1:0", "1024:0", "1024:1", "275:5", "275:5", "2:0"}));
  EXPECT_EQ(hostwin::user32::Now(), 250u);
  EXPECT_TRUE(hostwin::user32::Problems().empty());
}

TEST_F(User32, SettingATimerAgainRestartsItAndDestroyKillsIt) {
  SetTimer(hwnd_, 1, 1000, nullptr);
  hostwin::user32::Schedule(600, [this] { SetTimer(hwnd_, 1, 1000, nullptr); });
  hostwin::user32::Schedule(1601, [this] { SendMessageA(hwnd_, WM_CLOSE, 0, 0); });
  Loop();
  // One expiry, at 1600.
  EXPECT_EQ(std::count(g_seen.begin(), g_seen.end(), "275:1"), 1);
  EXPECT_TRUE(hostwin::user32::Timers().empty());
}

// Windows keeps a timer's period at 10 ms at least; a period of 0 would
// otherwise be due again at once, for ever.
TEST_F(User32, APeriodBelowTheMinimumIsTheMinimum) {
  for (UINT elapse : {0u, 1u, 9u}) {
    SCOPED_TRACE(elapse);
    ASSERT_NE(SetTimer(hwnd_, 1, elapse, nullptr), 0u);
    ASSERT_EQ(hostwin::user32::Timers().size(), 1u);
    EXPECT_EQ(hostwin::user32::Timers()[0].elapse, 10u);
  }
  hostwin::user32::Schedule(35, [this] { DestroyWindow(hwnd_); });
  EXPECT_EQ(Loop(), 7u);
  EXPECT_EQ(std::count(g_seen.begin(), g_seen.end(), "275:1"), 3);
}

TEST_F(User32, AWaitWithNothingToComeIsReportedNotHung) {
  MSG m;
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), FALSE);
  EXPECT_EQ(hostwin::user32::Problems().size(), 1u);
  DestroyWindow(hwnd_);
}

TEST_F(User32, BroadcastsReachOwnAndForeignTopLevelWindows) {
  HWND other = hostwin::user32::AddForeignWindow("Other", "");
  EXPECT_TRUE(PostMessageA(HWND_BROADCAST, WM_COMMAND, 41061, 0));
  ASSERT_EQ(hostwin::user32::ForeignMessages(other).size(), 1u);
  EXPECT_EQ(hostwin::user32::Queue().size(), 1u);
  EXPECT_EQ(hostwin::user32::Broadcasts().size(), 1u);
  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x5)), WM_USER, 0, 0));
  char name[4];
  EXPECT_EQ(GetClassNameA(other, name, sizeof(name)), 3);  // cut to fit
  EXPECT_STREQ(name, "Oth");
  DestroyWindow(hwnd_);
}

TEST(Shell, ObjectsAndAllocationsCountAsOpenUntilReleased) {
  hostwin::Reset();
  IShellFolder* desktop = nullptr;
  LPITEMIDLIST drives = nullptr;
  ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives), S_OK);
  EXPECT_EQ(hostwin::shell::LiveObjects(), 1u);
  EXPECT_EQ(hostwin::shell::LiveAllocations(), 1u);
  IMalloc* allocator = nullptr;
  ASSERT_EQ(SHGetMalloc(&allocator), S_OK);
  allocator->Free(drives);
  allocator->Free(drives);  // twice: a problem, not a crash
  allocator->Release();
  desktop->Release();
  EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles();
  EXPECT_EQ(hostwin::shell::Problems().size(), 1u);
}

TEST(Loader, ExportsByNameAndOrdinal) {
  hostwin::Reset();
  HMODULE shell32 = LoadLibraryA("SHELL32");
  ASSERT_NE(shell32, nullptr);
  EXPECT_NE(GetProcAddress(shell32, "SHUpdateImageA"), nullptr);
  EXPECT_EQ(GetProcAddress(shell32, "SHUpdateImageW"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(shell32, MAKEINTRESOURCEA(191)), GetProcAddress(shell32, "SHUpdateImageA"));
  EXPECT_EQ(hostwin::OpenHandleCount(), 1u);
  EXPECT_TRUE(FreeLibrary(shell32));
  EXPECT_EQ(GetProcAddress(shell32, "SHUpdateImageA"), nullptr);
  EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
}

TEST(Text, MultiByteToWideCharFillsWhatFitsThenFails) {
  hostwin::Reset();
  WCHAR w[4] = {9, 9, 9, 9};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, w, 4), 4);
  EXPECT_EQ(w[3], 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, w, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(w[3], u'd');  // no terminator: the caller's to handle
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xe9", -1, w, 4), 2);
  EXPECT_EQ(w[0], 0xE9);
}

TEST(Vexid, ListLaidOutBelowFourGigabytesAtTheDriverOffsets) {
  hostwin::Reset();
  auto driver = hostwin::vexid::Install();
  hostwin::vexid::Unit a;
  a.product = "SD READER";
  a.driveIndex = 4;
  hostwin::vexid::Unit b;
  b.hasDrive = false;
  b.flags = 0x4000;
  driver->SetUnits({a, b});
  HANDLE h = CreateFileA("\\\\.\\VEXID", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD cell = 0, got = 0;
  ASSERT_TRUE(DeviceIoControl(h, 3, nullptr, 0, &cell, 4, &got, nullptr));
  EXPECT_EQ(got, 4u);
  EXPECT_FALSE(DeviceIoControl(h, 4, nullptr, 0, &cell, 4, &got, nullptr));
  // A request that writes its answer, then fails: the answer stays written.
  driver->WriteThenFailList(ERROR_GEN_FAILURE);
  DWORD written = 0;
  EXPECT_FALSE(DeviceIoControl(h, 3, nullptr, 0, &written, 4, &got, nullptr));
  EXPECT_EQ(written, cell);
  driver->WriteThenFailList(0);
  CloseHandle(h);
  auto at = [](DWORD address) { return reinterpret_cast<const BYTE*>(static_cast<std::uintptr_t>(address)); };
  auto read = [](const BYTE* p) {
    DWORD v;
    std::memcpy(&v, p, 4);
    return v;
  };
  const BYTE* root = at(read(at(cell)));
  EXPECT_EQ(root, driver->Root());
  const BYTE* first = at(read(root + 0x30));
  EXPECT_EQ(first, driver->Node(0));
  EXPECT_EQ(read(first + 0x20), 0x8000u);
  EXPECT_EQ(std::memcmp(first + 0x92, "SD READER", 9), 0);
  EXPECT_EQ(at(read(first + 0x10))[0x14], 4);
  const BYTE* second = at(read(first + 0x0C));
  EXPECT_EQ(second, driver->Node(1));
  EXPECT_EQ(read(second + 0x10), 0u);
  EXPECT_EQ(read(second + 0x0C), 0u);
  driver->Link(1, 0);
  EXPECT_EQ(at(read(second + 0x0C)), first);
  EXPECT_LT(reinterpret_cast<std::uintptr_t>(driver->Arena().Base()) + driver->Arena().Size(), 0x100000000ull);
}

}  // namespace
