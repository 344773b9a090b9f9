#pragma once
// TGXArray: the engine's compact array of untyped pointers (child nodes, scene objects, render
// lists), with the growth rule, fast (unordered) removal and the sort that the engine's lists
// share. It never owns what its entries point to. TGXArrayOf<T> is a typed face over it.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

namespace gx {

// The list errors: a bad index ("Listenindex überschreitet das Maximum (%d)") and a duplicate
// refused by a list that forbids them ("Liste gestattet keine doppelten Einträge ($0%x)").
class EGXListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  static EGXListError IndexOutOfRange(long long index);
  static EGXListError Duplicate(std::uintptr_t code);
};

using TGXPointerArray = void**;

class TGXArray {
 public:
  // Compares two entries: negative, zero or positive like strcmp. context is passed through.
  using TCompare = int (*)(void* context, void* a, void* b);

  TGXArray() = default;
  TGXArray(const TGXArray& other) { Assign(other); }
  TGXArray(TGXArray&& other) noexcept
      : FItems(std::exchange(other.FItems, nullptr)),
        FCount(std::exchange(other.FCount, 0)),
        FCapacity(std::exchange(other.FCapacity, 0)) {}
  TGXArray& operator=(const TGXArray& other) {
    Assign(other);
    return *this;
  }
  TGXArray& operator=(TGXArray&& other) noexcept;
  ~TGXArray();

  int Count() const { return FCount; }
  int Capacity() const { return FCapacity; }
  // The storage; positions Count and above hold no items. Valid until the next change.
  TGXPointerArray Items() const { return FItems; }
  // Checked access: an index outside 0 .. Count - 1 raises the list index error.
  void* operator[](int index) const {
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(FCount)) ThrowIndex(index);
    return FItems[index];
  }
  void*& operator[](int index) {
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(FCount)) ThrowIndex(index);
    return FItems[index];
  }
  void** begin() const { return FItems; }
  void** end() const { return FItems + FCount; }

  // Appends p and returns its position. When full the capacity grows by a quarter above 64,
  // by 16 from 9 to 64 and by 4 below 9 (0, 4, 8, 12, 28, 44, 60, 76, 95, ...).
  int Add(void* p);
  // First position of p, or -1.
  int IndexOf(const void* p) const;
  // Removes the entry at index. Fast: the last entry moves into the hole (order is lost);
  // otherwise all later entries shift down. A bad index raises the list index error.
  void Delete(int index, bool fast = false);
  // IndexOf, then Delete; false when p is absent.
  bool Remove(const void* p, bool fast = false);
  // Only when n >= Count and n differs from the capacity; other values are ignored.
  void SetCapacity(int n);
  // Count := 0 and the storage freed.
  void Clear();
  // Capacity set to the other's count, then its entries appended in order.
  void Assign(const TGXArray& other);
  // Sorts first .. last (last = -1 means Count - 1); nothing happens unless
  // 0 <= first < last < Count. Quicksort on the middle entry while a range spans more than 512
  // positions, insertion sort below that. Not stable. An inconsistent compare function leaves
  // the order unspecified but never reads outside the range.
  void Sort(TCompare compare, void* context, int first = 0, int last = -1);
  // Any callable int(void*, void*).
  template <class F>
  void Sort(F&& compare, int first = 0, int last = -1) {
    auto call = [&compare](void* a, void* b) { return static_cast<int>(compare(a, b)); };
    using TCall = decltype(call);
    Sort([](void* ctx, void* a, void* b) { return (*static_cast<TCall*>(ctx))(a, b); }, &call, first, last);
  }

 private:
  [[noreturn]] static void ThrowIndex(long long index);
  void Grow();
  void Reallocate(int capacity);

  TGXPointerArray FItems = nullptr;
  int FCount = 0;
  int FCapacity = 0;
};

// A view of pointer entries as T* (each entry converted on access, never reinterpreted).
template <class T>
class TGXArrayView {
 public:
  class iterator {
   public:
    using value_type = T*;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    explicit iterator(void* const* p) : FP(p) {}
    T* operator*() const { return static_cast<T*>(*FP); }
    iterator& operator++() {
      ++FP;
      return *this;
    }
    iterator operator++(int) { return iterator(FP++); }
    friend bool operator==(const iterator&, const iterator&) = default;

   private:
    void* const* FP = nullptr;
  };

  TGXArrayView() = default;
  TGXArrayView(void* const* items, int count) : FItems(items), FCount(count) {}
  iterator begin() const { return iterator(FItems); }
  iterator end() const { return iterator(FItems + FCount); }
  int size() const { return FCount; }
  bool empty() const { return FCount == 0; }
  // The entries' storage (for a prefetch: the entries are pointers, not T).
  void* const* data() const { return FItems; }
  // Unchecked: 0 <= index < size().
  T* operator[](int index) const { return static_cast<T*>(FItems[index]); }

 private:
  void* const* FItems = nullptr;
  int FCount = 0;
};

// A TGXArray whose entries are T*.
template <class T>
class TGXArrayOf : public TGXArray {
 public:
  T* operator[](int index) const { return static_cast<T*>(TGXArray::operator[](index)); }
  // Unchecked: 0 <= index < Count.
  T* At(int index) const { return static_cast<T*>(Items()[index]); }
  TGXArrayView<T> View() const { return TGXArrayView<T>(Items(), Count()); }
  typename TGXArrayView<T>::iterator begin() const { return View().begin(); }
  typename TGXArrayView<T>::iterator end() const { return View().end(); }
  int Add(T* p) { return TGXArray::Add(p); }
  // compare(T*, T*) -> int.
  template <class F>
  void Sort(F&& compare, int first = 0, int last = -1) {
    auto typed = [&compare](void* a, void* b) { return compare(static_cast<T*>(a), static_cast<T*>(b)); };
    TGXArray::Sort(typed, first, last);
  }
};

}  // namespace gx
