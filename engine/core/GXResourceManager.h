#pragma once
// Resources and where they come from. Everything the engine loads or creates on the graphics or
// sound device (effects, materials, textures, meshes, models, sounds, videos) is a resource: a
// reference-counted object with a name, a load state, an optional data loader and destroy
// listeners. Users never construct resources: they ask the resource manager for a kind (an
// interface GUID) and a name, and the factory of that kind hands out the live resource of that
// name or a new, unloaded one.
//
// A factory remembers its resources in weak slots: a slot does not keep its resource alive, the
// resource empties it when it dies, and an empty slot is reused. So a shared resource lives
// exactly as long as someone holds it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/GXException.h"
#include "engine/core/GXGuid.h"
#include "engine/core/GXMethodList.h"
#include "engine/core/GXRefCounted.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStream.h"

namespace gx {

// {B30097EB-66B6-49B8-85E9-C406A2FC9954}
inline constexpr TGXGuid IID_IGXResource{0xB30097EB, 0x66B6, 0x49B8, {0x85, 0xE9, 0xC4, 0x06, 0xA2, 0xFC, 0x99, 0x54}};
// {57309EE6-7FC1-4452-AEAE-E3F936B16FE3}
inline constexpr TGXGuid IID_IGXDataLoader{0x57309EE6, 0x7FC1, 0x4452, {0xAE, 0xAE, 0xE3, 0xF9, 0x36, 0xB1, 0x6F, 0xE3}};

// Supplies the bytes of a resource. The application plugs in its own loaders (catalogue files).
class TGXDataLoader : public TGXRefCounted {
 public:
  explicit TGXDataLoader(std::string name = {}) : FName(std::move(name)) {}

  const std::string& GetName() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }
  // A new stream positioned at 0 with the resource's bytes; the caller owns it.
  virtual std::unique_ptr<TGXMemoryStream> LoadData() = 0;

 private:
  std::string FName;
};
using IGXDataLoader = TGXRef<TGXDataLoader>;

// Load states. Failed is reached when DoLoad raised: the resource stays unusable, Load does
// nothing any more, and LoadError tells why - so a user waiting for "loaded" can tell a
// resource that never will be from one still on its way.
enum TGXResourceState : uint8_t {
  GXResourceUnloaded = 0,
  GXResourceLoading = 1,
  GXResourceLoaded = 2,
  GXResourceFailed = 3,
};

class TGXResource : public TGXRefCounted {
 public:
  using TDestroyHandler = TGXMethod<TGXResource*>;

  static constexpr TGXGuid IID = IID_IGXResource;

  // cell: the factory slot that refers to the resource, or null for a unique resource.
  TGXResource(TGXWeakRef<TGXResource>* cell, std::string name, bool manual);

  const TGXHashString& GetName() const { return FName; }
  // The content is made by code with explicit parameters instead of being read from a file.
  bool IsManual() const { return FManual; }
  uint8_t GetState() const { return FState; }
  IGXDataLoader GetDataLoader() const { return FDataLoader; }
  void SetDataLoader(IGXDataLoader loader) { FDataLoader = std::move(loader); }

  // Loads an unloaded resource through DoLoad; does nothing in any other state. Afterwards the
  // data loader is released. An exception from DoLoad leaves the state Failed, keeps its text in
  // LoadError and propagates.
  void Load();
  bool IsLoaded() const { return FState == GXResourceLoaded; }
  bool IsUnloaded() const { return FState == GXResourceUnloaded; }
  bool IsFailed() const { return FState == GXResourceFailed; }
  const std::string& LoadError() const { return FLoadError; }

  // Handlers are called with the resource when it is destroyed; a handler already listed is
  // ignored. The resource is past saving then: handlers must not take references to it.
  void AddDestroyListener(const TDestroyHandler& handler);
  void RemoveDestroyListener(const TDestroyHandler& handler);

