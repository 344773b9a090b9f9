#pragma once
// Track drawing on the null device: track effects built by hand with the recording compiled
// effect (every parameter a real material source, so tests read what the primitives set), the
// generated segment meshes, and a manager stand-in that hands out the resources and the
// technical-view switch.

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/entities/track/RRTrackGeometry.h"
#include "engine/core/GXException.h"
#include "engine/render/GXNullRenderDevice.h"
#include "engine/render/GXTexture.h"
#include "tests/app/entities/EntityTestSupport.h"
#include "tests/engine/render/GXRenderTestSupport.h"
#include "tools/assetgen/TrackMeshes.h"

namespace tracktest {

// The parameters of each effect kind besides the common three.
inline std::vector<std::pair<std::string, gx::TGXEffectValueType>> OwnParameters(int kind) {
  using T = gx::TGXEffectValueType;
  switch (kind) {
    case rr::RREffectLinear:
      return {{"Length", T::Float}};
    case rr::RREffectTwistedLinear:
      return {{"SegmentSize", T::Float},
              {"Length", T::Float},
              {"TwistAngle0", T::Float},
              {"TwistAngle1", T::Float}};
    case rr::RREffectLinearLow:
      return {{"Length", T::Float}, {"SegmentCount", T::Float}};
    case rr::RREffectCurve:
      return {{"SegmentSize", T::Float}, {"Length", T::Float}, {"Angle", T::Float}, {"Radius", T::Float}};
    case rr::RREffectTwistedCurve:
      return {{"SegmentSize", T::Float}, {"Length", T::Float},      {"Angle", T::Float},
              {"Radius", T::Float},      {"TwistAngle0", T::Float}, {"TwistAngle1", T::Float}};
    case rr::RREffectFlexible:
      return {{"SegmentInfo", T::Float4}, {"SegmentSize", T::Float}};
    case rr::RREffectTwistedFlexible:
      return {{"SegmentInfo", T::Float4},
              {"SegmentSize", T::Float},
              {"Length", T::Float},
              {"TwistAngle0", T::Float},
              {"TwistAngle1", T::Float}};
  }
  return {};
}

// A track effect of the kind with techniques "Main" (1) and "CAD" (2); the named parameter is
// left out, instancing arrays are added when asked for, SegmentInfo gets segmentInfo elements.
inline gx::IGXEffect MakeTrackEffect(gx::TGXNullRenderDevice& device, int kind,
                                     const std::string& leaveOut = {}, bool instancing = true,
                                     int segmentInfo = 64) {
  using T = gx::TGXEffectValueType;
  gx::IGXEffect effect = gx::MakeRef<gx::TGXEffect>(nullptr, rr::RRTrackEffectFile(kind), true);
  effect->SetCompiled(std::make_unique<gx::test::TRecordingEffect>(device, rr::RRTrackEffectFile(kind)));
  effect->AddTechnique("Main", 1)->AddPass(false);
  effect->AddTechnique("CAD", 2)->AddPass(false);
  std::vector<std::tuple<std::string, T, int>> list = {
      {"DepthBias", T::Float, 1}, {"SpecialColor", T::Float4, 1}, {"DiffuseMap", T::Texture, 1}};
  for (auto& [name, type] : OwnParameters(kind))
    list.emplace_back(name, type, name == "SegmentInfo" ? segmentInfo : 1);
  if (instancing) {
    if (kind >= rr::RREffectFlexible) list.emplace_back("InstanceSegmentInfo", T::Float4, 1024);
    list.emplace_back("InstanceWorld", T::Float4x4, 64);
    list.emplace_back("InstanceColor", T::Float4, 64);
    list.emplace_back("InstanceData", T::Float4, 64);
    list.emplace_back("InstanceShape", T::Float4, 64);
    list.emplace_back("Instanced", T::Float, 1);
    list.emplace_back("SegmentVertices", T::Float, 1);
  }
  gx::TGXEffectHandle handle = 10;
  for (auto& [name, type, count] : list)
    if (name != leaveOut)
      effect->AddMaterialParameter(gx::GXCreateMaterialSource(name, type, count), handle++);
  effect->Load();
  return effect;
}

// A null-device buffer that keeps what is written, so tests can read the copies back.
struct TCapturingDevice : gx::TGXNullRenderDevice {
  bool WriteVertexBuffer(gx::TGXDeviceVertexBuffer* b, uint32_t offset, const void* data,
                         uint32_t size) override {
    const bool ok = TGXNullRenderDevice::WriteVertexBuffer(b, offset, data, size);
    if (ok) VertexBytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return ok;
  }
  bool WriteIndexBuffer(gx::TGXDeviceIndexBuffer* b, uint32_t offset, const void* data,
                        uint32_t size) override {
    const bool ok = TGXNullRenderDevice::WriteIndexBuffer(b, offset, data, size);
    if (ok) {
      auto* p = static_cast<const uint16_t*>(data);
      IndexValues.assign(p, p + size / 2);
    }
    return ok;
  }
  std::vector<uint8_t> VertexBytes;
  std::vector<uint16_t> IndexValues;
};

// A segment mesh as a loader would answer it, with null-device buffers for the one-segment use.
inline rr::TRRSegmentMesh SegmentMesh(gx::TGXRenderDevice& device, const gx::TGXMeshData& data) {
  rr::TRRSegmentMesh m;
  m.Data = data;
  m.Layout = gx::MakeRef<gx::TGXNullVertexDeclaration>("TrackLayout");
  m.Vertices.FirstVertex = data.FirstVertex;
  m.Vertices.VertexCount = data.VertexCount;
  m.Vertices.Layout = m.Layout;
  m.Vertices.Buffers = {
      gx::TGXRef<gx::TGXDeviceVertexBuffer>(new gx::TGXNullVertexBuffer("MeshVertices", 1))};
  m.Vertices.Strides = {32};
  m.Indices.FirstIndex = 0;
  m.Indices.IndexCount = data.SubMeshes.empty() ? 0 : data.SubMeshes[0].IndexCount;
  m.Indices.Buffer = gx::TGXRef<gx::TGXDeviceIndexBuffer>(new gx::TGXNullIndexBuffer("MeshIndices", 2, 101));
  return m;
}

// A texture resource that loads without a render core.
struct TFakeTexture : gx::TGXTexture {
  using TGXTexture::TGXTexture;

