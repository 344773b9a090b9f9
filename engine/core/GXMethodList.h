#pragma once
// Multicast handler lists. A handler is a piece of code bound to an object; its identity is the
// pair (code, data), so the same member function registered for the same object is recognised
// again when it is removed or added twice.
//
// TMethodList keeps the entries and the duplicates rule; TMethodListOf<Args...> adds the typed
// handlers and Notify; TNotifyEventList<TSender> is the common case of handlers taking a sender.
//
// Notify works on a copy of the list: a handler removed during a notification is not called any
// more, one added during it is not called either, and a handler may destroy the list (or the
// object that owns it) without the notification touching freed memory - the remaining handlers
// are then simply not called, because a destroyed list holds none.

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/core/GXArray.h"

namespace gx {

// The identity of a handler: its code (a function or member function pointer, or any address
// the caller chooses for a callable without one) and its data (the object, or null).
struct TGXMethodKey {
  std::uintptr_t Code[2] = {0, 0};
  const void* Data = nullptr;

  TGXMethodKey() = default;
  TGXMethodKey(const void* code, const void* data)
      : Code{reinterpret_cast<std::uintptr_t>(code), 0}, Data(data) {}

  // The key of a member function (or a plain function pointer) bound to obj.
  template <class Fn>
  static TGXMethodKey Of(const void* obj, Fn fn) {
    static_assert(std::is_trivially_copyable_v<Fn> && sizeof(Fn) <= sizeof(Code),
                  "code pointers up to two words are supported");
    TGXMethodKey k;
    std::memcpy(k.Code, &fn, sizeof(Fn));
    k.Data = obj;
    return k;
  }

  friend bool operator==(const TGXMethodKey& a, const TGXMethodKey& b) {
    return a.Code[0] == b.Code[0] && a.Code[1] == b.Code[1] && a.Data == b.Data;
  }
};

// What Add does with a handler whose key is already listed.
enum class TGXDuplicates { Ignore = 0, Accept = 1, Error = 2 };

class TMethodList {
 public:
  explicit TMethodList(TGXDuplicates duplicates = TGXDuplicates::Accept) : FDuplicates(duplicates) {}
  TMethodList(const TMethodList& other) : FDuplicates(other.FDuplicates) { Assign(other); }
  TMethodList& operator=(const TMethodList& other) {
    if (this != &other) {
      FDuplicates = other.FDuplicates;
      Assign(other);
    }
    return *this;
  }
  virtual ~TMethodList();

  TGXDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TGXDuplicates value) { FDuplicates = value; }

  int Count() const { return static_cast<int>(FEntries.size()); }
  // The key at index; a bad index raises the list index error.
  const TGXMethodKey& Key(int index) const;
  // First position of a handler with this key, or -1.
  int IndexOf(const TGXMethodKey& key) const;
  // Removes the first handler with this key; returns its former position or -1.
  int Remove(const TGXMethodKey& key);
  void Clear();
  // Replaces the entries with copies of the other list's (the duplicates mode stays).
  void Assign(const TMethodList& other);

 protected:
  // One heap entry per registration. Notify's copy shares the entries, and Listed tells it
  // whether the list still holds an entry when its turn comes.
  struct TEntry {
    TGXMethodKey Key;
    bool Listed = true;
    explicit TEntry(const TGXMethodKey& key) : Key(key) {}
    virtual ~TEntry() = default;
    virtual std::shared_ptr<TEntry> Clone() const = 0;
  };
  using TSnapshot = std::vector<std::shared_ptr<TEntry>>;

  // Applies the duplicates mode: the new position, -1 when ignored, or the duplicate error.
  int AddEntry(std::shared_ptr<TEntry> entry);
  TSnapshot Snapshot() const { return FEntries; }

 private:
  TGXDuplicates FDuplicates;
  TSnapshot FEntries;
};

// A handler: a key and the call. Built from an object and a member function, from a plain
// function, or from any callable with a key the caller chooses.
template <class... Args>
class TGXMethod {
 public:
  template <class C, class R>
  TGXMethod(C* obj, R (C::*fn)(Args...))
      : FKey(TGXMethodKey::Of(obj, fn)), FCall([obj, fn](Args... a) { (obj->*fn)(a...); }) {}
  template <class C, class R>
  TGXMethod(const C* obj, R (C::*fn)(Args...) const)
      : FKey(TGXMethodKey::Of(obj, fn)), FCall([obj, fn](Args... a) { (obj->*fn)(a...); }) {}
  template <class R>
  TGXMethod(R (*fn)(Args...)) : FKey(TGXMethodKey::Of(nullptr, fn)), FCall([fn](Args... a) { fn(a...); }) {}
  TGXMethod(const TGXMethodKey& key, std::function<void(Args...)> call) : FKey(key), FCall(std::move(call)) {}

  const TGXMethodKey& Key() const { return FKey; }
  void operator()(Args... args) const {
    if (FCall) FCall(args...);
  }

 private:
  TGXMethodKey FKey;
  std::function<void(Args...)> FCall;
};

template <class... Args>
class TMethodListOf : public TMethodList {
 public:
  using TMethod = TGXMethod<Args...>;
  using TMethodList::IndexOf;
  using TMethodList::Remove;
  using TMethodList::TMethodList;

  // Subject to the duplicates mode: the new position, or -1 when a duplicate was ignored.
  int Add(const TMethod& method) { return AddEntry(std::make_shared<TTypedEntry>(method)); }
  int IndexOf(const TMethod& method) const { return IndexOf(method.Key()); }
  int Remove(const TMethod& method) { return Remove(method.Key()); }

  // Calls every handler the list holds now, in order, unless it is removed before its turn.
  // An exception from a handler ends the notification and propagates.
  void Notify(Args... args) {
    // Only the copy is touched from here on: a handler may destroy this list.
    const TSnapshot copy = Snapshot();
    for (const auto& entry : copy)
      if (entry->Listed) static_cast<const TTypedEntry&>(*entry).Method(args...);
  }

 private:
  struct TTypedEntry : TEntry {
    TMethod Method;
    explicit TTypedEntry(const TMethod& m) : TEntry(m.Key()), Method(m) {}
    std::shared_ptr<TEntry> Clone() const override { return std::make_shared<TTypedEntry>(Method); }
  };
};

// Handlers taking one sender.
template <class TSender = void>
class TNotifyEventList : public TMethodListOf<TSender*> {
 public:
  using TMethodListOf<TSender*>::TMethodListOf;
};

}  // namespace gx
