#include "tests/engine/render_gl/GXGLTestSupport.h"

namespace gx::test {

namespace {

GLuint Compile(GLenum kind, const std::string& source) {
  GLuint shader = glCreateShader(kind);
  const char* text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[1024] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    ADD_FAILURE() << "shader: " << log;
  }
  return shader;
}

}  // namespace

uint32_t BuildProgram(const std::string& vertex, const std::string& fragment) {
  GLuint program = glCreateProgram();
  GLuint vs = Compile(GL_VERTEX_SHADER, vertex), fs = Compile(GL_FRAGMENT_SHADER, fragment);
  glAttachShader(program, vs);
  glAttachShader(program, fs);
  for (int i = 0; i < GXGLAttributeCount; ++i) glBindAttribLocation(program, GLuint(i), GXGLAttributeName(i));
  glLinkProgram(program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[1024] = {};
    glGetProgramInfoLog(program, sizeof log, nullptr, log);
    ADD_FAILURE() << "program: " << log;
  }
  return program;
}

uint32_t TGLTest::ColorProgram() {
  if (!FProgram) {
    FProgram = BuildProgram(
        "#version 330 core\n"
        "in vec4 vPosition; in vec4 vColor0; uniform mat4 ClipFix; out vec4 color;\n"
        "void main() { gl_Position = vPosition * ClipFix; color = vColor0; }\n",
        "#version 330 core\n"
        "in vec4 color; out vec4 fragment;\n"
        "void main() { fragment = color; }\n");
    Device->UseProgram(FProgram);
    const TGXMatrix fix = Device->ClipFix();
    // Row-major storage uploaded as it is; the shader multiplies the row vector from the left.
    glUniformMatrix4fv(glGetUniformLocation(FProgram, "ClipFix"), 1, GL_TRUE, &fix.m[0][0]);
  }
  Device->UseProgram(FProgram);
  return FProgram;
}

void TGLTest::BindTarget(uint32_t width, uint32_t height, bool depth) {
  Target = Device->CreateRenderTarget(width, height, GXFormatA8R8G8B8);
  Depth = depth ? Device->CreateDepthStencilSurface(width, height, GXFormatD24X8) : nullptr;
  Device->SetRenderTarget(Target.Get());
  Device->SetDepthStencilSurface(Depth.Get());
  TGXViewportRect rect;
  rect.Width = width;
  rect.Height = height;
  Device->SetViewport(rect);
}

void TGLTest::BindVertices(const std::vector<TColorVertex>& vertices) {
  const auto size = static_cast<uint32_t>(vertices.size() * sizeof(TColorVertex));
  Vertices = Device->CreateVertexBuffer(size);
  static_cast<TGXGLVertexBuffer*>(Vertices.Get())->Write(0, vertices.data(), size);
  if (!Declaration) {
    const TGXVertexElement elements[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0},
                                         {0, 12, GXDeclColor, 0, GXUsageColor, 0}};
    Declaration = Device->CreateVertexDeclaration(elements);
  }
  Device->SetVertexDeclaration(Declaration.Get());
  Device->SetStreamSource(0, Vertices.Get(), 0, sizeof(TColorVertex));
}

}  // namespace gx::test
