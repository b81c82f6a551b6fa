// The Windows 98/Me card-reader driver "\\.\vexid" as the icon monitor meets
// it: control code 3 hands out a pointer to a cell that holds the address of
// the driver's list root, and the program then reads the list in place. On
// the 64-bit host the list lives in memory mapped below 4 GiB so that its
// 32-bit pointers reach it.
#include <windows.h>
#include <hostwin/control.h>

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hostwin {
namespace vexid {
namespace {

void Put32(BYTE* at, DWORD value) { std::memcpy(at, &value, sizeof(value)); }

BYTE* MapLow(std::size_t size) {
  void* p = MAP_FAILED;
#ifdef MAP_32BIT
  p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
#endif
  if (p == MAP_FAILED) {
    // Without MAP_32BIT, ask for an address hint low in memory.
    p = mmap(reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x40000000)), size, PROT_READ | PROT_WRITE,
             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  }
  if (p == MAP_FAILED || reinterpret_cast<std::uintptr_t>(p) + size > 0x100000000ull) {
    std::fprintf(stderr, "hostwin: cannot map %zu bytes below 4 GiB\n", size);
    std::abort();
  }
  return static_cast<BYTE*>(p);
}

}  // namespace

LowArena::LowArena(std::size_t size) : base_(MapLow(size)), size_(size) {}

LowArena::~LowArena() { munmap(base_, size_); }

BYTE* LowArena::Alloc(std::size_t n, std::size_t align) {
  used_ = (used_ + align - 1) / align * align;
  if (used_ + n > size_) {
    std::fprintf(stderr, "hostwin: low arena of %zu bytes is full\n", size_);
    std::abort();
  }
  BYTE* p = base_ + used_;
  used_ += n;
  return p;
}

void LowArena::Clear() {
  std::memset(base_, 0, size_);
  used_ = 0;
}

DWORD LowArena::Address(const void* p) const {
  return p == nullptr ? 0 : static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(p));
}

bool LowArena::Contains(const void* p, std::size_t n) const {
  const BYTE* b = static_cast<const BYTE*>(p);
  return b >= base_ && n <= size_ && b <= base_ + size_ - n;
}

Driver::Driver(std::size_t arenaSize) : arena_(arenaSize) { SetUnits({}); }

void Driver::SetUnits(const std::vector<Unit>& units) {
  arena_.Clear();
  nodes_.clear();
  cell_ = arena_.Alloc(4);
  root_ = arena_.Alloc(kRootSize);
  Put32(cell_, arena_.Address(root_));
  BYTE* previous = nullptr;
  for (const Unit& unit : units) {
    BYTE* node = arena_.Alloc(kUnitSize);
    Put32(node + kUnitFlags, unit.flags);
    std::memcpy(node + kUnitProduct, unit.product.data(), unit.product.size() < 16 ? unit.product.size() : 16);
    if (unit.hasDrive) {
      BYTE* drive = arena_.Alloc(kDriveSize);
      drive[kDriveIndex] = unit.driveIndex;
      Put32(node + kUnitDrive, arena_.Address(drive));
    }
    Put32(previous ? previous + kUnitNext : root_ + kRootFirstUnit, arena_.Address(node));
    previous = node;
    nodes_.push_back(node);
  }
}

void Driver::Link(std::size_t i, std::size_t j) {
  Put32(nodes_.at(i) + kUnitNext, j == static_cast<std::size_t>(-1) ? 0 : arena_.Address(nodes_.at(j)));
}

DWORD Driver::Open(DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  opens_.push_back(OpenArgs{access, share, disposition, flags});
  return openError_;
}

bool Driver::Control(DWORD code, const void*, DWORD, void* out, DWORD outSize, DWORD* bytesReturned, DWORD* error) {
  ++requests_;
  if (code != 3) {
    *error = ERROR_INVALID_FUNCTION;
    return false;
  }
  if (listError_ != 0) {
    *error = listError_;
    return false;
  }
  if (out == nullptr || outSize < 4) {
    *error = ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  Put32(static_cast<BYTE*>(out), answerOverride_ ? answer_ : arena_.Address(cell_));
  if (writeThenFailError_ != 0) {
    *error = writeThenFailError_;
    return false;
  }
  *bytesReturned = 4;
  return true;
}

std::shared_ptr<Driver> Install(std::size_t arenaSize) {
  auto driver = std::make_shared<Driver>(arenaSize);
  devices::Install("\\\\.\\vexid", driver);
  return driver;
}

}  // namespace vexid
}  // namespace hostwin
