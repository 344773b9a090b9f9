// The PNG encoder beside the JPEG one (app/RRProjectSerializer.h): screenshots, generated
// textures and test images.

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "app/RRProjectSerializer.h"

namespace rr {

namespace {

void AppendData(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

void Fail(png_structp png, png_const_charp) { std::longjmp(png_jmpbuf(png), 1); }
void Silent(png_structp, png_const_charp) {}

// Rows of channels bytes per pixel, top-down.
std::vector<uint8_t> Encode(uint32_t width, uint32_t height, int channels, const std::vector<uint8_t>& rows) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Silent);
  if (!png) return {};
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return {};
  }
  std::vector<png_bytep> pointers(height);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendData, NoFlush);
  png_set_IHDR(png, info, width, height, 8,
               channels == 4 ? PNG_COLOR_TYPE_RGBA : channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  const size_t stride = size_t(width) * size_t(channels);
  for (uint32_t y = 0; y < height; ++y) pointers[y] = const_cast<png_bytep>(rows.data() + y * stride);
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace

std::vector<uint8_t> RREncodePng(const TRRBitmap& bitmap) {
  if (bitmap.Width <= 0 || bitmap.Height <= 0 ||
      bitmap.Pixels.size() < size_t(bitmap.Width) * size_t(bitmap.Height) * 3)
    return {};
  return Encode(uint32_t(bitmap.Width), uint32_t(bitmap.Height), 3, bitmap.Pixels);
}

std::vector<uint8_t> RREncodePng(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels,
                                 bool alpha) {
  if (width == 0 || height == 0 || width > 0x7FFFFFFFu / 4 || pixels.size() != size_t(width) * height)
    return {};
  const int channels = alpha ? 4 : 3;
  std::vector<uint8_t> rows;
  rows.reserve(pixels.size() * size_t(channels));
  for (uint32_t p : pixels) {
    rows.push_back(uint8_t(p >> 16));
    rows.push_back(uint8_t(p >> 8));
    rows.push_back(uint8_t(p));
    if (alpha) rows.push_back(uint8_t(p >> 24));
  }
  return Encode(width, height, channels, rows);
}

std::vector<uint8_t> RREncodePngGrey(uint32_t width, uint32_t height, const std::vector<uint8_t>& grey) {
  if (width == 0 || height == 0 || width > 0x7FFFFFFFu || grey.size() != size_t(width) * height) return {};
  return Encode(width, height, 1, grey);
}

std::vector<uint8_t> RREncodeBmp(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels) {
  // Rows are padded to four bytes; the file's sizes are 32-bit.
  const uint64_t stride = (uint64_t(width) * 3 + 3) / 4 * 4;
  const uint64_t imageSize = stride * height;
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF || pixels.size() != size_t(width) * height ||
      imageSize + 54 > 0x7FFFFFFF)
    return {};
  std::vector<uint8_t> out(54 + size_t(imageSize), 0);
  auto put16 = [&](size_t at, uint32_t v) {
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, uint32_t(out.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, width);
  put32(22, height);  // positive: bottom-up
  put16(26, 1);
  put16(28, 24);
  put32(34, uint32_t(imageSize));
  put32(38, 2835);  // 72 dpi
  put32(42, 2835);
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = out.data() + 54 + size_t(height - 1 - y) * stride;
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t p = pixels[size_t(y) * width + x];
      row[3 * x] = uint8_t(p);
      row[3 * x + 1] = uint8_t(p >> 8);
      row[3 * x + 2] = uint8_t(p >> 16);
    }
  }
  return out;
}

}  // namespace rr
