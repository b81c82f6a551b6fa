#include "interface_set.h"

#include <cstdlib>

InterfacePath::~InterfacePath() { std::free(detail_); }

bool InterfacePath::Read(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data) {
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &required, nullptr);
  if (required == 0) return false;
  // A short path can need fewer bytes than the record's own size (8 in a
  // 64-bit build); the buffer always holds the whole record.
  DWORD size = required;
  if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + 1) size = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + 1;
  void* buffer = std::calloc(1, size);
  if (buffer == nullptr) return false;
  std::free(detail_);
  detail_ = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
  detail_->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (!SetupDiGetDeviceInterfaceDetailA(set, data, detail_, size, nullptr, nullptr)) {
    std::free(detail_);
    detail_ = nullptr;
    return false;
  }
  // The path ends inside the buffer even if the answer did not.
  static_cast<char*>(buffer)[size - 1] = '\0';
  return true;
}

const char* InterfacePath::c_str() const { return detail_ != nullptr ? detail_->DevicePath : ""; }
