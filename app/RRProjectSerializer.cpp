#include "app/RRProjectSerializer.h"

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include "app/RREntitySerializer.h"
#include "app/entities/RREntity.h"
#include "app/entities/track/RRTrackParameters.h"
#include "engine/core/GXEngine.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXException.h"
#include "engine/core/GXNode.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

void JpegFail(j_common_ptr info) { std::longjmp(reinterpret_cast<TJpegError*>(info->err)->Jump, 1); }
void JpegSilent(j_common_ptr, int) {}

std::vector<TRREntity*> TopLevelEntities(const gx::TGXNode& node) {
  std::vector<TRREntity*> out;
  for (int i = 0; i < node.ChildCount(); ++i)
    if (auto* e = dynamic_cast<TRREntity*>(node.Child(i))) out.push_back(e);
  return out;
}

}  // namespace

// ---- JPEG -------------------------------------------------------------------------------------

std::vector<uint8_t> RREncodeJpeg(const TRRBitmap& bitmap, int quality) {
  if (bitmap.Width <= 0 || bitmap.Height <= 0 ||
      bitmap.Pixels.size() < static_cast<size_t>(bitmap.Width) * static_cast<size_t>(bitmap.Height) * 3)
    return {};
  jpeg_compress_struct info{};
  TJpegError err;
  info.err = jpeg_std_error(&err.Manager);
  err.Manager.error_exit = JpegFail;
  err.Manager.emit_message = JpegSilent;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(err.Jump)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return {};
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(bitmap.Width);
  info.image_height = static_cast<JDIMENSION>(bitmap.Height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(bitmap.Pixels.data() + static_cast<size_t>(info.next_scanline) * bitmap.Width * 3);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

bool RRDecodeJpeg(const std::vector<uint8_t>& jpeg, TRRBitmap& bitmap) {
  if (jpeg.empty()) return false;
  jpeg_decompress_struct info{};
  TJpegError err;
  info.err = jpeg_std_error(&err.Manager);
  err.Manager.error_exit = JpegFail;
  err.Manager.emit_message = JpegSilent;
  if (setjmp(err.Jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  // A thumbnail is at most a few hundred pixels wide; a header claiming more is not one.
  if (info.image_width == 0 || info.image_height == 0 || info.image_width > 8192 || info.image_height > 8192) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  TRRBitmap out;
  out.Width = static_cast<int>(info.output_width);
  out.Height = static_cast<int>(info.output_height);
  out.Pixels.resize(static_cast<size_t>(out.Width) * out.Height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.Pixels.data() + static_cast<size_t>(info.output_scanline) * out.Width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  bitmap = std::move(out);
  return true;
}

// ---- TRRProjectSerializer ---------------------------------------------------------------------

TRRProjectSerializer::TRRProjectSerializer(gx::TGXStream& stream, gx::TGXFileSystem* fileSystem)
    : gx::TGXSerializer(gx::TGXGuid::Parse(RRGuidProjectSerializer), RRProjectVersion),
      FStream(stream),
      FFileSystem(fileSystem) {
  if (!FFileSystem && gx::Engine()) FFileSystem = &gx::Engine()->FileSystem();
}

void TRRProjectSerializer::WriteProject(const gx::TGXNode& projectNode, const std::string& fileName,
                                        const TRRTrackParameters& trackParameters, IRRProjectEventSection& events,
                                        const TRRBitmap* thumbnail) {
  std::vector<uint8_t> jpeg;
  if (thumbnail) jpeg = RREncodeJpeg(*thumbnail, JpegQuality);
  WriteProject(projectNode, fileName, trackParameters, events, jpeg);
}

void TRRProjectSerializer::WriteProject(const gx::TGXNode& projectNode, const std::string& fileName,
                                        const TRRTrackParameters& trackParameters, IRRProjectEventSection& events,
                                        const std::vector<uint8_t>& thumbnailJpeg) {
  WriteFileHeader(FStream);
  gx::WriteBoolean(FStream, !thumbnailJpeg.empty());
  if (!thumbnailJpeg.empty()) {
    gx::WriteInteger(FStream, static_cast<int32_t>(thumbnailJpeg.size()));
    FStream.WriteBuffer(thumbnailJpeg.data(), static_cast<int64_t>(thumbnailJpeg.size()));
  }
  trackParameters.WriteToStream(FStream);
  {
    std::vector<TRREntity*> entities = TopLevelEntities(projectNode);
    TRREntitySerializer entitySerializer(FStream, fileName, FFileSystem);
    entitySerializer.BeginWrite(static_cast<int32_t>(entities.size()));
    for (TRREntity* e : entities) entitySerializer.WriteEntity(*e);
    entitySerializer.EndWrite();
  }
  events.SaveToStream(FStream);
}

void TRRProjectSerializer::ReadProject(const std::string& fileName, TRRTrackParameters* trackParameters,
                                       TRREntityDescriptionList& list, const TRRDatabase* database) {
  FThumbnail.clear();
  FEventPosition = -1;
  ReadFileHeader(FStream, true);
  int32_t version = FileVersion();
  if (version < RRProjectMinVersion || version > RRProjectVersion)
    throw gx::EGXException({gx::TGXExceptionArg::Object(ClassName()), "ReadFileHeader", "Wrong version"});
  if (version >= 9 && gx::ReadBoolean(FStream)) {
    int32_t size = gx::ReadInteger(FStream);
    if (size > 0) {
      gx::CheckCount(FStream, size, 1);
      FThumbnail.resize(static_cast<size_t>(size));
      FStream.ReadBuffer(FThumbnail.data(), size);
    }
  }
  if (trackParameters) {
    trackParameters->ReadFromStream(FStream);
  } else {
    TRRTrackParameters skipped{TRRTrackCatalogueSource()};
    skipped.ReadFromStream(FStream);
  }
  TRREntitySerializer entitySerializer(FStream, fileName, FFileSystem);
  entitySerializer.ReadAll(list, database);
  FEventPosition = FStream.Position();
}

void TRRProjectSerializer::ReadEvents(IRRProjectEventSection& events) {
  if (FEventPosition < 0) throw gx::EInvalidCall({gx::TGXExceptionArg::Object(ClassName()), "ReadEvents"});
  FStream.SetPosition(FEventPosition);
  events.LoadFromStream(FStream, FileVersion(), false);
}

std::vector<uint8_t> RRReadProjectThumbnail(gx::TGXFileSystem& fs, const std::string& fileName) {
  std::unique_ptr<gx::TGXMemoryStream> data = fs.OpenFile(fileName);
  TRRProjectSerializer header(*data, &fs);
  TRREntityDescriptionList ignored(true);
  header.ReadProject(fs.ResolvePath(fileName), nullptr, ignored);
  return header.Thumbnail();
}

}  // namespace rr
