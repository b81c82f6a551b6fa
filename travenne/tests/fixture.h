// A small world for travenne's tests: a fresh hostwin machine and the helpers
// that lay out what Windows 2000/XP keeps about disks and drive icons.
#pragma once

#include "travenne.h"

#include <hostwin/control.h>

#include <gtest/gtest.h>

#include <memory>
#include <strings.h>
#include <string>
#include <vector>

namespace travenne_test {

inline const std::string kDiskEnum = "HKLM\\system\\CurrentControlSet\\Services\\disk\\Enum";
inline const std::string kMountedDevices = "HKLM\\SYSTEM\\MountedDevices";
inline const std::string kBookkeeping = "HKLM\\Software\\Travenne";
// The 27 UTF-16 units that Windows writes before the device id of a removable
// volume, and what follows the id.
inline const std::string kVolumeHead = "\\??\\STORAGE#RemovableMedia#";
inline const std::string kVolumeTail = "&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";

inline std::string IconKey(char letter) {
  return std::string("HKCR\\Applications\\Explorer.exe\\Drives\\") + letter + "\\DefaultIcon";
}
inline std::string EnumKey(const std::string& instance) { return "HKLM\\system\\CurrentControlSet\\Enum\\" + instance; }

// Texts placed at their positions, the gaps between them filled with '-'.
inline std::string Place(std::initializer_list<std::pair<std::size_t, std::string>> parts) {
  std::string s;
  for (const auto& [pos, text] : parts) {
    if (s.size() < pos) s.append(pos - s.size(), '-');
    s.replace(pos, std::min(text.size(), s.size() - pos), text);
    if (s.size() < pos + text.size()) s.append(text.substr(s.size() - pos));
  }
  return s;
}

// Realistic reader instance names; each one's slot as the classifier finds it.
inline std::string CardReaderName(const std::string& type, const std::string& serial = "000000000001") {
  return Place({{0, "USBSTOR\\DISK&VEN_GENRIC&PROD"}, {28, "_CARDREADER_" + type + "&REV_1.00\\" + serial + "&0"}});
}
inline std::string QuenthorpName(char lun) {
  return Place({{0, "USBSTOR\\DISK&VEN_GENERIC&PROD"}, {29, "_QUENTHORP_6_IN_1&REV_9.02\\000000009412&"}}) + lun;
}
inline const std::string kHardDiskName = "IDE\\DiskHDD80GB0A_____________________3.06____\\5&1a2b3c4d&0&0.0.0";

// Writes the disk list: Count and the values "0", "1", ... "10", ...
inline void SetDiskList(const std::vector<std::string>& names, DWORD count) {
  hostwin::registry::SetDword(kDiskEnum, "Count", count);
  for (std::size_t i = 0; i < names.size(); ++i) {
    char valueName[8];
    std::snprintf(valueName, sizeof valueName, i < 10 ? "%zu" : "%02zu", i);
    hostwin::registry::SetString(kDiskEnum, valueName, names[i]);
  }
}
inline void SetDiskList(const std::vector<std::string>& names) {
  SetDiskList(names, static_cast<DWORD>(names.size()));
}

inline void SetParentIdPrefix(const std::string& instance, const std::string& prefix) {
  hostwin::registry::SetString(EnumKey(instance), "ParentIdPrefix", prefix);
}

inline void SetVolume(char letter, const std::string& deviceId, const std::string& tail = kVolumeTail) {
  hostwin::registry::SetWideBinary(kMountedDevices, std::string("\\DosDevices\\") + letter + ":",
                                   kVolumeHead + deviceId + tail);
}

inline void SetIcon(char letter, const std::string& text) {
  hostwin::registry::SetString(IconKey(letter), "", text, false);
}
inline std::string Icon(char letter) { return hostwin::registry::GetString(IconKey(letter), ""); }
inline bool HasIcon(char letter) { return hostwin::registry::KeyExists(IconKey(letter)); }

enum class Mark { None, Kept, Set, Other };
inline void SetMark(char letter, Mark mark) {
  const std::string name(1, letter);
  if (mark == Mark::Kept) hostwin::registry::SetValue(kBookkeeping, name, REG_SZ, {});
  if (mark == Mark::Set) hostwin::registry::SetValue(kBookkeeping, name, REG_SZ, {'1'});
}
inline Mark MarkOf(char letter) {
  const hostwin::registry::Value* v = hostwin::registry::GetValue(kBookkeeping, std::string(1, letter));
  if (v == nullptr) return Mark::None;
  if (v->type != REG_SZ) return Mark::Other;
  if (v->data.empty()) return Mark::Kept;
  if (v->data == std::vector<BYTE>{'1'}) return Mark::Set;
  return Mark::Other;
}
inline const char* MarkName(Mark m) {
  switch (m) {
    case Mark::None: return "none";
    case Mark::Kept: return "kept";
    case Mark::Set: return "set";
    default: return "other";
  }
}

// The arguments after "key|" of the calls of fn on the key at keyPath (the
// key's path compared without regard to case, as the registry does).
inline std::vector<std::string> CallsOnKey(const std::string& fn, const std::string& keyPath) {
  std::vector<std::string> out;
  for (const hostwin::Call& c : hostwin::CallsOf(fn)) {
    if (c.args.size() <= keyPath.size() || c.args[keyPath.size()] != '|') continue;
    if (strncasecmp(c.args.c_str(), keyPath.c_str(), keyPath.size()) == 0) out.push_back(c.args.substr(keyPath.size() + 1));
  }
  return out;
}

// Every test starts from a fresh machine and must leave no handle open.
class World : public ::testing::Test {
 protected:
  void SetUp() override { hostwin::Reset(); }
  void TearDown() override { EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles(); }
};

}  // namespace travenne_test
