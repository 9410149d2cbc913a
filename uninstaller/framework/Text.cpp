#include "Text.h"

#include <stdlib.h>
#include <string.h>

Text::Text(const char* s) { Append(s, s ? lstrlenA(s) : 0); }
Text::Text(const char* s, int length) { Append(s, length); }
Text::Text(const Text& other) { Append(other.Get(), other.length_); }
Text::Text(Text&& other) : data_(other.data_), length_(other.length_), capacity_(other.capacity_) {
  other.data_ = nullptr;
  other.length_ = other.capacity_ = 0;
}
Text& Text::operator=(const Text& other) {
  if (this != &other) {
    length_ = 0;
    Append(other.Get(), other.length_);
  }
  return *this;
}
Text& Text::operator=(Text&& other) {
  if (this != &other) {
    free(data_);
    data_ = other.data_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.data_ = nullptr;
    other.length_ = other.capacity_ = 0;
  }
  return *this;
}
Text::~Text() { free(data_); }

void Text::Empty() {
  length_ = 0;
  if (data_) data_[0] = '\0';
}

Text& Text::operator+=(const char* tail) { return Append(tail, tail ? lstrlenA(tail) : 0); }

void Text::Reserve(int capacity) {
  if (capacity <= capacity_ && data_) return;
  int grown = capacity_ + capacity_ / 2;
  if (grown < capacity) grown = capacity;
  char* p = static_cast<char*>(realloc(data_, grown + 1));
  if (!p) FatalAppExitA(0, "Out of memory.");
  data_ = p;
  capacity_ = grown;
}

Text& Text::Append(const char* s, int count) {
  if (count < 0) count = 0;
  // The tail may be this text itself (t += t): growing moves it.
  const bool own = data_ && s >= data_ && s <= data_ + length_;
  const int offset = own ? static_cast<int>(s - data_) : 0;
  Reserve(length_ + count);
  if (own) s = data_ + offset;
  if (count) memmove(data_ + length_, s, count);
  length_ += count;
  data_[length_] = '\0';
  return *this;
}

Text Text::Left(int count) const {
  if (count > length_) count = length_;
  return Text(Get(), count);
}

Text Text::Mid(int start) const {
  if (start > length_) start = length_;
  return Text(Get() + start, length_ - start);
}

int Text::FindFirstBackslash() const {
  for (int i = 0; i < length_; ++i) {
    if (data_[i] == '\\') return i;
    if (IsDBCSLeadByte(static_cast<BYTE>(data_[i])) && i + 1 < length_) ++i;
  }
  return -1;
}

int Text::FindLastBackslash() const {
  int last = -1;
  for (int i = 0; i < length_; ++i) {
    if (data_[i] == '\\') last = i;
    else if (IsDBCSLeadByte(static_cast<BYTE>(data_[i])) && i + 1 < length_) ++i;
  }
  return last;
}

namespace {
BYTE FoldCase(BYTE c) {
  return static_cast<BYTE>(reinterpret_cast<UINT_PTR>(CharUpperA(reinterpret_cast<LPSTR>(c))));
}
}  // namespace

bool Text::EqualsNoCase(const Text& other) const {
  if (length_ != other.length_) return false;
  for (int i = 0; i < length_; ++i) {
    BYTE a = static_cast<BYTE>(data_[i]);
    BYTE b = static_cast<BYTE>(other.data_[i]);
    if (IsDBCSLeadByte(a) && i + 1 < length_) {
      // A double-byte character matches only itself, both bytes.
      if (a != b || data_[i + 1] != other.data_[i + 1]) return false;
      ++i;
    } else if (a != b && FoldCase(a) != FoldCase(b)) {
      return false;
    }
  }
  return true;
}

char* Text::GetBuffer(int capacity) {
  Reserve(capacity);
  data_[capacity] = '\0';
  return data_;
}

void Text::ReleaseBuffer() {
  if (!data_) return;
  int n = 0;
  while (n < capacity_ && data_[n]) ++n;
  length_ = n;
  data_[n] = '\0';
}
