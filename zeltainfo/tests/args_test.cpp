#include "args.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace zeltainfo {
namespace {

// The arguments of a command line split at blanks, program name first (the
// cases need no quoting); each in a heap block of exactly its size, so that
// AddressSanitizer sees a read past its terminator.
class Args {
 public:
  explicit Args(const std::string& line) {
    std::size_t at = 0;
    while (at < line.size()) {
      std::size_t end = line.find(' ', at);
      if (end == std::string::npos) end = line.size();
      Add(line.substr(at, end - at));
      at = end + 1;
    }
  }
  void Add(const std::string& arg) {
    blocks_.emplace_back(new char[arg.size() + 1]);
    std::memcpy(blocks_.back().get(), arg.c_str(), arg.size() + 1);
    argv_.push_back(blocks_.back().get());
  }
  Options Parse() const { return ParseArguments(static_cast<int>(argv_.size()) - 1, argv_.data() + 1); }

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::vector<const char*> argv_;
};

Options Parse(const std::string& line) { return Args(line).Parse(); }

TEST(ZeltainfoArgs, AcceptedCommandLines) {
  struct Case {
    const char* line;
    Mode mode;
    bool verbose, json, hasId;
    std::uint16_t vendorId, productId;
    std::uint32_t device;
  } cases[] = {
      {"zeltainfo", Mode::kList, false, false, false, 0, 0, 0},
      {"zeltainfo 0abc:1234", Mode::kList, false, false, true, 0x0abc, 0x1234, 0},
      {"zeltainfo 0ABC:12ef", Mode::kList, false, false, true, 0x0abc, 0x12ef, 0},
      // Fewer than four digits are the low ones; 0:0 is every device, as the library reads it.
      {"zeltainfo abc:1", Mode::kList, false, false, true, 0x0abc, 0x0001, 0},
      {"zeltainfo 0:0", Mode::kList, false, false, true, 0, 0, 0},
      {"zeltainfo ffff:FFFF", Mode::kList, false, false, true, 0xffff, 0xffff, 0},
      {"zeltainfo -v", Mode::kList, true, false, false, 0, 0, 0},
      {"zeltainfo --json 0def:0001 -v", Mode::kList, true, true, true, 0x0def, 0x0001, 0},
      {"zeltainfo -v -v --json --json", Mode::kList, true, true, false, 0, 0, 0},
      {"zeltainfo --serial 0x11", Mode::kSerial, false, false, false, 0, 0, 0x11},
      {"zeltainfo --serial 17", Mode::kSerial, false, false, false, 0, 0, 17},
      {"zeltainfo --serial=0X1f --json -v", Mode::kSerial, true, true, false, 0, 0, 0x1f},
      {"zeltainfo -v --serial 0", Mode::kSerial, true, false, false, 0, 0, 0},
      // A leading zero is decimal, not octal.
      {"zeltainfo --serial 017", Mode::kSerial, false, false, false, 0, 0, 17},
      {"zeltainfo --serial 4294967295", Mode::kSerial, false, false, false, 0, 0, 0xffffffffu},
      {"zeltainfo --serial 0xFFFFFFFF", Mode::kSerial, false, false, false, 0, 0, 0xffffffffu},
      {"zeltainfo --serial 0x00000000000011", Mode::kSerial, false, false, false, 0, 0, 0x11},
      // Help wins over what follows it, errors included.
      {"zeltainfo -h", Mode::kHelp, false, false, false, 0, 0, 0},
      {"zeltainfo --help", Mode::kHelp, false, false, false, 0, 0, 0},
      {"zeltainfo /?", Mode::kHelp, false, false, false, 0, 0, 0},
      {"zeltainfo -v -h --bogus", Mode::kHelp, true, false, false, 0, 0, 0},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << " [" << c.line << "]");
    const Options o = Parse(c.line);
    EXPECT_EQ(o.mode, c.mode);
    EXPECT_EQ(o.error, ArgError::kNone);
    EXPECT_STREQ(o.message, "");
    EXPECT_EQ(o.verbose, c.verbose);
    EXPECT_EQ(o.json, c.json);
    EXPECT_EQ(o.hasId, c.hasId);
    EXPECT_EQ(o.vendorId, c.vendorId);
    EXPECT_EQ(o.productId, c.productId);
    EXPECT_EQ(o.device, c.device);
  }
}

