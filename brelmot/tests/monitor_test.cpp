// The monitor run end to end against the host world: start-up, the hidden
// window, the debounce machine on the test clock, the sweep and the clean-up.
#include <dbt.h>

#include "brelmot_fixture.h"

namespace brelmot_test {
namespace {

using hostwin::vexid::Unit;

Unit U(const std::string& product, int driveIndex) {
  Unit u;
  u.product = product;
  u.driveIndex = static_cast<BYTE>(driveIndex);
  return u;
}

class Monitor : public BrelmotTest {
 protected:
  void SetUp() override {
    BrelmotTest::SetUp();
    std::memset(WindowsDir, 0, sizeof(WindowsDir));  // start-up fills it
    driver_ = hostwin::vexid::Install();
  }

  static HWND Window() {
    const auto windows = hostwin::user32::WindowsOfClass("BRELMOT");
    for (HWND h : windows)
      if (!hostwin::user32::Window(h)->foreign) return h;
    return nullptr;
  }

  // Sends a device event to the monitor's window at time t; its answer is kept.
  void DeviceEventAt(DWORD t, WPARAM event, DWORD deviceType = DBT_DEVTYP_VOLUME, bool withHeader = true) {
    hostwin::user32::Schedule(t, [this, event, deviceType, withHeader] {
      DEV_BROADCAST_VOLUME volume = {sizeof(DEV_BROADCAST_VOLUME), deviceType, 0, 1u << 4, 0};
      answers_.push_back(
          SendMessageA(Window(), WM_DEVICECHANGE, event, withHeader ? reinterpret_cast<LPARAM>(&volume) : 0));
    });
  }
  void CloseAt(DWORD t) {
    hostwin::user32::Schedule(t, [] { SendMessageA(Window(), WM_CLOSE, 0, 0); });
  }
  int Run() { return WinMain(kInstance, nullptr, const_cast<LPSTR>(""), 1); }

  // The settled messages the window posted itself, with their time.
  static std::vector<std::string> Settled() {
    std::vector<std::string> out;
    for (const auto& p : hostwin::user32::PostedLog())
      if (p.message == WM_DRIVES_SETTLED)
        out.push_back(std::to_string(p.time) + (p.wParam == DBT_DEVICEARRIVAL && p.lParam == 0 ? " arrival"
                                                : p.wParam == DBT_DEVICEREMOVECOMPLETE && p.lParam == 1
                                                    ? " removal"
                                                    : " ?"));
    return out;
  }

  std::shared_ptr<hostwin::vexid::Driver> driver_;
  std::vector<LRESULT> answers_;
};

TEST_F(Monitor, StartsHiddenScansOnceAndEndsWithZeroOnClose) {
  driver_->SetUnits({U("SD READER", 4)});
  HWND seen = nullptr;
  hostwin::user32::Schedule(100, [&] {
    seen = Window();
    // Created, first scan done, and no timer while nothing happens.
    EXPECT_EQ(Tracked(), "E");
    EXPECT_TRUE(hostwin::user32::Timers().empty());
  });
  CloseAt(5000);
  EXPECT_EQ(Run(), 0);
  ASSERT_NE(seen, nullptr);

  const hostwin::user32::ClassInfo* c = hostwin::user32::Class("BRELMOT");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
  EXPECT_EQ(c->proc, &MonitorWndProc);
  EXPECT_EQ(c->clsExtra, 0);
  EXPECT_EQ(c->wndExtra, 0);
  EXPECT_EQ(c->instance, kInstance);
  EXPECT_EQ(c->menuName, "#109");
  EXPECT_EQ(c->background, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)));
  EXPECT_EQ(CallsMatching({"LoadIconA", "LoadCursorA"}),
            (std::vector<std::string>{"LoadIconA module|#107", "LoadCursorA system|#32512", "LoadIconA module|#108"}));
  EXPECT_NE(c->icon, nullptr);
  EXPECT_NE(c->smallIcon, nullptr);

