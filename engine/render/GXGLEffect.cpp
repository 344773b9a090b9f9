#include "engine/render/GXGLEffect.h"

#include <epoxy/gl.h>

#include <cstring>

#include "engine/core/GXException.h"

namespace gx {

namespace {

const char* GlslType(TGXEffectValueType type) {
  switch (type) {
    case TGXEffectValueType::Bool: return "bool";
    case TGXEffectValueType::Int: return "int";
    case TGXEffectValueType::Float: return "float";
    case TGXEffectValueType::Float2: return "vec2";
    case TGXEffectValueType::Float3: return "vec3";
    case TGXEffectValueType::Float4: return "vec4";
    case TGXEffectValueType::Float4x4: return "mat4";
    default: return nullptr;
  }
}

[[noreturn]] void CompileFailed(const std::string& name, const std::string& log) {
  throw EDirect3D({TGXExceptionArg::Object("TGXEffect"), "DoLoad", "D3DXCreateEffect failed", name + ": " + log});
}

GLuint CompileShader(GLenum kind, const std::string& source, const std::string& name) {
  GLuint shader = glCreateShader(kind);
  const char* text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    std::string log(4096, '\0');
    GLsizei length = 0;
    glGetShaderInfoLog(shader, GLsizei(log.size()), &length, log.data());
    glDeleteShader(shader);
    log.resize(size_t(length));
    CompileFailed(name, log);
  }
  return shader;
}

}  // namespace

// ---- compiled effect ----

namespace {

GLint Filter(uint32_t min, uint32_t mip) {
  const bool linear = min >= 2;
  if (mip == 0) return linear ? GL_LINEAR : GL_NEAREST;
  if (mip == 1) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
}

GLint Address(uint32_t mode) {
  switch (mode) {
    case 2: return GL_MIRRORED_REPEAT;
    case 3: return GL_CLAMP_TO_EDGE;
  }
  return GL_REPEAT;
}

uint32_t SamplerState(const TGXEffectSamplerDesc& s, const char* name, uint32_t fallback) {
  auto it = s.States.find(name);
  return it == s.States.end() ? fallback : it->second;
}

}  // namespace

