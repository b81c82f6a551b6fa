#include "report.h"

namespace zeltainfo {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Which call a status answers: the same status means different things to
// the search, the lock, the read and the unlock.
enum class Call { kSearch, kLock, kRead, kUnlock };

struct StatusNameRow {
  std::uint32_t status;
  const char* name;
};

constexpr StatusNameRow kStatusNames[] = {
    {ZELTA_OK, "ZELTA_OK"},
    {ZELTA_E_INVALIDARG, "ZELTA_E_INVALIDARG"},
    {ZELTA_E_NODEVICE, "ZELTA_E_NODEVICE"},
    {ZELTA_E_SELECT, "ZELTA_E_SELECT"},
    {ZELTA_E_DESCRIPTOR, "ZELTA_E_DESCRIPTOR"},
    {ZELTA_E_LOCK, "ZELTA_E_LOCK"},
    {ZELTA_E_OPEN, "ZELTA_E_OPEN"},
    {ZELTA_E_VENDOR, "ZELTA_E_VENDOR"},
    {ZELTA_E_BULKIO, "ZELTA_E_BULKIO"},
    {ZELTA_E_INTERFACE, "ZELTA_E_INTERFACE"},
    {ZELTA_E_REQUEST, "ZELTA_E_REQUEST"},
};

struct StatusWordsRow {
  Call call;
  std::uint32_t status;
  const char* words;
};

// What each status that a call is documented to return means there.
constexpr StatusWordsRow kStatusWords[] = {
    {Call::kSearch, ZELTA_OK, "Devices found; the driver \\\\.\\ZELTA was asked for its slots."},
    {Call::kSearch, ZELTA_E_NODEVICE,
     "No USB device of these ids is present, or no disk could be read. Devices found, if any, are listed "
     "without driver slots."},
    {Call::kSearch, ZELTA_E_OPEN,
     "The driver \\\\.\\ZELTA is not there (not installed or not started). The devices found are listed with "
     "their drive letters, without driver slots."},
    {Call::kLock, ZELTA_OK, "Device locked; the driver link \\\\.\\ZELTA is open."},
    {Call::kLock, ZELTA_E_NODEVICE, "The driver \\\\.\\ZELTA cannot be opened (not installed or not started)."},
    {Call::kLock, ZELTA_E_SELECT, "The driver does not know this device number; the link is closed again."},
    {Call::kLock, ZELTA_E_LOCK,
     "The driver refused the lock (another program may hold the device); the link is closed again."},
    {Call::kRead, ZELTA_OK, "Serial number read."},
    {Call::kRead, ZELTA_E_INVALIDARG, "The library refused the buffer."},
    {Call::kRead, ZELTA_E_DESCRIPTOR, "The device has no serial number, or the request failed."},
    {Call::kUnlock, ZELTA_OK, "Device unlocked; the driver link is closed."},
    {Call::kUnlock, ZELTA_E_NODEVICE, "No lock held the driver link."},
    {Call::kUnlock, ZELTA_E_LOCK, "The driver refused the unlock; the link stays open until zeltainfo ends."},
};

const char* StatusWords(Call call, std::uint32_t status) {
  for (const StatusWordsRow& row : kStatusWords)
    if (row.call == call && row.status == status) return row.words;
  return StatusName(status) != nullptr ? "A status this call is not documented to return."
                                       : "Not a status of zeltadll.";
}

// "0x" and the shortest hex form.
Writer& Number(Writer& out, std::uint32_t value) { return out.Text("0x").Hex(value, 1); }

// "ZELTA_OK (0x00000000)"; "0x12345678" alone for an unknown status.
Writer& Status(Writer& out, std::uint32_t status) {
  const char* name = StatusName(status);
  if (name == nullptr) return Number(out, status).Text(" (unknown)");
  return out.Text(name).Text(" (0x").Hex(status, 8).Put(')');
}

Writer& Plural(Writer& out, std::size_t n, const char* one, const char* many) {
  return out.Dec(static_cast<std::uint32_t>(n)).Put(' ').Text(n == 1 ? one : many);
}

// The used entries at the front of a record's drive map.
int UsedDrives(const DeviceRecord& record) {
  int n = 0;
  while (n < ZELTA_DRIVEMAP_ENTRIES && record.driveMap[n].position != ZELTA_DRIVEMAP_UNUSED) ++n;
  return n;
}

bool HasSlot(const DeviceRecord& record) {
  return record.driverSlotName != nullptr && record.driverSlotName[0] != '\0';
}

// A label and its text on a line of their own; empty text as "none".
void Field(Writer& out, const char* label, const char* text) {
  out.Text(label);
  if (text != nullptr && text[0] == '\0')
    out.Text("none");
  else
    out.Shown(text);
  out.Put('\n');
}

void DeviceText(Writer& out, std::size_t index, const DeviceRecord& r, bool verbose) {
  out.Text("Device ").Dec(static_cast<std::uint32_t>(index + 1)).Text(": ");
  out.Hex(r.vendorId, 4).Put(':').Hex(r.productId, 4).Text(", unique id ").Shown(r.uniqueId).Put('\n');
  out.Text("  drives:           ");
  const int drives = UsedDrives(r);
  if (drives == 0) out.Text("none");
  for (int i = 0; i < drives; ++i) {
    if (i > 0) out.Put(' ');
    const char letter[2] = {static_cast<char>(r.driveMap[i].letter), '\0'};
    out.Shown(letter).Put(':');
  }
  out.Put('\n');
  if (HasSlot(r)) {
    out.Text("  driver slot:      ").Shown(r.driverSlotName).Put('\n');
    out.Text("  slot value:       ");
    Number(out, r.driverSlotValue).Text(" (").Dec(r.driverSlotValue).Text(")\n");
  } else {
    out.Text("  driver slot:      none\n");
  }
  if (!verbose) return;
  Field(out, "  device path:      ", r.devicePath);
  Field(out, "  child match id:   ", r.childMatchId);
  Field(out, "  parent id prefix: ", r.parentIdPrefix);
}

void LibraryText(Writer& out, const LibraryInfo& library) {
  out.Text("Library: ").Shown(library.path).Text(", version ");
  if (library.version < 0) out.Put('-');
  out.Dec(library.version < 0 ? 0u - static_cast<std::uint32_t>(library.version)
                              : static_cast<std::uint32_t>(library.version));
  out.Put('\n');
}

// JSON numbers of the library's int.
Writer& JsonInt(Writer& out, int value) {
  if (value < 0) out.Put('-');
  return out.Dec(value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value));
}

