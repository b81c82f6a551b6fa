// zeltainfo's output: the listing and the serial number read, as text or as
// one JSON document, and the usage. Plain code over what the library
// returned; the program hands it the records and statuses, and a sink that
// takes the bytes (standard output or standard error).
#pragma once

#include "zeltadll.h"

#include <cstddef>
#include <cstdint>

namespace zeltainfo {

// The records the listing shows at most. A library whose walk does not end
// by then (a faulty one whose records point back at themselves) is cut off
// there, and the listing says so.
constexpr std::size_t kMaxRecords = 1024;

// The serial number's buffer: a string descriptor's length is one byte.
constexpr std::size_t kDescriptorBytes = 256;

// The version of the JSON document's layout, its "zeltainfo" field.
constexpr int kJsonFormat = 1;

using SinkFn = void (*)(void* context, const char* data, std::size_t size);

// Collects output in a fixed buffer and hands it to the sink when full and
// when flushed or destroyed.
class Writer {
 public:
  Writer(SinkFn sink, void* context) : sink_(sink), context_(context) {}
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  ~Writer() { Flush(); }

  Writer& Put(char c);
  Writer& Text(const char* text);
  Writer& Dec(std::uint32_t value);
  // At least `digits` lower-case hex digits, without a prefix.
  Writer& Hex(std::uint32_t value, int digits);
  // A record's 8-bit text as the listing shows it: control characters as
  // \xNN, everything else as it is; null as (null).
  Writer& Shown(const char* text);
  // A JSON string literal, quotes included, of 8-bit text: each byte from
  // 0x80 up as \u0080 to \u00ff (the byte's value as the code point), so the
  // document is ASCII and a script gets the bytes back; null as null.
  Writer& JsonString(const char* text);
  void Flush();

 private:
  static constexpr std::size_t kBufferSize = 512;
  SinkFn sink_;
  void* context_;
  char buffer_[kBufferSize];
  std::size_t used_ = 0;
};

// The library as loaded: where Windows took it from, and its version.
struct LibraryInfo {
  const char* path;
  int version;
};

// One search and the records it left, in the library's order.
struct SearchResult {
  std::uint16_t vendorId;  // as passed to zeltaSearchUsbDevice (0, 0: every device)
  std::uint16_t productId;
  std::uint32_t status;
  const DeviceRecord* const* records;
  std::size_t count;
  bool truncated;  // the walk had not ended after kMaxRecords records
};

// Walks the records with the library's zeltaGetDriveMap into records (room
// for kMaxRecords); fills count and truncated.
void CollectRecords(PFN_zeltaGetDriveMap next, const DeviceRecord** records, SearchResult& result);

// lock, read, unlock: each step's status; a step not taken (no lock) has
// called false.
struct Step {
  bool called;
  std::uint32_t status;
};

struct SerialResult {
  std::uint32_t device;
  Step lock;
  Step read;
  Step unlock;
  const unsigned char* descriptor;  // kDescriptorBytes, zero-filled before the read
};

// Whether the read gave a USB string descriptor: length byte of at least 2,
// type 3. The text is its UTF-16LE units after those two bytes.
bool IsStringDescriptor(const SerialResult& serial);

// Exit codes.
constexpr int kExitFound = 0;        // devices listed; --serial: the serial number read and unlocked
constexpr int kExitNone = 1;         // no device; --serial: a step failed
constexpr int kExitUsage = 2;        // bad command line
constexpr int kExitNoLibrary = 3;    // zeltadll.dll not loadable, or an export missing

int ListExitCode(const SearchResult& search);
int SerialExitCode(const SerialResult& serial);

// The status's name (ZELTA_OK...), or null for one the library does not define.
const char* StatusName(std::uint32_t status);

void WriteListText(Writer& out, const LibraryInfo& library, const SearchResult& search, bool verbose);
void WriteListJson(Writer& out, const LibraryInfo& library, const SearchResult& search);
void WriteSerialText(Writer& out, const LibraryInfo& library, const SerialResult& serial, bool verbose);
void WriteSerialJson(Writer& out, const LibraryInfo& library, const SerialResult& serial);
void WriteUsage(Writer& out);

}  // namespace zeltainfo
