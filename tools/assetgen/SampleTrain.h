#pragma once
// The sample layout's train: the electric locomotive (with its running sound and cab) pulling
// four goods wagons, coupled buffer to buffer, on the plain pieces of the oval before the
// turnout, running forward at a moderate speed; it reverses at ends and throws switches set
// against it.

#include <vector>

namespace rr {
class TRRDatabase;
class TRREntityManager;
class TRRTrack;
}  // namespace rr

namespace assetgen {

// The train's speed (cm/s) and the gap left between facing buffers (well within the coupling
// distance).
inline constexpr float SampleTrainSpeed = 25.0f;
inline constexpr float SampleTrainGap = 0.1f;

// Puts the train on chain, plain pieces laid end to end whose route 0 continues from one to the
// next: the locomotive's front buffers 1 unit before the chain's end, facing along the routes,
// the wagons behind it. Raises when a vehicle is missing from the catalogue or the train does
// not fit on the chain.
void AddSampleTrain(rr::TRREntityManager& manager, const rr::TRRDatabase& database,
                    const std::vector<rr::TRRTrack*>& chain);

}  // namespace assetgen