  const auto created = hostwin::CallsOf("CreateWindowExA");
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0].args, "BRELMOT|brelmot|0xcf0000");
  EXPECT_EQ(hostwin::CallCount("ShowWindow"), 0u);
  EXPECT_EQ(hostwin::CallsOf("LoadAcceleratorsA")[0].args, "#109");
  // One scan: the one at creation. Closing removed the icon and said so once.
  EXPECT_EQ(driver_->Requests(), 1u);
  EXPECT_EQ(Tracked(), "");
  EXPECT_FALSE(hostwin::registry::KeyExists(DefaultIconKey('E')));
  EXPECT_EQ(hostwin::user32::Broadcasts().size(), 1u);
  EXPECT_EQ(std::string(WindowsDir), "C:\\WINDOWS");
}

TEST_F(Monitor, TheWindowIsNeverVisibleAndAnswersDeviceEventsWithZero) {
  CloseAt(9000);
  for (WPARAM event : {WPARAM{DBT_DEVICEARRIVAL}, WPARAM{DBT_DEVICEQUERYREMOVE}, WPARAM{DBT_DEVICEQUERYREMOVEFAILED},
                       WPARAM{DBT_DEVICEREMOVEPENDING}, WPARAM{DBT_DEVICEREMOVECOMPLETE}, WPARAM{DBT_DEVNODES_CHANGED},
                       WPARAM{0x1234}})
    DeviceEventAt(100, event);
  DeviceEventAt(100, DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT);
  DeviceEventAt(100, DBT_DEVICEREMOVECOMPLETE, 0, false);
  HWND window = nullptr;
  hostwin::user32::Schedule(50, [&] { window = Window(); });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(answers_, std::vector<LRESULT>(9, 0));
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindow(window));
  // The window is gone; what it was is still on record.
  EXPECT_EQ(hostwin::user32::WindowsOfClass("BRELMOT").size(), 0u);
}

TEST_F(Monitor, WindowStyleHasNoVisibleBitWhateverTheShowState) {
  for (int showState : {0, 1, 3, 5, 10}) {
    SCOPED_TRACE(showState);
    hostwin::Reset();
    ResetProcess();
    InstallResources();
    bool checked = false;
    hostwin::user32::Schedule(100, [&] {
      const hostwin::user32::WindowInfo* w = hostwin::user32::Window(Window());
      ASSERT_NE(w, nullptr);
      EXPECT_EQ(w->style, static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
      EXPECT_EQ(w->exStyle, 0u);
      EXPECT_EQ(w->parent, nullptr);
      EXPECT_FALSE(w->everVisible);
      EXPECT_FALSE(IsWindowVisible(Window()));
      checked = true;
    });
    CloseAt(200);
    EXPECT_EQ(WinMain(kInstance, nullptr, const_cast<LPSTR>("x"), showState), 0);
    EXPECT_TRUE(checked);
  }
}

TEST_F(Monitor, ASecondInstanceEndsAtOnceWithMinusOne) {
  hostwin::user32::AddForeignWindow("Progman", "Program Manager");
  hostwin::user32::AddForeignWindow("", "", true);  // class unreadable: passed over
  HWND first = hostwin::user32::AddForeignWindow("BRELMOT", "brelmot");
  hostwin::user32::AddForeignWindow("Shell_TrayWnd", "");
  driver_->SetUnits({U("SD READER", 4)});
  EXPECT_EQ(Run(), -1);
  EXPECT_EQ(hostwin::CallCount("RegisterClassExA"), 0u);
  EXPECT_EQ(hostwin::CallCount("CreateWindowExA"), 0u);
  EXPECT_EQ(hostwin::CallCount("GetWindowsDirectoryA"), 0u);
  EXPECT_EQ(driver_->Opens().size(), 0u);
  EXPECT_EQ(AlreadyRunning, 1);
  // The enumeration stopped at the first one found: the tray was never asked.
  const auto asked = hostwin::CallsOf("GetClassNameA");
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.back().args, "BRELMOT|50");
  EXPECT_TRUE(hostwin::user32::ForeignMessages(first).empty());
}

TEST_F(Monitor, OnlyAnExactClassNameCounts) {
  hostwin::user32::AddForeignWindow("brelmot", "");
  hostwin::user32::AddForeignWindow("BRELMOT2", "");
  CloseAt(10);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(hostwin::CallCount("CreateWindowExA"), 1u);
}

