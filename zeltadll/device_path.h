// The device interface paths that SetupAPI returns, and the registry key
// names derived from them. A USB device path has four '#'-separated fields:
//   \\?\usb#vid_0abc&pid_1234#0123abc#{a5dcbf10-6530-11d2-901f-00c04fb951ed}
// prefix and enumerator, vendor/product, the instance's own text (serial
// number, or a system-made id containing '&'), interface class. Disk paths
// have the same four fields. Every search here is case-sensitive unless said.
#pragma once

#include "text.h"

#include <windows.h>

struct UsbIds {
  WORD vendorId;
  WORD productId;
};

// The instance text (between the '#' that ends "_pppp#" and the next '#')
// when the path holds "_vvvv&" and, at or after it, "_pppp#", with the ids as
// four lower-case hexadecimal digits; else empty.
TextView MatchVendorProduct(const char* path, WORD vendorId, WORD productId);

// The four characters after the first "vid_" and after the first "pid_" that
// follows it, found without regard to case and read as hexadecimal without
// validation (c - '0' up to '9', c - 'a' + 10 above). An id whose marker is
// missing, or has fewer than four characters after it, is 0.
UsbIds ParseVendorProduct(const char* path);

// The text between the second and the third '#'; empty without a third.
TextView ExtractUniqueId(const char* path);

// "System\CurrentControlSet\Enum\" and the path without its first four
// characters, cut before its last '#' (nothing left without one), '#' made
// '\'. False only when the heap is exhausted.
bool EnumKeyOfDevicePath(const char* path, HeapText* key);

// "SYSTEM\CurrentControlSet\Enum" and the path without its first three
// characters, cut before the third '#' of that rest (kept whole with fewer),
// '#' made '\'. For a path of the system's form this names the same key as
// EnumKeyOfDevicePath. False only when the heap is exhausted.
bool OwnEnumKeyOfDevicePath(const char* path, HeapText* key);
