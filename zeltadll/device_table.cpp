#include "device_table.h"

#include <cstdint>

// Callers read records through pointers: the layout is part of the interface.
// The 32-bit library, the product:
static_assert(sizeof(void*) != 4 || sizeof(DeviceRecord) == 36, "x86 DeviceRecord is 36 bytes");
static_assert(sizeof(void*) != 4 || alignof(DeviceRecord) == 4, "x86 DeviceRecord is 4-byte aligned");
static_assert(sizeof(void*) != 4 || offsetof(DeviceRecord, uniqueId) == 12, "x86 uniqueId at 12");
static_assert(sizeof(void*) != 4 || offsetof(DeviceRecord, childMatchId) == 16, "x86 childMatchId at 16");
static_assert(sizeof(void*) != 4 || offsetof(DeviceRecord, parentIdPrefix) == 20, "x86 parentIdPrefix at 20");
static_assert(sizeof(void*) != 4 || offsetof(DeviceRecord, devicePath) == 24, "x86 devicePath at 24");
static_assert(sizeof(void*) != 4 || offsetof(DeviceRecord, driverSlotName) == 28, "x86 driverSlotName at 28");
static_assert(sizeof(void*) != 4 || offsetof(DeviceRecord, driverSlotValue) == 32, "x86 driverSlotValue at 32");
// The 64-bit twin, with the natural layout that zeltadll.h states:
static_assert(sizeof(void*) != 8 || sizeof(DeviceRecord) == 64, "x64 DeviceRecord is 64 bytes");
static_assert(sizeof(void*) != 8 || offsetof(DeviceRecord, uniqueId) == 16, "x64 uniqueId at 16");
static_assert(sizeof(void*) != 8 || offsetof(DeviceRecord, childMatchId) == 24, "x64 childMatchId at 24");
static_assert(sizeof(void*) != 8 || offsetof(DeviceRecord, parentIdPrefix) == 32, "x64 parentIdPrefix at 32");
static_assert(sizeof(void*) != 8 || offsetof(DeviceRecord, devicePath) == 40, "x64 devicePath at 40");
static_assert(sizeof(void*) != 8 || offsetof(DeviceRecord, driverSlotName) == 48, "x64 driverSlotName at 48");
static_assert(sizeof(void*) != 8 || offsetof(DeviceRecord, driverSlotValue) == 56, "x64 driverSlotValue at 56");
// The same in every build:
static_assert(offsetof(DeviceRecord, driveMap) == 0 && sizeof(DeviceRecord::driveMap) == 8, "driveMap");
static_assert(sizeof(DriveMapEntry) == 2 && offsetof(DriveMapEntry, letter) == 1, "DriveMapEntry");
static_assert(offsetof(DeviceRecord, vendorId) == 8 && offsetof(DeviceRecord, productId) == 10, "ids");
static_assert(sizeof(DescriptorRequestBlock) == 12 && offsetof(DescriptorRequestBlock, descriptorIndex) == 4 &&
                  offsetof(DescriptorRequestBlock, descriptorType) == 5 &&
                  offsetof(DescriptorRequestBlock, languageId) == 6 && offsetof(DescriptorRequestBlock, reserved) == 8,
              "DescriptorRequestBlock");
static_assert(sizeof(SetupRequestBlock) == 12 && offsetof(SetupRequestBlock, bmRequestType) == 4 &&
                  offsetof(SetupRequestBlock, bRequest) == 5 && offsetof(SetupRequestBlock, wValue) == 6 &&
                  offsetof(SetupRequestBlock, wIndex) == 8 && offsetof(SetupRequestBlock, wLength) == 10,
              "SetupRequestBlock");

namespace {

// Every empty driverSlotName points here; it is never freed.
const char kNoText[] = "";

// Each record's four identity strings share one heap block, uniqueId first
// (it is never empty), so the block's address is the record's uniqueId.
void FreeStrings(DeviceRecord& record) {
  std::free(const_cast<char*>(record.uniqueId));
  if (record.driverSlotName != kNoText) std::free(const_cast<char*>(record.driverSlotName));
}

char* CopyInto(char* out, TextView text, const char** field) {
  std::memcpy(out, text.data, text.size);
  out[text.size] = '\0';
  *field = out;
  return out + text.size + 1;
}

DeviceTable g_devices;

}  // namespace

