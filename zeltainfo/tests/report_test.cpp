#include "report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace zeltainfo {
namespace {

void ToString(void* context, const char* data, std::size_t size) {
  static_cast<std::string*>(context)->append(data, size);
}

// Runs write(writer) and returns everything it wrote.
template <typename Write>
std::string Output(Write write) {
  std::string text;
  {
    Writer out(ToString, &text);
    write(out);
  }
  return text;
}

constexpr DriveMapEntry kNoDrive = {ZELTA_DRIVEMAP_UNUSED, ZELTA_DRIVEMAP_UNUSED};

#define USB_CLASS "{a5dcbf10-6530-11d2-901f-00c04fb951ed}"

// Two readers, one with a slot, and a device of another vendor.
const DeviceRecord kRecords[] = {
    {{{0, 'E'}, {1, 'G'}, kNoDrive, kNoDrive}, 0x0abc, 0x1234, "0123abc", "0123abc", "6&a0&0",
     "\\\\?\\usb#vid_0abc&pid_1234#0123abc#" USB_CLASS, "USB#VID_0ABC&PID_1234#0123abc#" USB_CLASS, 0x11},
    {{{0, 'F'}, kNoDrive, kNoDrive, kNoDrive}, 0x0abc, 0x1234, "5&2a3b4c5d&0&2", "6&1f2e3d4c&0", "6&1f2e3d4c&0",
     "\\\\?\\usb#vid_0abc&pid_1234#5&2a3b4c5d&0&2#" USB_CLASS, "", 0},
    {{kNoDrive, kNoDrive, kNoDrive, kNoDrive}, 0x0def, 0x0001, "xyz9", "xyz9", "",
     "\\\\?\\usb#vid_0def&pid_0001#xyz9#" USB_CLASS, "", 0},
};

const DeviceRecord* const kAll[] = {&kRecords[0], &kRecords[1], &kRecords[2]};
const LibraryInfo kLibrary = {"C:\\pkg\\zeltadll.dll", 1002};

SearchResult Search(std::uint16_t vendor, std::uint16_t product, std::uint32_t status, std::size_t count) {
  return SearchResult{vendor, product, status, kAll, count, false};
}

TEST(ZeltainfoReport, ListText) {
  EXPECT_EQ(Output([](Writer& out) { WriteListText(out, kLibrary, Search(0, 0, ZELTA_E_OPEN, 3), false); }),
            "Search for every USB device: ZELTA_E_OPEN (0x80000008)\n"
            "  The driver \\\\.\\ZELTA is not there (not installed or not started). The devices found are listed "
            "with their drive letters, without driver slots.\n"
            "\n"
            "Device 1: 0abc:1234, unique id 0123abc\n"
            "  drives:           E: G:\n"
            "  driver slot:      USB#VID_0ABC&PID_1234#0123abc#" USB_CLASS "\n"
            "  slot value:       0x11 (17)\n"
            "Device 2: 0abc:1234, unique id 5&2a3b4c5d&0&2\n"
            "  drives:           F:\n"
            "  driver slot:      none\n"
            "Device 3: 0def:0001, unique id xyz9\n"
            "  drives:           none\n"
            "  driver slot:      none\n"
            "\n"
            "3 devices found.\n");
}

TEST(ZeltainfoReport, ListTextVerbose) {
  EXPECT_EQ(Output([](Writer& out) { WriteListText(out, kLibrary, Search(0x0abc, 0x1234, ZELTA_OK, 1), true); }),
            "Library: C:\\pkg\\zeltadll.dll, version 1002\n"
            "Search for 0abc:1234: ZELTA_OK (0x00000000)\n"
            "  Devices found; the driver \\\\.\\ZELTA was asked for its slots.\n"
            "\n"
            "Device 1: 0abc:1234, unique id 0123abc\n"
            "  drives:           E: G:\n"
            "  driver slot:      USB#VID_0ABC&PID_1234#0123abc#" USB_CLASS "\n"
            "  slot value:       0x11 (17)\n"
            "  device path:      \\\\?\\usb#vid_0abc&pid_1234#0123abc#" USB_CLASS "\n"
            "  child match id:   0123abc\n"
            "  parent id prefix: 6&a0&0\n"
            "\n"
            "1 device found.\n");
  // An empty text shows as none.
  const DeviceRecord* const third[] = {&kRecords[2]};
  const SearchResult search = {0, 0, ZELTA_OK, third, 1, false};
  EXPECT_NE(Output([&](Writer& out) { WriteListText(out, kLibrary, search, true); })
                .find("  child match id:   xyz9\n  parent id prefix: none\n\n1 device found.\n"),
            std::string::npos);
}

TEST(ZeltainfoReport, ListTextOfNoDevice) {
  EXPECT_EQ(Output([](Writer& out) { WriteListText(out, kLibrary, Search(0x0def, 0x9999, ZELTA_E_NODEVICE, 0), false); }),
            "Search for 0def:9999: ZELTA_E_NODEVICE (0x80000001)\n"
            "  No USB device of these ids is present, or no disk could be read. Devices found, if any, are listed "
            "without driver slots.\n"
            "\n"
            "No device found.\n");
}

TEST(ZeltainfoReport, ListJson) {
  EXPECT_EQ(Output([](Writer& out) { WriteListJson(out, kLibrary, Search(0x0abc, 0x1234, ZELTA_OK, 2)); }),
            "{\n"
            "  \"zeltainfo\": 1,\n"
            "  \"library\": {\"path\": \"C:\\\\pkg\\\\zeltadll.dll\", \"version\": 1002},\n"
            "  \"search\": {\"vendorId\": 2748, \"productId\": 4660, \"status\": 0, \"statusName\": \"ZELTA_OK\", "
            "\"statusText\": \"Devices found; the driver \\\\\\\\.\\\\ZELTA was asked for its slots.\", "
            "\"truncated\": false},\n"
            "  \"devices\": [\n"
            "    {\n"
            "      \"vendorId\": 2748,\n"
            "      \"productId\": 4660,\n"
            "      \"uniqueId\": \"0123abc\",\n"
            "      \"drives\": [\"E\", \"G\"],\n"
            "      \"driverSlotName\": \"USB#VID_0ABC&PID_1234#0123abc#" USB_CLASS "\",\n"
            "      \"driverSlotValue\": 17,\n"
            "      \"devicePath\": \"\\\\\\\\?\\\\usb#vid_0abc&pid_1234#0123abc#" USB_CLASS "\",\n"
            "      \"childMatchId\": \"0123abc\",\n"
            "      \"parentIdPrefix\": \"6&a0&0\"\n"
            "    },\n"
            "    {\n"
            "      \"vendorId\": 2748,\n"
            "      \"productId\": 4660,\n"
            "      \"uniqueId\": \"5&2a3b4c5d&0&2\",\n"
            "      \"drives\": [\"F\"],\n"
            "      \"driverSlotName\": \"\",\n"
            "      \"driverSlotValue\": 0,\n"
            "      \"devicePath\": \"\\\\\\\\?\\\\usb#vid_0abc&pid_1234#5&2a3b4c5d&0&2#" USB_CLASS "\",\n"
            "      \"childMatchId\": \"6&1f2e3d4c&0\",\n"
            "      \"parentIdPrefix\": \"6&1f2e3d4c&0\"\n"
            "    }\n"
            "  ]\n"
            "}\n");
}

TEST(ZeltainfoReport, ListJsonOfNoDeviceAndOfAnUnknownStatus) {
  EXPECT_EQ(Output([](Writer& out) { WriteListJson(out, {"x", -5}, Search(0, 0, 0x8000000Fu, 0)); }),
            "{\n"
            "  \"zeltainfo\": 1,\n"
            "  \"library\": {\"path\": \"x\", \"version\": -5},\n"
            "  \"search\": {\"vendorId\": 0, \"productId\": 0, \"status\": 2147483663, \"statusName\": null, "
            "\"statusText\": \"Not a status of zeltadll.\", \"truncated\": false},\n"
            "  \"devices\": []\n"
            "}\n");
}

// Each class of byte in a record's text: as JSON escapes it and as the
// listing shows it.
TEST(ZeltainfoReport, TextOfEveryKindOfByte) {
  struct Case {
    const char* text;
    const char* json;
    const char* shown;
  } cases[] = {
      {"", "\"\"", ""},
      {"plain &#{}-_.:/ ~", "\"plain &#{}-_.:/ ~\"", "plain &#{}-_.:/ ~"},
      {"a\"b", "\"a\\\"b\"", "a\"b"},
      {"\\\\?\\x", "\"\\\\\\\\?\\\\x\"", "\\\\?\\x"},
      {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\"", "\\x08\\x0c\\x0a\\x0d\\x09"},
      {"\x01\x1f", "\"\\u0001\\u001f\"", "\\x01\\x1f"},
      {" \x7f", "\" \\u007f\"", " \\x7f"},
      {"\x80\xe9\xff", "\"\\u0080\\u00e9\\u00ff\"", "\x80\xe9\xff"},
      {nullptr, "null", "(null)"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    EXPECT_EQ(Output([&](Writer& out) { out.JsonString(cases[i].text); }), cases[i].json);
    EXPECT_EQ(Output([&](Writer& out) { out.Shown(cases[i].text); }), cases[i].shown);
  }
}

// A record of a faulty library: null strings, letters outside D to Z.
TEST(ZeltainfoReport, RecordWithNullStringsAndOddLetters) {
  const DeviceRecord odd = {{{0, '"'}, {1, '\n'}, kNoDrive, {3, 'Q'}}, 1, 2, nullptr, nullptr, nullptr,
                            nullptr, nullptr, 0xffffffffu};
  const DeviceRecord* const records[] = {&odd};
  const SearchResult search = {1, 2, ZELTA_OK, records, 1, false};
  const std::string json = Output([&](Writer& out) { WriteListJson(out, kLibrary, search); });
  EXPECT_NE(json.find("\"uniqueId\": null,\n      \"drives\": [\"\\\"\", \"\\n\"],\n      \"driverSlotName\": null,\n"
                      "      \"driverSlotValue\": 4294967295,\n      \"devicePath\": null,\n"
                      "      \"childMatchId\": null,\n      \"parentIdPrefix\": null\n"),
            std::string::npos)
      << json;
  const std::string text = Output([&](Writer& out) { WriteListText(out, kLibrary, search, true); });
  EXPECT_NE(text.find("Device 1: 0001:0002, unique id (null)\n  drives:           \": \\x0a:\n"
                      "  driver slot:      none\n  device path:      (null)\n"),
            std::string::npos)
      << text;
}

// Longer than the writer's buffer, and across its edge at every offset.
TEST(ZeltainfoReport, WriterKeepsEveryByteAcrossItsBuffer) {
  for (std::size_t n : {0u, 1u, 511u, 512u, 513u, 1023u, 1024u, 1025u, 5000u}) {
    SCOPED_TRACE(testing::Message() << n << " bytes");
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += static_cast<char>('a' + i % 26);
    EXPECT_EQ(Output([&](Writer& out) { out.Text(text.c_str()); }), text);
    const std::string quoted = Output([&](Writer& out) { out.Text("x").JsonString(text.c_str()); });
    EXPECT_EQ(quoted, "x\"" + text + "\"");
  }
}

TEST(ZeltainfoReport, Numbers) {
  EXPECT_EQ(Output([](Writer& out) {
              out.Dec(0).Put(' ').Dec(4294967295u).Put(' ').Hex(0, 1).Put(' ').Hex(0x11, 1).Put(' ').Hex(0xabc, 4);
              out.Put(' ').Hex(0x12345, 4).Put(' ').Hex(0xffffffffu, 8).Put(' ').Hex(5, 8);
            }),
            "0 4294967295 0 11 0abc 12345 ffffffff 00000005");
}

const DeviceRecord kRun[3] = {kRecords[0], kRecords[1], kRecords[2]};

const DeviceRecord* WINAPIV NextOfRun(const DeviceRecord* r) {
  if (r == nullptr) return &kRun[0];
  return r + 1 < kRun + 3 ? r + 1 : nullptr;
}

const DeviceRecord* WINAPIV NeverEnds(const DeviceRecord*) { return &kRun[1]; }

const DeviceRecord* WINAPIV Empty(const DeviceRecord*) { return nullptr; }

TEST(ZeltainfoReport, CollectRecordsStopsAtTheEndOrAtTheBound) {
  static const DeviceRecord* records[kMaxRecords];
  SearchResult result = {};
  CollectRecords(NextOfRun, records, result);
  EXPECT_EQ(result.count, 3u);
  EXPECT_FALSE(result.truncated);
  EXPECT_EQ(result.records[2], &kRun[2]);

  CollectRecords(Empty, records, result);
  EXPECT_EQ(result.count, 0u);
  EXPECT_FALSE(result.truncated);
  EXPECT_EQ(ListExitCode(result), kExitNone);

  CollectRecords(NeverEnds, records, result);
  EXPECT_EQ(result.count, kMaxRecords);
  EXPECT_TRUE(result.truncated);
  EXPECT_EQ(ListExitCode(result), kExitFound);
  result.count = 1;
  const std::string text = Output([&](Writer& out) { WriteListText(out, kLibrary, result, false); });
  EXPECT_NE(text.find("\nThe library's list of records did not end after 1024 records; the rest is not shown.\n"
                      "\n1 device found.\n"),
            std::string::npos)
      << text;
  const std::string json = Output([&](Writer& out) { WriteListJson(out, kLibrary, result); });
  EXPECT_NE(json.find("\"truncated\": true}"), std::string::npos) << json;
}

TEST(ZeltainfoReport, ListExitCodeFollowsTheRecordsNotTheStatus) {
  EXPECT_EQ(ListExitCode(Search(0, 0, ZELTA_OK, 1)), kExitFound);
  EXPECT_EQ(ListExitCode(Search(0, 0, ZELTA_E_OPEN, 3)), kExitFound);
  // Devices without a readable disk: the search fails, the records are there.
  EXPECT_EQ(ListExitCode(Search(0, 0, ZELTA_E_NODEVICE, 1)), kExitFound);
  EXPECT_EQ(ListExitCode(Search(0, 0, ZELTA_E_NODEVICE, 0)), kExitNone);
  EXPECT_EQ(ListExitCode(Search(0, 0, ZELTA_OK, 0)), kExitNone);
}

// A string descriptor as a device sends it: length, type 3, UTF-16LE units.
struct Descriptor {
  unsigned char bytes[kDescriptorBytes] = {};
  explicit Descriptor(std::initializer_list<unsigned> units, unsigned type = 3) {
    std::size_t n = 2;
    for (unsigned u : units) {
      bytes[n++] = static_cast<unsigned char>(u & 0xFF);
      bytes[n++] = static_cast<unsigned char>(u >> 8);
    }
    bytes[0] = static_cast<unsigned char>(n);
    bytes[1] = static_cast<unsigned char>(type);
  }
};

SerialResult Serial(const Descriptor& d, std::uint32_t lock, std::uint32_t read, std::uint32_t unlock) {
  SerialResult s = {};
  s.device = 0x11;
  s.descriptor = d.bytes;
  s.lock = {true, lock};
  if (lock == ZELTA_OK) {
    s.read = {true, read};
    s.unlock = {true, unlock};
  }
  return s;
}

TEST(ZeltainfoReport, SerialText) {
  const Descriptor d({'0', '1', '2', '3', 'A', 'B', 'C'});
  EXPECT_EQ(Output([&](Writer& out) { WriteSerialText(out, kLibrary, Serial(d, 0, 0, 0), true); }),
            "Library: C:\\pkg\\zeltadll.dll, version 1002\n"
            "zeltaLockUnlock(0x11, 1): ZELTA_OK (0x00000000)\n"
            "  Device locked; the driver link \\\\.\\ZELTA is open.\n"
            "zeltaGetSerialNumber(0x11): ZELTA_OK (0x00000000)\n"
            "  Serial number read.\n"
            "  serial number: 0123ABC\n"
            "  descriptor: 10 03 30 00 31 00 32 00 33 00 41 00 42 00 43 00\n"
            "zeltaLockUnlock(0x11, 0): ZELTA_OK (0x00000000)\n"
            "  Device unlocked; the driver link is closed.\n");
  EXPECT_EQ(Output([&](Writer& out) { WriteSerialText(out, kLibrary, Serial(d, ZELTA_E_SELECT, 0, 0), false); }),
            "zeltaLockUnlock(0x11, 1): ZELTA_E_SELECT (0x80000002)\n"
            "  The driver does not know this device number; the link is closed again.\n"
            "zeltaGetSerialNumber(0x11): not called, no lock\n"
            "zeltaLockUnlock(0x11, 0): not called, no lock\n");
  EXPECT_EQ(Output([&](Writer& out) {
              WriteSerialText(out, kLibrary, Serial(d, 0, ZELTA_E_DESCRIPTOR, ZELTA_E_LOCK), true);
            }),
            "Library: C:\\pkg\\zeltadll.dll, version 1002\n"
            "zeltaLockUnlock(0x11, 1): ZELTA_OK (0x00000000)\n"
            "  Device locked; the driver link \\\\.\\ZELTA is open.\n"
            "zeltaGetSerialNumber(0x11): ZELTA_E_DESCRIPTOR (0x80000003)\n"
            "  The device has no serial number, or the request failed.\n"
            "zeltaLockUnlock(0x11, 0): ZELTA_E_LOCK (0x80000004)\n"
            "  The driver refused the unlock; the link stays open until zeltainfo ends.\n");
}

TEST(ZeltainfoReport, SerialJson) {
  const Descriptor d({'0', '1', 'A'});
  EXPECT_EQ(Output([&](Writer& out) { WriteSerialJson(out, kLibrary, Serial(d, 0, 0, 0)); }),
            "{\n"
            "  \"zeltainfo\": 1,\n"
            "  \"library\": {\"path\": \"C:\\\\pkg\\\\zeltadll.dll\", \"version\": 1002},\n"
            "  \"serial\": {\n"
            "    \"device\": 17,\n"
            "    \"lock\": {\"status\": 0, \"statusName\": \"ZELTA_OK\", \"statusText\": \"Device locked; the driver "
            "link \\\\\\\\.\\\\ZELTA is open.\"},\n"
            "    \"read\": {\"status\": 0, \"statusName\": \"ZELTA_OK\", \"statusText\": \"Serial number read.\"},\n"
            "    \"descriptor\": [8, 3, 48, 0, 49, 0, 65, 0],\n"
            "    \"serialNumber\": \"01A\",\n"
            "    \"unlock\": {\"status\": 0, \"statusName\": \"ZELTA_OK\", \"statusText\": \"Device unlocked; the "
            "driver link is closed.\"}\n"
            "  }\n"
            "}\n");
  EXPECT_EQ(Output([&](Writer& out) { WriteSerialJson(out, kLibrary, Serial(d, ZELTA_E_NODEVICE, 0, 0)); }),
            "{\n"
            "  \"zeltainfo\": 1,\n"
            "  \"library\": {\"path\": \"C:\\\\pkg\\\\zeltadll.dll\", \"version\": 1002},\n"
            "  \"serial\": {\n"
            "    \"device\": 17,\n"
            "    \"lock\": {\"status\": 2147483649, \"statusName\": \"ZELTA_E_NODEVICE\", \"statusText\": \"The "
            "driver \\\\\\\\.\\\\ZELTA cannot be opened (not installed or not started).\"},\n"
            "    \"read\": null,\n"
            "    \"descriptor\": null,\n"
            "    \"serialNumber\": null,\n"
            "    \"unlock\": null\n"
            "  }\n"
            "}\n");
}

// The serial number's units: printable ASCII as it is, quotes and
// backslashes escaped, everything else as \u escapes; a surrogate pair stays
// a pair in JSON, a lone half becomes U+FFFD there.
TEST(ZeltainfoReport, SerialNumberUnits) {
  struct Case {
    Descriptor d;
    const char* json;
    const char* text;
    int exit;
  } cases[] = {
      {Descriptor({'A', '"', '\\', ' ', '~'}), "\"A\\\"\\\\ ~\"", "A\"\\ ~", kExitFound},
      {Descriptor({0x01, 0x0a, 0x7f, 0xe9, 0x20ac}), "\"\\u0001\\u000a\\u007f\\u00e9\\u20ac\"",
       "\\u0001\\u000a\\u007f\\u00e9\\u20ac", kExitFound},
      {Descriptor({0xd83d, 0xde00}), "\"\\ud83d\\ude00\"", "\\ud83d\\ude00", kExitFound},
      {Descriptor({0xd83d, 'x', 0xde00, 0xdbff}), "\"\\ufffdx\\ufffd\\ufffd\"", "\\ud83dx\\ude00\\udbff",
       kExitFound},
      {Descriptor({}), "\"\"", "", kExitFound},
      // Not a string descriptor: another type, or a length below 2.
      {Descriptor({'A'}, 1), "null", "none, the answer is no string descriptor (length 4, type 1)", kExitNone},
      {Descriptor({}, 0), "null", "none, the answer is no string descriptor (length 2, type 0)", kExitNone},
  };
  cases[6].d.bytes[0] = 1;
  cases[6].text = "none, the answer is no string descriptor (length 1, type 0)";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    const SerialResult s = Serial(cases[i].d, 0, 0, 0);
    const std::string json = Output([&](Writer& out) { WriteSerialJson(out, kLibrary, s); });
    EXPECT_NE(json.find(std::string("\"serialNumber\": ") + cases[i].json + ",\n"), std::string::npos) << json;
    const std::string text = Output([&](Writer& out) { WriteSerialText(out, kLibrary, s, false); });
    EXPECT_NE(text.find(std::string("  serial number: ") + cases[i].text + "\n"), std::string::npos) << text;
    EXPECT_EQ(SerialExitCode(s), cases[i].exit);
  }
}

// An odd length leaves its last byte out of the text; a length of 255 reads
// no byte past the buffer.
TEST(ZeltainfoReport, SerialNumberLengthEdges) {
  Descriptor d({'A', 'B'});
  d.bytes[0] = 5;
  const std::string json = Output([&](Writer& out) { WriteSerialJson(out, kLibrary, Serial(d, 0, 0, 0)); });
  EXPECT_NE(json.find("\"descriptor\": [5, 3, 65, 0, 66],\n    \"serialNumber\": \"A\",\n"), std::string::npos) << json;
  Descriptor full({});
  full.bytes[0] = 255;
  for (std::size_t i = 2; i < kDescriptorBytes; ++i) full.bytes[i] = i % 2 == 0 ? 'z' : 0;
  const std::string text = Output([&](Writer& out) { WriteSerialText(out, kLibrary, Serial(full, 0, 0, 0), false); });
  EXPECT_NE(text.find("  serial number: " + std::string(126, 'z') + "\n"), std::string::npos) << text;
}

TEST(ZeltainfoReport, SerialExitCodeNeedsEveryStep) {
  const Descriptor d({'A'});
  EXPECT_EQ(SerialExitCode(Serial(d, 0, 0, 0)), kExitFound);
  EXPECT_EQ(SerialExitCode(Serial(d, ZELTA_E_NODEVICE, 0, 0)), kExitNone);
  EXPECT_EQ(SerialExitCode(Serial(d, ZELTA_E_LOCK, 0, 0)), kExitNone);
  EXPECT_EQ(SerialExitCode(Serial(d, 0, ZELTA_E_DESCRIPTOR, 0)), kExitNone);
  EXPECT_EQ(SerialExitCode(Serial(d, 0, 0, ZELTA_E_LOCK)), kExitNone);
}

TEST(ZeltainfoReport, StatusWordsDependOnTheCall) {
  struct Case {
    std::uint32_t status;
    const char* name;
  } names[] = {{0, "ZELTA_OK"}, {0x80000000u, "ZELTA_E_INVALIDARG"}, {0x80000008u, "ZELTA_E_OPEN"},
               {0x8000000Du, "ZELTA_E_REQUEST"}, {0x80000005u, nullptr}, {0x8000000Bu, nullptr}, {1, nullptr}};
  for (const Case& c : names) {
    SCOPED_TRACE(testing::Message() << std::hex << c.status);
    if (c.name == nullptr)
      EXPECT_EQ(StatusName(c.status), nullptr);
    else
      EXPECT_STREQ(StatusName(c.status), c.name);
  }
  // ZELTA_E_NODEVICE from the lock is a missing driver, from the unlock a closed link.
  const Descriptor d({});
  SerialResult s = Serial(d, ZELTA_E_NODEVICE, 0, 0);
  s.unlock = {true, ZELTA_E_NODEVICE};
  const std::string text = Output([&](Writer& out) { WriteSerialText(out, kLibrary, s, false); });
  EXPECT_NE(text.find("(0x80000001)\n  The driver \\\\.\\ZELTA cannot be opened"), std::string::npos) << text;
  EXPECT_NE(text.find("(0x80000001)\n  No lock held the driver link."), std::string::npos) << text;
  // A known status the call does not return, and an unknown one.
  const std::string search = Output([](Writer& out) { WriteListText(out, kLibrary, Search(0, 0, ZELTA_E_LOCK, 0), false); });
  EXPECT_NE(search.find("ZELTA_E_LOCK (0x80000004)\n  A status this call is not documented to return.\n"),
            std::string::npos)
      << search;
  const std::string unknown = Output([](Writer& out) { WriteListText(out, kLibrary, Search(0, 0, 7, 0), false); });
  EXPECT_NE(unknown.find("0x7 (unknown)\n  Not a status of zeltadll.\n"), std::string::npos) << unknown;
}

TEST(ZeltainfoReport, UsageNamesEveryOptionAndExitCode) {
  const std::string usage = Output([](Writer& out) { WriteUsage(out); });
  for (const char* piece : {"[-v]", "[--json]", "[VID:PID]", "--serial DEVICE", "-h, --help", "0 devices found",
                            "1 no device found", "2 usage error", "3 zeltadll.dll"})
    EXPECT_NE(usage.find(piece), std::string::npos) << piece;
  // Lines fit an 80-column console.
  std::size_t start = 0;
  for (std::size_t end; (end = usage.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 79u) << usage.substr(start, end - start);
}

}  // namespace
}  // namespace zeltainfo