TEST_F(Monitor, WindowsDirectoryMustFitThirtyCharactersWithItsTerminator) {
  struct Case {
    std::string dir;
    bool fail;
    int code;
  } cases[] = {
      {std::string("C:\\") + std::string(26, 'w'), false, 0},  // 29 characters
      {std::string("C:\\") + std::string(27, 'w'), false, -1},  // 30 characters
      {"C:\\WINDOWS", true, -1},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    hostwin::Reset();
    ResetProcess();
    InstallResources();
    hostwin::SetWindowsDirectory(cases[i].dir);
    if (cases[i].fail) hostwin::FailNth("GetWindowsDirectoryA", 1, ERROR_GEN_FAILURE);
    CloseAt(10);
    EXPECT_EQ(Run(), cases[i].code);
    EXPECT_EQ(hostwin::CallCount("CreateWindowExA"), cases[i].code == 0 ? 1u : 0u);
    if (cases[i].code == 0) {
      EXPECT_EQ(std::string(WindowsDir), cases[i].dir);
    }
  }
  hostwin::Reset();  // the unused close actions
}

TEST_F(Monitor, NoWindowMeansExitCodeZeroAndNoLoop) {
  hostwin::FailNth("CreateWindowExA", 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(hostwin::CallCount("GetMessageA"), 0u);
  EXPECT_EQ(driver_->Opens().size(), 0u);
}

// The debounce machine as a table of event sequences; the settled messages
// and their times are what the window posted itself.
TEST_F(Monitor, DebounceTable) {
  const WPARAM kArrive = DBT_DEVICEARRIVAL, kRemove = DBT_DEVICEREMOVECOMPLETE;
  struct Event {
    DWORD at;
    WPARAM event;
    DWORD type;
    bool header;
  };
  struct Case {
    const char* what;
    std::vector<Event> events;
    std::vector<std::string> settled;
    std::size_t rescans;
    std::size_t sweeps;
  } cases[] = {
      {"three arrivals 300 ms apart",
       {{1000, kArrive, 0, false}, {1300, kArrive, 0, false}, {1600, kArrive, 0, false}},
       {"2600 arrival"}, 1, 0},
      {"a removal then an arrival",
       {{1000, kRemove, DBT_DEVTYP_VOLUME, true}, {1500, kArrive, 0, false}}, {"2500 removal"}, 0, 1},
      {"a device node removal", {{1000, kRemove, DBT_DEVTYP_DEVNODE, true}}, {"2000 removal"}, 0, 1},
      {"an arrival then a removal", {{1000, kArrive, 0, false}, {1999, kRemove, DBT_DEVTYP_VOLUME, true}},
       {"2999 arrival"}, 1, 0},
      {"ignored removals do not restart the timer",
       {{1000, kArrive, 0, false}, {1500, kRemove, DBT_DEVTYP_PORT, true}, {1600, kRemove, 0, false},
        {1700, DBT_DEVICEQUERYREMOVE, DBT_DEVTYP_VOLUME, true}},
       {"2000 arrival"}, 1, 0},
      {"ignored events alone", {{1000, kRemove, 0, false}, {1000, kRemove, DBT_DEVTYP_PORT, true}, {1000, 7, 0, false}},
       {}, 0, 0},
      {"two bursts", {{1000, kArrive, 0, false}, {2001, kRemove, DBT_DEVTYP_VOLUME, true}},
       {"2000 arrival", "3001 removal"}, 1, 1},
      // An event in the same millisecond as the expiry, but before it, still
      // belongs to the burst.
      {"an event just in time", {{1000, kArrive, 0, false}, {2000, kRemove, DBT_DEVTYP_VOLUME, true}},
       {"3000 arrival"}, 1, 0},
      {"an arrival with a header", {{1000, kArrive, DBT_DEVTYP_PORT, true}}, {"2000 arrival"}, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    hostwin::Reset();
    ResetProcess();
    InstallResources();
    driver_ = hostwin::vexid::Install();
    answers_.clear();
    for (const Event& e : c.events) DeviceEventAt(e.at, e.event, e.type, e.header);
    // Idle again after every burst: no timer pending.
    hostwin::user32::Schedule(9000, [] { EXPECT_TRUE(hostwin::user32::Timers().empty()); });
    CloseAt(10000);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Settled(), c.settled);
    EXPECT_EQ(driver_->Requests(), 1 + c.rescans);
    EXPECT_EQ(hostwin::CallCount("GetLogicalDrives"), c.sweeps);
    EXPECT_EQ(answers_, std::vector<LRESULT>(c.events.size(), 0));
  }
}

TEST_F(Monitor, SettledMessageActsOnlyOnItsTwoForms) {
  struct Case {
    WPARAM wParam;
    LPARAM lParam;
    std::size_t scans, sweeps;
  } cases[] = {
      {DBT_DEVICEARRIVAL, 0, 1, 0},
      {DBT_DEVICEARRIVAL, 1, 1, 0},
      {DBT_DEVICEREMOVECOMPLETE, 1, 0, 1},
      {DBT_DEVICEREMOVECOMPLETE, 0, 0, 0},
      {DBT_DEVICEREMOVECOMPLETE, 2, 0, 0},
      {DBT_DEVICEQUERYREMOVE, 1, 0, 0},
      {0, 0, 0, 0},
  };
  hostwin::user32::Schedule(100, [&] {
    for (std::size_t i = 0; i < std::size(cases); ++i) {
      SCOPED_TRACE(i);
      hostwin::ClearCalls();
      EXPECT_EQ(SendMessageA(Window(), WM_DRIVES_SETTLED, cases[i].wParam, cases[i].lParam), 0);
      EXPECT_EQ(hostwin::CallCount("CreateFileA"), cases[i].scans);
      EXPECT_EQ(hostwin::CallCount("GetLogicalDrives"), cases[i].sweeps);
    }
  });
  CloseAt(200);
  EXPECT_EQ(Run(), 0);
}

TEST_F(Monitor, TimerThatCannotBeSetDropsTheBurstOnly) {
  hostwin::FailNth("SetTimer", 1, ERROR_NOT_ENOUGH_MEMORY);
  DeviceEventAt(1000, DBT_DEVICEARRIVAL);
  DeviceEventAt(3000, DBT_DEVICEARRIVAL);
  CloseAt(10000);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Settled(), std::vector<std::string>{"4000 arrival"});
}

