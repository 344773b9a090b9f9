#pragma once
// Preparing files that travel into packages.
//
// ConvertTextureForPackage: every texture is stored as DDS with a full mip chain. A DDS file is
// checked and copied unchanged; PNG, JPEG and BMP images (decoded by the render layer's image
// reader) become DXT5 when they carry alpha and DXT1 otherwise (libsquish, box-filtered
// levels). Anything else, or an image that does not decode, raises ETextureConversion with
// "Error converting texture.". No render device is needed.
//
// FindCompanionFiles: the texture files a model on disk names, found next to it. The model is
// read with the device-free model readers (no render device); a lister set for tests replaces
// them.

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace rr {

inline constexpr const char* RRTextErrorConvertingTexture = "Error converting texture.";
// Texture sources beyond this size are refused (the decoded size is limited by the image reader).
inline constexpr uint64_t RRMaxTextureFileSize = uint64_t(256) << 20;

class ETextureConversion : public std::runtime_error {
 public:
  ETextureConversion() : std::runtime_error(RRTextErrorConvertingTexture) {}
};

// The DDS bytes to store for a texture file's bytes.
std::vector<uint8_t> ConvertTextureForPackage(std::span<const uint8_t> data);

// The texture names a model file lists (as written in the model, relative to its folder).
using TRRModelTextureLister = std::function<std::vector<std::string>(const std::string& modelFile)>;
// Replaces the model readers (tests); an empty function restores them.
void RRSetModelTextureLister(TRRModelTextureLister lister);
// For each listed texture name (colours dropped), the file it names beside the model: its parts,
// split on "\" and "/", as a path below the model's folder, else its last part in the folder
// itself (absolute names and names with ".." only get this), each part matched ignoring case.
// Sorted ignoring case, without duplicates; empty when the model cannot be read.
std::vector<std::string> FindCompanionFiles(const std::string& modelFile);

}  // namespace rr
