#pragma once
// Model materials without a graphics device: a resource manager whose effects parse the real
// data/shaders/Model.fx (with the generator's definitions) into techniques and material
// parameters, whose textures read only their image headers, and whose materials are the engine's
// own. A folder holds the Game root with the shared base package's files, and the model
// services are installed with a report that records every asset error.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/RRMaterial.h"
#include "app/RRModelServices.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXResourceManager.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXEffectParser.h"
#include "engine/render/GXImageInfo.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXModel.h"
#include "engine/render/GXTexture.h"

namespace rr::test {

// A compiled effect that does nothing (materials only need the techniques and parameters).
class TSilentEffect : public gx::TGXCompiledEffect {
 public:
  void SetTechnique(gx::TGXEffectHandle) override {}
  void Begin() override {}
  void End() override {}
  void BeginPass(int) override {}
  void EndPass() override {}
  void SetMatrix(gx::TGXEffectHandle, const gx::TGXMatrix&) override {}
  void CommitChanges() override {}
};

// Parses its file with its macros; the parameters without a manager source become material
// parameters with their initial values, as the GL effect makes them.
class TParsedEffect : public gx::TGXEffect {
 public:
  TParsedEffect(gx::TGXWeakRef<gx::TGXResource>* cell, std::string name, bool manual,
                gx::TGXEffectParameterManager& m)
      : gx::TGXEffect(cell, std::move(name), manual), FManager(m) {}
  gx::TGXEffectDesc Desc;

 protected:
  void DoLoad() override {
    gx::IGXDataLoader loader = GetDataLoader();
    if (!loader)
      throw gx::EInvalidCall({gx::TGXExceptionArg::Object("TParsedEffect"), "DoLoad", "No loader"});
    std::unique_ptr<gx::TGXMemoryStream> stream = loader->LoadData();
    const std::string text(stream->Data().begin(), stream->Data().end());
    Desc = gx::GXParseEffect(text, GetName().Text(), GetMacros());
    SetCompiled(std::make_unique<TSilentEffect>());
    for (size_t i = 0; i < Desc.Parameters.size(); ++i) {
      const gx::TGXEffectParameterDesc& p = Desc.Parameters[i];
      const auto handle = static_cast<gx::TGXEffectHandle>(i);
      if (!p.Semantic.empty())
        if (gx::TGXEffectParameterSource* source = FManager.FindSource(p.Semantic)) {
          AddAutoParameter(source, handle);
          continue;
        }
      gx::TGXRef<gx::TGXEffectParameterSource> source =
          gx::GXCreateMaterialSource(p.Name, p.Type, p.Elements());
      if (!source) continue;
      if (auto* value = dynamic_cast<gx::TGXEffectValueSource*>(source.Get()); value && !p.Initial.empty())
        value->SetFloats(p.Initial);
      AddMaterialParameter(source, handle);
    }
    for (size_t t = 0; t < Desc.Techniques.size(); ++t) {
      gx::TGXEffectTechnique* technique = AddTechnique(Desc.Techniques[t].Name, gx::TGXEffectHandle(t));
      for (const auto& pass : Desc.Techniques[t].Passes) technique->AddPass(pass.AlphaBlend());
    }
  }

 private:
  gx::TGXEffectParameterManager& FManager;
};

class TParsedEffectFactory : public gx::TGXResourceFactory {
 public:
  TParsedEffectFactory(gx::TGXResourceManager* manager, gx::TGXEffectParameterManager& parameters)
      : gx::TGXResourceFactory(manager), FParameters(parameters) {}
  gx::TGXGuid GetResourceKind() const override { return gx::IID_IGXEffect; }
  gx::IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override {
    return gx::IGXResource(new TParsedEffect(cell, name, manual, FParameters));
  }

 private:
  gx::TGXEffectParameterManager& FParameters;
};

// A manual texture loads as it is; a file texture reads its image header (and fails on garbage).
class THeaderTexture : public gx::TGXTexture {
 public:
  using gx::TGXTexture::TGXTexture;

 protected:
  void DoLoad() override {
    if (IsManual()) return;
    const std::vector<uint8_t> data = gx::GXLoadResourceBytes(*this, GetName().Text());
    const gx::TGXImageInfo info = gx::GXReadImageInfo(data);
    SetWidth(info.Width);
    SetHeight(info.Height);
    SetFormat(info.Format);
  }
};

class THeaderTextureFactory : public gx::TGXResourceFactory {
 public:
  using gx::TGXResourceFactory::TGXResourceFactory;
  gx::TGXGuid GetResourceKind() const override { return gx::IID_IGXTexture; }
  gx::IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override {
    return gx::IGXResource(new THeaderTexture(cell, name, manual));
  }
};

// Returns a fixed model's data for any bytes (tests set Data before loading a model).
class TDataImporter : public gx::TGXModelImporter {
 public:
  TDataImporter(gx::TGXSceneNode* target, const gx::TGXModelData& data) {
    FXFile = data.Format == gx::EGXModelFormat::XFile;
    Build(data, target);
  }
};

struct TReportedError {
  TRRAssetFileName File;
  std::string Message;
};

class TMaterialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = std::filesystem::temp_directory_path() /
             ("materials-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Folder);
    std::filesystem::create_directories(Folder / "Game");
    FileSystem.SetRoot("Game", (Folder / "Game").string());
    PutShader();
    Effects = std::make_unique<TParsedEffectFactory>(&Resources, Parameters);
    Materials = std::make_unique<gx::TGXMaterialFactory>(&Resources);
    Textures = std::make_unique<THeaderTextureFactory>(&Resources);
    Install();
  }
  void TearDown() override {
    TRRModelServices::Clear();
    std::filesystem::remove_all(Folder);
  }

  // The services with this fixture's file system, resources, report and reflections.
  void Install() {
    TRRModelServices services;
    services.FileSystem = &FileSystem;
    services.Resources = &Resources;
    services.ReportAssetError = [this](const TRRAssetFileName& file, std::exception_ptr e) {
      std::string message;
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& x) {
        message = x.what();
      }
      Reported.push_back({file, message});
    };
    services.Reflections = Reflections;
    TRRModelServices::Install(services);
  }

  // A file below the Game root ("{...}\Textures\x.png").
  void PutFile(const std::string& relative, const std::vector<uint8_t>& bytes) {
    std::string path = relative;
    for (char& c : path)
      if (c == '\\') c = '/';
    const std::filesystem::path file = Folder / "Game" / path;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  void PutShader() {
    std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/data/shaders/Model.fx", std::ios::binary);
    ShaderText.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    PutFile(RRModelEffectRelative, std::vector<uint8_t>(ShaderText.begin(), ShaderText.end()));
  }

  std::filesystem::path Folder;
  std::string ShaderText;
  gx::TGXFileSystem FileSystem;
  gx::TGXResourceManager Resources;
  gx::TGXEffectParameterManager Parameters;
  std::unique_ptr<TParsedEffectFactory> Effects;
  std::unique_ptr<gx::TGXMaterialFactory> Materials;
  std::unique_ptr<THeaderTextureFactory> Textures;
  IRRReflectionManager* Reflections = nullptr;
  std::vector<TReportedError> Reported;
};

}  // namespace rr::test
