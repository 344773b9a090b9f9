// 10,000 draws of small meshes with a material switch every 10 draws: once through the renderer
// (scene walk, queue, state manager, effect and device) and once as a minimal loop of raw GL
// calls drawing the same meshes with the same program inputs. Both end with glFinish, so the
// figures include the GPU work (llvmpipe in headless runs) and compare like with like.

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/GXSceneNode.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXScene.h"

namespace {

using namespace gx;

constexpr int kDraws = 10000;
constexpr int kMeshes = 100;
constexpr int kMaterials = 100;
constexpr int kDrawsPerMaterial = 10;
constexpr int kTriangles = 4;
constexpr uint32_t kSize = 64;

const char* const kEffect = R"(
float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;
float4 Color = {1, 1, 1, 1};
vertexshader VS {
  in vec3 vPosition;
  void main() { gl_Position = vec4(vPosition, 1) * World * ViewProjection; }
}
pixelshader PS { out vec4 fragment; void main() { fragment = Color; } }
technique Main { pass { VertexShader = VS; PixelShader = PS; CullMode = None; } }
)";

// A small fan of triangles a few pixels wide around the origin; mesh m is shifted a little.
std::vector<float> Mesh(int m) {
  std::vector<float> v;
  const float s = 0.02f + 0.0001f * m;
  for (int t = 0; t < kTriangles; ++t) {
    const float x = s * t;
    v.insert(v.end(), {x, 0, 0.5f, x + s, 0, 0.5f, x, s, 0.5f});
  }
  return v;
}

// Draw i's world matrix: spread over the target, at a depth growing with i so that the
// renderer's front-to-back order is the order of i.
TGXMatrix WorldOf(int i) { return GXMatrixTranslation(-0.9f + 1.8f * (i % 97) / 97.0f, -0.9f + 1.8f * (i % 89) / 89.0f, 0); }

class TBenchPrimitive : public TGXRenderPrimitive {
 public:
  const TGXMatrix* GetWorldMatrix() override { return &World; }
  TGXMatrix World;
};

class TBenchObject : public TGXSceneObject {
 public:
  TBenchObject(TGXRenderPrimitive* primitive, float distance) : FPrimitive(primitive), FDistance(distance) {
    SetLocalBounds(BoxFromMinMax({-1, -1, -1}, {1, 1, 1}));
  }
  void AddToRenderQueue(TGXSceneCamera*, TGXRenderQueue* queue) override { queue->Add(FPrimitive, 0, FDistance); }

 private:
  TGXRenderPrimitive* FPrimitive;
  float FDistance;
};

struct TRendererSetup {
  std::unique_ptr<TGXRenderCore> Core = std::make_unique<TGXRenderCore>();
  TGXScene Scene;
  TGXRef<TGXRenderTarget> Target = MakeRef<TGXRenderTarget>(kSize, kSize);
  TGXViewport* Viewport = nullptr;
  TGXRef<TGXEffect> Effect;
  std::vector<IGXMaterial> Materials;
  std::vector<std::unique_ptr<TBenchPrimitive>> Primitives;

  TRendererSetup() {
    TGXGLRenderDevice& device = Core->Device();
    Target->SetSurfaces(device.CreateRenderTarget(kSize, kSize, GXFormatX8R8G8B8),
                        device.CreateDepthStencilSurface(kSize, kSize, GXFormatD24X8));
    Viewport = Target->AddViewport(0, 0, 1, 1);
    Viewport->SetScene(&Scene);
    Effect = MakeRef<TGXEffect>(nullptr, "Bench.fx", true);
    Effect->SetSourceText(kEffect);
    Effect->Load();
    for (int m = 0; m < kMaterials; ++m) {
      auto material = MakeRef<TGXMaterial>(nullptr, "M" + std::to_string(m), true);
      material->SetEffect(Effect);
      material->Load();
      material->FindValue("Color")->SetFloats({(m % 7) / 7.0f, (m % 5) / 5.0f, (m % 3) / 3.0f, 1});
      Materials.push_back(material);
    }
    const TGXVertexElement position[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0}};
    auto declaration = device.CreateVertexDeclaration(position);
    std::vector<TGXVertexGeometry> meshes;
    for (int m = 0; m < kMeshes; ++m) {
      const std::vector<float> v = Mesh(m);
      auto vb = device.CreateVertexBuffer(uint32_t(v.size() * 4));
      static_cast<TGXGLVertexBuffer*>(vb.Get())->Write(0, v.data(), uint32_t(v.size() * 4));
      meshes.push_back(TGXVertexGeometry{0, kTriangles * 3, declaration, {vb}, {12}});
    }
    for (int i = 0; i < kDraws; ++i) {
      auto p = std::make_unique<TBenchPrimitive>();
      p->Material = Materials[(i / kDrawsPerMaterial) % kMaterials];
      p->VertexGeometry = meshes[i % kMeshes];
      p->World = WorldOf(i);
      auto* node = new TGXSceneNode("N", Scene.Root());
      node->AttachObject(new TBenchObject(p.get(), float(i)));
      Primitives.push_back(std::move(p));
    }
  }
  ~TRendererSetup() { Viewport->SetScene(nullptr); }
};

