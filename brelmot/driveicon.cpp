// Drive icon registration and shell refresh.
#include "driveicon.h"

#include <shellapi.h>
#include <shlobj.h>

#include "unique_handle.h"

BYTE TrackedLetters[kDriveLetters];
BYTE CurrentSlotCode;
CHAR WindowsDir[kWindowsDirChars];

namespace {

// The shell's sizes as the 32-bit build has them.
static_assert(sizeof(void*) != 4 || sizeof(SHFILEINFOA) == 352, "SHFILEINFOA of the x86 build is 352 bytes");

constexpr char kDriveIconKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\A\\DefaultIcon";
static_assert(sizeof(kDriveIconKey) == kDriveIconKeyChars, "75 characters and the terminator");
static_assert(kDriveIconKey[kDriveIconKeyLetterAt] == 'A', "the letter's place in the key path");

constexpr char kProgramFileSuffix[] = "\\brelmot.exe";
constexpr char kIconValueSuffix[] = "\\brelmot.exe,3";  // the 3 becomes the slot code
static_assert(kWindowsDirChars - 1 + sizeof(kIconValueSuffix) <= kIconFileChars, "the value always fits");

constexpr char kShell32[] = "shell32.dll";
constexpr char kUpdateImageName[] = "SHUpdateImageA";
constexpr WORD kUpdateImageOrdinal = 191;

constexpr IID kIidShellFolder = {0x000214E6, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidExtractIconA = {0x000214EB, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

typedef void(WINAPI* UpdateImageProc)(LPCSTR hashItem, int iconIndex, UINT flags, int imageIndex);

// Appends source to the text in destination, cutting it to fit capacity.
void AppendText(LPSTR destination, std::size_t capacity, LPCSTR source) {
  std::size_t at = 0;
  while (at + 1 < capacity && destination[at] != 0) ++at;
  while (at + 1 < capacity && *source != 0) destination[at++] = *source++;
  destination[at] = 0;
}

bool IsDriveLetter(CHAR letter) { return letter >= 'A' && letter <= 'Z'; }

}  // namespace

void BuildProgramFilePath(CHAR (&path)[kIconFileChars]) {
  path[0] = 0;
  AppendText(path, kIconFileChars, WindowsDir);
  AppendText(path, kIconFileChars, kProgramFileSuffix);
}

void BuildDrivePath(CHAR letter, CHAR (&path)[4]) {
  path[0] = letter;
  path[1] = ':';
  path[2] = '\\';
  path[3] = 0;
}

void SetDriveIcon(CHAR letter, BYTE clear) {
  // TrackedLetters has room for A to Z only.
  if (!IsDriveLetter(letter)) return;
  CHAR keyPath[kDriveIconKeyChars];
  for (UINT i = 0; i < kDriveIconKeyChars; ++i) keyPath[i] = kDriveIconKey[i];
  keyPath[kDriveIconKeyLetterAt] = letter;

  if (clear != 0) {
    // Removes DefaultIcon only; the letter's key under DriveIcons stays. A key
    // that is already gone is no failure to report.
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath);
    TrackedLetters[letter - 'A'] = 0;
    return;
  }

  // Volatile: the entry goes with the next restart at the latest, even if
  // this process never gets to remove it.
  UniqueRegKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                      nullptr) != ERROR_SUCCESS)
    return;

  CHAR value[kIconFileChars] = "";
  AppendText(value, kIconFileChars, WindowsDir);
  AppendText(value, kIconFileChars, kIconValueSuffix);
  const int valueLength = lstrlenA(value);
  value[valueLength - 1] = static_cast<CHAR>('0' + CurrentSlotCode);

  CHAR drivePath[4];
  BuildDrivePath(letter, drivePath);

  // The icon the drive shows now, before the new entry is written.
  CHAR oldFile[kIconFileChars] = "";
  const int oldIndex = GetDriveIconLocation(drivePath, oldFile, kIconFileChars);
  SHFILEINFOA info = {};
  SHGetFileInfoA(drivePath, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_ICONLOCATION);
  const int oldImage = info.iIcon;

  // Written without the terminator, like every string value of this package.
  RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(valueLength));
  key.reset();
  TrackedLetters[letter - 'A'] = static_cast<BYTE>(letter);

  RefreshDrivesFolder();
  UpdateShellImage(oldFile, oldIndex, oldImage);
}

