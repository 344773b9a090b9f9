#pragma once
// Shared by the pixel tests: a fixture that owns a GL device on a surfaceless EGL context (a test
// fails, never skips, when none can be made), a minimal colour program and helpers to build
// vertex data and look at pixels.

#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/render/GXGLRenderDevice.h"

namespace gx::test {

struct TColorVertex {
  float X, Y, Z;
  uint32_t Color;  // 0xAARRGGBB, stored as B, G, R, A bytes
};

class TGLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    try {
      Device = std::make_unique<TGXGLRenderDevice>(TGXGLContext::CreateSurfaceless());
    } catch (const std::exception& e) {
      FAIL() << "No OpenGL 3.3 core context: " << e.what();
    }
  }
  void TearDown() override {
    if (FProgram) glDeleteProgram(FProgram);
    Device.reset();
  }

  // Position (times the clip fix) and vertex colour, passed through.
  uint32_t ColorProgram();

  // A colour target (and with depth a D24X8 depth surface) of the size, bound with a full viewport.
  void BindTarget(uint32_t width, uint32_t height, bool depth = false);
  // Binds a stream-0 buffer holding the vertices and a position + colour declaration.
  void BindVertices(const std::vector<TColorVertex>& vertices);

  uint32_t Pixel(const std::vector<uint32_t>& pixels, uint32_t x, uint32_t y) const {
    return pixels.at(size_t(y) * Target->Width() + x);
  }

  std::unique_ptr<TGXGLRenderDevice> Device;
  TGXRef<TGXDeviceSurface> Target, Depth;
  TGXRef<TGXDeviceVertexBuffer> Vertices;
  TGXRef<TGXDeviceVertexDeclaration> Declaration;

 private:
  uint32_t FProgram = 0;
};

// Compiles and links a vertex and a fragment shader with the device's attribute names bound;
// the test fails on an error.
uint32_t BuildProgram(const std::string& vertex, const std::string& fragment);

}  // namespace gx::test
