// The host world reset to a fresh Windows 98 machine with brelmot's resources,
// and brelmot's process globals back at zero, for every test.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>
#include <hostwin/control.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "driveicon.h"
#include "monitor.h"
#include "readerslots.h"
#include "resource.h"

namespace brelmot_test {

inline const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(0x400000));

inline std::string DefaultIconKey(char letter) {
  return std::string("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\") + letter +
         "\\DefaultIcon";
}

inline std::string LetterKey(char letter) {
  return std::string("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\") + letter;
}

// The value as its writer handed it over: the bytes of its byte count, which
// must not include a terminator (Windows may keep the NUL that followed it).
inline std::string StoredValue(char letter) {
  const hostwin::registry::Value* v = hostwin::registry::GetValue(DefaultIconKey(letter), "");
  return v ? v->Written() : std::string("(none)");
}

// The registered letters as a string, "DEG".
inline std::string Tracked() {
  std::string out;
  for (int i = 0; i < kDriveLetters; ++i) {
    if (TrackedLetters[i] == 0) continue;
    EXPECT_EQ(TrackedLetters[i], 'A' + i) << "entry " << i;
    out += static_cast<char>('A' + i);
  }
  return out;
}

// "fn args" of the recorded calls whose name starts with one of prefixes.
inline std::vector<std::string> CallsMatching(const std::vector<std::string>& prefixes) {
  std::vector<std::string> out;
  for (const hostwin::Call& c : hostwin::Calls())
    for (const std::string& p : prefixes)
      if (c.fn.compare(0, p.size(), p) == 0) {
        out.push_back(c.fn + " " + c.args);
        break;
      }
  return out;
}

class BrelmotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hostwin::Reset();
    ResetProcess();
    InstallResources();
    std::strcpy(WindowsDir, "C:\\WINDOWS");
  }

  void TearDown() override {
    EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles();
    EXPECT_TRUE(hostwin::shell::Problems().empty()) << hostwin::shell::Problems().front();
    EXPECT_TRUE(hostwin::user32::Problems().empty()) << hostwin::user32::Problems().front();
    // Whatever happened, nothing is tracked that is not registered.
    for (int i = 0; i < kDriveLetters; ++i) {
      if (TrackedLetters[i] != 0) {
        EXPECT_TRUE(hostwin::registry::KeyExists(DefaultIconKey(static_cast<char>('A' + i))));
      }
    }
  }

  // A new process: every global at zero.
  static void ResetProcess() {
    std::memset(TrackedLetters, 0, sizeof(TrackedLetters));
    CurrentSlotCode = 0;
    std::memset(WindowsDir, 0, sizeof(WindowsDir));
    RotationCounter = 0;
    std::memset(ClassName, 0, sizeof(ClassName));
    std::memset(WindowTitle, 0, sizeof(WindowTitle));
    AppInstance = nullptr;
    AlreadyRunning = 0;
    DebounceTimer = 0;
    BurstIsRemoval = 0;
  }

  // What brelmot.rc gives the program file.
  static void InstallResources() {
    hostwin::user32::SetString(IDS_APP_TITLE, "brelmot");
    hostwin::user32::SetString(IDS_HELLO, "Hello World!");
    hostwin::user32::SetString(IDC_BRELMOT, "BRELMOT");
    hostwin::user32::AddMenu(IDC_BRELMOT);
    hostwin::user32::AddDialog(IDD_ABOUTBOX);
    for (UINT id : {IDI_BRELMOT, IDI_SMALL, IDI_SLOT_CF, IDI_SLOT_SD, IDI_SLOT_SM, IDI_SLOT_MS, IDI_SLOT_COMBO})
      hostwin::user32::AddIcon(id);
    hostwin::user32::SetAccelerators(IDC_BRELMOT, {{FALT, '?', IDM_ABOUT}, {FALT, '/', IDM_ABOUT}});
  }

  // Registers letter with the slot code as a scan would.
  static void Register(char letter, BYTE code) {
    CurrentSlotCode = code;
    SetDriveIcon(letter, 0);
  }
};

}  // namespace brelmot_test
