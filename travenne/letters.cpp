// Drive-letter resolution: the disk list that Windows 2000/XP keeps for its
// disk service, each disk's ParentIdPrefix, and the MountedDevices table that
// names the volume behind every drive letter.
#include "text.h"
#include "travenne.h"

using travenne_text::Equal;
using travenne_text::Join;

namespace {

// Written exactly so, lower-case "system" included.
constexpr char kMountedDevicesKey[] = "SYSTEM\\MountedDevices";
constexpr char kDiskEnumKey[] = "system\\CurrentControlSet\\Services\\disk\\Enum";
constexpr char kEnumKeyPrefix[] = "system\\CurrentControlSet\\Enum\\";
constexpr char kCountValue[] = "Count";
constexpr char kParentIdPrefixValue[] = "ParentIdPrefix";

// Value names of the disk list: "0" to "9", then "%02d" of the index.
void DiskValueName(DWORD index, char (&name)[3]) {
  if (index < 10) {
    name[0] = static_cast<char>('0' + index);
    name[1] = '\0';
  } else {
    name[0] = static_cast<char>('0' + index / 10 % 10);
    name[1] = static_cast<char>('0' + index % 10);
    name[2] = '\0';
  }
}

// The device id of a letter, read from MountedDevices the first time a name
// of this run asks for it; null when the letter has none.
const char* MountedDeviceId(TravenneRun& run, DWORD letterIndex) {
  MountedDeviceIds& ids = run.mounted;
  if (ids.state[letterIndex] == MountedDeviceIds::State::Unread) {
    const bool read =
        ReadMountedDeviceId(run.mountedDevices.get(), static_cast<char>('A' + letterIndex), ids.id[letterIndex]);
    ids.state[letterIndex] = read ? MountedDeviceIds::State::Read : MountedDeviceIds::State::Missing;
  }
  return ids.state[letterIndex] == MountedDeviceIds::State::Read ? ids.id[letterIndex] : nullptr;
}

}  // namespace

HKEY OpenMountedDevices() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMountedDevicesKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

DWORD ReadDiskCount(TravenneRun& run) {
  if (!run.diskEnum) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDiskEnumKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
    run.diskEnum.reset(key);
  }
  // A shorter value leaves the upper bytes 0; a longer one fails the query.
  DWORD count = 0;
  DWORD size = sizeof(count);
  if (RegQueryValueExA(run.diskEnum.get(), kCountValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size) !=
      ERROR_SUCCESS)
    return 0;
  return count;
}

DWORD ReadDiskList(TravenneRun& run) {
  DWORD count = ReadDiskCount(run);
  if (count == 0) return 0;
  // The list has room for 26 names; a larger count reads the first 26.
  if (count > kDiskListEntries) count = kDiskListEntries;
  for (DWORD i = 0; i < count; ++i) {
    char valueName[3];
    DiskValueName(i, valueName);
    // One byte beyond what the query may fill, so that data stored without a
    // terminator still ends inside the buffer.
    char data[kInstanceNameBytes + 1];
    DWORD size = kInstanceNameBytes;
    if (RegQueryValueExA(run.diskEnum.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) !=
        ERROR_SUCCESS)
      return 0;
    data[size] = '\0';
    // 260 characters without a terminator do not fit an entry. The value
    // itself was read, so only this entry is lost: Join leaves it empty, a
    // name that is no reader's, and the list goes on.
    Join(run.disks.names[i], kInstanceNameBytes, data, "");
    if (run.disks.filled < i + 1) run.disks.filled = i + 1;
  }
  return count;
}

bool ReadMountedDeviceId(HKEY mountedDevices, char driveLetter, char (&deviceId)[kDeviceIdBytes]) {
  char valueName[] = "\\DosDevices\\?:";
  valueName[12] = driveLetter;
  BYTE data[kMountedValueBytes];
  DWORD size = sizeof(data);
  if (RegQueryValueExA(mountedDevices, valueName, nullptr, nullptr, data, &size) != ERROR_SUCCESS) return false;
  if (size < kMountedValueMinBytes) return false;
  // UTF-16LE text; the low byte of each unit is taken as the character. The
  // loop reads units 27 to 38 at most, which a value of 78 bytes holds.
  DWORD copied = 0, ampersands = 0;
  for (DWORD unit = kDeviceIdFirstUnit; copied < kDeviceIdMaxChars; ++unit) {
    const char c = static_cast<char>(data[unit * 2]);
    if (c == '\0' || (c == '&' && ++ampersands == 3)) break;
    deviceId[copied++] = c;
  }
  deviceId[copied] = '\0';
  return true;
}

bool ResolveDriveLetter(TravenneRun& run, LPCSTR instanceName, DWORD logicalDrives, BYTE& slotIndex,
                        BYTE& letterIndex) {
  letterIndex = LETTER_NONE;
  slotIndex = ClassifyInstanceName(instanceName);
  if (slotIndex == SLOT_NONE) return false;

  // A name too long for the key path gets no letter, and no other key is opened.
  char enumPath[kEnumPathBytes];
  if (!Join(enumPath, kEnumPathBytes, kEnumKeyPrefix, instanceName)) return false;
  HKEY rawKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, enumPath, 0, KEY_QUERY_VALUE, &rawKey) != ERROR_SUCCESS) return false;
  UniqueRegKey instanceKey(rawKey);
  char prefix[kParentIdPrefixBytes + 1];
  DWORD size = kParentIdPrefixBytes;
  const LONG status =
      RegQueryValueExA(instanceKey.get(), kParentIdPrefixValue, nullptr, nullptr, reinterpret_cast<BYTE*>(prefix), &size);
  instanceKey.reset();
  if (status != ERROR_SUCCESS) return false;
  prefix[size] = '\0';  // the prefix ends with its data, terminator or not

  // The first letter whose volume carries this prefix wins, claimed or not.
  // An empty prefix names no volume.
  if (prefix[0] != '\0') {
    for (DWORD letter = kFirstReaderLetter; letter < kLetterCount; ++letter) {
      const char* id = MountedDeviceId(run, letter);
      if (id != nullptr && Equal(id, prefix)) {
        letterIndex = static_cast<BYTE>(letter);
        return true;
      }
    }
  }

  // No volume yet: the first letter from D that is neither in use nor claimed.
  for (DWORD letter = kFirstReaderLetter; letter < kLetterCount; ++letter) {
    const bool inUse = (logicalDrives >> letter & 1u) != 0;
    if (!inUse && run.claims[letter] == 0) {
      letterIndex = static_cast<BYTE>(letter);
      return true;
    }
  }
  return false;
}