TEST_F(Monitor, ArrivalBurstRegistersNewReaderDrives) {
  DeviceEventAt(1000, DBT_DEVICEARRIVAL);
  hostwin::user32::Schedule(1500, [this] { driver_->SetUnits({U("SD READER", 4), U("SMC READER", 5)}); });
  hostwin::user32::Schedule(1999, [] { EXPECT_EQ(Tracked(), ""); });
  hostwin::user32::Schedule(2001, [] { EXPECT_EQ(Tracked(), "EF"); });
  CloseAt(5000);
  EXPECT_EQ(Run(), 0);
}

TEST_F(Monitor, SweepRemovesVanishedDrivesButKeepsThoseStillShowingTheIcon) {
  hostwin::SetLogicalDrives((1u << 2) | (1u << 4) | (1u << 5) | (1u << 6) | (1u << 7));
  driver_->SetUnits({U("SD READER", 4), U("SD READER", 5), U("SD READER", 6), U("SD READER", 7)});
  hostwin::user32::Schedule(500, [] {
    EXPECT_EQ(Tracked(), "EFGH");
    // E: gone for good. F: gone from the drive list, but the shell still shows
    // this program's icon for it. G: still there. H: gone, and the shell shows
    // some other icon for it.
    hostwin::SetLogicalDrives((1u << 2) | (1u << 6));
    hostwin::shell::SetDriveKnown('F', true);
    hostwin::shell::SetIconLocation('F', "c:\\windows\\BRELMOT.EXE", 3);
    hostwin::shell::SetDriveKnown('H', true);
    hostwin::shell::SetIconLocation('H', "C:\\WINDOWS\\SYSTEM\\SHELL32.DLL", 8);
  });
  DeviceEventAt(1000, DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_VOLUME);
  hostwin::user32::Schedule(3000, [] {
    EXPECT_EQ(Tracked(), "FG");
    // Asked about the vanished ones only; no broadcast, no refresh.
    EXPECT_EQ(CallsMatching({"IShellFolder::ParseDisplayName"}),
              (std::vector<std::string>{"IShellFolder::ParseDisplayName My Computer|E:\\",
                                        "IShellFolder::ParseDisplayName My Computer|F:\\",
                                        "IShellFolder::ParseDisplayName My Computer|H:\\"}));
    EXPECT_EQ(hostwin::user32::Broadcasts().size(), 0u);
    EXPECT_EQ(hostwin::CallCount("IShellFolder::GetAttributesOf"), 0u);
  });
  hostwin::user32::Schedule(2000, [] { hostwin::ClearCalls(); });
  CloseAt(5000);
  EXPECT_EQ(Run(), 0);
}

