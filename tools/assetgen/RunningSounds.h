#pragma once
// The locomotives' running sounds, synthesised: mono 16-bit PCM WAV loops at 22050 Hz that join
// their end to their start without a click.
//
// - Steam ("Dampflok.wav", 2 s): eight exhaust beats, each a burst of filtered noise with a
//   sharp attack, accented heavy-light-light-light as the cylinders take turns, over a low rumble.
// - Diesel ("Diesellok.wav", 2 s): a 30 Hz firing note with its harmonics, a slow throb from the
//   cylinder groups, a faint turbocharger whistle and filtered noise.
// - Electric ("Ellok.wav", 2 s): the traction motors' whine (a note and its octave swaying a
//   little in pitch), the transformer's hum and a fan's airy noise.
//
// Loops are seamless by construction: every tone and modulation makes whole periods in the loop,
// beats that run over the end continue at its start, and noise is filtered round the loop (the
// filter runs over the loop once to settle before the kept pass), so the last sample leads into
// the first as any sample into the next. The noise comes from fixed seeds: the same bytes on
// every run.

#include <cstdint>
#include <string>
#include <vector>

namespace assetgen {

inline constexpr const char* SteamSoundFile = "Dampflok.wav";
inline constexpr const char* DieselSoundFile = "Diesellok.wav";
inline constexpr const char* ElectricSoundFile = "Ellok.wav";
inline constexpr uint32_t RunningSoundRate = 22050;
// Where the sounds' sources live in the SDK.
inline constexpr const char* SoundSourceFolder = "D:\\Projekte\\Velmora SDK\\Geräusche";

// The three sound file names.
std::vector<std::string> RunningSoundFiles();
// The samples of one of them; std::invalid_argument for other names.
std::vector<int16_t> RunningSoundSamples(const std::string& fileName);
// A mono 16-bit PCM WAV file of the samples (RIFF, "fmt " of 16 bytes, "data").
std::vector<uint8_t> EncodeWav(const std::vector<int16_t>& samples, uint32_t rate);

}  // namespace assetgen
