#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "engine/render/GXEffectParser.h"
#include "engine/render/GXGLRenderDevice.h"

namespace gx {
namespace {

const char* const kEffect = R"(
// A lit, optionally blended surface.
#define LIGHTS 2
float4x4 WorldViewProjection : WorldViewProjection;
float4x4 World : WORLD;
float3 Tint <string UIName = "Farbe"; float UIMax = 1.5;> = {0.5, 0.25, 1};
float4 Lights[LIGHTS] : LIGHTPOSITION = {{1, 2, 3, 4}, {5, 6, 7, 8}};
bool Shiny = true;
int Mode;
texture DiffuseMap;
sampler2D DiffuseSampler { Texture = DiffuseMap; MinFilter = Linear; AddressU = Clamp; };

glsl { vec4 Shade(vec4 c) { return c; } }
vertexshader MainVS { in vec3 vPosition; void main() { gl_Position = vec4(vPosition, 1) * WorldViewProjection; } }
pixelshader MainPS { out vec4 fragment; void main() { fragment = Shade(vec4(Tint, 1)); } }

technique Opaque {
  pass { VertexShader = MainVS; PixelShader = MainPS; CullMode = None; }
}
technique Shadow <string Kind = "SHADOWGENERATION";> {
  pass First { VertexShader = MainVS; PixelShader = MainPS; ZWriteEnable = false; }
  pass Blended <int Order = 2;> {
    VertexShader = MainVS; PixelShader = MainPS;
    AlphaBlendEnable = true; SrcBlend = SrcAlpha; DestBlend = InvSrcAlpha; DepthBias = -0.0001;
  }
}
)";

TEST(TGXEffectParserTest, ReadsParametersInOrderWithTypesArraysSemanticsAndValues) {
  const TGXEffectDesc d = GXParseEffect(kEffect, "lit.fx");
  ASSERT_EQ(d.Parameters.size(), 7u);
  const char* names[] = {"WorldViewProjection", "World", "Tint", "Lights", "Shiny", "Mode", "DiffuseMap"};
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(d.Parameters[i].Name, names[i]);
  EXPECT_EQ(d.Parameters[0].Semantic, "WORLDVIEWPROJECTION");  // semantics compare upper case
  EXPECT_EQ(d.Parameters[1].Type, TGXEffectValueType::Float4x4);
  const auto& tint = d.Parameters[2];
  EXPECT_EQ(tint.Type, TGXEffectValueType::Float3);
  EXPECT_EQ(tint.Semantic, "");
  EXPECT_EQ(tint.Initial, (std::vector<float>{0.5f, 0.25f, 1}));
  ASSERT_EQ(tint.Annotations.size(), 2u);
  EXPECT_EQ(tint.Annotations[0].Name, "UIName");
  EXPECT_EQ(tint.Annotations[0].Value, "Farbe");
  EXPECT_EQ(tint.Annotations[1].Type, TGXEffectValueType::Float);
  const auto& lights = d.Parameters[3];
  EXPECT_EQ(lights.ArraySize, 2);  // the size came through the macro
  EXPECT_EQ(lights.Semantic, "LIGHTPOSITION");
  EXPECT_EQ(lights.Initial.size(), 8u);
  EXPECT_EQ(lights.Initial[7], 8);
  EXPECT_EQ(d.Parameters[4].Initial, std::vector<float>{1});
  EXPECT_TRUE(d.Parameters[5].Initial.empty());
  EXPECT_EQ(d.Parameters[6].Type, TGXEffectValueType::Texture);
  ASSERT_EQ(d.Samplers.size(), 1u);
  EXPECT_EQ(d.Samplers[0].Texture, "DiffuseMap");
  EXPECT_EQ(d.Samplers[0].States.at("MINFILTER"), 2u);
  EXPECT_EQ(d.Samplers[0].States.at("ADDRESSU"), 3u);
}

TEST(TGXEffectParserTest, ReadsTechniquesPassesAnnotationsAndStates) {
  const TGXEffectDesc d = GXParseEffect(kEffect, "lit.fx");
  ASSERT_EQ(d.Techniques.size(), 2u);
  const auto& opaque = d.Techniques[0];
  ASSERT_EQ(opaque.Passes.size(), 1u);
  EXPECT_EQ(opaque.Passes[0].Name, "P0");
  EXPECT_EQ(opaque.Passes[0].State(GXRSCullMode), uint32_t(GXCullNone));
  EXPECT_FALSE(opaque.Passes[0].AlphaBlend());  // never mentioned: opaque
  const auto& shadow = d.Techniques[1];
  ASSERT_EQ(shadow.Annotations.size(), 1u);
  EXPECT_EQ(shadow.Annotations[0].Value, "SHADOWGENERATION");
  ASSERT_EQ(shadow.Passes.size(), 2u);
  EXPECT_EQ(shadow.Passes[0].State(GXRSZWriteEnable, 1), 0u);
  EXPECT_FALSE(shadow.Passes[0].AlphaBlend());
  const auto& blended = shadow.Passes[1];
  EXPECT_EQ(blended.Annotations[0].Value, "2");
  EXPECT_TRUE(blended.AlphaBlend());
  EXPECT_EQ(blended.State(GXRSSrcBlend), 5u);
  EXPECT_EQ(blended.State(GXRSDestBlend), 6u);
  float bias;
  const uint32_t bits = blended.State(GXRSDepthBias);
  std::memcpy(&bias, &bits, 4);
  EXPECT_FLOAT_EQ(bias, -0.0001f);
  EXPECT_EQ(d.Shaders.at("MainVS").Pixel, false);
  EXPECT_NE(d.Shaders.at("MainPS").Code.find("Shade(vec4(Tint, 1))"), std::string::npos);
  EXPECT_NE(d.CommonCode.find("vec4 Shade"), std::string::npos);
}

TEST(TGXEffectParserTest, PreprocessesConditionalsMacrosAndIncludes) {
  std::map<std::string, std::string> files = {
      {"common.fxh", "#ifndef COMMON\n#define COMMON\nfloat4 Ambient : AMBIENT;\n#endif\n"},
      {"self.fxh", "#include \"self.fxh\"\n"}};
  auto include = [&files](const std::string& name) {
    auto it = files.find(name);
    if (it == files.end()) throw std::runtime_error("missing");
    return it->second;
  };
  const char* text =
      "#include \"common.fxh\"\n#include \"common.fxh\"\n"
      "#ifdef SKINNED\nfloat4x4 Bones[32];\n#else\nfloat Static;\n#endif\n"
      "#define SIZE 3 /* block\n comment */\nfloat Weights[SIZE];\n";
  TGXEffectDesc plain = GXParseEffect(text, "a.fx", {}, include);
  ASSERT_EQ(plain.Parameters.size(), 3u);
  EXPECT_EQ(plain.Parameters[0].Semantic, "AMBIENT");  // the guard kept the second copy out
  EXPECT_EQ(plain.Parameters[1].Name, "Static");
  EXPECT_EQ(plain.Parameters[2].ArraySize, 3);
  TGXEffectDesc skinned = GXParseEffect(text, "a.fx", {"SKINNED"}, include);
  EXPECT_EQ(skinned.Parameters[1].Name, "Bones");
  EXPECT_EQ(skinned.Parameters[1].ArraySize, 32);

  // Origins name the included file and its line.
  const TGXPreprocessed pre = GXPreprocessEffect(text, "a.fx", {}, include);
  const size_t line = std::count(pre.Text.begin(), pre.Text.begin() + pre.Text.find("Ambient"), '\n');
  EXPECT_EQ(pre.Origins.at(line).File, "common.fxh");
  EXPECT_EQ(pre.Origins.at(line).Line, 3);

  EXPECT_THROW(GXParseEffect("#include \"self.fxh\"\n", "b.fx", {}, include), EGXEffectSyntax);
  EXPECT_THROW(GXParseEffect("#include \"none.fxh\"\n", "b.fx", {}, include), EGXEffectSyntax);
  EXPECT_THROW(GXParseEffect("#define A B\n#define B A\nfloat A;\n", "b.fx"), EGXEffectSyntax);
}

TEST(TGXEffectParserTest, MalformedInputGivesAnErrorWithFileAndLine) {
  auto message = [](const char* text) -> std::string {
    try {
      GXParseEffect(text, "bad.fx");
    } catch (const EGXEffectSyntax& e) {
      return e.what();
    }
    return "no error";
  };
  EXPECT_NE(message("float a;\nfloat4 b = {1, 2};\n").find("bad.fx(2)"), std::string::npos);
  EXPECT_NE(message("float a;\nfloat a;\n").find("declared twice"), std::string::npos);
  EXPECT_NE(message("half a;").find("Unknown type"), std::string::npos);
  EXPECT_NE(message("float a[0];").find("Array size"), std::string::npos);
  EXPECT_NE(message("float a[100000000];").find("Array size"), std::string::npos);
  EXPECT_NE(message("float a").find("at the end of the file"), std::string::npos);
  EXPECT_NE(message("vertexshader V { void main() {}").find("not closed"), std::string::npos);
  EXPECT_NE(message("#ifdef X\nfloat a;\n").find("without #endif"), std::string::npos);
  EXPECT_NE(message("#endif\n").find("bad.fx(1)"), std::string::npos);
  EXPECT_NE(message("#pragma once\n").find("Unknown directive"), std::string::npos);
  EXPECT_NE(message("/* open\nfloat a;\n").find("Comment not closed"), std::string::npos);
  EXPECT_NE(message("technique T { pass { Fog = 1; } }").find("Unknown render state"), std::string::npos);
  EXPECT_NE(message("technique T { pass { CullMode = Sideways; } }").find("Unknown value"),
            std::string::npos);
  EXPECT_NE(message("technique T { }").find("no pass"), std::string::npos);
  EXPECT_NE(message("technique T { pass { ZEnable = true; } }").find("vertex shader"), std::string::npos);
  EXPECT_NE(message("texture t = 1;").find("no initial value"), std::string::npos);
  EXPECT_NE(message("sampler2D s { Texture = nothing; };").find("names no texture"), std::string::npos);
  EXPECT_NE(message("string s <int x = \"a\";>;").find("Unknown type"), std::string::npos);
}

TEST(TGXEffectParserTest, StatesTakenFromParametersNameTheParameter) {
  const char* text = R"(
int Cull = 3;
float Bias;
float3 Colour;
float Many[2];
vertexshader V { void main() {} }
pixelshader P { void main() {} }
technique T { pass { VertexShader = V; PixelShader = P; ZEnable = true; CullMode = (Cull); DepthBias = (Bias); } }
)";
  const TGXEffectDesc desc = GXParseEffect(text, "p.fx");
  const TGXEffectPassDesc& pass = desc.Techniques[0].Passes[0];
  EXPECT_EQ(pass.States, (std::vector<std::pair<uint32_t, uint32_t>>{{GXRSZEnable, 1}}));
  EXPECT_EQ(pass.ParameterStates,
            (std::vector<std::pair<uint32_t, int>>{{GXRSCullMode, 0}, {GXRSDepthBias, 1}}));
  const std::string head =
      "int Cull; float3 Colour; float Many[2];\n"
      "vertexshader V { void main() {} } pixelshader P { void main() {} }\n";
  for (const char* state : {"CullMode = (Nothing);", "CullMode = (Colour);", "CullMode = (Many);",
                            "CullMode = (Cull;", "CullMode = (Later);"}) {
    const std::string bad =
        head + "technique T { pass { VertexShader = V; PixelShader = P; " + state + " } }\nfloat Later;\n";
    EXPECT_THROW(GXParseEffect(bad, "p.fx"), EGXEffectSyntax) << state;
  }
}

}  // namespace
}  // namespace gx