 protected:
  void DoLoad() override {}
  void CreateManual() override {}
};

// Everything the resources ask for, with switches to make parts of it fail.
struct TDrawing {
  TCapturingDevice Device;
  std::vector<std::string> Reports;
  std::set<std::string> MissingFiles;
  std::map<int, std::string> LeaveOut;  // effect kind -> parameter left out
  bool Instancing = true;
  std::map<std::string, int> Loads;
  gx::TGXRef<gx::TGXRefCounted> DefaultTexture =
      gx::TGXRef<gx::TGXRefCounted>(gx::MakeRef<TFakeTexture>(nullptr, "Default", true).Get());

  std::unique_ptr<rr::TRRTrackResources> Make() {
    rr::TRRTrackResources::TSource s;
    s.Device = &Device;
    s.LoadMesh = [this](const std::string& file) {
      ++Loads[file];
      if (MissingFiles.count(file))
        throw gx::EGXException({gx::TGXExceptionArg::Object("TGXMesh"), "DoLoad", "File not found"});
      return SegmentMesh(Device, assetgen::TrackSegmentMesh(file == rr::RRTrackMeshBed));
    };
    s.LoadEffect = [this](const std::string& file) {
      ++Loads[file];
      for (int k = 0; k < rr::RRTrackEffectKinds; ++k)
        if (file == std::string(rr::RRTrackEffectFolder) + rr::RRTrackEffectFile(k)) {
          if (MissingFiles.count(file))
            throw gx::EGXException({gx::TGXExceptionArg::Object("TGXEffect"), "DoLoad", "File not found"});
          return MakeTrackEffect(Device, k, LeaveOut.count(k) ? LeaveOut[k] : std::string(), Instancing);
        }
      throw gx::EGXException({gx::TGXExceptionArg::Object("TGXEffect"), "DoLoad", "Unknown"});
    };
    s.LoadDefaultTexture = [this] { return DefaultTexture; };
    s.Report = [this](const std::string& text) { Reports.push_back(text); };
    return std::make_unique<rr::TRRTrackResources>(std::move(s));
  }
};

// A manager that draws tracks with the given resources.
struct TDrawingManager : rrtest::TTestManager {
  rr::TRRTrackResources* Resources = nullptr;
  bool Technical = false;
  rr::TRRTrackResources* TrackResources() override { return Resources; }
  bool TechnicalView() const override { return Technical; }
};

}  // namespace tracktest
