#include "engine/core/GXResourceManager.h"

#include <algorithm>

namespace gx {

// ---- TGXResource ----------------------------------------------------------------------------

TGXResource::TGXResource(TGXWeakRef<TGXResource>* cell, std::string name, bool manual)
    : FCell(cell), FName(std::move(name)), FManual(manual) {}

TGXResource::~TGXResource() {
  // The slot is emptied before the listeners run: a listener that asks for the same name gets a
  // fresh resource instead of this dying one.
  if (FCell) *FCell = nullptr;
  if (FDestroyListeners) {
    auto listeners = std::move(FDestroyListeners);
    listeners->Notify(this);
  }
}

void TGXResource::Load() {
  if (FState != GXResourceUnloaded) return;
  FState = GXResourceLoading;
  try {
    DoLoad();
  } catch (const std::exception& e) {
    FState = GXResourceFailed;
    FLoadError = e.what();
    FDataLoader.Reset();
    throw;
  } catch (...) {
    FState = GXResourceFailed;
    FLoadError = "Unbekannter Fehler";
    FDataLoader.Reset();
    throw;
  }
  FState = GXResourceLoaded;
  FDataLoader.Reset();
}

void TGXResource::AddDestroyListener(const TDestroyHandler& handler) {
  if (!FDestroyListeners) FDestroyListeners = std::make_unique<TNotifyEventList<TGXResource>>(TGXDuplicates::Ignore);
  FDestroyListeners->Add(handler);
}

void TGXResource::RemoveDestroyListener(const TDestroyHandler& handler) {
  if (FDestroyListeners) FDestroyListeners->Remove(handler);
}

// ---- TGXResourceFactory ---------------------------------------------------------------------

TGXResourceFactory::TGXResourceFactory(TGXResourceManager* manager) {
  if (manager) manager->RegisterFactory(this);
}

TGXResourceFactory::~TGXResourceFactory() {
  if (FManager) FManager->UnregisterFactory(this);
  // Live resources must not empty a slot that is freed now.
  for (auto& slot : FSlots)
    if (TGXResource* r = slot->Get()) r->FCell = nullptr;
}

int TGXResourceFactory::LiveCount() const {
  return static_cast<int>(std::count_if(FSlots.begin(), FSlots.end(), [](const auto& s) { return s->Get() != nullptr; }));
}

IGXResource TGXResourceFactory::GetResource(const TGXGuid& kind, const TGXHashString& name, bool unique, bool manual) {
  if (kind != GetResourceKind()) return nullptr;
  if (unique) return CreateResource(nullptr, name.Text(), manual);
  TSlot* empty = nullptr;
  for (auto& slot : FSlots) {
    TGXResource* r = slot->Get();
    // A resource whose count is zero is being destroyed right now (a destroy listener of
    // another resource may ask for it); it is not handed out again.
    if (!r || r->RefCount() == 0) {
      if (!r && !empty) empty = slot.get();
      continue;
    }
    if (r->SameName(name)) return IGXResource(r);
  }
  if (!empty) {
    FSlots.push_back(std::make_unique<TSlot>());
    empty = FSlots.back().get();
  }
  IGXResource created = CreateResource(empty, name.Text(), manual);
  GX_ASSERT(created);
  *empty = created.Get();
  return created;
}

// ---- TGXResourceManager ---------------------------------------------------------------------

EGXNoResourceFactory::EGXNoResourceFactory(const std::string& file, int line)
    : EGXAssertion(file, line),
      FMessage("Ressource konnte nicht erzeugt werden, da keine passende Factory zur Verfügung stand. (" +
               std::string(EGXAssertion::what()) + ")") {}

TGXResourceManager::~TGXResourceManager() {
  while (!FFactories.empty()) UnregisterFactory(FFactories.back());
}

void TGXResourceManager::RegisterFactory(TGXResourceFactory* factory) {
  GX_ASSERT(factory != nullptr);
  if (factory->FManager == this) return;
  if (factory->FManager) factory->FManager->UnregisterFactory(factory);
  FFactories.push_back(factory);
  factory->FManager = this;
}

void TGXResourceManager::UnregisterFactory(TGXResourceFactory* factory) {
  auto it = std::find(FFactories.begin(), FFactories.end(), factory);
  if (it == FFactories.end()) return;
  // Fast removal: the last factory takes the place.
  *it = FFactories.back();
  FFactories.pop_back();
  factory->FManager = nullptr;
  if (FLastFactory == factory) FLastFactory = nullptr;
}

IGXResource TGXResourceManager::GetResource(const TGXGuid& kind, const std::string& name, bool unique, bool manual) {
  TGXHashString hashed(name);
  if (FLastFactory) {
    if (IGXResource r = FLastFactory->GetResource(kind, hashed, unique, manual)) return r;
  }
  for (TGXResourceFactory* f : FFactories) {
    if (f == FLastFactory) continue;
    if (IGXResource r = f->GetResource(kind, hashed, unique, manual)) {
      FLastFactory = f;
      return r;
    }
  }
  throw EGXNoResourceFactory(__FILE__, __LINE__);
}

}  // namespace gx
