#pragma once
// Counted, growable 8-bit text in the system ANSI code page, with value
// semantics. Never converted: bytes go in and out exactly as given.
#include <windows.h>

class Text {
 public:
  Text() {}
  Text(const char* s);  // NOLINT: implicit on purpose, like a literal
  Text(const char* s, int length);
  Text(const Text& other);
  Text(Text&& other);
  Text& operator=(const Text& other);
  Text& operator=(Text&& other);
  ~Text();

  int Length() const { return length_; }
  bool IsEmpty() const { return length_ == 0; }
  const char* Get() const { return data_ ? data_ : ""; }
  char operator[](int i) const { return data_[i]; }

  void Empty();
  Text& operator+=(const Text& tail) { return Append(tail.Get(), tail.length_); }
  Text& operator+=(const char* tail);
  Text& operator+=(char c) { return Append(&c, 1); }
  friend Text operator+(const Text& a, const Text& b) {
    Text r(a);
    r += b;
    return r;
  }

  Text Left(int count) const;
  Text Mid(int start) const;

  // Index of the first or last backslash that is a separator, -1 if none:
  // the trail byte of a double-byte character is never one.
  int FindFirstBackslash() const;
  int FindLastBackslash() const;

  // Case-insensitive equality, folding single-byte letters by the system
  // code page and comparing double-byte characters exactly.
  bool EqualsNoCase(const Text& other) const;

  // A writable buffer of at least capacity + 1 bytes for a platform call
  // to fill; ReleaseBuffer then takes the text up to its first zero byte.
  char* GetBuffer(int capacity);
  void ReleaseBuffer();

 private:
  Text& Append(const char* s, int count);
  void Reserve(int capacity);

  char* data_ = nullptr;
  int length_ = 0;
  int capacity_ = 0;
};