void LibraryJson(Writer& out, const LibraryInfo& library) {
  out.Text("{\n  \"zeltainfo\": ").Dec(kJsonFormat).Text(",\n");
  out.Text("  \"library\": {\"path\": ").JsonString(library.path).Text(", \"version\": ");
  JsonInt(out, library.version).Text("},\n");
}

Writer& StatusJson(Writer& out, Call call, std::uint32_t status) {
  out.Text("\"status\": ").Dec(status).Text(", \"statusName\": ").JsonString(StatusName(status));
  return out.Text(", \"statusText\": ").JsonString(StatusWords(call, status));
}

void DeviceJson(Writer& out, const DeviceRecord& r) {
  out.Text("    {\n      \"vendorId\": ").Dec(r.vendorId).Text(",\n      \"productId\": ").Dec(r.productId);
  out.Text(",\n      \"uniqueId\": ").JsonString(r.uniqueId).Text(",\n      \"drives\": [");
  const int drives = UsedDrives(r);
  for (int i = 0; i < drives; ++i) {
    const char letter[2] = {static_cast<char>(r.driveMap[i].letter), '\0'};
    out.Text(i > 0 ? ", " : "").JsonString(letter);
  }
  out.Text("],\n      \"driverSlotName\": ").JsonString(r.driverSlotName);
  out.Text(",\n      \"driverSlotValue\": ").Dec(r.driverSlotValue);
  out.Text(",\n      \"devicePath\": ").JsonString(r.devicePath);
  out.Text(",\n      \"childMatchId\": ").JsonString(r.childMatchId);
  out.Text(",\n      \"parentIdPrefix\": ").JsonString(r.parentIdPrefix).Text("\n    }");
}

std::size_t DescriptorLength(const SerialResult& serial) { return serial.descriptor[0]; }

void StepText(Writer& out, const char* call, const SerialResult& serial, const char* flag, const Step& step,
              Call kind) {
  out.Text(call).Put('(');
  Number(out, serial.device).Text(flag).Text("): ");
  if (!step.called) {
    out.Text("not called, no lock\n");
    return;
  }
  Status(out, step.status).Text("\n  ").Text(StatusWords(kind, step.status)).Put('\n');
}

void StepJson(Writer& out, const char* name, const Step& step, Call kind, bool last) {
  out.Text("    \"").Text(name).Text("\": ");
  if (!step.called) {
    out.Text("null");
  } else {
    out.Put('{');
    StatusJson(out, kind, step.status).Put('}');
  }
  out.Text(last ? "\n" : ",\n");
}

