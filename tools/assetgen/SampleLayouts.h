#pragma once
// The sample layouts shipped in "Beispielanlagen" below the Game root; the program copies them
// into the user's documents at its first start.

#include <filesystem>

namespace assetgen {

// Writes "Beispielanlagen/Kleine Beispielanlage.vmp" and "Gleislücke.vmp" (SampleGap.h) below
// dataFolder, built from the track catalogue of the base packages already written there.
// Byte-identical on every run.
void WriteSampleLayouts(const std::filesystem::path& dataFolder);

}  // namespace assetgen
