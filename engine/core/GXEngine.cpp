#include "engine/core/GXEngine.h"

#include "engine/core/GXException.h"

namespace gx {

namespace {
TGXEngine* GEngine = nullptr;
}

TGXEngine* Engine() { return GEngine; }

std::unique_ptr<TGXEngine> TGXEngine::CreateEngine() {
  GX_ASSERT(GEngine == nullptr);
  return std::unique_ptr<TGXEngine>(new TGXEngine());
}

TGXEngine::TGXEngine()
    : FFileSystem(std::make_unique<TGXFileSystem>()), FResourceManager(std::make_unique<TGXResourceManager>()) {
  GEngine = this;
}

TGXEngine::~TGXEngine() {
  FMediaCore.reset();
  FRenderCore.reset();
  FResourceManager.reset();
  FFileSystem.reset();
  if (GEngine == this) GEngine = nullptr;
}

void TGXEngine::AttachRenderCore(std::unique_ptr<TGXEngineCore> core) {
  GX_ASSERT(!FRenderCore);
  FRenderCore = std::move(core);
}

void TGXEngine::AttachMediaCore(std::unique_ptr<TGXEngineCore> core) {
  GX_ASSERT(!FMediaCore);
  FMediaCore = std::move(core);
}

std::unique_ptr<TGXMemoryStream> TGXFileDataLoader::LoadData() {
  if (!Engine()) throw EInvalidCall({TGXExceptionArg::Object("TGXFileDataLoader"), "LoadData", "Keine Engine"});
  return Engine()->FileSystem().OpenFile(FFileName);
}

}  // namespace gx
