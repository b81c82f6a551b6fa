// The library's one table of found devices, and the in-place wide-to-narrow
// conversion that the search phases apply to registry data and driver names.
#pragma once

#include "text.h"
#include "zeltadll.h"

#include <cstddef>

// What a new record is built from; the table copies every string.
struct NewDeviceRecord {
  WORD vendorId = 0;
  WORD productId = 0;
  TextView uniqueId;
  TextView childMatchId;
  TextView parentIdPrefix;
  TextView devicePath;
};

// The process-global array of DeviceRecord, contiguous, in discovery order.
// Records and their strings belong to the table; callers outside the library
// get pointers to them through zeltaGetDriveMap, valid until the next Empty()
// (a search) or Release() (unload). While records are appended the array may
// move. No lock: the library's callers make one call at a time.
class DeviceTable {
 public:
  // Destroys every record and its strings; the array's storage stays.
  void Empty();
  // Empty() and the storage freed too: what unloading the library does.
  void Release();
  // Appends a copy at the end. False, with the table unchanged, when the heap
  // is exhausted.
  bool Append(const NewDeviceRecord& record);
  // The record whose uniqueId equals id byte for byte, or null.
  DeviceRecord* FindByUniqueId(TextView id);
  // The record that follows record in the table: what zeltaGetDriveMap walks.
  const DeviceRecord* Next(const DeviceRecord* record) const;
  // Replaces the record's driver slot binding with a copy of name and value.
  // False, with the record unchanged, when the heap is exhausted.
  bool BindSlot(DeviceRecord& record, const char* name, DWORD value);

  std::size_t size() const { return count_; }
  DeviceRecord* begin() { return records_; }
  DeviceRecord* end() { return records_ + count_; }

 private:
  DeviceRecord* records_ = nullptr;
  std::size_t count_ = 0;
  std::size_t capacity_ = 0;
};

// The table of the process: empty when the library is loaded, released when
// it is unloaded.
DeviceTable& Devices();

// Rewrites the NUL-terminated 16-bit little-endian string at buffer as 8-bit
// text in place: unit i's low byte goes to byte i, then a zero byte. Bytes
// after that keep their old contents. The caller guarantees a zero unit
// inside the buffer.
void WcharToAnsiChar(void* buffer);
