// zeltainfo's command line: plain code, no Windows call.
//   zeltainfo [-v] [--json] [VID:PID]
//   zeltainfo [-v] [--json] --serial DEVICE
//   zeltainfo -h | --help | /?
#pragma once

#include <cstddef>
#include <cstdint>

namespace zeltainfo {

enum class Mode {
  kList,        // search and list the devices
  kSerial,      // lock one device, read its serial number, unlock
  kHelp,        // print the usage, exit 0
  kUsageError,  // print message and the usage, exit 2
};

// What was wrong with the command line; each kind has its own message.
enum class ArgError {
  kNone,
  kUnknownOption,    // "-x", "--foo"
  kMissingValue,     // "--serial" last, or followed by an option
  kIdMissingColon,   // "0abc1234"
  kIdNotHex,         // "0abg:1234", ":1234", "0abc:", "0x0a:1"
  kIdTooLong,        // more than 4 hex digits on a side
  kSecondId,         // two VID:PID arguments
  kNotANumber,       // the device number of --serial: "x11", "0x", "1O"
  kNumberTooLarge,   // more than 32 bits
  kSecondSerial,     // --serial twice
  kSerialWithId,     // --serial and a VID:PID
};

// One line of text, terminator included: the longest message quotes one
// argument of up to kQuotedArgument characters.
constexpr std::size_t kQuotedArgument = 40;
constexpr std::size_t kMessageSize = 160;

struct Options {
  Mode mode = Mode::kList;
  bool verbose = false;
  bool json = false;
  bool hasId = false;        // a VID:PID was given; otherwise every USB device (0, 0)
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint32_t device = 0;  // --serial's device number
  ArgError error = ArgError::kNone;
  char message[kMessageSize] = {};  // kUsageError: what was wrong, one line without a line feed
};

// argv[0] to argv[argc - 1] are the arguments after the program name. They
// are read left to right: the first error, or the first -h, decides.
Options ParseArguments(int argc, const char* const* argv);

}  // namespace zeltainfo
