#pragma once
// The sample layout "Beispielanlagen/Gleislücke.vmp": two runs of the base catalogue's H0
// "Profilgleis" whose facing ends leave a gap for the gap solver, which a G2 straight and a 30°
// curve of radius R1 close exactly.

#include <filesystem>

namespace assetgen {

// Writes the file below dataFolder from the track catalogue of the base packages already written
// there. Byte-identical on every run.
void WriteGapSample(const std::filesystem::path& dataFolder);

}  // namespace assetgen
