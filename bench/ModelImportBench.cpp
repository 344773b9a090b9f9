// Model import speed: a smoothed 3DS grid of 10k and 100k faces read and built (the larger must
// stay below 60 ms and 15 times the smaller: smoothing looks only at each vertex's own faces),
// an 800 KB text .x file (target below 20 ms), a 400 KB binary one (below 5 ms), and the MSZIP
// inflation of a compressed body beside one raw zlib inflate of the same bytes (the baseline).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "engine/core/GXEngine.h"
#include "engine/render/GX3DSReader.h"
#include "engine/render/GXModel.h"
#include "engine/render/GXModelWriter.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXXFileReader.h"

namespace {

using namespace gx;

// A wavy grid of side × side vertices: 2 × (side − 1)² faces.
TGXModelData Grid(int side) {
  TGXModelData m;
  TGXModelMesh mesh;
  mesh.Name = "Grid";
  for (int z = 0; z < side; ++z)
    for (int x = 0; x < side; ++x) {
      const float y = std::sin(x * 0.3f) * std::cos(z * 0.2f);
      mesh.Vertices.push_back({{float(x), y, float(z)}, {0, 1, 0}, {float(x) / side, float(z) / side}});
    }
  for (int z = 0; z + 1 < side; ++z)
    for (int x = 0; x + 1 < side; ++x) {
      const uint16_t a = uint16_t(z * side + x), b = uint16_t(a + 1), c = uint16_t(a + side),
                     d = uint16_t(c + 1);
      mesh.Indices.insert(mesh.Indices.end(), {a, c, d, a, d, b});
    }
  mesh.SubMeshes = {
      {0, uint32_t(mesh.Indices.size() / 2), "Gras.dds", {}, {}},
      {uint32_t(mesh.Indices.size() / 2), uint32_t(mesh.Indices.size() / 2), "Erde.dds", {}, {}}};
  GXModelCalculateBounds(mesh);
  m.Meshes = {mesh};
  m.RootMeshes = {0};
  return m;
}

// The grid side whose text .x file comes closest to the size (grows until it passes).
int SideForSize(size_t bytes, EGXXFileForm form) {
  int side = 16;
  while (GXWriteXFile(Grid(side), {form, false}).size() < bytes && side < 255) side += 8;
  return side;
}

// The engine with a render core, for the builder's meshes.
struct TCore {
  std::unique_ptr<TGXEngine> Engine = TGXEngine::CreateEngine();
  TCore() { Engine->AttachRenderCore(std::make_unique<TGXRenderCore>()); }
};
TCore& Core() {
  static TCore core;
  return core;
}

void BM_3DSReadAndBuild(benchmark::State& state) {
  Core();
  // A 3DS object holds at most 65,535 faces: the larger model is several grids.
  const int side = int(state.range(0)), objects = int(state.range(1));
  TGXModelData model = Grid(side);
  for (int i = 1; i < objects; ++i) {
    model.Meshes.push_back(model.Meshes[0]);
    model.Meshes.back().Name += std::to_string(i);
    model.RootMeshes.push_back(uint32_t(i));
  }
  const std::vector<uint8_t> file = GXWrite3DS(model, {true});
  size_t faces = 0;
  for (auto _ : state) {
    TGXModelData data = GXRead3DS(file.data(), file.size());
    faces = 0;
    for (const TGXModelMesh& mesh : data.Meshes) faces += mesh.Indices.size() / 3;
    TGXBuiltModel built = GXBuildModel(data, nullptr);
    benchmark::DoNotOptimize(built.Meshes.data());
  }
  state.counters["faces"] = double(faces);
  state.counters["vertices"] = double(side * side * objects);
}
// One grid of 71 × 71: 9,800 faces; two of 160 × 160: 2 × 50,562 = 101,124 faces (51,200 vertices).
BENCHMARK(BM_3DSReadAndBuild)->Args({71, 1})->Args({160, 2})->Unit(benchmark::kMillisecond);

void BM_XFileRead(benchmark::State& state) {
  const EGXXFileForm form = EGXXFileForm(state.range(0));
  const size_t target = form == EGXXFileForm::Text ? 800 * 1024 : 400 * 1024;
  const std::vector<uint8_t> file = GXWriteXFile(Grid(SideForSize(target, form)), {form, false});
  for (auto _ : state) {
    TGXModelData data = GXReadXFile(file.data(), file.size());
    benchmark::DoNotOptimize(data.Meshes.data());
  }
  state.counters["KB"] = double(file.size()) / 1024;
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(BM_XFileRead)
    ->Arg(int(EGXXFileForm::Text))
    ->Arg(int(EGXXFileForm::Binary))
    ->Unit(benchmark::kMillisecond);

// A 4 MB text body: the blocks of the reader against one raw inflate of the same bytes.
std::vector<uint8_t> Body() {
  const std::vector<uint8_t> file = GXWriteXFile(Grid(SideForSize(4 << 20, EGXXFileForm::Text)));
  return std::vector<uint8_t>(file.begin() + 16, file.end());
}

void BM_InflateMSZIP(benchmark::State& state) {
  const std::vector<uint8_t> body = Body();
  const std::vector<uint8_t> packed = GXDeflateXFileBody(body.data(), body.size());
  for (auto _ : state) {
    std::vector<uint8_t> out = GXInflateXFileBody(packed.data(), packed.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
}
BENCHMARK(BM_InflateMSZIP)->Unit(benchmark::kMillisecond);

void BM_InflateRawZlib(benchmark::State& state) {
  const std::vector<uint8_t> body = Body();
  std::vector<uint8_t> packed(compressBound(uLong(body.size())));
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
  z.next_in = const_cast<Bytef*>(body.data());
  z.avail_in = uInt(body.size());
  z.next_out = packed.data();
  z.avail_out = uInt(packed.size());
  deflate(&z, Z_FINISH);
  packed.resize(packed.size() - z.avail_out);
  deflateEnd(&z);
  for (auto _ : state) {
    std::vector<uint8_t> out(body.size());
    z_stream in{};
    inflateInit2(&in, -MAX_WBITS);
    in.next_in = packed.data();
    in.avail_in = uInt(packed.size());
    in.next_out = out.data();
    in.avail_out = uInt(out.size());
    if (inflate(&in, Z_FINISH) != Z_STREAM_END) state.SkipWithError("inflate");
    inflateEnd(&in);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
}
BENCHMARK(BM_InflateRawZlib)->Unit(benchmark::kMillisecond);

}  // namespace
