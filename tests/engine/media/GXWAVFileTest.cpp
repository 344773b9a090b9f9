#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/media/GXWAVFile.h"

using namespace gx;

namespace {

using TBytes = std::vector<uint8_t>;

void Put16(TBytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void Put32(TBytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// One chunk: id, stated size (the body's size unless given), body, and the pad byte after an
// odd body unless left out.
TBytes Chunk(const char* id, const TBytes& body, long long statedSize = -1, bool pad = true) {
  TBytes b(id, id + 4);
  Put32(b, statedSize < 0 ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(statedSize));
  b.insert(b.end(), body.begin(), body.end());
  if (pad && body.size() % 2) b.push_back(0);
  return b;
}

TBytes Riff(const std::vector<TBytes>& chunks, long long statedSize = -1, const char* form = "WAVE") {
  TBytes inner(form, form + 4);
  for (const TBytes& c : chunks) inner.insert(inner.end(), c.begin(), c.end());
  TBytes b{'R', 'I', 'F', 'F'};
  Put32(b, statedSize < 0 ? static_cast<uint32_t>(inner.size()) : static_cast<uint32_t>(statedSize));
  b.insert(b.end(), inner.begin(), inner.end());
  return b;
}

// A format chunk body: 16 bytes, or 18 with the extra size, or 40 with the extension whose
// sub-format GUID starts with subFormat.
TBytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, int length = 16,
           uint16_t subFormat = 1, int blockAlign = -1) {
  TBytes b;
  const uint16_t block = blockAlign < 0 ? channels * bits / 8 : static_cast<uint16_t>(blockAlign);
  Put16(b, tag);
  Put16(b, channels);
  Put32(b, rate);
  Put32(b, rate * block);
  Put16(b, block);
  Put16(b, bits);
  if (length >= 18) Put16(b, length == 40 ? 22 : static_cast<uint32_t>(length - 18));
  if (length == 40) {
    Put16(b, bits);  // valid bits
    Put32(b, 3);     // channel mask
    Put16(b, subFormat);
    const uint8_t tail[] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    b.insert(b.end(), tail, tail + sizeof tail);
  }
  b.resize(length, 0);
  return b;
}

TBytes Samples(size_t n) {
  TBytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0x40 + i);
  return b;
}

struct TCase {
  const char* Name;
  TBytes File;
  bool Valid;
  uint16_t Tag = 1, Channels = 0, Bits = 0, Extra = 0;
  uint32_t Rate = 0;
  size_t DataSize = 0;
};

std::vector<TCase> Cases() {
  const TBytes st16 = Fmt(1, 2, 44100, 16);
  return {
      {"16-bit stereo, 16-byte format: extra size 0", Riff({Chunk("fmt ", st16), Chunk("data", Samples(8))}),
       true, 1, 2, 16, 0, 44100, 8},
      {"8-bit mono, 18-byte format", Riff({Chunk("fmt ", Fmt(1, 1, 8000, 8, 18)), Chunk("data", Samples(5))}),
       true, 1, 1, 8, 0, 8000, 5},
      {"extensible with PCM sub-format",
       Riff({Chunk("fmt ", Fmt(0xFFFE, 2, 48000, 16, 40)), Chunk("data", Samples(12))}), true, 0xFFFE, 2, 16,
       22, 48000, 12},
      {"odd chunks before and between, with pad bytes",
       Riff({Chunk("LIST", Samples(7)), Chunk("fmt ", st16), Chunk("junk", Samples(3)),
             Chunk("data", Samples(4))}),
       true, 1, 2, 16, 0, 44100, 4},
      {"last chunk odd without its pad byte",
       Riff({Chunk("fmt ", Fmt(1, 1, 11025, 8)), Chunk("data", Samples(3), -1, false)}), true, 1, 1, 8, 0,
       11025, 3},
      {"data cut to whole blocks", Riff({Chunk("fmt ", st16), Chunk("data", Samples(10))}), true, 1, 2, 16, 0,
       44100, 8},
      {"bytes after the RIFF chunk are ignored",
       [&] {
         TBytes b = Riff({Chunk("fmt ", st16), Chunk("data", Samples(4))});
         b.resize(b.size() + 9, 0xEE);
         return b;
       }(),
       true, 1, 2, 16, 0, 44100, 4},
      {"rate 384000 is the highest", Riff({Chunk("fmt ", Fmt(1, 1, 384000, 16)), Chunk("data", Samples(2))}),
       true, 1, 1, 16, 0, 384000, 2},
      // Invalid files.
      {"odd chunk without pad byte misaligns the rest",
       Riff({Chunk("LIST", Samples(7), -1, false), Chunk("fmt ", st16), Chunk("data", Samples(4))}), false},
      {"data shorter than stated", Riff({Chunk("fmt ", st16), Chunk("data", Samples(8), 4000)}), false},
      {"data chunk huge", Riff({Chunk("fmt ", st16), Chunk("data", Samples(8), 0xFFFFFFFF)}), false},
      {"less than one block of data", Riff({Chunk("fmt ", st16), Chunk("data", Samples(3))}), false},
      {"data before the format", Riff({Chunk("data", Samples(4)), Chunk("fmt ", st16)}), false},
      {"no data chunk", Riff({Chunk("fmt ", st16)}), false},
      {"format chunk of 14 bytes",
       Riff({Chunk("fmt ", TBytes(st16.begin(), st16.begin() + 14)), Chunk("data", Samples(4))}), false},
      {"format chunk longer than the file", Riff({Chunk("fmt ", st16, 400)}), false},
      {"RIFF size beyond the file", Riff({Chunk("fmt ", st16), Chunk("data", Samples(4))}, 4000), false},
      {"data outside the RIFF chunk", Riff({Chunk("fmt ", st16), Chunk("data", Samples(4))}, 4 + 24), false},
      {"extensible float sub-format",
       Riff({Chunk("fmt ", Fmt(0xFFFE, 2, 48000, 16, 40, 3)), Chunk("data", Samples(4))}), false},
      {"extensible without its extension",
       Riff({Chunk("fmt ", Fmt(0xFFFE, 2, 48000, 16, 18)), Chunk("data", Samples(4))}), false},
      {"float", Riff({Chunk("fmt ", Fmt(3, 1, 44100, 32)), Chunk("data", Samples(8))}), false},
      {"ADPCM", Riff({Chunk("fmt ", Fmt(2, 1, 22050, 4, 20, 1, 256)), Chunk("data", Samples(256))}), false},
      {"three channels", Riff({Chunk("fmt ", Fmt(1, 3, 44100, 16)), Chunk("data", Samples(12))}), false},
      {"no channels", Riff({Chunk("fmt ", Fmt(1, 0, 44100, 16, 16, 1, 2)), Chunk("data", Samples(4))}),
       false},
      {"24 bits", Riff({Chunk("fmt ", Fmt(1, 2, 44100, 24)), Chunk("data", Samples(12))}), false},
      {"rate 0", Riff({Chunk("fmt ", Fmt(1, 1, 0, 16)), Chunk("data", Samples(4))}), false},
      {"rate 384001", Riff({Chunk("fmt ", Fmt(1, 1, 384001, 16)), Chunk("data", Samples(4))}), false},
      {"block align not channels x bytes",
       Riff({Chunk("fmt ", Fmt(1, 2, 44100, 16, 16, 1, 2)), Chunk("data", Samples(4))}), false},
      {"empty file", {}, false},
      {"text file", TBytes{'K', 'e', 'i', 'n', ' ', 'W', 'A', 'V', '\r', '\n', 'x', 'y', 'z'}, false},
      {"Ogg file", TBytes{'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}, false},
      {"RIFF of another form", Riff({Chunk("fmt ", st16), Chunk("data", Samples(4))}, -1, "AVI "), false},
      {"only the RIFF header", TBytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, false},
  };
}

}  // namespace

TEST(GXWAVReader, ReadsThePlayableSubsetAndRefusesTheRest) {
  for (const TCase& c : Cases()) {
    SCOPED_TRACE(c.Name);
    if (!c.Valid) {
      try {
        GXReadWAV(c.File);
        ADD_FAILURE() << "accepted";
      } catch (const EGXException& e) {
        EXPECT_EQ(FormatExceptionArgs(e.Args()), "TGXWAVFile, Create, Invalid file");
      }
      continue;
    }
    const TGXWAVData wav = GXReadWAV(c.File);
    EXPECT_EQ(wav.Format.FormatTag, c.Tag);
    EXPECT_EQ(wav.Format.Channels, c.Channels);
    EXPECT_EQ(wav.Format.BitsPerSample, c.Bits);
    EXPECT_EQ(wav.Format.SamplesPerSec, c.Rate);
    EXPECT_EQ(wav.Format.ExtraSize, c.Extra);
    EXPECT_EQ(wav.DataSize, c.DataSize);
    // The data found is the data written (Samples starts at 0x40), inside the file.
    ASSERT_LE(wav.DataOffset + wav.DataSize, c.File.size());
    EXPECT_EQ(c.File[wav.DataOffset], 0x40);
    EXPECT_EQ(c.File[wav.DataOffset + wav.DataSize - 1], 0x40 + wav.DataSize - 1);
  }
}

TEST(GXWAVReader, EveryTruncationOfAValidFileIsRefused) {
  const TBytes file = Riff(
      {Chunk("LIST", Samples(5)), Chunk("fmt ", Fmt(0xFFFE, 2, 22050, 16, 40)), Chunk("data", Samples(16))});
  ASSERT_NO_THROW(GXReadWAV(file));
  for (size_t n = 0; n < file.size(); ++n)
    EXPECT_THROW(GXReadWAV(std::span(file.data(), n)), EGXException) << n;
}

TEST(GXWAVReader, WrittenFilesReadBackAndUnplayableFormatsAreNotWritten) {
  const TBytes samples = Samples(6);
  const TBytes file = GXWriteWAV({1, 16, 32000}, samples);
  const TGXWAVData wav = GXReadWAV(file);
  EXPECT_EQ(wav.PCMFormat(), (TGXPCMFormat{1, 16, 32000}));
  EXPECT_EQ(wav.Format.AvgBytesPerSec, 64000u);
  EXPECT_EQ(TBytes(file.begin() + wav.DataOffset, file.begin() + wav.DataOffset + wav.DataSize), samples);
  EXPECT_THROW(GXWriteWAV({3, 16, 32000}, Samples(6)), EInvalidParameter);
  EXPECT_THROW(GXWriteWAV({2, 16, 32000}, Samples(6)), EInvalidParameter);  // 1.5 frames
}
