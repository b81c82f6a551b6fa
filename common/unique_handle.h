// A move-only owner for one Win32 handle. Each handle kind names its invalid
// value and its close function in a small traits type, so that a handle is
// released on every return path and never twice.
#pragma once

#include <windows.h>

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Type get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Invalid(); }
  // For out-parameters: releases what is held and hands out the slot.
  Type* put() {
    reset();
    return &h_;
  }
  Type release() {
    Type h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  void reset(Type h = Traits::Invalid()) {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = h;
  }

 private:
  Type h_ = Traits::Invalid();
};

struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};
using UniqueRegKey = UniqueHandle<RegKeyTraits>;

struct ScHandleTraits {
  using Type = SC_HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseServiceHandle(h); }
};
using UniqueScHandle = UniqueHandle<ScHandleTraits>;

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