int GetDriveIconLocation(LPCSTR drivePath, LPSTR iconFile, UINT size) {
  int result = -1;
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr) return -1;
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || desktop == nullptr) {
    allocator->Release();
    return -1;
  }

  LPITEMIDLIST myComputer = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &myComputer)) && myComputer != nullptr) {
    IShellFolder* drives = nullptr;
    if (SUCCEEDED(desktop->BindToObject(myComputer, nullptr, kIidShellFolder, reinterpret_cast<void**>(&drives))) &&
        drives != nullptr) {
      WCHAR widePath[kIconFileChars];
      ToWide(widePath, drivePath, kIconFileChars);
      LPITEMIDLIST item = nullptr;
      ULONG eaten = 0;
      if (SUCCEEDED(drives->ParseDisplayName(nullptr, nullptr, widePath, &eaten, &item, nullptr)) &&
          item != nullptr) {
        IExtractIconA* extractor = nullptr;
        LPCITEMIDLIST items[1] = {item};
        if (SUCCEEDED(drives->GetUIObjectOf(nullptr, 1, items, kIidExtractIconA,
                                            nullptr, reinterpret_cast<void**>(&extractor))) &&
            extractor != nullptr) {
          UINT flags = 0;
          if (FAILED(extractor->GetIconLocation(0, iconFile, size, &result, &flags)) ||
              (flags & GIL_NOTFILENAME) != 0)
            result = -1;
          extractor->Release();
        }
      }
      if (item != nullptr) allocator->Free(item);
      drives->Release();
    }
  }
  allocator->Free(myComputer);
  desktop->Release();
  allocator->Release();
  return result;
}

void RefreshDrivesFolder() {
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || desktop == nullptr) return;
  LPITEMIDLIST myComputer = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &myComputer)) || myComputer == nullptr) {
    desktop->Release();
    return;
  }
  IShellFolder* drives = nullptr;
  desktop->BindToObject(myComputer, nullptr, kIidShellFolder, reinterpret_cast<void**>(&drives));
  if (drives != nullptr) {
    SFGAOF attributes = SFGAO_VALIDATE;
    drives->GetAttributesOf(0, nullptr, &attributes);
    drives->Release();
  }
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
    allocator->Free(myComputer);
    allocator->Release();
  }
  desktop->Release();
}

void UpdateShellImage(LPCSTR iconFile, int iconIndex, int imageIndex) {
  if (iconFile == nullptr || iconFile[0] == 0) return;
  HMODULE shell32 = LoadLibraryA(kShell32);
  if (shell32 == nullptr) return;
  FARPROC proc = GetProcAddress(shell32, kUpdateImageName);
  if (proc == nullptr) proc = GetProcAddress(shell32, MAKEINTRESOURCEA(kUpdateImageOrdinal));
  if (proc == nullptr) {
    FreeLibrary(shell32);
    return;
  }
  const UpdateImageProc updateImage = reinterpret_cast<UpdateImageProc>(reinterpret_cast<void (*)()>(proc));

  CHAR file[kIconFileChars];
  lstrcpynA(file, iconFile, kIconFileChars);
  int length = lstrlenA(file);
  if (length > 0 && file[length - 1] == '\\') file[--length] = 0;
  // The hash item is the last path component; a backslash in the first
  // position is never taken as a separator.
  LPCSTR name = file;
  for (int i = length - 1; i >= 1; --i) {
    if (file[i] == '\\') {
      name = file + i + 1;
      break;
    }
  }
  updateImage(name, iconIndex, 0, imageIndex);
  FreeLibrary(shell32);
}

int ToWide(LPWSTR destination, LPCSTR source, int size) {
  destination[0] = 0;
  // A text that does not fit fails the conversion and may leave a cut,
  // unterminated copy behind: make it empty instead.
  if (MultiByteToWideChar(CP_ACP, 0, source, -1, destination, size) == 0) destination[0] = 0;
  return lstrlenW(destination);
}