DeviceTable& Devices() { return g_devices; }

void DeviceTable::Empty() {
  for (DeviceRecord& record : *this) FreeStrings(record);
  count_ = 0;
}

void DeviceTable::Release() {
  Empty();
  std::free(records_);
  records_ = nullptr;
  capacity_ = 0;
}

bool DeviceTable::Append(const NewDeviceRecord& fields) {
  if (count_ == capacity_) {
    const std::size_t capacity = capacity_ == 0 ? 4 : capacity_ * 2;
    void* grown = std::realloc(records_, capacity * sizeof(DeviceRecord));
    if (grown == nullptr) return false;
    records_ = static_cast<DeviceRecord*>(grown);
    capacity_ = capacity;
  }
  const std::size_t bytes = fields.uniqueId.size + fields.childMatchId.size + fields.parentIdPrefix.size +
                            fields.devicePath.size + 4;
  char* block = static_cast<char*>(std::malloc(bytes));
  if (block == nullptr) return false;

  DeviceRecord& record = records_[count_];
  for (std::size_t i = 0; i < ZELTA_DRIVEMAP_ENTRIES; ++i) {
    record.driveMap[i].position = ZELTA_DRIVEMAP_UNUSED;
    record.driveMap[i].letter = ZELTA_DRIVEMAP_UNUSED;
  }
  record.vendorId = fields.vendorId;
  record.productId = fields.productId;
  char* next = CopyInto(block, fields.uniqueId, &record.uniqueId);
  next = CopyInto(next, fields.childMatchId, &record.childMatchId);
  next = CopyInto(next, fields.parentIdPrefix, &record.parentIdPrefix);
  CopyInto(next, fields.devicePath, &record.devicePath);
  record.driverSlotName = kNoText;
  record.driverSlotValue = 0;
  ++count_;
  return true;
}

DeviceRecord* DeviceTable::FindByUniqueId(TextView id) {
  for (DeviceRecord& record : *this)
    if (TextView(record.uniqueId) == id) return &record;
  return nullptr;
}

const DeviceRecord* DeviceTable::Next(const DeviceRecord* record) const {
  if (count_ == 0) return nullptr;
  if (record == nullptr) return records_;
  // The caller's pointer may point anywhere: compare addresses as numbers.
  const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(records_);
  const std::uintptr_t next = reinterpret_cast<std::uintptr_t>(record) + sizeof(DeviceRecord);
  if (next < first || next >= first + count_ * sizeof(DeviceRecord)) return nullptr;
  if ((next - first) % sizeof(DeviceRecord) != 0) return nullptr;
  return records_ + (next - first) / sizeof(DeviceRecord);
}

bool DeviceTable::BindSlot(DeviceRecord& record, const char* name, DWORD value) {
  const std::size_t size = std::strlen(name);
  const char* copy = kNoText;
  if (size != 0) {
    char* text = static_cast<char*>(std::malloc(size + 1));
    if (text == nullptr) return false;
    std::memcpy(text, name, size + 1);
    copy = text;
  }
  if (record.driverSlotName != kNoText) std::free(const_cast<char*>(record.driverSlotName));
  record.driverSlotName = copy;
  record.driverSlotValue = value;
  return true;
}

void WcharToAnsiChar(void* buffer) {
  BYTE* bytes = static_cast<BYTE*>(buffer);
  // Byte i is written only after unit i (bytes 2i and 2i+1) has been read,
  // and i <= 2i, so no unit is overwritten before it is read.
  std::size_t n = 0;
  while (bytes[2 * n] != 0 || bytes[2 * n + 1] != 0) {
    bytes[n] = bytes[2 * n];
    ++n;
  }
  bytes[n] = 0;
}

extern "C" int WINAPIV zeltaGetVersion(void) { return ZELTA_VERSION; }

extern "C" const DeviceRecord* WINAPIV zeltaGetDriveMap(const DeviceRecord* record) {
  return Devices().Next(record);
}