TEST(ZeltainfoArgs, RejectedCommandLines) {
  struct Case {
    const char* line;
    ArgError error;
    const char* message;
  } cases[] = {
      {"zeltainfo -x", ArgError::kUnknownOption, "unknown option \"-x\""},
      {"zeltainfo --jsonx", ArgError::kUnknownOption, "unknown option \"--jsonx\""},
      {"zeltainfo -V", ArgError::kUnknownOption, "unknown option \"-V\""},
      {"zeltainfo -", ArgError::kUnknownOption, "unknown option \"-\""},
      {"zeltainfo --serialx 1", ArgError::kUnknownOption, "unknown option \"--serialx\""},
      {"zeltainfo 0abc:1234 --verbose", ArgError::kUnknownOption, "unknown option \"--verbose\""},
      {"zeltainfo --serial", ArgError::kMissingValue, "--serial needs a device number, such as 0x11 or 17"},
      {"zeltainfo --serial=", ArgError::kMissingValue, "--serial needs a device number, such as 0x11 or 17"},
      {"zeltainfo --serial -v", ArgError::kMissingValue, "--serial needs a device number, such as 0x11 or 17"},
      {"zeltainfo --serial -1", ArgError::kMissingValue, "--serial needs a device number, such as 0x11 or 17"},
      {"zeltainfo 0abc1234", ArgError::kIdMissingColon,
       "malformed id \"0abc1234\": VID:PID with a colon, such as 0abc:1234"},
      {"zeltainfo 0abc", ArgError::kIdMissingColon, "malformed id \"0abc\": VID:PID with a colon, such as 0abc:1234"},
      {"zeltainfo 0abg:1234", ArgError::kIdNotHex,
       "malformed id \"0abg:1234\": hex digits on both sides of the colon, such as 0abc:1234"},
      {"zeltainfo 0abc:123z", ArgError::kIdNotHex,
       "malformed id \"0abc:123z\": hex digits on both sides of the colon, such as 0abc:1234"},
      {"zeltainfo :1234", ArgError::kIdNotHex,
       "malformed id \":1234\": hex digits on both sides of the colon, such as 0abc:1234"},
      {"zeltainfo 0abc:", ArgError::kIdNotHex,
       "malformed id \"0abc:\": hex digits on both sides of the colon, such as 0abc:1234"},
      {"zeltainfo 0x0a:1", ArgError::kIdNotHex,
       "malformed id \"0x0a:1\": hex digits on both sides of the colon, such as 0abc:1234"},
      {"zeltainfo 0abc:12:34", ArgError::kIdNotHex,
       "malformed id \"0abc:12:34\": hex digits on both sides of the colon, such as 0abc:1234"},
      {"zeltainfo 0abcdefg:1", ArgError::kIdNotHex,
       "malformed id \"0abcdefg:1\": hex digits on both sides of the colon, such as 0abc:1234"},
      {"zeltainfo 0abcd:1234", ArgError::kIdTooLong, "malformed id \"0abcd:1234\": at most 4 hex digits on each side"},
      {"zeltainfo 0abc:12345", ArgError::kIdTooLong, "malformed id \"0abc:12345\": at most 4 hex digits on each side"},
      {"zeltainfo 00000:1", ArgError::kIdTooLong, "malformed id \"00000:1\": at most 4 hex digits on each side"},
      {"zeltainfo /x", ArgError::kIdMissingColon, "malformed id \"/x\": VID:PID with a colon, such as 0abc:1234"},
      {"zeltainfo 0abc:1234 0def:1", ArgError::kSecondId, "one VID:PID at most; \"0def:1\" is a second one"},
      {"zeltainfo --serial x11", ArgError::kNotANumber,
       "malformed device number \"x11\" for --serial: decimal or 0x and hex digits"},
      {"zeltainfo --serial 0x", ArgError::kNotANumber,
       "malformed device number \"0x\" for --serial: decimal or 0x and hex digits"},
      {"zeltainfo --serial 1f", ArgError::kNotANumber,
       "malformed device number \"1f\" for --serial: decimal or 0x and hex digits"},
      {"zeltainfo --serial 0x1g", ArgError::kNotANumber,
       "malformed device number \"0x1g\" for --serial: decimal or 0x and hex digits"},
      {"zeltainfo --serial +5", ArgError::kNotANumber,
       "malformed device number \"+5\" for --serial: decimal or 0x and hex digits"},
      {"zeltainfo --serial 99999999999x", ArgError::kNotANumber,
       "malformed device number \"99999999999x\" for --serial: decimal or 0x and hex digits"},
      {"zeltainfo --serial 4294967296", ArgError::kNumberTooLarge,
       "device number \"4294967296\" for --serial does not fit 32 bits"},
      {"zeltainfo --serial 0x100000000", ArgError::kNumberTooLarge,
       "device number \"0x100000000\" for --serial does not fit 32 bits"},
      {"zeltainfo --serial 1 --serial 2", ArgError::kSecondSerial, "--serial given twice: one device at a time"},
      {"zeltainfo --serial 1 0abc:1234", ArgError::kSerialWithId, "--serial takes no VID:PID (\"0abc:1234\" given)"},
      {"zeltainfo 0abc:1234 --serial 1", ArgError::kSerialWithId, "--serial takes no VID:PID (\"0abc:1234\" given)"},
      // The first error decides, and help after it comes too late.
      {"zeltainfo -x 0abc --help", ArgError::kUnknownOption, "unknown option \"-x\""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << " [" << c.line << "]");
    const Options o = Parse(c.line);
    EXPECT_EQ(o.mode, Mode::kUsageError);
    EXPECT_EQ(o.error, c.error);
    EXPECT_STREQ(o.message, c.message);
  }
}

