#include "device_table.h"
#include "hex_dump.h"
#include "zeltadll.h"

extern "C" void WINAPIV zeltaWcharToAnsiChar(void* buffer) {
  // A null pointer holds no string to convert.
  if (buffer != nullptr) WcharToAnsiChar(buffer);
}

extern "C" void WINAPIV zeltaDumpBuffer(const void* data, DWORD length) {
  PrintHexDump(static_cast<const unsigned char*>(data), length);
}
