#include "tools/assetgen/RunningSounds.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace assetgen {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kRate = RunningSoundRate;

// A fixed noise source in -1..1 (xorshift).
class TNoise {
 public:
  explicit TNoise(uint32_t seed) : FState(seed ? seed : 1) {}
  float Next() {
    FState ^= FState << 13;
    FState ^= FState >> 17;
    FState ^= FState << 5;
    return float(FState >> 8) / 8388608.0f - 1.0f;
  }

 private:
  uint32_t FState;
};

// A second-order section (the usual low-pass and band-pass designs).
struct TBiquad {
  double B0 = 1, B1 = 0, B2 = 0, A1 = 0, A2 = 0;
  double X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;
  float Run(float x) {
    const double y = B0 * x + B1 * X1 + B2 * X2 - A1 * Y1 - A2 * Y2;
    X2 = X1, X1 = x, Y2 = Y1, Y1 = y;
    return float(y);
  }
};

TBiquad Design(double frequency, double q, bool bandPass) {
  const double w = kTwoPi * frequency / kRate, c = std::cos(w), alpha = std::sin(w) / (2 * q);
  const double a0 = 1 + alpha;
  TBiquad f;
  if (bandPass) {
    f.B0 = alpha / a0, f.B1 = 0, f.B2 = -alpha / a0;
  } else {
    f.B0 = (1 - c) / 2 / a0, f.B1 = (1 - c) / a0, f.B2 = (1 - c) / 2 / a0;
  }
  f.A1 = -2 * c / a0, f.A2 = (1 - alpha) / a0;
  return f;
}
TBiquad LowPass(double frequency, double q = 0.707) { return Design(frequency, q, false); }
TBiquad BandPass(double frequency, double q) { return Design(frequency, q, true); }

// Noise of n samples filtered round the loop: the first pass settles the filter on the loop's
// own end, the second is kept, so the filtered noise runs on from the last sample to the first.
std::vector<float> LoopNoise(size_t n, uint32_t seed, std::vector<TBiquad> filters) {
  TNoise noise(seed);
  std::vector<float> raw(n);
  for (float& v : raw) v = noise.Next();
  std::vector<float> out(n);
  for (int pass = 0; pass < 2; ++pass)
    for (size_t i = 0; i < n; ++i) {
      float v = raw[i];
      for (TBiquad& f : filters) v = f.Run(v);
      out[i] = v;
    }
  return out;
}

// sin(2π · cycles · i / n): a tone that makes whole periods in the loop of n samples.
float LoopSine(size_t i, size_t n, double cycles, double phase = 0) {
  return float(std::sin(kTwoPi * cycles * double(i) / double(n) + phase));
}

// Scales the loop to a fixed peak and rounds it to 16 bits.
std::vector<int16_t> ToPcm(const std::vector<float>& x, float peak = 0.7f) {
  float most = 1e-6f;
  for (float v : x) most = std::max(most, std::fabs(v));
  std::vector<int16_t> out(x.size());
  for (size_t i = 0; i < x.size(); ++i)
    out[i] = int16_t(std::lround(std::clamp(x[i] / most * peak, -1.0f, 1.0f) * 32767.0f));
  return out;
}

// Eight exhaust beats in two seconds over a low rumble.
std::vector<int16_t> Steam() {
  const size_t n = size_t(2 * kRate);
  std::vector<float> loop(n, 0.0f);
  const int beats = 8;
  const float accent[] = {1.0f, 0.62f, 0.8f, 0.55f};
  const size_t length = size_t(0.26 * kRate);
  TNoise noise(7101);
  for (int b = 0; b < beats; ++b) {
    const size_t start = size_t(std::lround(double(b) * double(n) / beats));
    // Each beat from rest: the burst and its filters start silent, so it may run on over the
    // loop's end into its start.
    TBiquad body = BandPass(520, 0.9), air = BandPass(1900, 1.4), soft = LowPass(3200);
    for (size_t j = 0; j < length; ++j) {
      const double t = double(j) / kRate;
      const double attack = std::min(1.0, t / 0.005);
      const double decay = 0.75 * std::exp(-t / 0.045) + 0.25 * std::exp(-t / 0.11);
      const float x = noise.Next();
      const float v = soft.Run(1.6f * body.Run(x) + 0.5f * air.Run(x));
      loop[(start + j) % n] += float(attack * decay) * accent[b % 4] * v;
    }
  }
  const std::vector<float> rumble = LoopNoise(n, 7102, {LowPass(140), LowPass(140)});
  const std::vector<float> hiss = LoopNoise(n, 7103, {BandPass(3400, 0.8)});
  for (size_t i = 0; i < n; ++i)
    loop[i] += 0.9f * rumble[i] + 0.02f * LoopSine(i, n, 90) + 0.03f * hiss[i];
  return ToPcm(loop);
}