TGXGLCompiledEffect::TGXGLCompiledEffect(TGXGLRenderDevice& device, TGXEffectDesc desc, const std::string& name)
    : FDevice(device), FDesc(std::move(desc)) {
  // The declarations every shader of the file sees: the parameters as uniforms, the samplers.
  std::string header = "#version 330 core\n";
  for (const auto& p : FDesc.Parameters) {
    const char* type = GlslType(p.Type);
    if (!type) continue;
    header += std::string("uniform ") + type + " " + p.Name;
    // Appended piece by piece: "[" + std::to_string(...) makes GCC 12 warn of an overlap (-Wrestrict).
    if (p.ArraySize > 0) header.append("[").append(std::to_string(p.ArraySize)).append("]");
    header += ";\n";
  }
  for (const auto& s : FDesc.Samplers)
    header += std::string("uniform ") + (s.Cube ? "samplerCube " : "sampler2D ") + s.Name + ";\n";
  header += FDesc.CommonCode;

  const size_t count = FDesc.Parameters.size();
  FValues.resize(count);
  FVersions.assign(count, 0);
  FClipFixed.assign(count, false);
  for (size_t i = 0; i < count; ++i) {
    const auto& p = FDesc.Parameters[i];
    FValues[i].assign(size_t(GXEffectTypeComponents(p.Type)) * 4 * p.Elements(), 0);
    if (!p.Initial.empty() && GlslType(p.Type)) {
      TGXEffectValueSource source(p.Name, p.Type, p.Elements());
      source.SetFloats(p.Initial);
      FValues[i] = source.Data();
      FVersions[i] = FNextVersion++;
    }
    FClipFixed[i] = p.Type == TGXEffectValueType::Float4x4 &&
                    (p.Semantic == "PROJECTION" || p.Semantic == "VIEWPROJECTION" || p.Semantic == "WORLDVIEWPROJECTION");
  }

  FTextures.resize(count);
  for (const auto& sampler : FDesc.Samplers) {
    GLuint object = 0;
    glGenSamplers(1, &object);
    FSamplerObjects.push_back(object);
    glSamplerParameteri(object, GL_TEXTURE_WRAP_S, Address(SamplerState(sampler, "ADDRESSU", 1)));
    glSamplerParameteri(object, GL_TEXTURE_WRAP_T, Address(SamplerState(sampler, "ADDRESSV", 1)));
    glSamplerParameteri(object, GL_TEXTURE_WRAP_R, Address(SamplerState(sampler, "ADDRESSW", 1)));
    int texture = -1;
    for (size_t i = 0; i < count; ++i)
      if (FDesc.Parameters[i].Name == sampler.Texture) texture = static_cast<int>(i);
    FSamplerTextures.push_back(texture);
  }
  try {
    for (const auto& technique : FDesc.Techniques) {
      FPrograms.emplace_back();
      for (const auto& pass : technique.Passes) {
        const auto& vs = FDesc.Shaders.at(pass.VertexShader);
        const auto& ps = FDesc.Shaders.at(pass.PixelShader);
        const std::string where = name + " " + technique.Name + "." + pass.Name;
        GLuint v = CompileShader(GL_VERTEX_SHADER, header + "#line " + std::to_string(vs.Line) + "\n" + vs.Code, where);
        GLuint f = 0;
        try {
          f = CompileShader(GL_FRAGMENT_SHADER, header + "#line " + std::to_string(ps.Line) + "\n" + ps.Code, where);
        } catch (...) {
          glDeleteShader(v);
          throw;
        }
        TProgram program;
        program.Name = glCreateProgram();
        FPrograms.back().push_back(program);  // owned from here on, also when linking fails
        glAttachShader(program.Name, v);
        glAttachShader(program.Name, f);
        for (int i = 0; i < GXGLAttributeCount; ++i)
          glBindAttribLocation(program.Name, GLuint(i), GXGLAttributeName(i));
        glLinkProgram(program.Name);
        glDeleteShader(v);
        glDeleteShader(f);
        GLint ok = 0;
        glGetProgramiv(program.Name, GL_LINK_STATUS, &ok);
        if (!ok) {
          std::string log(4096, '\0');
          GLsizei length = 0;
          glGetProgramInfoLog(program.Name, GLsizei(log.size()), &length, log.data());
          log.resize(size_t(length));
          CompileFailed(where, log);
        }
        TProgram& p = FPrograms.back().back();
        for (const auto& parameter : FDesc.Parameters)
          p.Locations.push_back(GlslType(parameter.Type) ? glGetUniformLocation(p.Name, parameter.Name.c_str()) : -1);
        p.Uploaded.assign(count, 0);
        // Samplers take the texture units in the order they are declared.
        FDevice.UseProgram(p.Name);
        for (size_t s = 0; s < FDesc.Samplers.size(); ++s) {
          const GLint location = glGetUniformLocation(p.Name, FDesc.Samplers[s].Name.c_str());
          if (location >= 0) glUniform1i(location, GLint(s));
        }
      }
    }
  } catch (...) {
    for (auto& passes : FPrograms)
      for (auto& p : passes) glDeleteProgram(p.Name);
    for (GLuint object : FSamplerObjects) glDeleteSamplers(1, &object);
    FDevice.UseProgram(0);
    throw;
  }
  FDevice.UseProgram(0);
}

TGXGLCompiledEffect::~TGXGLCompiledEffect() {
  FDevice.UseProgram(0);
  for (GLuint object : FSamplerObjects) {
    FDevice.ForgetSampler(object);
    glDeleteSamplers(1, &object);
  }
  for (auto& passes : FPrograms)
    for (auto& p : passes) glDeleteProgram(p.Name);
}

void TGXGLCompiledEffect::SetTechnique(TGXEffectHandle technique) {
  if (technique >= FPrograms.size())
    throw EInvalidParameter({TGXExceptionArg::Object("TGXGLCompiledEffect"), "SetTechnique", "No such technique"});
  FTechnique = static_cast<int>(technique);
}

void TGXGLCompiledEffect::Begin() {}

void TGXGLCompiledEffect::End() {
  if (FPass) EndPass();
}

void TGXGLCompiledEffect::BeginPass(int index) {
  auto& passes = FPrograms.at(size_t(FTechnique));
  if (index < 0 || size_t(index) >= passes.size())
    throw EInvalidParameter({TGXExceptionArg::Object("TGXGLCompiledEffect"), "BeginPass", "No such pass"});
  if (FPass) EndPass();
  const TGXEffectPassDesc& pass = FDesc.Techniques[size_t(FTechnique)].Passes[size_t(index)];
  if (FStateManager) {
    for (const auto& [state, value] : pass.States) FStateManager->SetRenderState(state, value);
    for (const auto& [state, parameter] : pass.ParameterStates)
      FStateManager->SetRenderState(state, ParameterState(state, parameter));
    return;
  }
  FPass = &passes[size_t(index)];
  FPassIndex = index;
  FDevice.UseProgram(FPass->Name);
  FSavedStates.clear();
  for (const auto& [state, value] : pass.States) {
    FSavedStates.emplace_back(state, FDevice.RenderState(state));
    FDevice.SetRenderState(state, value);
  }
  for (const auto& [state, parameter] : pass.ParameterStates) {
    FSavedStates.emplace_back(state, FDevice.RenderState(state));
    FDevice.SetRenderState(state, ParameterState(state, parameter));
  }
  Upload(*FPass);
  BindTextures();
}

