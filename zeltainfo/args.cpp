#include "args.h"

namespace zeltainfo {
namespace {

constexpr char kSerialOption[] = "--serial";
constexpr std::size_t kIdDigits = 4;  // a USB vendor or product id is 16 bits

bool Equal(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

// The text after prefix when arg begins with it, else null.
const char* After(const char* arg, const char* prefix) {
  while (*prefix != '\0')
    if (*arg++ != *prefix++) return nullptr;
  return arg;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Appends to a fixed message buffer; what does not fit is cut, the
// terminator always stays.
class Line {
 public:
  explicit Line(char (&buffer)[kMessageSize]) : buffer_(buffer) { buffer_[0] = '\0'; }

  Line& Add(const char* text) {
    while (*text != '\0') Put(*text++);
    return *this;
  }

  // An argument in quotes, at most kQuotedArgument characters of it. A
  // control character would break the one line (a line feed) or the
  // terminal: it shows as '?'.
  Line& Quote(const char* arg) {
    Put('"');
    std::size_t i = 0;
    for (; arg[i] != '\0' && i < kQuotedArgument; ++i) {
      const unsigned char c = static_cast<unsigned char>(arg[i]);
      Put(c < 0x20 || c == 0x7F ? '?' : arg[i]);
    }
    Put('"');
    if (arg[i] != '\0') Add("...");
    return *this;
  }

 private:
  void Put(char c) {
    if (used_ + 1 >= kMessageSize) return;
    buffer_[used_++] = c;
    buffer_[used_] = '\0';
  }

  char (&buffer_)[kMessageSize];
  std::size_t used_ = 0;
};

Options Fail(Options options, ArgError error, const char* first, const char* arg = nullptr,
             const char* rest = nullptr) {
  options.mode = Mode::kUsageError;
  options.error = error;
  Line line(options.message);
  line.Add(first);
  if (arg != nullptr) line.Quote(arg);
  if (rest != nullptr) line.Add(rest);
  return options;
}

// One side of VID:PID, [begin, end): 1 to 4 hex digits.
ArgError ParseIdPart(const char* begin, const char* end, std::uint16_t& value) {
  if (begin == end) return ArgError::kIdNotHex;
  unsigned v = 0;
  for (const char* p = begin; p != end; ++p) {
    const int digit = HexValue(*p);
    if (digit < 0) return ArgError::kIdNotHex;
    v = (v << 4 | static_cast<unsigned>(digit)) & 0xFFFFu;
  }
  if (static_cast<std::size_t>(end - begin) > kIdDigits) return ArgError::kIdTooLong;
  value = static_cast<std::uint16_t>(v);
  return ArgError::kNone;
}

ArgError ParseId(const char* arg, std::uint16_t& vendorId, std::uint16_t& productId) {
  const char* colon = arg;
  while (*colon != '\0' && *colon != ':') ++colon;
  if (*colon == '\0') return ArgError::kIdMissingColon;
  const char* end = colon + 1;
  while (*end != '\0') ++end;
  // Not-hex outranks too-long: "0abcdefg:1" is not an id at all.
  const ArgError vendor = ParseIdPart(arg, colon, vendorId);
  const ArgError product = ParseIdPart(colon + 1, end, productId);
  if (vendor == ArgError::kIdNotHex || product == ArgError::kIdNotHex) return ArgError::kIdNotHex;
  if (vendor != ArgError::kNone) return vendor;
  return product;
}

// Decimal, or hexadecimal after 0x or 0X; no sign, no octal (a leading 0 is
// decimal), at most 32 bits.
ArgError ParseNumber(const char* text, std::uint32_t& value) {
  unsigned base = 10;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text += 2;
  }
  if (*text == '\0') return ArgError::kNotANumber;
  std::uint64_t v = 0;
  bool tooLarge = false;
  for (; *text != '\0'; ++text) {
    const int digit = HexValue(*text);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) return ArgError::kNotANumber;
    v = v * base + static_cast<unsigned>(digit);
    if (v > 0xFFFFFFFFu) {
      tooLarge = true;
      v = 0;  // keeps reading: a later non-digit still makes it no number
    }
  }
  if (tooLarge) return ArgError::kNumberTooLarge;
  value = static_cast<std::uint32_t>(v);
  return ArgError::kNone;
}

}  // namespace

Options ParseArguments(int argc, const char* const* argv) {
  Options options;
  bool serial = false;
  const char* id = nullptr;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (Equal(arg, "-h") || Equal(arg, "--help") || Equal(arg, "/?")) {
      options.mode = Mode::kHelp;
      return options;
    }
    if (Equal(arg, "-v")) {
      options.verbose = true;
      continue;
    }
    if (Equal(arg, "--json")) {
      options.json = true;
      continue;
    }
    const char* value = After(arg, kSerialOption);
    if (value != nullptr && (*value == '\0' || *value == '=')) {
      if (*value == '=') {
        ++value;
      } else {
        // The next argument is the value, unless there is none or it is an
        // option: "--serial -v" lacks its number rather than naming one.
        value = i + 1 < argc && argv[i + 1][0] != '-' ? argv[++i] : "";
      }
      if (*value == '\0')
        return Fail(options, ArgError::kMissingValue, "--serial needs a device number, such as 0x11 or 17");
      if (serial) return Fail(options, ArgError::kSecondSerial, "--serial given twice: one device at a time");
      if (id != nullptr)
        return Fail(options, ArgError::kSerialWithId, "--serial takes no VID:PID (", id, " given)");
      const ArgError error = ParseNumber(value, options.device);
      if (error == ArgError::kNotANumber)
        return Fail(options, error, "malformed device number ", value, " for --serial: decimal or 0x and hex digits");
      if (error == ArgError::kNumberTooLarge)
        return Fail(options, error, "device number ", value, " for --serial does not fit 32 bits");
      serial = true;
      options.mode = Mode::kSerial;
      continue;
    }
    if (arg[0] == '-') return Fail(options, ArgError::kUnknownOption, "unknown option ", arg);

    if (id != nullptr) return Fail(options, ArgError::kSecondId, "one VID:PID at most; ", arg, " is a second one");
    if (serial) return Fail(options, ArgError::kSerialWithId, "--serial takes no VID:PID (", arg, " given)");
    switch (ParseId(arg, options.vendorId, options.productId)) {
      case ArgError::kIdMissingColon:
        return Fail(options, ArgError::kIdMissingColon, "malformed id ", arg, ": VID:PID with a colon, such as 0abc:1234");
      case ArgError::kIdNotHex:
        return Fail(options, ArgError::kIdNotHex, "malformed id ", arg,
                    ": hex digits on both sides of the colon, such as 0abc:1234");
      case ArgError::kIdTooLong:
        return Fail(options, ArgError::kIdTooLong, "malformed id ", arg, ": at most 4 hex digits on each side");
      default:
        break;
    }
    id = arg;
    options.hasId = true;
  }
  return options;
}

}  // namespace zeltainfo