  // Compares the checksums first and the texts only when they agree, so two names with the same
  // checksum stay two resources.
  bool SameName(const TGXHashString& other) const { return FName == other; }

  // The class name the exceptions of the kind show.
  virtual std::string ClassName() const { return "TGXResource"; }

 protected:
  ~TGXResource() override;
  // Reads or builds the content; each kind implements it.
  virtual void DoLoad() {}

 private:
  friend class TGXResourceFactory;

  TGXWeakRef<TGXResource>* FCell;
  std::unique_ptr<TNotifyEventList<TGXResource>> FDestroyListeners;
  TGXHashString FName;
  bool FManual;
  uint8_t FState = GXResourceUnloaded;
  IGXDataLoader FDataLoader;
  std::string FLoadError;
};
using IGXResource = TGXRef<TGXResource>;

class TGXResourceManager;

// Makes the resources of one kind. Subclasses name the kind and construct its class.
class TGXResourceFactory {
 public:
  using TSlot = TGXWeakRef<TGXResource>;

  // Registers with the manager when one is given.
  explicit TGXResourceFactory(TGXResourceManager* manager = nullptr);
  TGXResourceFactory(const TGXResourceFactory&) = delete;
  TGXResourceFactory& operator=(const TGXResourceFactory&) = delete;
  // Unregisters. Resources that outlive their factory keep working but are no longer shared.
  virtual ~TGXResourceFactory();

  TGXResourceManager* Manager() const { return FManager; }

  // The interface identifier of the kind.
  virtual TGXGuid GetResourceKind() const = 0;
  // Constructs a new resource of the kind with the given slot (null for a unique resource).
  virtual IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) = 0;

  // Null unless kind is this factory's kind. Unique: a new resource in no slot. Otherwise the
  // live resource of that name (manual then does not matter), else a new one in the first empty
  // slot or a new slot.
  IGXResource GetResource(const TGXGuid& kind, const TGXHashString& name, bool unique, bool manual);

  int SlotCount() const { return static_cast<int>(FSlots.size()); }
  // Slots that hold a live resource.
  int LiveCount() const;

 private:
  friend class TGXResourceManager;
  TGXResourceManager* FManager = nullptr;
  // Each slot lives on the heap because live resources point at it.
  std::vector<std::unique_ptr<TSlot>> FSlots;
};

// Asked for a kind no registered factory makes: a programming error.
class EGXNoResourceFactory : public EGXAssertion {
 public:
  EGXNoResourceFactory(const std::string& file, int line);
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

class TGXResourceManager {
 public:
  TGXResourceManager() = default;
  TGXResourceManager(const TGXResourceManager&) = delete;
  TGXResourceManager& operator=(const TGXResourceManager&) = delete;
  // Unregisters every factory; their owners free them.
  ~TGXResourceManager();

  // Takes the factory from a previous manager and appends it.
  void RegisterFactory(TGXResourceFactory* factory);
  void UnregisterFactory(TGXResourceFactory* factory);
  int FactoryCount() const { return static_cast<int>(FFactories.size()); }
  TGXResourceFactory* Factory(int index) const { return FFactories.at(index); }
  TGXResourceFactory* LastFactory() const { return FLastFactory; }

  // Asks the factory that answered last, then the others in registration order. Raises
  // EGXNoResourceFactory when none makes the kind.
  IGXResource GetResource(const TGXGuid& kind, const std::string& name, bool unique = false, bool manual = false);

  // The same for a resource class T with its kind in T::IID.
  template <class T>
  TGXRef<T> Get(const std::string& name, bool unique = false, bool manual = false) {
    IGXResource r = GetResource(T::IID, name, unique, manual);
    T* typed = dynamic_cast<T*>(r.Get());
    GX_ASSERT(typed != nullptr);
    return TGXRef<T>(typed);
  }

 private:
  std::vector<TGXResourceFactory*> FFactories;
  TGXResourceFactory* FLastFactory = nullptr;
};

}  // namespace gx
