#include "cli/GlInfoCommand.h"

#include <memory>
#include <ostream>
#include <sstream>

#include "cli/CliJson.h"
#include "engine/render/GXRenderCore.h"

namespace cli {

namespace {

template <class T>
std::string JsonList(const std::vector<T>& values) {
  std::ostringstream s;
  s << "[";
  for (size_t i = 0; i < values.size(); ++i) s << (i ? "," : "") << values[i];
  s << "]";
  return s.str();
}

const char* FilterName(uint32_t filter) {
  switch (filter) {
    case 1:
      return "Punkt";
    case 2:
      return "linear";
    case 3:
      return "anisotrop";
  }
  return "keiner";
}

// Formats by name with their number: "X8R8G8B8 (22)".
std::string FormatList(const std::vector<uint32_t>& formats, bool json) {
  std::string r = json ? "[" : "";
  for (size_t i = 0; i < formats.size(); ++i) {
    const std::string name = gx::GXFormatName(formats[i]);
    r += (i ? ", " : "") + (json ? JsonString(name) : name + " (" + std::to_string(formats[i]) + ")");
  }
  return json ? r + "]" : r;
}

}  // namespace

int RunGlInfoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool json = false;
  for (const auto& a : args) {
    if (a == "--json") {
      json = true;
    } else {
      err << "Unbekannte Option: " << a << "\n";
      return 2;
    }
  }
  std::unique_ptr<gx::TGXRenderCore> core;
  try {
    core = std::make_unique<gx::TGXRenderCore>();
  } catch (const std::exception& e) {
    err << e.what() << "\n";
    return 1;
  }
  const gx::TGXRenderAdapter& a = core->Adapter();
  const gx::TGXGLInfo& i = a.Info;
  if (json) {
    out << "{\"vendor\":" << JsonString(i.Vendor) << ",\"renderer\":" << JsonString(i.Renderer)
        << ",\"version\":" << JsonString(i.Version)
        << ",\"shadingLanguage\":" << JsonString(i.ShadingLanguageVersion)
        << ",\"maxTextureSize\":" << i.MaxTextureSize << ",\"maxCubeMapSize\":" << i.MaxCubeMapSize
        << ",\"maxRenderTargetSize\":" << i.MaxRenderbufferSize << ",\"textureUnits\":" << i.MaxTextureUnits
        << ",\"vertexAttributes\":" << i.MaxVertexAttribs << ",\"colorAttachments\":" << i.MaxColorAttachments
        << ",\"software\":" << (i.Software ? "true" : "false")
        << ",\"maxAnisotropy\":" << (i.Anisotropic ? i.MaxAnisotropy : 1.0f)
        << ",\"dxtCompression\":" << (i.TextureCompressionS3TC ? "true" : "false")
        << ",\"colorFormats\":" << JsonList(a.ColorFormats)
        << ",\"colorFormatNames\":" << FormatList(a.ColorFormats, true)
        << ",\"depthFormats\":" << JsonList(a.DepthFormats)
        << ",\"depthFormatNames\":" << FormatList(a.DepthFormats, true)
        << ",\"multiSampleTypes\":" << JsonList(a.MultiSampleTypes) << ",\"filterLevels\":[";
    for (size_t n = 0; n < a.FilterLevels.size(); ++n) {
      const auto& f = a.FilterLevels[n];
      out << (n ? "," : "") << "{\"min\":" << f.MinFilter << ",\"mag\":" << f.MagFilter
          << ",\"mip\":" << f.MipFilter << ",\"maxAnisotropy\":" << f.MaxAnisotropy << "}";
    }
    out << "]}\n";
    return 0;
  }
  out << "Hersteller:          " << i.Vendor << "\n"
      << "Grafikkarte:         " << i.Renderer << "\n"
      << "OpenGL:              " << i.Version << "\n"
      << "GLSL:                " << i.ShadingLanguageVersion << "\n"
      << "Texturgröße max.:    " << i.MaxTextureSize << " (Würfel " << i.MaxCubeMapSize << ")\n"
      << "Zielgröße max.:      " << i.MaxRenderbufferSize << "\n"
      << "Textureinheiten:     " << i.MaxTextureUnits << "\n"
      << "Vertex-Attribute:    " << i.MaxVertexAttribs << "\n"
      << "Software-Zeichnung:  " << (i.Software ? "ja (ohne anisotrope Filterung)" : "nein") << "\n"
      << "Anisotropie max.:    " << (i.Anisotropic ? i.MaxAnisotropy : 1.0f) << "\n"
      << "DXT-Kompression:     " << (i.TextureCompressionS3TC ? "ja" : "nein") << "\n"
      << "Farbformate:         " << FormatList(a.ColorFormats, false) << "\n"
      << "Tiefenformate:       " << FormatList(a.DepthFormats, false) << " (bestes "
      << gx::GXFormatName(a.BestDepthFormat()) << ")\n"
      << "Multisampling:       " << JsonList(a.MultiSampleTypes) << "\n"
      << "Filterstufen:\n";
  for (size_t n = 0; n < a.FilterLevels.size(); ++n) {
    const auto& f = a.FilterLevels[n];
    out << "  " << n << ": min " << FilterName(f.MinFilter) << ", mag " << FilterName(f.MagFilter) << ", mip "
        << FilterName(f.MipFilter) << ", Anisotropie " << f.MaxAnisotropy << "\n";
  }
  return 0;
}

}  // namespace cli