// The serial number's UTF-16LE units, each through put(out, unit, low, high)
// where low and high tell a surrogate pair's halves; a lone half is neither.
template <typename PutUnit>
void ForEachUnit(const SerialResult& serial, PutUnit put) {
  const std::size_t length = DescriptorLength(serial);
  const unsigned char* d = serial.descriptor;
  std::uint32_t units[kDescriptorBytes / 2];
  std::size_t n = 0;
  for (std::size_t i = 2; i + 1 < length; i += 2) units[n++] = d[i] | static_cast<std::uint32_t>(d[i + 1]) << 8;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t u = units[i];
    const bool high = u >= 0xD800 && u <= 0xDBFF;
    const bool low = u >= 0xDC00 && u <= 0xDFFF;
    if (high && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      put(u, true);
      put(units[++i], true);
    } else {
      put(u, !(high || low));
    }
  }
}

}  // namespace

Writer& Writer::Put(char c) {
  if (used_ == kBufferSize) Flush();
  buffer_[used_++] = c;
  return *this;
}

Writer& Writer::Text(const char* text) {
  while (*text != '\0') Put(*text++);
  return *this;
}

Writer& Writer::Dec(std::uint32_t value) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) Put(digits[--n]);
  return *this;
}

Writer& Writer::Hex(std::uint32_t value, int digits) {
  int n = 8;
  while (n > digits && n > 1 && (value >> (4 * (n - 1))) == 0) --n;
  while (n > 0) Put(kHexDigits[(value >> (4 * --n)) & 0xF]);
  return *this;
}

Writer& Writer::Shown(const char* text) {
  if (text == nullptr) return Text("(null)");
  for (; *text != '\0'; ++text) {
    const unsigned char c = static_cast<unsigned char>(*text);
    if (c < 0x20 || c == 0x7F)
      Text("\\x").Hex(c, 2);
    else
      Put(*text);
  }
  return *this;
}

Writer& Writer::JsonString(const char* text) {
  if (text == nullptr) return Text("null");
  Put('"');
  for (; *text != '\0'; ++text) {
    const unsigned char c = static_cast<unsigned char>(*text);
    switch (c) {
      case '"': Text("\\\""); break;
      case '\\': Text("\\\\"); break;
      case '\b': Text("\\b"); break;
      case '\f': Text("\\f"); break;
      case '\n': Text("\\n"); break;
      case '\r': Text("\\r"); break;
      case '\t': Text("\\t"); break;
      default:
        if (c < 0x20 || c >= 0x7F)
          Text("\\u").Hex(c, 4);
        else
          Put(*text);
    }
  }
  return Put('"');
}

void Writer::Flush() {
  if (used_ > 0) sink_(context_, buffer_, used_);
  used_ = 0;
}

void CollectRecords(PFN_zeltaGetDriveMap next, const DeviceRecord** records, SearchResult& result) {
  result.records = records;
  result.count = 0;
  result.truncated = false;
  for (const DeviceRecord* r = next(nullptr); r != nullptr; r = next(r)) {
    if (result.count == kMaxRecords) {
      result.truncated = true;
      break;
    }
    records[result.count++] = r;
  }
}

bool IsStringDescriptor(const SerialResult& serial) {
  return serial.read.called && serial.read.status == ZELTA_OK && DescriptorLength(serial) >= 2 &&
         serial.descriptor[1] == 3;
}

int ListExitCode(const SearchResult& search) { return search.count > 0 ? kExitFound : kExitNone; }

int SerialExitCode(const SerialResult& serial) {
  const bool unlocked = serial.unlock.called && serial.unlock.status == ZELTA_OK;
  return serial.lock.status == ZELTA_OK && IsStringDescriptor(serial) && unlocked ? kExitFound : kExitNone;
}

const char* StatusName(std::uint32_t status) {
  for (const StatusNameRow& row : kStatusNames)
    if (row.status == status) return row.name;
  return nullptr;
}

void WriteListText(Writer& out, const LibraryInfo& library, const SearchResult& search, bool verbose) {
  if (verbose) LibraryText(out, library);
  out.Text("Search for ");
  if (search.vendorId == 0 && search.productId == 0)
    out.Text("every USB device");
  else
    out.Hex(search.vendorId, 4).Put(':').Hex(search.productId, 4);
  out.Text(": ");
  Status(out, search.status).Text("\n  ").Text(StatusWords(Call::kSearch, search.status)).Text("\n\n");
  for (std::size_t i = 0; i < search.count; ++i) DeviceText(out, i, *search.records[i], verbose);
  if (search.truncated) {
    out.Text("The library's list of records did not end after ");
    out.Dec(static_cast<std::uint32_t>(kMaxRecords)).Text(" records; the rest is not shown.\n");
  }
  if (search.count > 0) out.Put('\n');
  if (search.count == 0)
    out.Text("No device found.\n");
  else
    Plural(out, search.count, "device found.\n", "devices found.\n");
}

