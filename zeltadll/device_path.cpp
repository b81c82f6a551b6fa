#include "device_path.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// "_" and four lower-case hexadecimal digits of id, then end and a NUL.
void FormatIdText(WORD id, char end, char (&out)[7]) {
  out[0] = '_';
  for (int k = 0; k < 4; ++k) out[1 + k] = kHexDigits[(id >> (12 - 4 * k)) & 0xF];
  out[5] = end;
  out[6] = '\0';
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Position of needle (lower case) in text at or after from, comparing the
// text's letters in lower case; -1 when absent.
long FindLower(const char* text, const char* needle, long from) {
  for (long i = from; text[i] != '\0'; ++i) {
    long k = 0;
    while (needle[k] != '\0' && LowerAscii(text[i + k]) == needle[k]) ++k;
    if (needle[k] == '\0') return i;
  }
  return -1;
}

// Four characters at digits read the way device paths are read; 0 when the
// string ends before four characters.
WORD ReadIdDigits(const char* digits) {
  WORD id = 0;
  for (int k = 0; k < 4; ++k) {
    if (digits[k] == '\0') return 0;
    const unsigned c = static_cast<unsigned char>(LowerAscii(digits[k]));
    const unsigned value = c <= '9' ? c - 0x30u : c - 0x57u;  // wraps for characters below '0'
    id = static_cast<WORD>(id + (value << (12 - 4 * k)));
  }
  return id;
}

// prefix followed by length characters of rest, each '#' made '\'.
bool BuildKey(const char* prefix, std::size_t prefixSize, const char* rest, std::size_t length, HeapText* key) {
  if (!key->Allocate(prefixSize + length)) return false;
  char* out = key->data();
  std::memcpy(out, prefix, prefixSize);
  for (std::size_t i = 0; i < length; ++i) out[prefixSize + i] = rest[i] == '#' ? '\\' : rest[i];
  return true;
}

}  // namespace

TextView MatchVendorProduct(const char* path, WORD vendorId, WORD productId) {
  char vendorText[7];
  char productText[7];
  FormatIdText(vendorId, '&', vendorText);
  FormatIdText(productId, '#', productText);
  const char* vendor = std::strstr(path, vendorText);
  if (vendor == nullptr) return {};
  const char* product = std::strstr(vendor, productText);
  if (product == nullptr) return {};
  const char* first = std::strchr(product, '#');  // the one that ends the product text
  const char* second = std::strchr(first + 1, '#');
  if (second == nullptr) return {};
  return TextView(first + 1, static_cast<std::size_t>(second - first - 1));
}

UsbIds ParseVendorProduct(const char* path) {
  UsbIds ids = {0, 0};
  const long vid = FindLower(path, "vid_", 0);
  if (vid < 0) return ids;
  ids.vendorId = ReadIdDigits(path + vid + 4);
  const long pid = FindLower(path, "pid_", vid + 1);
  if (pid >= 0) ids.productId = ReadIdDigits(path + pid + 4);
  return ids;
}

TextView ExtractUniqueId(const char* path) {
  const char* first = std::strchr(path, '#');
  const char* second = first != nullptr ? std::strchr(first + 1, '#') : nullptr;
  const char* third = second != nullptr ? std::strchr(second + 1, '#') : nullptr;
  if (third == nullptr) return {};
  return TextView(second + 1, static_cast<std::size_t>(third - second - 1));
}

bool EnumKeyOfDevicePath(const char* path, HeapText* key) {
  static constexpr char kPrefix[] = "System\\CurrentControlSet\\Enum\\";
  const std::size_t size = std::strlen(path);
  const char* rest = size > 4 ? path + 4 : "";
  const char* last = std::strrchr(rest, '#');
  const std::size_t length = last != nullptr ? static_cast<std::size_t>(last - rest) : 0;
  return BuildKey(kPrefix, sizeof(kPrefix) - 1, rest, length, key);
}

bool OwnEnumKeyOfDevicePath(const char* path, HeapText* key) {
  static constexpr char kPrefix[] = "SYSTEM\\CurrentControlSet\\Enum";
  const std::size_t size = std::strlen(path);
  const char* rest = size > 3 ? path + 3 : "";
  std::size_t length = std::strlen(rest);
  long hash = -1;
  for (int n = 0; n < 3; ++n) {
    hash = FindChar(rest, '#', hash + 1);
    if (hash < 0) break;
  }
  if (hash >= 0) length = static_cast<std::size_t>(hash);
  return BuildKey(kPrefix, sizeof(kPrefix) - 1, rest, length, key);
}