// The message stays one line of bounded size, whatever the argument holds.
TEST(ZeltainfoArgs, MessageOfAnyArgumentIsOneBoundedLine) {
  struct Case {
    std::string arg;
    std::string message;
  } cases[] = {
      // Up to 40 characters are quoted whole; a longer argument is cut there.
      {"-" + std::string(39, 'a'), "unknown option \"-" + std::string(39, 'a') + "\""},
      {"-" + std::string(40, 'a'), "unknown option \"-" + std::string(39, 'a') + "\"..."},
      {"-" + std::string(5000, 'b'), "unknown option \"-" + std::string(39, 'b') + "\"..."},
      {"-a\nb\tc\x7f", "unknown option \"-a?b?c?\""},
      {"ab\xe9", "malformed id \"ab\xe9\": VID:PID with a colon, such as 0abc:1234"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    Args args("zeltainfo");
    args.Add(cases[i].arg);
    const Options o = args.Parse();
    EXPECT_EQ(o.mode, Mode::kUsageError);
    EXPECT_EQ(o.message, cases[i].message);
    EXPECT_LT(std::strlen(o.message), kMessageSize);
  }
  // Every message of the longest kind, with the longest quoted argument, fits whole.
  Args args("zeltainfo --serial");
  args.Add(std::string(100, '9') + "x");
  const Options o = args.Parse();
  EXPECT_EQ(o.message, "malformed device number \"" + std::string(40, '9') +
                           "\"... for --serial: decimal or 0x and hex digits");
}

TEST(ZeltainfoArgs, NoArgumentsAtAll) {
  const Options o = ParseArguments(0, nullptr);
  EXPECT_EQ(o.mode, Mode::kList);
  EXPECT_FALSE(o.hasId);
}

}  // namespace
}  // namespace zeltainfo