// A 30 Hz firing note with harmonics, throbbing five times a second, a turbocharger's whistle
// and filtered noise, in two seconds.
std::vector<int16_t> Diesel() {
  const size_t n = size_t(2 * kRate);
  std::vector<float> loop(n, 0.0f);
  const std::vector<float> rough = LoopNoise(n, 7201, {LowPass(520), LowPass(900)});
  const std::vector<float> intake = LoopNoise(n, 7202, {BandPass(1200, 1.2)});
  const double f0Cycles = 30 * 2;  // 30 Hz over two seconds
  for (size_t i = 0; i < n; ++i) {
    double v = 0;
    for (int h = 1; h <= 14; ++h) {
      // Lower harmonics strong, the third and the sixth (the cylinder groups) a little more.
      double a = 1.0 / std::pow(double(h), 0.85);
      if (h % 3 == 0) a *= 1.5;
      v += a * LoopSine(i, n, f0Cycles * h, 0.7 * h * h);
    }
    const float throb = 1.0f + 0.22f * LoopSine(i, n, 10) + 0.08f * LoopSine(i, n, 3, 1.3);
    v *= throb;
    v += 1.6 * rough[i] * throb;
    v += 0.06 * LoopSine(i, n, 1480 * 2) * (1.0 + 0.3 * LoopSine(i, n, 1));  // turbo
    v += 0.12 * intake[i];
    loop[i] = float(v);
  }
  return ToPcm(loop);
}

// The motors' whine swaying a little in pitch, the transformer's hum and a fan, in two seconds.
std::vector<int16_t> Electric() {
  const size_t n = size_t(2 * kRate);
  std::vector<float> loop(n, 0.0f);
  const std::vector<float> fan = LoopNoise(n, 7301, {BandPass(900, 0.7), LowPass(2600)});
  // Pitch sways by 4 Hz once per loop: the phase adds beta · sin of one cycle (beta = 4 Hz /
  // 0.5 Hz), which comes back to where it started.
  const double beta = 4.0 / 0.5;
  for (size_t i = 0; i < n; ++i) {
    const double sway = std::sin(kTwoPi * double(i) / double(n));
    const double whine = std::sin(kTwoPi * 420 * 2 * double(i) / double(n) + beta * sway);
    const double octave = std::sin(kTwoPi * 840 * 2 * double(i) / double(n) + 2 * beta * sway + 0.4);
    const double gear = std::sin(kTwoPi * 1260 * 2 * double(i) / double(n) + 3 * beta * sway + 1.1);
    const double hum = LoopSine(i, n, 100 * 2) + 0.5 * LoopSine(i, n, 200 * 2, 0.3) + 0.2 * LoopSine(i, n, 300 * 2, 0.9);
    const double swell = 1.0 + 0.15 * LoopSine(i, n, 4, 0.5);
    loop[i] = float(0.5 * whine * swell + 0.25 * octave + 0.08 * gear + 0.35 * hum + 2.2 * fan[i]);
  }
  return ToPcm(loop);
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void PutTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

}  // namespace

std::vector<std::string> RunningSoundFiles() { return {SteamSoundFile, DieselSoundFile, ElectricSoundFile}; }

std::vector<int16_t> RunningSoundSamples(const std::string& fileName) {
  if (fileName == SteamSoundFile) return Steam();
  if (fileName == DieselSoundFile) return Diesel();
  if (fileName == ElectricSoundFile) return Electric();
  throw std::invalid_argument("unknown running sound " + fileName);
}

std::vector<uint8_t> EncodeWav(const std::vector<int16_t>& samples, uint32_t rate) {
  const uint32_t data = uint32_t(samples.size() * 2);
  std::vector<uint8_t> out;
  out.reserve(44 + data);
  PutTag(out, "RIFF");
  Put32(out, 36 + data);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  Put32(out, 16);
  Put16(out, 1);  // PCM
  Put16(out, 1);  // mono
  Put32(out, rate);
  Put32(out, rate * 2);
  Put16(out, 2);
  Put16(out, 16);
  PutTag(out, "data");
  Put32(out, data);
  for (int16_t s : samples) Put16(out, uint16_t(s));
  return out;
}

}  // namespace assetgen
