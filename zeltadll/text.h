// Small text helpers of the library: views into strings that someone else
// owns, and one owned NUL-terminated string on the C heap. No exceptions and
// no standard containers, so that the DLL stays small.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>

// A piece of a string owned elsewhere; not NUL-terminated by itself.
struct TextView {
  const char* data = "";
  std::size_t size = 0;

  TextView() = default;
  TextView(const char* text, std::size_t length) : data(text), size(length) {}
  explicit TextView(const char* text) : data(text), size(std::strlen(text)) {}
  bool empty() const { return size == 0; }
  bool operator==(TextView other) const {
    return size == other.size && std::memcmp(data, other.data, size) == 0;
  }
};

// Position of the first c at or after from in text, or -1.
inline long FindChar(const char* text, char c, long from = 0) {
  const char* hit = std::strchr(text + from, c);
  return hit != nullptr ? static_cast<long>(hit - text) : -1;
}

// A NUL-terminated string on the C heap, owned; moves, never copies.
class HeapText {
 public:
  HeapText() = default;
  HeapText(const HeapText&) = delete;
  HeapText& operator=(const HeapText&) = delete;
  HeapText(HeapText&& other) noexcept : text_(other.text_) { other.text_ = nullptr; }
  HeapText& operator=(HeapText&& other) noexcept {
    if (this != &other) {
      std::free(text_);
      text_ = other.text_;
      other.text_ = nullptr;
    }
    return *this;
  }
  ~HeapText() { std::free(text_); }

  // Room for size characters and the terminator, which is written; the
  // characters are the caller's to fill. False when the heap is exhausted.
  bool Allocate(std::size_t size) {
    char* text = static_cast<char*>(std::malloc(size + 1));
    if (text == nullptr) return false;
    text[size] = '\0';
    std::free(text_);
    text_ = text;
    return true;
  }
  char* data() { return text_; }
  // The text; "" before anything was allocated.
  const char* c_str() const { return text_ != nullptr ? text_ : ""; }

 private:
  char* text_ = nullptr;
};
