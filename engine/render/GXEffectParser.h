#pragma once
// Our effect files (docs/effect-format.md): the preprocessor (macros, conditionals, includes
// through a handler) and the parser that turns an effect file into a description - parameters
// with types, array sizes, semantics, annotations and initial values, samplers, GLSL code blocks
// and techniques with passes and their render states. No GL is involved; the GL effect compiles
// the description's programs.
//
// Every error raises EGXEffectSyntax with "file(line): message" as its reason.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/GXException.h"

namespace gx {

GX_DECLARE_EXCEPTION(EGXEffectSyntax, EGXException)

// Returns the text of an included file; raises (any exception) when it cannot be read. The name
// is the one written in the directive.
using TGXEffectIncludeHandler = std::function<std::string(const std::string& name)>;

struct TGXPreprocessedLine {
  std::string File;
  int Line = 0;
};

struct TGXPreprocessed {
  std::string Text;
  // Where each line of Text came from.
  std::vector<TGXPreprocessedLine> Origins;
};

// Runs the preprocessor over the file's text. Macros: the given names are defined without
// value. Without a handler every #include fails.
TGXPreprocessed GXPreprocessEffect(std::string_view text, const std::string& fileName,
                                   const std::vector<std::string>& macros, const TGXEffectIncludeHandler& include);

enum class TGXEffectValueType { Bool, Int, Float, Float2, Float3, Float4, Float4x4, Texture, CubeTexture, String };

// Components of one element of the type (16 for a matrix, 0 for textures and strings).
int GXEffectTypeComponents(TGXEffectValueType type);
const char* GXEffectTypeName(TGXEffectValueType type);

struct TGXEffectAnnotation {
  TGXEffectValueType Type = TGXEffectValueType::String;
  std::string Name;
  // Strings as they are, numbers as written.
  std::string Value;
};

struct TGXEffectParameterDesc {
  std::string Name;
  TGXEffectValueType Type = TGXEffectValueType::Float;
  // 0 for a single value, the element count for an array.
  int ArraySize = 0;
  // Upper case as written; empty without one.
  std::string Semantic;
  std::vector<TGXEffectAnnotation> Annotations;
  // Components of every element in order (booleans and integers as floats); empty without one.
  std::vector<float> Initial;
  int Line = 0;
  int Elements() const { return ArraySize > 0 ? ArraySize : 1; }
};

struct TGXEffectSamplerDesc {
  std::string Name;
  bool Cube = false;
  // The texture parameter it samples; empty for none.
  std::string Texture;
  // Sampler states by name with their values (filter 1 point, 2 linear, 3 anisotropic; address
  // 1 wrap, 2 mirror, 3 clamp).
  std::map<std::string, uint32_t> States;
};

struct TGXEffectShaderDesc {
  bool Pixel = false;
  std::string Code;
  int Line = 0;
};

struct TGXEffectPassDesc {
  std::string Name;
  std::vector<TGXEffectAnnotation> Annotations;
  std::string VertexShader, PixelShader;
  // Render states (stored numbers) in the order written; floats as their bits.
  std::vector<std::pair<uint32_t, uint32_t>> States;
  // Render states taken from a parameter when the pass begins ("CullMode = (CullMode);"): the
  // state and the index of a single bool, int or float parameter in the effect's Parameters.
  // Set after the fixed States.
  std::vector<std::pair<uint32_t, int>> ParameterStates;
  // The value the pass sets for the state, or the fallback when it does not set it.
  uint32_t State(uint32_t state, uint32_t fallback = 0) const;
  bool AlphaBlend() const;
};

struct TGXEffectTechniqueDesc {
  std::string Name;
  std::vector<TGXEffectAnnotation> Annotations;
  std::vector<TGXEffectPassDesc> Passes;
};

struct TGXEffectDesc {
  std::vector<TGXEffectParameterDesc> Parameters;
  std::vector<TGXEffectSamplerDesc> Samplers;
  // GLSL shared by every shader of the file, in the order written.
  std::string CommonCode;
  std::map<std::string, TGXEffectShaderDesc> Shaders;
  std::vector<TGXEffectTechniqueDesc> Techniques;

  const TGXEffectParameterDesc* FindParameter(std::string_view name) const;
};

// Parses preprocessed text.
TGXEffectDesc GXParseEffect(const TGXPreprocessed& source);
// Preprocesses and parses.
TGXEffectDesc GXParseEffect(std::string_view text, const std::string& fileName,
                            const std::vector<std::string>& macros = {},
                            const TGXEffectIncludeHandler& include = nullptr);

}  // namespace gx
