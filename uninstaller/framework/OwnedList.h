#pragma once
// A growable, ordered list that owns the records it holds: removing an entry
// or destroying the list destroys the records (through their own, possibly
// virtual, destructors).
#include <stdlib.h>
#include <string.h>
#include <windows.h>

template <typename T>
class OwnedList {
 public:
  OwnedList() {}
  OwnedList(const OwnedList&) = delete;
  OwnedList& operator=(const OwnedList&) = delete;
  ~OwnedList() { Clear(); }

  int Count() const { return count_; }
  T* operator[](int i) const { return items_[i]; }

  void Add(T* item) {
    if (count_ == capacity_) {
      int grown = capacity_ ? capacity_ * 2 : 8;
      T** p = static_cast<T**>(realloc(items_, grown * sizeof(T*)));
      if (!p) FatalAppExitA(0, "Out of memory.");
      items_ = p;
      capacity_ = grown;
    }
    items_[count_++] = item;
  }

  // Destroys the record at i; later records move up one place.
  void RemoveAt(int i) {
    T* gone = items_[i];
    memmove(items_ + i, items_ + i + 1, (count_ - i - 1) * sizeof(T*));
    --count_;
    delete gone;
  }

  void Clear() {
    for (int i = 0; i < count_; ++i) delete items_[i];
    free(items_);
    items_ = nullptr;
    count_ = capacity_ = 0;
  }

 private:
  T** items_ = nullptr;
  int count_ = 0;
  int capacity_ = 0;
};