uint32_t TGXGLCompiledEffect::ParameterState(uint32_t state, int parameter) const {
  const std::vector<uint8_t>& value = FValues.at(size_t(parameter));
  uint32_t raw = 0;
  if (value.size() >= 4) std::memcpy(&raw, value.data(), 4);
  const bool isFloat = FDesc.Parameters[size_t(parameter)].Type == TGXEffectValueType::Float;
  // Depth biases are stored as float bits, every other state as a whole number.
  if (state == GXRSDepthBias || state == GXRSSlopeScaleDepthBias) {
    if (isFloat) return raw;
    const float f = static_cast<float>(static_cast<int32_t>(raw));
    std::memcpy(&raw, &f, 4);
    return raw;
  }
  if (!isFloat) return raw;
  float f = 0;
  std::memcpy(&f, &raw, 4);
  return f > 0 && f < 4294967040.0f ? static_cast<uint32_t>(f) : 0;
}

void TGXGLCompiledEffect::EndPass() {
  // Put back in reverse order, so that a state named twice gets its value from before the pass.
  for (auto it = FSavedStates.rbegin(); it != FSavedStates.rend(); ++it) FDevice.SetRenderState(it->first, it->second);
  FSavedStates.clear();
  FPass = nullptr;
  FPassIndex = -1;
}

void TGXGLCompiledEffect::SetMatrix(TGXEffectHandle parameter, const TGXMatrix& value) {
  if (parameter >= FValues.size() || FValues[parameter].size() < sizeof(TGXMatrix)) return;
  const TGXMatrix m = FClipFixed[parameter] ? GXMatrixMultiply(value, FDevice.ClipFix()) : value;
  if (std::memcmp(FValues[parameter].data(), &m, sizeof m) == 0 && FVersions[parameter] != 0) return;
  std::memcpy(FValues[parameter].data(), &m, sizeof m);
  FVersions[parameter] = FNextVersion++;
}

void TGXGLCompiledEffect::SetValue(TGXEffectHandle parameter, const void* data, uint32_t size) {
  if (parameter >= FValues.size()) return;
  std::vector<uint8_t>& value = FValues[parameter];
  const size_t n = std::min<size_t>(size, value.size());
  if (FVersions[parameter] != 0 && std::memcmp(value.data(), data, n) == 0) return;
  std::memcpy(value.data(), data, n);
  if (FClipFixed[parameter] && n >= sizeof(TGXMatrix)) {
    TGXMatrix m;
    std::memcpy(&m, value.data(), sizeof m);
    m = GXMatrixMultiply(m, FDevice.ClipFix());
    std::memcpy(value.data(), &m, sizeof m);
  }
  FVersions[parameter] = FNextVersion++;
}

void TGXGLCompiledEffect::CommitChanges() {
  if (!FPass) return;
  Upload(*FPass);
  BindTextures();
}

void TGXGLCompiledEffect::SetTexture(TGXEffectHandle parameter, TGXGLTexture* texture) {
  if (parameter < FTextures.size()) FTextures[parameter] = texture;
}

void TGXGLCompiledEffect::ApplySamplerFilters() {
  const TGXTextureFilterLevel& level = FDevice.FilterLevel();
  for (size_t s = 0; s < FSamplerObjects.size(); ++s) {
    const TGXEffectSamplerDesc& sampler = FDesc.Samplers[s];
    const GLuint object = FSamplerObjects[s];
    const uint32_t min = SamplerState(sampler, "MINFILTER", level.MinFilter);
    const uint32_t mag = SamplerState(sampler, "MAGFILTER", level.MagFilter);
    glSamplerParameteri(object, GL_TEXTURE_MIN_FILTER, Filter(min, SamplerState(sampler, "MIPFILTER", level.MipFilter)));
    glSamplerParameteri(object, GL_TEXTURE_MAG_FILTER, mag >= 2 ? GL_LINEAR : GL_NEAREST);
    if (FDevice.Anisotropic()) {
      const uint32_t anisotropy = min == 3 || mag == 3 ? SamplerState(sampler, "MAXANISOTROPY", level.MaxAnisotropy) : 1;
      glSamplerParameterf(object, GL_TEXTURE_MAX_ANISOTROPY, GLfloat(std::max(1u, anisotropy)));
    }
  }
  FFilterGeneration = FDevice.FilterGeneration();
}

