#pragma once
// The one reference-counted base of the engine's shared objects (resources, configuration nodes,
// data loaders, render targets, scene objects) with its smart pointer TGXRef and weak
// references TGXWeakRef. A weak reference is a slot the object clears when it dies, so a factory
// or a cache can remember objects without keeping them alive and without dangling pointers.
//
// Counting is atomic; weak slots belong to the thread that owns the object (the engine's objects
// live on the user-interface thread).

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <utility>
#include <vector>

namespace gx {

class TGXWeakRefBase;

class TGXRefCounted {
 public:
  TGXRefCounted() = default;
  TGXRefCounted(const TGXRefCounted&) = delete;
  TGXRefCounted& operator=(const TGXRefCounted&) = delete;

  void AddRef() const { FRefCount.fetch_add(1, std::memory_order_relaxed); }
  // Frees the object when the last reference goes.
  void Release() const {
    if (FRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  int RefCount() const { return FRefCount.load(std::memory_order_relaxed); }

 protected:
  // Clears every weak reference before the object's memory goes away.
  virtual ~TGXRefCounted();

 private:
  friend class TGXWeakRefBase;
  mutable std::atomic<int> FRefCount{0};
  std::vector<TGXWeakRefBase*> FWeakRefs;
};

// Strong reference: holds one count on the object.
template <class T>
class TGXRef {
 public:
  TGXRef() = default;
  TGXRef(std::nullptr_t) {}
  TGXRef(T* p) : FPtr(p) {
    if (FPtr) FPtr->AddRef();
  }
  TGXRef(const TGXRef& o) : TGXRef(o.FPtr) {}
  TGXRef(TGXRef&& o) noexcept : FPtr(std::exchange(o.FPtr, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  TGXRef(const TGXRef<U>& o) : TGXRef(o.Get()) {}
  ~TGXRef() {
    if (FPtr) FPtr->Release();
  }
  TGXRef& operator=(TGXRef o) noexcept {
    std::swap(FPtr, o.FPtr);
    return *this;
  }

  T* Get() const { return FPtr; }
  T* operator->() const { return FPtr; }
  T& operator*() const { return *FPtr; }
  explicit operator bool() const { return FPtr != nullptr; }
  void Reset() { TGXRef().swap(*this); }
  void swap(TGXRef& o) noexcept { std::swap(FPtr, o.FPtr); }
  friend bool operator==(const TGXRef& a, const TGXRef& b) { return a.FPtr == b.FPtr; }
  friend bool operator==(const TGXRef& a, std::nullptr_t) { return a.FPtr == nullptr; }

 private:
  T* FPtr = nullptr;
};

template <class T, class... Args>
TGXRef<T> MakeRef(Args&&... args) {
  return TGXRef<T>(new T(std::forward<Args>(args)...));
}

// Weak reference: a slot that reads as null once the object is destroyed.
class TGXWeakRefBase {
 protected:
  TGXWeakRefBase() = default;
  ~TGXWeakRefBase() { Attach(nullptr); }
  void Attach(TGXRefCounted* obj) {
    if (obj == FObject) return;
    if (FObject) {
      auto& refs = FObject->FWeakRefs;
      refs.erase(std::find(refs.begin(), refs.end(), this));
    }
    FObject = obj;
    if (FObject) FObject->FWeakRefs.push_back(this);
  }
  TGXRefCounted* FObject = nullptr;

 private:
  friend class TGXRefCounted;
};

template <class T>
class TGXWeakRef : public TGXWeakRefBase {
 public:
  TGXWeakRef() = default;
  TGXWeakRef(T* p) { Attach(p); }
  TGXWeakRef(const TGXWeakRef& o) { Attach(o.FObject); }
  TGXWeakRef& operator=(const TGXWeakRef& o) {
    Attach(o.FObject);
    return *this;
  }
  TGXWeakRef& operator=(T* p) {
    Attach(p);
    return *this;
  }
  // The object while it lives, else null. Does not add a reference.
  T* Get() const { return static_cast<T*>(FObject); }
  // A strong reference, or null once the object is gone.
  TGXRef<T> Lock() const { return TGXRef<T>(Get()); }
  explicit operator bool() const { return FObject != nullptr; }
};

inline TGXRefCounted::~TGXRefCounted() {
  for (TGXWeakRefBase* w : FWeakRefs) w->FObject = nullptr;
}

}  // namespace gx
