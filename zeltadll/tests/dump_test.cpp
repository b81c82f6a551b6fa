// The hex dump that zeltaDumpBuffer prints on standard output.
#include "zeltadll.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Dump(const void* data, DWORD length) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  zeltaDumpBuffer(data, length);
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

std::vector<BYTE> Counting(std::size_t n) {
  std::vector<BYTE> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<BYTE>(i);
  return bytes;
}

TEST(DumpBuffer, PrintsSixteenBytesALineWithOffsets) {
  const std::vector<BYTE> bytes = Counting(18);
  struct Case {
    const void* data;
    DWORD length;
    std::string output;
  } cases[] = {
      {nullptr, 5, ""},
      {bytes.data(), 0, ""},
      {bytes.data(), 1, "0000 00 \n"},
      {bytes.data(), 16, "0000 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \n"},
      {bytes.data(), 17, "0000 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \n0010 10 \n"},
      {bytes.data(), 18, "0000 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \n0010 10 11 \n"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    EXPECT_EQ(Dump(cases[i].data, cases[i].length), cases[i].output);
  }
  const BYTE high[] = {0xff, 0x80, 0xAB};
  EXPECT_EQ(Dump(high, 3), "0000 ff 80 ab \n");
}

TEST(DumpBuffer, OffsetsGrowPastFourDigits) {
  const std::vector<BYTE> bytes = Counting(0x10000 + 2);
  const std::string out = Dump(bytes.data(), static_cast<DWORD>(bytes.size()));
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 0x1000 + 1);
  EXPECT_EQ(out.substr(0, 5), "0000 ");
  EXPECT_NE(out.find("\nfff0 f0 f1 f2 f3 f4 f5 f6 f7 f8 f9 fa fb fc fd fe ff \n10000 00 01 \n"), std::string::npos);
  EXPECT_EQ(out.size(), out.rfind("10000 00 01 \n") + 13);
}

}  // namespace
