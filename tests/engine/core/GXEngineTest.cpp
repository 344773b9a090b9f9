#include "engine/core/GXEngine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace gx;

namespace {

struct TRecordedCore : TGXEngineCore {
  TRecordedCore(std::string name, std::string* log) : Name(std::move(name)), Log(log) {}
  ~TRecordedCore() override { *Log += Name + ";"; }
  std::string Name;
  std::string* Log;
};

struct TFileResource : TGXResource {
  using TGXResource::TGXResource;
  void DoLoad() override { Bytes = GetDataLoader()->LoadData()->Size(); }
  int64_t Bytes = -1;
};

struct TFileFactory : TGXResourceFactory {
  using TGXResourceFactory::TGXResourceFactory;
  TGXGuid GetResourceKind() const override { return IID_IGXResource; }
  IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override {
    return IGXResource(new TFileResource(cell, name, manual));
  }
};

}  // namespace

TEST(GXEngine, OneEngineOwnsItsPartsAndFreesTheCoresFirst) {
  std::string log;
  {
    auto engine = TGXEngine::CreateEngine();
    EXPECT_EQ(Engine(), engine.get());
    EXPECT_THROW(TGXEngine::CreateEngine(), EGXAssertion);
    engine->AttachRenderCore(std::make_unique<TRecordedCore>("render", &log));
    engine->AttachMediaCore(std::make_unique<TRecordedCore>("media", &log));
    EXPECT_THROW(engine->AttachRenderCore(std::make_unique<TRecordedCore>("zweiter", &log)), EGXAssertion);
    EXPECT_EQ(log, "zweiter;");
    log.clear();
  }
  EXPECT_EQ(log, "media;render;");
  EXPECT_EQ(Engine(), nullptr);
}

TEST(GXEngine, FileDataLoaderReadsThroughTheFileSystemAndMissingFilesFailTheLoad) {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/velmora-engine-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  std::ofstream(dir + "/Holz.dds", std::ios::binary) << "12345";

  auto engine = TGXEngine::CreateEngine();
  engine->FileSystem().SetRoot("Temp", dir);
  TFileFactory factory(&engine->ResourceManager());
  IGXResource found = engine->ResourceManager().GetResource(IID_IGXResource, "Temp:\\Holz.dds");
  found->SetDataLoader(MakeRef<TGXFileDataLoader>("Temp:\\Holz.dds"));
  found->Load();
  EXPECT_EQ(static_cast<TFileResource*>(found.Get())->Bytes, 5);

  IGXResource missing = engine->ResourceManager().GetResource(IID_IGXResource, "Temp:\\Stein.dds");
  missing->SetDataLoader(MakeRef<TGXFileDataLoader>("Temp:\\Stein.dds"));
  EXPECT_THROW(missing->Load(), EGXPackageFileOpenError);
  EXPECT_TRUE(missing->IsFailed());
  EXPECT_EQ(missing->LoadError(), "Datei " + dir + "/Stein.dds kann nicht geöffnet werden");
  std::filesystem::remove_all(dir);
}