void TGXGLCompiledEffect::BindTextures() {
  if (FFilterGeneration != FDevice.FilterGeneration()) ApplySamplerFilters();
  for (size_t s = 0; s < FSamplerObjects.size(); ++s) {
    const int parameter = FSamplerTextures[s];
    FDevice.SetTexture(static_cast<uint32_t>(s), parameter >= 0 ? FTextures[size_t(parameter)].Get() : nullptr);
    FDevice.BindSampler(static_cast<uint32_t>(s), FSamplerObjects[s]);
  }
}

void TGXGLCompiledEffect::Upload(TProgram& program) {
  for (size_t i = 0; i < FValues.size(); ++i) {
    const GLint location = program.Locations[i];
    if (location < 0 || program.Uploaded[i] == FVersions[i]) continue;
    program.Uploaded[i] = FVersions[i];
    const auto& p = FDesc.Parameters[i];
    const GLsizei n = GLsizei(p.Elements());
    const auto* f = reinterpret_cast<const GLfloat*>(FValues[i].data());
    const auto* k = reinterpret_cast<const GLint*>(FValues[i].data());
    switch (p.Type) {
      case TGXEffectValueType::Bool:
      case TGXEffectValueType::Int: glUniform1iv(location, n, k); break;
      case TGXEffectValueType::Float: glUniform1fv(location, n, f); break;
      case TGXEffectValueType::Float2: glUniform2fv(location, n, f); break;
      case TGXEffectValueType::Float3: glUniform3fv(location, n, f); break;
      case TGXEffectValueType::Float4: glUniform4fv(location, n, f); break;
      case TGXEffectValueType::Float4x4: glUniformMatrix4fv(location, n, GL_TRUE, f); break;
      default: continue;
    }
    ++FUploads;
  }
}

// ---- building an effect ----

void GXBuildGLEffect(TGXEffect& effect, TGXGLRenderDevice& device, TGXEffectParameterManager& manager,
                     std::string_view text, const std::vector<std::string>& macros,
                     const TGXEffectIncludeHandler& include) {
  const std::string name = effect.GetName().Text();
  auto compiled = std::make_unique<TGXGLCompiledEffect>(device, GXParseEffect(text, name, macros, include), name);
  const TGXEffectDesc& desc = compiled->Desc();
  effect.SetCompiled(std::move(compiled));
  for (size_t t = 0; t < desc.Techniques.size(); ++t) {
    const TGXEffectTechniqueDesc& td = desc.Techniques[t];
    TGXEffectTechnique* technique = effect.AddTechnique(td.Name, static_cast<TGXEffectHandle>(t));
    // Each pass is begun once with a recorder installed: it blends when it turns alpha
    // blending (render state 27) on.
    TGXCompiledEffect* compiled = effect.Compiled();
    for (size_t p = 0; p < td.Passes.size(); ++p) {
      TGXEffectStateRecorder recorder;
      compiled->SetStateManager(&recorder);
      compiled->SetTechnique(static_cast<TGXEffectHandle>(t));
      compiled->Begin();
      compiled->BeginPass(static_cast<int>(p));
      compiled->EndPass();
      compiled->End();
      compiled->SetStateManager(nullptr);
      technique->AddPass(recorder.RecordedRenderState(GXRSAlphaBlendEnable).value_or(0) != 0);
    }
    for (const TGXEffectAnnotation& a : td.Annotations) {
      if (a.Type != TGXEffectValueType::String) continue;
      if (a.Value == "SHADOWGENERATION") effect.SetSpecialTechnique(GXShadowGeneration, technique);
      if (a.Value == "SHADOWMAPPING") effect.SetSpecialTechnique(GXShadowMapping, technique);
      if (a.Value == "DepthOfField") effect.SetSpecialTechnique(GXDepthOfField, technique);
    }
  }
  for (size_t i = 0; i < desc.Parameters.size(); ++i) {
    const auto& p = desc.Parameters[i];
    const auto handle = static_cast<TGXEffectHandle>(i);
    if (!p.Semantic.empty()) {
      if (TGXEffectParameterSource* source = manager.FindSource(p.Semantic)) {
        effect.AddAutoParameter(source, handle);
        continue;
      }
    }
    TGXRef<TGXEffectParameterSource> source = GXCreateMaterialSource(p.Name, p.Type, p.Elements());
    if (!source) continue;
    if (auto* value = dynamic_cast<TGXEffectValueSource*>(source.Get()); value && !p.Initial.empty())
      value->SetFloats(p.Initial);
    effect.AddMaterialParameter(std::move(source), handle);
  }
}

}  // namespace gx
