// Drive icon registration and shell refresh: a drive letter gets the icon of a
// card slot through a volatile DriveIcons key, or loses it again, and the shell
// is told to look at My Computer and the drive's old icon image anew.
#pragma once

#include <windows.h>

constexpr int kDriveLetters = 26;            // A to Z
constexpr UINT kWindowsDirChars = 30;        // the directory and its terminator
constexpr UINT kIconFileChars = 60;          // icon file names and DriveIcons values
constexpr UINT kDriveIconKeyChars = 76;      // the key path and its terminator
constexpr int kDriveIconKeyLetterAt = 62;

// Process globals, zero at start.
// TrackedLetters[letter - 'A'] holds the letter while this process has an icon
// registered for the drive; SetDriveIcon is its only writer.
extern BYTE TrackedLetters[kDriveLetters];
// Slot code (2 to 6) of the unit classified last; SetDriveIcon registers its icon.
extern BYTE CurrentSlotCode;
// The Windows directory, at most 29 characters, filled once at start-up.
extern CHAR WindowsDir[kWindowsDirChars];

// The program's own file as the DriveIcons values name it:
// WindowsDir + "\brelmot.exe".
void BuildProgramFilePath(CHAR (&path)[kIconFileChars]);
// "X:\" for the letter.
void BuildDrivePath(CHAR letter, CHAR (&path)[4]);

// clear == 0 registers the icon of CurrentSlotCode for the letter; otherwise
// the letter's registration is removed. Letters outside A to Z are ignored.
void SetDriveIcon(CHAR letter, BYTE clear);
// Writes the file of the icon the shell shows for the drive into iconFile and
// returns its index; -1 when the query fails (iconFile then keeps what it
// held) or when the shell's answer is not a file name.
int GetDriveIconLocation(LPCSTR drivePath, LPSTR iconFile, UINT size);
// Has the shell revalidate the My Computer folder.
void RefreshDrivesFolder();
// Tells the shell that the image of iconFile,iconIndex (system image index
// imageIndex) has changed, through shell32's SHUpdateImageA.
void UpdateShellImage(LPCSTR iconFile, int iconIndex, int imageIndex);
// ANSI to UTF-16 with the system code page; returns the converted length.
int ToWide(LPWSTR destination, LPCSTR source, int size);
