#include "engine/render/GXEffectParser.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

#include "engine/render/GXGLRenderDevice.h"

namespace gx {

namespace {

// Deep enough for any real include tree, shallow enough to stop a file that includes itself.
constexpr int kMaxIncludeDepth = 16;
// Expansions of one identifier: stops macros that expand to each other.
constexpr int kMaxExpansion = 32;
constexpr size_t kMaxOutput = 64u << 20;

[[noreturn]] void SyntaxError(const std::string& file, int line, const std::string& message) {
  throw EGXEffectSyntax(
      {TGXExceptionArg::Object("TGXEffectParser"), "Parse", file + "(" + std::to_string(line) + "): " + message});
}

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdent(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

// ---- preprocessor ----

class TPreprocessor {
 public:
  TPreprocessor(const std::vector<std::string>& macros, const TGXEffectIncludeHandler& include)
      : FInclude(include) {
    for (const auto& m : macros) FMacros[m] = "";
  }

  void Run(std::string_view text, const std::string& file, int depth) {
    if (depth > kMaxIncludeDepth) SyntaxError(file, 1, "Includes nested too deeply");
    // Conditional state: for each open #if, whether its lines are taken and whether an earlier
    // branch was.
    struct TCond {
      bool Active, Taken, ParentActive;
      bool SeenElse = false;
    };
    std::vector<TCond> conds;
    auto active = [&conds] { return conds.empty() || conds.back().Active; };
    int line = 0;
    bool inComment = false;
    size_t pos = 0;
    while (pos <= text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      std::string raw(text.substr(pos, end - pos));
      pos = end + 1;
      ++line;
      // Lines ending in a backslash go on in the next line.
      while (!raw.empty() && raw.back() == '\\' && pos <= text.size()) {
        raw.pop_back();
        size_t next = text.find('\n', pos);
        if (next == std::string_view::npos) next = text.size();
        raw += text.substr(pos, next - pos);
        pos = next + 1;
        Emit("", file, line);
        ++line;
      }
      if (!raw.empty() && raw.back() == '\r') raw.pop_back();
      const std::string stripped = StripComments(raw, inComment);
      const std::string trimmed = Trim(stripped);
      if (!trimmed.empty() && trimmed[0] == '#') {
        std::string directive, rest;
        size_t i = 1;
        while (i < trimmed.size() && std::isspace(static_cast<unsigned char>(trimmed[i]))) ++i;
        const size_t start = i;
        while (i < trimmed.size() && IsIdent(trimmed[i])) ++i;
        directive = trimmed.substr(start, i - start);
        rest = Trim(std::string_view(trimmed).substr(i));
        if (directive == "ifdef" || directive == "ifndef") {
          const bool defined = FMacros.count(Identifier(rest, file, line)) > 0;
          const bool take = active() && (directive == "ifdef" ? defined : !defined);
          conds.push_back({take, take, active()});
        } else if (directive == "else") {
          if (conds.empty() || conds.back().SeenElse) SyntaxError(file, line, "#else without #ifdef");
          TCond& c = conds.back();
          c.Active = c.ParentActive && !c.Taken;
          c.Taken = true;
          c.SeenElse = true;
        } else if (directive == "endif") {
          if (conds.empty()) SyntaxError(file, line, "#endif without #ifdef");
          conds.pop_back();
        } else if (!active()) {
          // Other directives in a skipped branch are not looked at.
        } else if (directive == "define") {
          size_t j = 0;
          while (j < rest.size() && IsIdent(rest[j])) ++j;
          const std::string name = Identifier(rest.substr(0, j), file, line);
          if (j < rest.size() && rest[j] == '(') SyntaxError(file, line, "Macros with arguments are not supported");
          FMacros[name] = Trim(std::string_view(rest).substr(j));
        } else if (directive == "undef") {
          FMacros.erase(Identifier(rest, file, line));
        } else if (directive == "include") {
          if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"')
            SyntaxError(file, line, "#include needs a quoted file name");
          const std::string name = rest.substr(1, rest.size() - 2);
          if (!FInclude) SyntaxError(file, line, "Cannot include \"" + name + "\"");
          std::string included;
          try {
            included = FInclude(name);
          } catch (const std::exception& e) {
            SyntaxError(file, line, "Cannot include \"" + name + "\": " + e.what());
          }
          Run(included, name, depth + 1);
        } else if (directive == "error") {
          SyntaxError(file, line, "#error " + rest);
        } else {
          SyntaxError(file, line, "Unknown directive #" + directive);
        }
        Emit("", file, line);
        continue;
      }
      Emit(active() ? Expand(stripped, file, line) : "", file, line);
    }
    if (!conds.empty()) SyntaxError(file, line, "#ifdef without #endif");
    if (inComment) SyntaxError(file, line, "Comment not closed");
  }

  TGXPreprocessed Result;

 private:
  void Emit(const std::string& text, const std::string& file, int line) {
    Result.Text += text;
    Result.Text += '\n';
    Result.Origins.push_back({file, line});
    if (Result.Text.size() > kMaxOutput) SyntaxError(file, line, "Effect too large");
  }

  static std::string Identifier(const std::string& s, const std::string& file, int line) {
    if (s.empty() || !IsIdentStart(s[0]) || !std::all_of(s.begin(), s.end(), IsIdent))
      SyntaxError(file, line, "Macro name expected");
    return s;
  }

  // Removes comments (a block comment may span lines) but keeps string literals.
  static std::string StripComments(const std::string& s, bool& inComment) {
    std::string r;
    bool inString = false;
    for (size_t i = 0; i < s.size(); ++i) {
      if (inComment) {
        if (s[i] == '*' && i + 1 < s.size() && s[i + 1] == '/') {
          inComment = false;
          ++i;
          r += ' ';
        }
        continue;
      }
      if (inString) {
        r += s[i];
        if (s[i] == '"') inString = false;
        continue;
      }
      if (s[i] == '"') inString = true;
      if (s[i] == '/' && i + 1 < s.size() && s[i + 1] == '/') break;
      if (s[i] == '/' && i + 1 < s.size() && s[i + 1] == '*') {
        inComment = true;
        ++i;
        continue;
      }
      r += s[i];
    }
    return r;
  }

  std::string Expand(const std::string& s, const std::string& file, int line, int depth = 0) {
    if (depth > kMaxExpansion) SyntaxError(file, line, "Macro expands without end");
    std::string r;
    bool inString = false;
    for (size_t i = 0; i < s.size();) {
      if (s[i] == '"') inString = !inString;
      if (!inString && IsIdentStart(s[i]) && (i == 0 || !IsIdent(s[i - 1]))) {
        size_t j = i;
        while (j < s.size() && IsIdent(s[j])) ++j;
        const std::string word = s.substr(i, j - i);
        auto it = FMacros.find(word);
        r += it == FMacros.end() ? word : Expand(it->second, file, line, depth + 1);
        i = j;
        continue;
      }
      r += s[i++];
    }
    return r;
  }

  const TGXEffectIncludeHandler& FInclude;
  std::map<std::string, std::string> FMacros;
};

// ---- parser ----

struct TToken {
  enum Kind { End, Ident, Number, String, Symbol } K = End;
  std::string Text;
  size_t Pos = 0;
};

struct TNamed {
  const char* Name;
  uint32_t Value;
};

const TNamed kRenderStates[] = {
    {"ZENABLE", GXRSZEnable},          {"ZWRITEENABLE", GXRSZWriteEnable},
    {"SRCBLEND", GXRSSrcBlend},        {"DESTBLEND", GXRSDestBlend},
    {"CULLMODE", GXRSCullMode},        {"ZFUNC", GXRSZFunc},
    {"ALPHABLENDENABLE", GXRSAlphaBlendEnable}, {"COLORWRITEENABLE", GXRSColorWriteEnable},
    {"BLENDOP", GXRSBlendOp},          {"SLOPESCALEDEPTHBIAS", GXRSSlopeScaleDepthBias},
    {"DEPTHBIAS", GXRSDepthBias},
};

// Names of state values, valid for any state (the numbers do not clash within one state).
const TNamed kStateValues[] = {
    {"FALSE", 0}, {"TRUE", 1},
    // cull modes
    {"NONE", 1}, {"CW", 2}, {"CCW", 3},
    // blend factors
    {"ZERO", 1}, {"ONE", 2}, {"SRCCOLOR", 3}, {"INVSRCCOLOR", 4}, {"SRCALPHA", 5}, {"INVSRCALPHA", 6},
    {"DESTALPHA", 7}, {"INVDESTALPHA", 8}, {"DESTCOLOR", 9}, {"INVDESTCOLOR", 10}, {"SRCALPHASAT", 11},
    // comparisons
    {"NEVER", 1}, {"LESS", 2}, {"EQUAL", 3}, {"LESSEQUAL", 4}, {"GREATER", 5}, {"NOTEQUAL", 6},
    {"GREATEREQUAL", 7}, {"ALWAYS", 8},
    // blend operations
    {"ADD", 1}, {"SUBTRACT", 2}, {"REVSUBTRACT", 3}, {"MIN", 4}, {"MAX", 5},
};

const TNamed kSamplerValues[] = {{"POINT", 1}, {"LINEAR", 2}, {"ANISOTROPIC", 3}, {"NONE", 0},
                                 {"WRAP", 1},  {"MIRROR", 2}, {"CLAMP", 3}};
const char* const kSamplerStates[] = {"MINFILTER", "MAGFILTER", "MIPFILTER", "ADDRESSU", "ADDRESSV", "ADDRESSW",
                                      "MAXANISOTROPY"};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool LookUp(const TNamed* table, size_t n, const std::string& name, uint32_t& value) {
  const std::string u = Upper(name);
  for (size_t i = 0; i < n; ++i)
    if (u == table[i].Name) {
      value = table[i].Value;
      return true;
    }
  return false;
}

bool TypeByName(const std::string& name, TGXEffectValueType& type) {
  static const std::pair<const char*, TGXEffectValueType> types[] = {
      {"bool", TGXEffectValueType::Bool},         {"int", TGXEffectValueType::Int},
      {"float", TGXEffectValueType::Float},       {"float2", TGXEffectValueType::Float2},
      {"float3", TGXEffectValueType::Float3},     {"float4", TGXEffectValueType::Float4},
      {"float4x4", TGXEffectValueType::Float4x4}, {"texture", TGXEffectValueType::Texture},
      {"texture2D", TGXEffectValueType::Texture}, {"textureCUBE", TGXEffectValueType::CubeTexture},
      {"string", TGXEffectValueType::String}};
  for (const auto& [n, t] : types)
    if (name == n) {
      type = t;
      return true;
    }
  return false;
}

class TParser {
 public:
  explicit TParser(const TGXPreprocessed& source) : FSource(source), FText(source.Text) {
    // Line starts, to turn a position into a file and line.
    FLineStarts.push_back(0);
    for (size_t i = 0; i < FText.size(); ++i)
      if (FText[i] == '\n') FLineStarts.push_back(i + 1);
    Next();
  }

  TGXEffectDesc Parse() {
    while (FToken.K != TToken::End) {
      if (IsWord("technique")) {
        ParseTechnique();
      } else if (IsWord("sampler2D") || IsWord("samplerCUBE")) {
        ParseSampler();
      } else if (IsWord("glsl")) {
        Next();
        const int line = LineOf(FToken.Pos);
        Expect("{");
        FDesc.CommonCode += "#line " + std::to_string(line) + "\n" + RawBlock() + "\n";
      } else if (IsWord("vertexshader") || IsWord("pixelshader")) {
        TGXEffectShaderDesc shader;
        shader.Pixel = IsWord("pixelshader");
        Next();
        const std::string name = TakeIdent("shader name");
        if (FDesc.Shaders.count(name)) Error("Shader \"" + name + "\" declared twice");
        shader.Line = LineOf(FToken.Pos);
        Expect("{");
        shader.Code = RawBlock();
        FDesc.Shaders[name] = std::move(shader);
      } else {
        ParseParameter();
      }
    }
    for (const auto& t : FDesc.Techniques)
      for (const auto& p : t.Passes) {
        CheckShader(p.VertexShader, false, t.Name, p.Name);
        CheckShader(p.PixelShader, true, t.Name, p.Name);
      }
    for (const auto& s : FDesc.Samplers) {
      const TGXEffectParameterDesc* texture = s.Texture.empty() ? nullptr : FDesc.FindParameter(s.Texture);
      if (!s.Texture.empty() &&
          (!texture || texture->Type != (s.Cube ? TGXEffectValueType::CubeTexture : TGXEffectValueType::Texture)))
        SyntaxError(FSource.Origins.empty() ? "" : FSource.Origins[0].File, 0,
                    "Sampler \"" + s.Name + "\" names no texture parameter of its kind");
    }
    return std::move(FDesc);
  }

 private:
  void CheckShader(const std::string& name, bool pixel, const std::string& technique, const std::string& pass) {
    auto it = FDesc.Shaders.find(name);
    if (name.empty() || it == FDesc.Shaders.end() || it->second.Pixel != pixel)
      throw EGXEffectSyntax({TGXExceptionArg::Object("TGXEffectParser"), "Parse",
                             "Pass \"" + technique + "." + pass + "\" needs a " +
                                 (pixel ? "pixel" : "vertex") + " shader declared in the file"});
  }

  int LineIndex(size_t pos) const {
    return static_cast<int>(std::upper_bound(FLineStarts.begin(), FLineStarts.end(), pos) - FLineStarts.begin()) - 1;
  }
  int LineOf(size_t pos) const {
    const int i = LineIndex(pos);
    return i < static_cast<int>(FSource.Origins.size()) ? FSource.Origins[i].Line : 0;
  }
  [[noreturn]] void Error(const std::string& message) const {
    const int i = LineIndex(FToken.Pos);
    if (i < static_cast<int>(FSource.Origins.size()))
      SyntaxError(FSource.Origins[i].File, FSource.Origins[i].Line, message);
    SyntaxError("", 0, message);
  }

  void Next() {
    size_t& p = FPos;
    while (p < FText.size() && std::isspace(static_cast<unsigned char>(FText[p]))) ++p;
    FToken = TToken();
    FToken.Pos = p;
    if (p >= FText.size()) return;
    const char c = FText[p];
    if (IsIdentStart(c)) {
      const size_t s = p;
      while (p < FText.size() && IsIdent(FText[p])) ++p;
      FToken.K = TToken::Ident;
      FToken.Text = FText.substr(s, p - s);
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.' ||
               ((c == '-' || c == '+') && p + 1 < FText.size() &&
                (std::isdigit(static_cast<unsigned char>(FText[p + 1])) || FText[p + 1] == '.'))) {
      const size_t s = p++;
      while (p < FText.size() && (std::isalnum(static_cast<unsigned char>(FText[p])) || FText[p] == '.' ||
                                  ((FText[p] == '-' || FText[p] == '+') && (FText[p - 1] == 'e' || FText[p - 1] == 'E'))))
        ++p;
      FToken.K = TToken::Number;
      FToken.Text = FText.substr(s, p - s);
    } else if (c == '"') {
      const size_t s = ++p;
      while (p < FText.size() && FText[p] != '"' && FText[p] != '\n') ++p;
      if (p >= FText.size() || FText[p] != '"') Error("String not closed");
      FToken.K = TToken::String;
      FToken.Text = FText.substr(s, p - s);
      ++p;
    } else {
      FToken.K = TToken::Symbol;
      FToken.Text = std::string(1, c);
      ++p;
    }
  }

  bool IsWord(const char* w) const { return FToken.K == TToken::Ident && FToken.Text == w; }
  bool IsSymbol(const char* s) const { return FToken.K == TToken::Symbol && FToken.Text == s; }
  void Expect(const char* s) {
    if (!IsSymbol(s)) Error(std::string("\"") + s + "\" expected" + Found());
    Next();
  }
  std::string Found() const {
    return FToken.K == TToken::End ? " at the end of the file" : " instead of \"" + FToken.Text + "\"";
  }
  std::string TakeIdent(const char* what) {
    if (FToken.K != TToken::Ident) Error(std::string(what) + " expected" + Found());
    std::string s = FToken.Text;
    Next();
    return s;
  }
  float TakeNumber() {
    if (IsWord("true") || IsWord("false")) {
      const float v = IsWord("true") ? 1.0f : 0.0f;
      Next();
      return v;
    }
    if (FToken.K != TToken::Number) Error("Number expected" + Found());
    std::string s = FToken.Text;
    if (!s.empty() && (s.back() == 'f' || s.back() == 'F')) s.pop_back();
    char* end = nullptr;
    const float v = std::strtof(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size()) Error("Bad number \"" + FToken.Text + "\"");
    Next();
    return v;
  }

  // The text up to the brace that closes the one just read, braces in comments not counted.
  std::string RawBlock() {
    size_t p = FToken.Pos;  // the token after "{", not consumed as such
    const size_t start = p;
    int depth = 1;
    while (p < FText.size()) {
      const char c = FText[p];
      if (c == '{') ++depth;
      if (c == '}' && --depth == 0) break;
      ++p;
    }
    if (depth != 0) Error("Code block not closed");
    std::string code = FText.substr(start, p - start);
    FPos = p + 1;
    Next();
    return code;
  }

  std::vector<TGXEffectAnnotation> ParseAnnotations() {
    std::vector<TGXEffectAnnotation> result;
    if (!IsSymbol("<")) return result;
    Next();
    while (!IsSymbol(">")) {
      TGXEffectAnnotation a;
      const std::string typeName = TakeIdent("Annotation type");
      if (!TypeByName(typeName, a.Type) || a.Type == TGXEffectValueType::Texture ||
          a.Type == TGXEffectValueType::CubeTexture || a.Type == TGXEffectValueType::Float4x4)
        Error("Unknown annotation type \"" + typeName + "\"");
      a.Name = TakeIdent("Annotation name");
      Expect("=");
      if (a.Type == TGXEffectValueType::String) {
        if (FToken.K != TToken::String) Error("String expected" + Found());
        a.Value = FToken.Text;
        Next();
      } else {
        const int n = GXEffectTypeComponents(a.Type);
        const bool braces = n > 1;
        if (braces) Expect("{");
        for (int i = 0; i < n; ++i) {
          if (i) Expect(",");
          if (FToken.K != TToken::Number && !IsWord("true") && !IsWord("false")) Error("Number expected" + Found());
          a.Value += (i ? " " : "") + FToken.Text;
          TakeNumber();
        }
        if (braces) Expect("}");
      }
      Expect(";");
      result.push_back(std::move(a));
    }
    Next();
    return result;
  }

  void ParseParameter() {
    TGXEffectParameterDesc p;
    p.Line = LineOf(FToken.Pos);
    const std::string typeName = TakeIdent("Declaration");
    if (!TypeByName(typeName, p.Type) || p.Type == TGXEffectValueType::String)
      Error("Unknown type \"" + typeName + "\"");
    p.Name = TakeIdent("Parameter name");
    if (FDesc.FindParameter(p.Name) || FindSampler(p.Name)) Error("\"" + p.Name + "\" declared twice");
    if (IsSymbol("[")) {
      Next();
      const float n = TakeNumber();
      if (n < 1 || n > 4096 || n != static_cast<int>(n)) Error("Array size must be 1 to 4096");
      p.ArraySize = static_cast<int>(n);
      Expect("]");
    }
    if (IsSymbol(":")) {
      Next();
      p.Semantic = Upper(TakeIdent("Semantic"));
    }
    p.Annotations = ParseAnnotations();
    if (IsSymbol("=")) {
      Next();
      const int components = GXEffectTypeComponents(p.Type);
      if (components == 0) Error("A texture has no initial value");
      const size_t total = size_t(components) * p.Elements();
      if (IsSymbol("{")) {
        // Braces may group the elements or the rows of a matrix; only the numbers count.
        int depth = 0;
        do {
          if (IsSymbol("{")) {
            ++depth;
            Next();
          } else if (IsSymbol("}")) {
            --depth;
            Next();
          } else if (IsSymbol(",")) {
            Next();
          } else {
            p.Initial.push_back(TakeNumber());
            if (p.Initial.size() > total) Error("Too many values for \"" + p.Name + "\"");
          }
        } while (depth > 0);
      } else {
        p.Initial.push_back(TakeNumber());
      }
      if (p.Initial.size() != total)
        Error("\"" + p.Name + "\" needs " + std::to_string(total) + " values, not " + std::to_string(p.Initial.size()));
    }
    Expect(";");
    FDesc.Parameters.push_back(std::move(p));
  }

  const TGXEffectSamplerDesc* FindSampler(const std::string& name) const {
    for (const auto& s : FDesc.Samplers)
      if (s.Name == name) return &s;
    return nullptr;
  }

  void ParseSampler() {
    TGXEffectSamplerDesc s;
    s.Cube = IsWord("samplerCUBE");
    Next();
    s.Name = TakeIdent("Sampler name");
    if (FDesc.FindParameter(s.Name) || FindSampler(s.Name)) Error("\"" + s.Name + "\" declared twice");
    Expect("{");
    while (!IsSymbol("}")) {
      const std::string state = TakeIdent("Sampler state");
      Expect("=");
      if (Upper(state) == "TEXTURE") {
        s.Texture = TakeIdent("Texture parameter");
      } else {
        const std::string u = Upper(state);
        if (std::find_if(std::begin(kSamplerStates), std::end(kSamplerStates),
                         [&u](const char* n) { return u == n; }) == std::end(kSamplerStates))
          Error("Unknown sampler state \"" + state + "\"");
        uint32_t value = 0;
        if (FToken.K == TToken::Ident) {
          if (!LookUp(kSamplerValues, std::size(kSamplerValues), FToken.Text, value))
            Error("Unknown value \"" + FToken.Text + "\"");
          Next();
        } else {
          value = static_cast<uint32_t>(TakeNumber());
        }
        s.States[u] = value;
      }
      Expect(";");
    }
    Next();
    Expect(";");
    FDesc.Samplers.push_back(std::move(s));
  }

  void ParseTechnique() {
    Next();
    TGXEffectTechniqueDesc t;
    t.Name = TakeIdent("Technique name");
    for (const auto& other : FDesc.Techniques)
      if (other.Name == t.Name) Error("Technique \"" + t.Name + "\" declared twice");
    t.Annotations = ParseAnnotations();
    Expect("{");
    while (!IsSymbol("}")) {
      if (!IsWord("pass")) Error("\"pass\" expected" + Found());
      Next();
      TGXEffectPassDesc p;
      p.Name = FToken.K == TToken::Ident ? TakeIdent("Pass name") : "P" + std::to_string(t.Passes.size());
      p.Annotations = ParseAnnotations();
      Expect("{");
      while (!IsSymbol("}")) {
        const std::string state = TakeIdent("State");
        Expect("=");
        const std::string u = Upper(state);
        if (u == "VERTEXSHADER") {
          p.VertexShader = TakeIdent("Shader name");
        } else if (u == "PIXELSHADER") {
          p.PixelShader = TakeIdent("Shader name");
        } else {
          uint32_t number = 0;
          if (!LookUp(kRenderStates, std::size(kRenderStates), state, number))
            Error("Unknown render state \"" + state + "\"");
          uint32_t value = 0;
          if (IsSymbol("(")) {
            // The value of a parameter declared before, read when the pass begins.
            Next();
            const std::string name = TakeIdent("Parameter name");
            Expect(")");
            int index = -1;
            for (size_t i = 0; i < FDesc.Parameters.size(); ++i)
              if (FDesc.Parameters[i].Name == name) index = static_cast<int>(i);
            if (index < 0) Error("Unknown parameter \"" + name + "\"");
            const TGXEffectParameterDesc& parameter = FDesc.Parameters[size_t(index)];
            if (parameter.ArraySize > 0 ||
                (parameter.Type != TGXEffectValueType::Bool && parameter.Type != TGXEffectValueType::Int &&
                 parameter.Type != TGXEffectValueType::Float))
              Error("Parameter \"" + name + "\" cannot set a render state");
            p.ParameterStates.emplace_back(number, index);
            Expect(";");
            continue;
          }
          if (FToken.K == TToken::Ident) {
            if (!LookUp(kStateValues, std::size(kStateValues), FToken.Text, value))
              Error("Unknown value \"" + FToken.Text + "\"");
            Next();
          } else if (number == GXRSDepthBias || number == GXRSSlopeScaleDepthBias) {
            const float f = TakeNumber();
            std::memcpy(&value, &f, 4);
          } else {
            const float f = TakeNumber();
            if (f < 0 || f != static_cast<float>(static_cast<uint32_t>(f))) Error("Whole number expected");
            value = static_cast<uint32_t>(f);
          }
          p.States.emplace_back(number, value);
        }
        Expect(";");
      }
      Next();
      t.Passes.push_back(std::move(p));
    }
    Next();
    if (t.Passes.empty()) Error("Technique \"" + t.Name + "\" has no pass");
    FDesc.Techniques.push_back(std::move(t));
  }

  const TGXPreprocessed& FSource;
  const std::string& FText;
  std::vector<size_t> FLineStarts;
  size_t FPos = 0;
  TToken FToken;
  TGXEffectDesc FDesc;
};

}  // namespace

int GXEffectTypeComponents(TGXEffectValueType type) {
  switch (type) {
    case TGXEffectValueType::Bool:
    case TGXEffectValueType::Int:
    case TGXEffectValueType::Float: return 1;
    case TGXEffectValueType::Float2: return 2;
    case TGXEffectValueType::Float3: return 3;
    case TGXEffectValueType::Float4: return 4;
    case TGXEffectValueType::Float4x4: return 16;
    default: return 0;
  }
}

const char* GXEffectTypeName(TGXEffectValueType type) {
  switch (type) {
    case TGXEffectValueType::Bool: return "bool";
    case TGXEffectValueType::Int: return "int";
    case TGXEffectValueType::Float: return "float";
    case TGXEffectValueType::Float2: return "float2";
    case TGXEffectValueType::Float3: return "float3";
    case TGXEffectValueType::Float4: return "float4";
    case TGXEffectValueType::Float4x4: return "float4x4";
    case TGXEffectValueType::Texture: return "texture";
    case TGXEffectValueType::CubeTexture: return "textureCUBE";
    case TGXEffectValueType::String: return "string";
  }
  return "?";
}

uint32_t TGXEffectPassDesc::State(uint32_t state, uint32_t fallback) const {
  uint32_t value = fallback;
  for (const auto& [s, v] : States)
    if (s == state) value = v;  // the last one written counts
  return value;
}

bool TGXEffectPassDesc::AlphaBlend() const { return State(GXRSAlphaBlendEnable) != 0; }

const TGXEffectParameterDesc* TGXEffectDesc::FindParameter(std::string_view name) const {
  for (const auto& p : Parameters)
    if (p.Name == name) return &p;
  return nullptr;
}

TGXPreprocessed GXPreprocessEffect(std::string_view text, const std::string& fileName,
                                   const std::vector<std::string>& macros, const TGXEffectIncludeHandler& include) {
  TPreprocessor pre(macros, include);
  pre.Run(text, fileName, 0);
  return std::move(pre.Result);
}

TGXEffectDesc GXParseEffect(const TGXPreprocessed& source) { return TParser(source).Parse(); }

TGXEffectDesc GXParseEffect(std::string_view text, const std::string& fileName, const std::vector<std::string>& macros,
                            const TGXEffectIncludeHandler& include) {
  return GXParseEffect(GXPreprocessEffect(text, fileName, macros, include));
}

}  // namespace gx