TEST_F(Monitor, SweepReferenceIsTheProgramFileInTheWindowsDirectory) {
  // The sweep's own comparison, with the shell's answer made up: kept only
  // when the answer begins with "<Windows directory>\brelmot.exe", any case.
  struct Case {
    const char* shown;
    bool kept;
  } cases[] = {
      {"C:\\WINDOWS\\brelmot.exe", true},
      {"c:\\Windows\\BRELMOT.EXE", true},
      {"C:\\WINDOWS\\brelmot.exe.bak", true},
      {"C:\\WINDOWS\\brelmot.ex", false},
      {"D:\\WINDOWS\\brelmot.exe", false},
      {"C:\\WINDOWS\\SYSTEM\\SHELL32.DLL", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    hostwin::Reset();
    ResetProcess();
    std::strcpy(WindowsDir, "C:\\WINDOWS");
    hostwin::SetLogicalDrives((1u << 2) | (1u << 4));
    Register('E', 3);
    hostwin::SetLogicalDrives(1u << 2);
    if (*c.shown) {
      hostwin::shell::SetDriveKnown('E', true);
      hostwin::shell::SetIconLocation('E', c.shown, 3);
    }
    RemovalSweep();
    EXPECT_EQ(Tracked(), c.kept ? "E" : "");
    if (c.kept) SetDriveIcon('E', 1);
  }
}

TEST_F(Monitor, ClosingRemovesEveryIconInLetterOrderAndBroadcastsOnce) {
  driver_->SetUnits({U("SD READER", 6), U("SD READER", 3), U("SMC READER", 4)});
  hostwin::user32::Schedule(100, [] { hostwin::ClearCalls(); });
  CloseAt(200);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(CallsMatching({"RegDeleteKeyA", "PostMessageA", "PostQuitMessage"}),
            (std::vector<std::string>{"RegDeleteKeyA " + DefaultIconKey('D'), "RegDeleteKeyA " + DefaultIconKey('E'),
                                      "RegDeleteKeyA " + DefaultIconKey('G'),
                                      "PostMessageA HWND_BROADCAST|0x111|0xa065|0x0", "PostQuitMessage 0"}));
  const auto broadcasts = hostwin::user32::Broadcasts();
  ASSERT_EQ(broadcasts.size(), 1u);
  EXPECT_TRUE(broadcasts[0].posted);
  EXPECT_EQ(Tracked(), "");
  for (char letter : {'D', 'E', 'G'}) EXPECT_TRUE(hostwin::registry::KeyExists(LetterKey(letter)));
}

TEST_F(Monitor, ClosingWithNothingRegisteredBroadcastsNothing) {
  HWND other = hostwin::user32::AddForeignWindow("Explorer", "");
  CloseAt(200);
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(hostwin::user32::Broadcasts().empty());
  EXPECT_TRUE(hostwin::user32::ForeignMessages(other).empty());
}

TEST_F(Monitor, EndOfSessionRemovesIconsWithoutBroadcastOrQuit) {
  driver_->SetUnits({U("SD READER", 4), U("SMC READER", 5)});
  hostwin::user32::Schedule(100, [] {
    EXPECT_EQ(Tracked(), "EF");
    EXPECT_EQ(SendMessageA(Window(), WM_ENDSESSION, FALSE, 0), 0);
    EXPECT_EQ(Tracked(), "");
    EXPECT_FALSE(hostwin::user32::QuitPosted());
    EXPECT_TRUE(IsWindow(Window()));
    EXPECT_TRUE(hostwin::user32::Broadcasts().empty());
  });
  // A cancelled end of session: the next arrival burst brings them back.
  DeviceEventAt(200, DBT_DEVICEARRIVAL);
  hostwin::user32::Schedule(1300, [] { EXPECT_EQ(Tracked(), "EF"); });
  hostwin::user32::Schedule(1400, [] { SendMessageA(Window(), WM_ENDSESSION, TRUE, 0); });
  CloseAt(2000);
  EXPECT_EQ(Run(), 0);
  // Closing found nothing left to remove.
  EXPECT_TRUE(hostwin::user32::Broadcasts().empty());
}

TEST_F(Monitor, MenuCommandsAcceleratorsAboutBoxAndPaint) {
  std::vector<UINT> dialogMessages;
  hostwin::user32::SetDialogResponder([&](HWND dialog) {
    // Other commands are not the box's; Cancel ends it.
    EXPECT_EQ(SendMessageA(dialog, WM_COMMAND, 1234, 0), FALSE);
    EXPECT_EQ(SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0), TRUE);
  });
  hostwin::user32::Schedule(100, [] { SendMessageA(Window(), WM_COMMAND, IDM_ABOUT, 0); });
  // Alt+? and Alt+/ open it too; a plain ? does not.
  hostwin::user32::Schedule(200, [] { PostMessageA(Window(), WM_SYSCHAR, '?', 0); });
  hostwin::user32::Schedule(300, [] { PostMessageA(Window(), WM_SYSCHAR, '/', 0); });
  hostwin::user32::Schedule(400, [] { PostMessageA(Window(), WM_CHAR, '?', 0); });
  hostwin::user32::Schedule(500, [] {
    EXPECT_EQ(SendMessageA(Window(), WM_PAINT, 0, 0), 0);
    ASSERT_EQ(hostwin::CallCount("DrawTextA"), 1u);
    EXPECT_EQ(hostwin::CallsOf("DrawTextA")[0].args, "Hello World!|0x1");
    hostwin::ClearCalls();
    EXPECT_EQ(SendMessageA(Window(), WM_COMMAND, 999, 0), 0);
    EXPECT_EQ(hostwin::CallCount("DefWindowProcA"), 1u);
  });
  hostwin::user32::Schedule(600, [] { SendMessageA(Window(), WM_COMMAND, IDM_EXIT, 0); });
  EXPECT_EQ(Run(), 0);
  const auto dialogs = hostwin::user32::Dialogs();
  ASSERT_EQ(dialogs.size(), 3u);
  for (const auto& d : dialogs) {
    EXPECT_EQ(d.templateId, static_cast<UINT>(IDD_ABOUTBOX));
    EXPECT_EQ(d.result, IDCANCEL);
  }
  EXPECT_EQ(hostwin::user32::DrawnTexts(), std::vector<std::string>{"Hello World!"});
}

TEST_F(Monitor, AboutBoxProcedure) {
  HWND dialog = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x999));
  EXPECT_EQ(AboutDlgProc(dialog, WM_INITDIALOG, 0, 0), TRUE);
  EXPECT_EQ(AboutDlgProc(dialog, WM_PAINT, 0, 0), FALSE);
  EXPECT_EQ(AboutDlgProc(dialog, WM_COMMAND, 5, 0), FALSE);
  EXPECT_EQ(hostwin::CallCount("EndDialog"), 0u);
  // The OK button of a dialog sends its id with BN_CLICKED (0) above it.
  EXPECT_EQ(AboutDlgProc(dialog, WM_COMMAND, IDOK, 0), TRUE);
  EXPECT_EQ(hostwin::CallsOf("EndDialog").back().args, "1");
}

}  // namespace
}  // namespace brelmot_test