void WriteListJson(Writer& out, const LibraryInfo& library, const SearchResult& search) {
  LibraryJson(out, library);
  out.Text("  \"search\": {\"vendorId\": ").Dec(search.vendorId).Text(", \"productId\": ").Dec(search.productId);
  out.Text(", ");
  StatusJson(out, Call::kSearch, search.status);
  out.Text(", \"truncated\": ").Text(search.truncated ? "true" : "false").Text("},\n");
  out.Text("  \"devices\": [");
  for (std::size_t i = 0; i < search.count; ++i) {
    out.Text(i > 0 ? ",\n" : "\n");
    DeviceJson(out, *search.records[i]);
  }
  out.Text(search.count > 0 ? "\n  ]\n}\n" : "]\n}\n");
}

void WriteSerialText(Writer& out, const LibraryInfo& library, const SerialResult& serial, bool verbose) {
  if (verbose) LibraryText(out, library);
  StepText(out, "zeltaLockUnlock", serial, ", 1", serial.lock, Call::kLock);
  StepText(out, "zeltaGetSerialNumber", serial, "", serial.read, Call::kRead);
  if (serial.read.called && serial.read.status == ZELTA_OK) {
    out.Text("  serial number: ");
    if (IsStringDescriptor(serial)) {
      ForEachUnit(serial, [&out](std::uint32_t unit, bool) {
        if (unit >= 0x20 && unit < 0x7F)
          out.Put(static_cast<char>(unit));
        else
          out.Text("\\u").Hex(unit, 4);
      });
    } else {
      out.Text("none, the answer is no string descriptor (length ").Dec(serial.descriptor[0]);
      out.Text(", type ").Dec(serial.descriptor[1]).Put(')');
    }
    out.Put('\n');
    if (verbose) {
      out.Text("  descriptor:");
      for (std::size_t i = 0; i < DescriptorLength(serial); ++i) out.Put(' ').Hex(serial.descriptor[i], 2);
      out.Put('\n');
    }
  }
  StepText(out, "zeltaLockUnlock", serial, ", 0", serial.unlock, Call::kUnlock);
}

void WriteSerialJson(Writer& out, const LibraryInfo& library, const SerialResult& serial) {
  LibraryJson(out, library);
  out.Text("  \"serial\": {\n    \"device\": ").Dec(serial.device).Text(",\n");
  StepJson(out, "lock", serial.lock, Call::kLock, false);
  StepJson(out, "read", serial.read, Call::kRead, false);
  const bool read = serial.read.called && serial.read.status == ZELTA_OK;
  out.Text("    \"descriptor\": ");
  if (read) {
    out.Put('[');
    for (std::size_t i = 0; i < DescriptorLength(serial); ++i)
      out.Text(i > 0 ? ", " : "").Dec(serial.descriptor[i]);
    out.Put(']');
  } else {
    out.Text("null");
  }
  // The units as JSON escapes: a surrogate pair stays a pair, a lone half
  // (no Unicode character) becomes U+FFFD.
  out.Text(",\n    \"serialNumber\": ");
  if (IsStringDescriptor(serial)) {
    out.Put('"');
    ForEachUnit(serial, [&out](std::uint32_t unit, bool valid) {
      if (!valid)
        out.Text("\\ufffd");
      else if (unit == '"')
        out.Text("\\\"");
      else if (unit == '\\')
        out.Text("\\\\");
      else if (unit >= 0x20 && unit < 0x7F)
        out.Put(static_cast<char>(unit));
      else
        out.Text("\\u").Hex(unit, 4);
    });
    out.Put('"');
  } else {
    out.Text("null");
  }
  out.Text(",\n");
  StepJson(out, "unlock", serial.unlock, Call::kUnlock, true);
  out.Text("  }\n}\n");
}

void WriteUsage(Writer& out) {
  out.Text(
      "Usage: zeltainfo [-v] [--json] [VID:PID]\n"
      "       zeltainfo [-v] [--json] --serial DEVICE\n"
      "       zeltainfo -h | --help\n"
      "\n"
      "Shows what zeltadll.dll, loaded from zeltainfo's own folder, finds: the USB\n"
      "devices (every one, or those of vendor and product VID:PID in hex, such as\n"
      "0abc:1234), the drive letters of their disks, the driver slots that serve\n"
      "them, and the status of the search.\n"
      "\n"
      "  -v               also each device's path, child match id and parent id\n"
      "                   prefix, and the library's file and version\n"
      "  --json           the same facts as one JSON document\n"
      "  --serial DEVICE  lock the device the driver numbers DEVICE (a slot value;\n"
      "                   decimal, or hex after 0x), read its serial number and\n"
      "                   unlock it; -v adds the descriptor's bytes\n"
      "  -h, --help       this text\n"
      "\n"
      "Exit codes: 0 devices found (--serial: serial number read and unlocked),\n"
      "1 no device found (--serial: a step failed), 2 usage error, 3 zeltadll.dll\n"
      "cannot be loaded or lacks an export.\n");
}

}  // namespace zeltainfo
