#include "cli/ModelCommand.h"

#include <cstdio>
#include <ostream>

#include "app/RRGlobal.h"
#include "cli/CliJson.h"
#include "cli/CliReport.h"
#include "engine/core/GXException.h"
#include "engine/core/GXStrings.h"
#include "engine/render/GXMeshData.h"
#include "engine/render/GXModelReader.h"

namespace cli {

namespace {

std::string Num(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", double(v));
  return text;
}

// Values between brackets, appended piece by piece: "(" + text + ... makes GCC 12 warn of an
// overlap (-Wrestrict).
template <class T, class F>
std::string Join(const char* open, std::initializer_list<T> values, const char* separator, const char* close,
                 F text) {
  std::string s = open;
  bool first = true;
  for (const T& v : values) {
    if (!first) s += separator;
    s += text(v);
    first = false;
  }
  return s += close;
}

std::string Vec(const gx::TGXVector3& v) { return Join("(", {v.x, v.y, v.z}, ", ", ")", Num); }
std::string Quat(const gx::TGXQuaternion& q) { return Join("(", {q.x, q.y, q.z, q.w}, ", ", ")", Num); }
std::string JsonVec(const gx::TGXVector3& v) { return Join("[", {v.x, v.y, v.z}, ",", "]", JsonNumber); }
std::string JsonQuat(const gx::TGXQuaternion& q) {
  return Join("[", {q.x, q.y, q.z, q.w}, ",", "]", JsonNumber);
}
std::string JsonList(const std::vector<uint32_t>& values) {
  std::string s = "[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) s += ',';
    s += std::to_string(values[i]);
  }
  return s += "]";
}
std::string TextList(const std::vector<uint32_t>& values) {
  std::string s;
  for (size_t i = 0; i < values.size(); ++i) s += (i ? ", " : "") + std::to_string(values[i]);
  return s;
}

// A texture name as a reader of the listing sees it: a file name in quotes, a colour as "Farbe"
// and its text, nothing as "ohne".
std::string TextureText(const std::string& name) {
  if (name.empty()) return "ohne Textur";
  if (gx::GXModelIsColorName(name)) return "Farbe " + name.substr(1);
  return "Textur \"" + name + "\"";
}

const char* FormatName(gx::EGXModelFormat f) { return f == gx::EGXModelFormat::XFile ? "X" : "3DS"; }

void PrintModel(const gx::TGXModelData& m, bool json, std::ostream& out) {
  if (json) {
    std::string s = "{\"format\":" + JsonString(FormatName(m.Format)) +
                    ",\"rootMeshes\":" + JsonList(m.RootMeshes) + ",\"nodes\":[";
    for (size_t i = 0; i < m.Nodes.size(); ++i) {
      const gx::TGXModelNode& n = m.Nodes[i];
      s += std::string(i ? "," : "") + "{\"name\":" + JsonString(n.Name) +
           ",\"parent\":" + std::to_string(n.Parent) + ",\"position\":" + JsonVec(n.Position) +
           ",\"rotation\":" + JsonQuat(n.Rotation) + ",\"scale\":" + JsonVec(n.Scale) +
           ",\"meshes\":" + JsonList(n.Meshes) + "}";
    }
    s += "],\"meshes\":[";
    for (size_t i = 0; i < m.Meshes.size(); ++i) {
      const gx::TGXModelMesh& mesh = m.Meshes[i];
      s += std::string(i ? "," : "") + "{\"name\":" + JsonString(mesh.Name) +
           ",\"vertices\":" + std::to_string(mesh.Vertices.size()) +
           ",\"indices\":" + std::to_string(mesh.Indices.size()) +
           ",\"boundsMin\":" + JsonVec(mesh.BoundsMin) + ",\"boundsMax\":" + JsonVec(mesh.BoundsMax) +
           ",\"subMeshes\":[";
      for (size_t k = 0; k < mesh.SubMeshes.size(); ++k) {
        const gx::TGXModelSubMesh& sub = mesh.SubMeshes[k];
        s += std::string(k ? "," : "") + "{\"firstIndex\":" + std::to_string(sub.FirstIndex) +
             ",\"indexCount\":" + std::to_string(sub.IndexCount) +
             ",\"texture\":" + JsonString(sub.TextureName) + "}";
      }
      s += "]}";
    }
    s += "],\"animation\":";
    if (!m.HasAnimation) {
      s += "null";
    } else {
      s += "{\"secondsPerFrame\":" + JsonNumber(m.Animation.SecondsPerFrame) +
           ",\"endFrame\":" + std::to_string(gx::GXModelEndFrame(m.Animation)) + ",\"tracks\":[";
      for (size_t i = 0; i < m.Animation.Tracks.size(); ++i) {
        const gx::TGXModelTrack& t = m.Animation.Tracks[i];
        s += std::string(i ? "," : "") + "{\"name\":" + JsonString(t.Name) +
             ",\"positionKeys\":" + std::to_string(t.PositionKeys.size()) +
             ",\"rotationKeys\":" + std::to_string(t.RotationKeys.size()) +
             ",\"scaleKeys\":" + std::to_string(t.ScaleKeys.size()) + "}";
      }
      s += "]}";
    }
    out << s << "}\n";
    return;
  }
  out << "Format: " << FormatName(m.Format) << "\n";
  if (!m.RootMeshes.empty()) out << "Meshes am Zielknoten: " << TextList(m.RootMeshes) << "\n";
  out << "Knoten: " << m.Nodes.size() << "\n";
  std::vector<size_t> depth(m.Nodes.size(), 1);
  for (size_t i = 0; i < m.Nodes.size(); ++i) {
    const gx::TGXModelNode& n = m.Nodes[i];
    if (n.Parent >= 0 && size_t(n.Parent) < i) depth[i] = depth[size_t(n.Parent)] + 1;
    out << std::string(depth[i] * 2, ' ') << "\"" << n.Name << "\" Position " << Vec(n.Position)
        << " Drehung " << Quat(n.Rotation) << " Skalierung " << Vec(n.Scale);
    if (!n.Meshes.empty()) out << " Meshes " << TextList(n.Meshes);
    out << "\n";
  }
  out << "Meshes: " << m.Meshes.size() << "\n";
  for (size_t i = 0; i < m.Meshes.size(); ++i) {
    const gx::TGXModelMesh& mesh = m.Meshes[i];
    out << "  " << i << " \"" << mesh.Name << "\": " << mesh.Vertices.size() << " Ecken, "
        << mesh.Indices.size() << " Indizes, Grenzen " << Vec(mesh.BoundsMin) << " bis "
        << Vec(mesh.BoundsMax) << "\n";
    for (size_t k = 0; k < mesh.SubMeshes.size(); ++k) {
      const gx::TGXModelSubMesh& sub = mesh.SubMeshes[k];
      out << "    Teil " << k << ": erster Index " << sub.FirstIndex << ", " << sub.IndexCount << " Indizes, "
          << TextureText(sub.TextureName) << "\n";
    }
  }
  if (!m.HasAnimation) {
    out << "Animation: keine\n";
    return;
  }
  out << "Animation: " << Num(m.Animation.SecondsPerFrame) << " s je Bild, letztes Bild "
      << gx::GXModelEndFrame(m.Animation) << ", " << m.Animation.Tracks.size() << " Spuren\n";
  for (const gx::TGXModelTrack& t : m.Animation.Tracks)
    out << "  \"" << t.Name << "\": " << t.PositionKeys.size() << " Positionen, " << t.RotationKeys.size()
        << " Drehungen, " << t.ScaleKeys.size() << " Skalierungen\n";
}

const char* UsageName(uint8_t usage) {
  static const char* names[] = {"POSITION", "BLENDWEIGHT", "BLENDINDICES", "NORMAL",     "PSIZE",
                                "TEXCOORD", "TANGENT",     "BINORMAL",     "TESSFACTOR", "POSITIONT",
                                "COLOR",    "FOG",         "DEPTH",        "SAMPLE"};
  return usage < std::size(names) ? names[usage] : "?";
}

const char* TypeName(uint8_t type) {
  static const char* names[] = {"FLOAT1",   "FLOAT2", "FLOAT3",  "FLOAT4",    "D3DCOLOR", "UBYTE4",
                                "SHORT2",   "SHORT4", "UBYTE4N", "SHORT2N",   "SHORT4N",  "USHORT2N",
                                "USHORT4N", "UDEC3",  "DEC3N",   "FLOAT16_2", "FLOAT16_4"};
  return type < std::size(names) ? names[type] : "?";
}

void PrintMesh(const gx::TGXMeshData& m, bool json, std::ostream& out) {
  const auto& elements = m.Layout.Elements();
  if (json) {
    std::string s = "{\"format\":\"gxmesh\",\"firstVertex\":" + std::to_string(m.FirstVertex) +
                    ",\"vertexCount\":" + std::to_string(m.VertexCount) + ",\"elements\":[";
    for (size_t i = 0; i < elements.size(); ++i) {
      const gx::TGXVertexElement& e = elements[i];
      s += std::string(i ? "," : "") + "{\"stream\":" + std::to_string(e.Stream) +
           ",\"offset\":" + std::to_string(e.Offset) + ",\"type\":" + JsonString(TypeName(e.Type)) +
           ",\"usage\":" + JsonString(UsageName(e.Usage)) +
           ",\"usageIndex\":" + std::to_string(e.UsageIndex) + "}";
    }
    s += "],\"streams\":[";
    for (size_t i = 0; i < m.Streams.size(); ++i)
      s += std::string(i ? "," : "") + "{\"stride\":" + std::to_string(m.Streams[i].Stride) +
           ",\"bytes\":" + std::to_string(m.Streams[i].Data.size()) + "}";
    s += "],\"subMeshes\":[";
    for (size_t i = 0; i < m.SubMeshes.size(); ++i) {
      const gx::TGXSubMeshData& sub = m.SubMeshes[i];
      s += std::string(i ? "," : "") + "{\"firstIndex\":" + std::to_string(sub.FirstIndex) +
           ",\"indexCount\":" + std::to_string(sub.IndexCount) + ",\"boundsMin\":" + JsonVec(sub.BoundsMin) +
           ",\"boundsMax\":" + JsonVec(sub.BoundsMax) + "}";
    }
    out << s << "]}\n";
    return;
  }
  out << "Format: gxmesh\nEcken: " << m.VertexCount << " ab " << m.FirstVertex
      << "\nElemente: " << elements.size() << "\n";
  for (const gx::TGXVertexElement& e : elements)
    out << "  Strom " << e.Stream << ", Versatz " << e.Offset << ": " << TypeName(e.Type) << " "
        << UsageName(e.Usage) << " " << int(e.UsageIndex) << "\n";
  out << "Datenströme: " << m.Streams.size() << "\n";
  for (size_t i = 0; i < m.Streams.size(); ++i)
    out << "  " << i << ": " << m.Streams[i].Data.size() << " Bytes, " << m.Streams[i].Stride
        << " Bytes je Ecke\n";
  out << "Teile: " << m.SubMeshes.size() << "\n";
  for (size_t i = 0; i < m.SubMeshes.size(); ++i) {
    const gx::TGXSubMeshData& sub = m.SubMeshes[i];
    out << "  " << i << ": erster Index " << sub.FirstIndex << ", " << sub.IndexCount << " Indizes, Grenzen "
        << Vec(sub.BoundsMin) << " bis " << Vec(sub.BoundsMax) << "\n";
  }
}

// The reason an exception gives, as one line.
std::string Reason(const std::exception& e) {
  if (const auto* gx = dynamic_cast<const gx::EGXException*>(&e)) return gx::FormatExceptionArgs(gx->Args());
  return e.what();
}

bool EndsWith(const std::string& s, std::string_view suffix) {
  return s.size() >= suffix.size() &&
         gx::SameText(std::string_view(s).substr(s.size() - suffix.size()), suffix);
}

}  // namespace

int RunModelCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] != "info") {
    err << "Aufruf: velmora-cli model info DATEI [--json]\n";
    return ExitUsage;
  }
  bool json = false;
  std::string file;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--json") {
      json = true;
    } else if (!args[i].empty() && args[i][0] == '-') {
      err << "Unbekannte Option: " << args[i] << "\n";
      return ExitUsage;
    } else if (file.empty()) {
      file = args[i];
    } else {
      err << "Nur eine Datei: " << args[i] << "\n";
      return ExitUsage;
    }
  }
  if (file.empty()) {
    err << "Aufruf: velmora-cli model info DATEI [--json]\n";
    return ExitUsage;
  }
  gx::TGXFileSystem& fs = rr::Global()->FileSystem();
  if (!fs.FileExists(file)) return Fail(err, "\"" + file + "\" wurde nicht gefunden.");
  std::unique_ptr<gx::TGXMemoryStream> data;
  try {
    data = fs.OpenFile(file);
  } catch (const std::exception& e) {
    return Fail(err, "\"" + file + "\" kann nicht gelesen werden: " + Reason(e), std::current_exception());
  }
  const uint8_t* bytes = data->Memory();
  const size_t size = size_t(data->Size());
  try {
    if (EndsWith(file, ".gxmesh")) {
      PrintMesh(gx::TGXMeshSerializer().Read(*data), json, out);
    } else if (EndsWith(file, ".3ds")) {
      PrintModel(gx::GXRead3DS(bytes, size), json, out);
    } else if (EndsWith(file, ".x")) {
      PrintModel(gx::GXReadXFile(bytes, size), json, out);
    } else {
      PrintModel(gx::GXReadModel(bytes, size), json, out);
    }
  } catch (const std::exception& e) {
    return Fail(err, "\"" + file + "\" ist kein lesbares Modell: " + Reason(e), std::current_exception());
  }
  return ExitOK;
}

}  // namespace cli
