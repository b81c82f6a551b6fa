// The maker's driver \\.\ZELTA as the host tests stand it in: scripts of
// exact requests (hostwin's ScriptedDevice) for what must be sent in which
// order, and a small driver with state for runs whose requests depend on
// which call was made to fail.
#pragma once

#include "driver_link.h"
#include "search.h"

#include <hostwin/control.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace zelta {

constexpr char kLinkName[] = "\\\\.\\ZELTA";
constexpr BYTE kMarker = 0xBD;

using Script = hostwin::devices::ScriptedDevice;

inline std::vector<BYTE> Le32(DWORD v) {
  return {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 24)};
}

// 8-bit text as UTF-16LE units with the terminating zero unit.
inline std::vector<BYTE> Utf16(const std::string& text) {
  std::vector<BYTE> out;
  for (const char c : text) {
    out.push_back(static_cast<BYTE>(c));
    out.push_back(0);
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

inline std::shared_ptr<Script> InstallScript() {
  auto driver = std::make_shared<Script>();
  hostwin::devices::Install(kLinkName, driver);
  return driver;
}

// The requests of one slot that the driver serves: its name, then its value.
inline void ServeSlot(Script& driver, BYTE slot, const std::vector<BYTE>& name, DWORD value) {
  Script::Step& nameStep = driver.Expect(IOCTL_ZELTA_GET_SLOT_NAME, {slot}, kSlotNameBytes);
  nameStep.output = name;
  nameStep.bytesReturned = static_cast<DWORD>(name.size());
  Script::Step& valueStep = driver.Expect(IOCTL_ZELTA_GET_SLOT_VALUE, {slot}, 4);
  valueStep.output = Le32(value);
  valueStep.bytesReturned = 4;
}

inline void ServeSlot(Script& driver, BYTE slot, const std::string& name, DWORD value) {
  ServeSlot(driver, slot, Utf16(name), value);
}

// The name request for slot fails: the driver serves no more slots.
inline void EndSlots(Script& driver, BYTE slot) {
  driver.Expect(IOCTL_ZELTA_GET_SLOT_NAME, {slot}, kSlotNameBytes).succeed = false;
}

inline void ExpectLock(Script& driver, DWORD device) {
  driver.Expect(IOCTL_ZELTA_SELECT_DEVICE, Le32(device), 0);
  driver.Expect(IOCTL_ZELTA_LOCK, Le32(device), 0);
}

// A driver with state: slots with names and values, a selected device, the
// locked devices, and an answer for every request of a locked device. Its
// rules are the simulated maker driver's, for the one handle the library
// holds: lock needs a select of that number, every command needs the lock,
// closing the handle drops the locks.
class StatefulDriver : public hostwin::devices::Device {
 public:
  struct Slot {
    std::string name;
    DWORD value;
  };
  explicit StatefulDriver(std::vector<Slot> slots) : slots_(std::move(slots)) {}

  void Close() override {
    locked_.clear();
    selected_ = false;
  }

  bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* bytesReturned,
               DWORD* error) override {
    const BYTE* input = static_cast<const BYTE*>(in);
    BYTE* output = static_cast<BYTE*>(out);
    *error = ERROR_GEN_FAILURE;
    if (code == IOCTL_ZELTA_GET_SLOT_NAME || code == IOCTL_ZELTA_GET_SLOT_VALUE) {
      if (inSize != 1 || input[0] >= slots_.size()) return false;
      const Slot& slot = slots_[input[0]];
      const std::vector<BYTE> data = code == IOCTL_ZELTA_GET_SLOT_NAME ? Utf16(slot.name) : Le32(slot.value);
      return Answer(data, output, outSize, bytesReturned);
    }
    if (inSize < 4) return false;
    DWORD device;
    std::memcpy(&device, input, 4);
    if (!Serves(device)) return false;
    switch (code) {
      case IOCTL_ZELTA_SELECT_DEVICE:
        selected_ = true;
        selectedDevice_ = device;
        return true;
      case IOCTL_ZELTA_LOCK:
        if (!selected_ || selectedDevice_ != device) return false;
        locked_.insert(device);
        return true;
      case IOCTL_ZELTA_UNLOCK:
        return locked_.erase(device) == 1;
      default:
        break;
    }
    if (locked_.count(device) == 0) return false;
    switch (code) {
      case IOCTL_ZELTA_GET_DESCRIPTOR:
        return Answer({10, 3, 'S', 0, 'N', 0, '0', 0, '1', 0}, output, outSize, bytesReturned);
      case IOCTL_ZELTA_VENDOR_REQUEST:
      case IOCTL_ZELTA_BULK_0:
      case IOCTL_ZELTA_BULK_1:
      case IOCTL_ZELTA_STANDARD_REQUEST:
        if (outSize != 0) std::memset(output, 0x5A, outSize);
        *bytesReturned = outSize;
        return true;
      case IOCTL_ZELTA_GET_INTERFACE_INFO:
        return Answer(std::vector<BYTE>(28, 0x28), output, outSize, bytesReturned);
      default:
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
  }

 private:
  bool Serves(DWORD device) const {
    for (const Slot& slot : slots_)
      if (slot.value == device) return true;
    return false;
  }
  static bool Answer(const std::vector<BYTE>& data, BYTE* out, DWORD outSize, DWORD* bytesReturned) {
    if (outSize < data.size() || out == nullptr) return false;
    std::memcpy(out, data.data(), data.size());
    *bytesReturned = static_cast<DWORD>(data.size());
    return true;
  }

  std::vector<Slot> slots_;
  bool selected_ = false;
  DWORD selectedDevice_ = 0;
  std::set<DWORD> locked_;
};

}  // namespace zelta