void BM_Renderer(benchmark::State& state) {
  TRendererSetup s;
  s.Core->Renderer().Render(*s.Viewport);  // programs and buffers warm
  glFinish();
  for (auto _ : state) {
    s.Core->Renderer().Render(*s.Viewport);
    glFinish();
  }
  state.counters["draws"] = s.Core->Renderer().Queue().ItemCount();
  state.counters["draws/s"] = benchmark::Counter(double(kDraws), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Renderer)->Unit(benchmark::kMillisecond);

// The renderer's draw part alone: the queue is built once, then only drawn (select, clear,
// activate, bind, draw, finish), which is what the raw loop does.
void BM_RendererDrawOnly(benchmark::State& state) {
  TRendererSetup s;
  TGXRenderer& renderer = s.Core->Renderer();
  TGXRenderDevice& device = renderer.Device();
  renderer.BuildQueue(*s.Viewport);
  for (auto _ : state) {
    renderer.StateManager().SelectViewport(*s.Viewport);
    device.Clear(GXClearTarget | GXClearZBuffer, 0xFF000000, 1, 0);
    device.BeginScene();
    renderer.DrawQueue();
    device.EndScene();
    renderer.StateManager().Finish();
    glFinish();
  }
  state.counters["draws/s"] = benchmark::Counter(double(kDraws), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_RendererDrawOnly)->Unit(benchmark::kMillisecond);

GLuint Shader(GLenum kind, const char* text) {
  GLuint shader = glCreateShader(kind);
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  return shader;
}

void BM_RawGL(benchmark::State& state) {
  // A context of its own, used only through raw calls.
  auto core = std::make_unique<TGXRenderCore>();
  GLuint color = 0, depth = 0, framebuffer = 0, vao = 0;
  glGenRenderbuffers(1, &color);
  glBindRenderbuffer(GL_RENDERBUFFER, color);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kSize, kSize);
  glGenRenderbuffers(1, &depth);
  glBindRenderbuffer(GL_RENDERBUFFER, depth);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, kSize, kSize);
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
  glGenVertexArrays(1, &vao);
  glBindVertexArray(vao);
  GLuint program = glCreateProgram();
  glAttachShader(program, Shader(GL_VERTEX_SHADER,
                                 "#version 330 core\nuniform mat4 World; uniform mat4 ViewProjection;\n"
                                 "in vec3 vPosition;\n"
                                 "void main() { gl_Position = vec4(vPosition, 1) * World * ViewProjection; }\n"));
  glAttachShader(program, Shader(GL_FRAGMENT_SHADER,
                                 "#version 330 core\nuniform vec4 Color; out vec4 fragment;\n"
                                 "void main() { fragment = Color; }\n"));
  glBindAttribLocation(program, 0, "vPosition");
  glLinkProgram(program);
  glUseProgram(program);
  const GLint world = glGetUniformLocation(program, "World"), viewProjection = glGetUniformLocation(program, "ViewProjection"),
              colorLocation = glGetUniformLocation(program, "Color");
  std::vector<GLuint> buffers(kMeshes);
  glGenBuffers(kMeshes, buffers.data());
  for (int m = 0; m < kMeshes; ++m) {
    const std::vector<float> v = Mesh(m);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[size_t(m)]);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(v.size() * 4), v.data(), GL_STATIC_DRAW);
  }
  std::vector<TGXMatrix> worlds;
  for (int i = 0; i < kDraws; ++i) worlds.push_back(WorldOf(i));
  std::vector<std::array<float, 4>> colors;
  for (int m = 0; m < kMaterials; ++m) colors.push_back({(m % 7) / 7.0f, (m % 5) / 5.0f, (m % 3) / 3.0f, 1});
  const TGXMatrix clip = core->Device().ClipFix();
  glEnableVertexAttribArray(0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glViewport(0, 0, kSize, kSize);
  for (auto _ : state) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glUniformMatrix4fv(viewProjection, 1, GL_TRUE, &clip.m[0][0]);
    for (int i = 0; i < kDraws; ++i) {
      if (i % kDrawsPerMaterial == 0) glUniform4fv(colorLocation, 1, colors[size_t((i / kDrawsPerMaterial) % kMaterials)].data());
      glUniformMatrix4fv(world, 1, GL_TRUE, &worlds[size_t(i)].m[0][0]);
      glBindBuffer(GL_ARRAY_BUFFER, buffers[size_t(i % kMeshes)]);
      glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
      glDrawArrays(GL_TRIANGLES, 0, kTriangles * 3);
    }
    glFinish();
  }
  state.counters["draws/s"] = benchmark::Counter(double(kDraws), benchmark::Counter::kIsIterationInvariantRate);
  glDeleteBuffers(kMeshes, buffers.data());
  glDeleteProgram(program);
  glDeleteVertexArrays(1, &vao);
  glDeleteFramebuffers(1, &framebuffer);
  glDeleteRenderbuffers(1, &color);
  glDeleteRenderbuffers(1, &depth);
}
BENCHMARK(BM_RawGL)->Unit(benchmark::kMillisecond);

}  // namespace
