#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace kiln {

// A zero-terminated text in a fixed buffer of Capacity bytes (terminator included).
// Assignment cuts a text that does not fit, the way the updater's fixed buffers do:
// a 512-byte path field holds 511 characters, a longer value loses its tail.
template <std::size_t Capacity>
class FixedText {
  static_assert(Capacity > 0);

 public:
  FixedText() = default;
  FixedText(std::string_view text) { Assign(text); }  // NOLINT(google-explicit-constructor)
  FixedText(const char* text) { *this = text; }       // NOLINT(google-explicit-constructor)

  FixedText& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }
  FixedText& operator=(const char* text) {
    Assign(text != nullptr ? std::string_view(text) : std::string_view());
    return *this;
  }

  void Assign(std::string_view text) {
    const std::size_t n = text.size() < Capacity - 1 ? text.size() : Capacity - 1;
    if (n != 0) std::memmove(buffer_, text.data(), n);
    buffer_[n] = '\0';
  }

  // Appends as much of text as still fits.
  void Append(std::string_view text) {
    const std::size_t used = size();
    const std::size_t room = Capacity - 1 - used;
    const std::size_t n = text.size() < room ? text.size() : room;
    if (n != 0) std::memmove(buffer_ + used, text.data(), n);
    buffer_[used + n] = '\0';
  }

  // printf-style formatting, cut at the capacity. Only numbers and pointers go through
  // the argument list: a class object (a std::string for a "%s") would be read as garbage.
  template <typename... Args>
  void Format(const char* format, Args... args) {
    static_assert((!std::is_class_v<Args> && ...), "pass texts to Format as c_str()");
    std::snprintf(buffer_, Capacity, format, args...);
  }

  void Clear() { buffer_[0] = '\0'; }

  const char* c_str() const { return buffer_; }
  // Writable buffer for APIs that fill a char array of capacity() bytes; the
  // writer must leave it zero-terminated.
  char* data() { return buffer_; }
  static constexpr std::size_t capacity() { return Capacity; }
  std::size_t size() const { return std::strlen(buffer_); }
  bool empty() const { return buffer_[0] == '\0'; }
  std::string_view view() const { return std::string_view(buffer_); }
  operator std::string_view() const { return view(); }  // NOLINT(google-explicit-constructor)

  friend bool operator==(const FixedText& a, std::string_view b) { return a.view() == b; }

 private:
  char buffer_[Capacity] = {};
};

}  // namespace kiln
