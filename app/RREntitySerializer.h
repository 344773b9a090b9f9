#pragma once
// The entity section of project files and the whole content of object files (.vme).
//
// Current form:
//   engine file header  0x2305, {F5A96C72-CB1D-46CA-92F7-4D4FF9E59955}, version 3 (1 to 3 read)
//   one zlib stream     (level 9) holding an Integer count and that many description records
// The zlib stream is self-terminating and the reader leaves the outer stream exactly behind its
// last byte, so a project file's event section can follow it.
//
// Old form (read only): header {6E266842-A940-455C-BECB-6DF07E2D3B8C} with version 65536, then
// one zlib stream of an Integer count and that many property-bag nodes (RREntity_10.h).
//
// File names: descriptions store a disk path relative to the folder of the file being written
// (names under a root such as "Game:\" stay as they are), and a reader turns them back into
// absolute names against the folder of the file being read, so a folder moved together with its
// files keeps working. Version 1 stored names as they were; version 2 made asset file names
// relative, version 3 also model file names and their companions.
//
// The compressed block is inflated into memory before a record is read, bounded by
// RRMaxEntitySectionSize, so every count inside is checked against the bytes that really remain.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/entities/RREntityDescription.h"
#include "app/entities/RREntity_10.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStream.h"

namespace gx {
class TGXFileSystem;
}

namespace rr {

class TRREntity;
class TRRDatabase;

inline constexpr const char* RRGuidEntitySerializer = "{F5A96C72-CB1D-46CA-92F7-4D4FF9E59955}";
inline constexpr const char* RRGuidEntitySerializer_10 = "{6E266842-A940-455C-BECB-6DF07E2D3B8C}";
inline constexpr int32_t RREntitySerializerVersion = 3;
inline constexpr int32_t RREntitySerializerVersion_10 = 65536;
// An entity section never inflates beyond this; a larger one is refused as corrupt.
inline constexpr int64_t RRMaxEntitySectionSize = int64_t(1) << 30;
// Reason of the exception for a damaged compressed block.
inline constexpr const char* RRTextCorruptEntitySection = "Corrupt compressed data";
inline constexpr const char* RRTextEntitySectionTooLarge = "Compressed data too large";

// ---- zlib streams ----

// Compresses everything written into one zlib stream (level 9) on the outer stream. Finish ends
// the stream; the destructor finishes too, swallowing errors (call Finish to see them).
class TRRDeflateStream : public gx::TGXStream {
 public:
  explicit TRRDeflateStream(gx::TGXStream& outer, int level = 9);
  ~TRRDeflateStream() override;
  TRRDeflateStream(const TRRDeflateStream&) = delete;
  TRRDeflateStream& operator=(const TRRDeflateStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Only the position query works (the bytes written so far).
  int64_t Seek(int64_t offset, gx::TGXSeekOrigin origin) override;
  int64_t Size() const override { return FTotalIn; }
  void Finish();
  bool Finished() const { return FFinished; }

 private:
  void Flush(bool finish);

  gx::TGXStream& FOuter;
  void* FZ;  // z_stream
  std::vector<uint8_t> FIn;
  std::vector<uint8_t> FOut;
  int64_t FTotalIn = 0;
  bool FFinished = false;
};

// Inflates one zlib stream starting at the outer stream's position into memory and leaves the
// outer stream positioned at the first byte after it. Raises EGXException ("Inflate",
// RRTextCorruptEntitySection / RRTextEntitySectionTooLarge) for a damaged, truncated or oversized
// stream. className names the reader in the exception.
std::vector<uint8_t> RRInflateBlock(gx::TGXStream& outer, const std::string& className,
                                    int64_t maxSize = RRMaxEntitySectionSize);

// ---- file names ----

// Whether a stored name carries its own anchor: a disk path ("/..."), a root or drive prefix
// ("Game:\...", "C:\...") or a network path ("\\server\..."). Only other names are relative.
bool RRHasDrivePart(const std::string& name);
// The folder part of a file name with its trailing separator ("" when it has none).
std::string RRFileFolder(const std::string& fileName);
// name relative to folder when both are disk paths, written with backslashes ("..\Tex\a.dds");
// other names unchanged.
std::string RRMakeRelativeName(const std::string& name, const std::string& folder);

// ---- the serializer ----

class TRREntitySerializer : public gx::TGXSerializer {
 public:
  // fileName: the file being read or written (its folder anchors relative names); may be empty.
  // fileSystem resolves names on reading (the engine's when null, none without an engine).
  TRREntitySerializer(gx::TGXStream& stream, std::string fileName, gx::TGXFileSystem* fileSystem = nullptr);
  // Closes an open compressed block (errors swallowed; call EndWrite to see them).
  ~TRREntitySerializer() override;

  std::string ClassName() const override { return "TRREntitySerializer"; }

  // Header, compressed block, count.
  void BeginWrite(int32_t count);
  // A clone of the description with its file names made relative, as one record.
  void WriteDescription(const TRREntityDescription& description);
  void WriteEntity(const TRREntity& entity);
  // Ends the compressed block; raises when fewer or more records were written than announced.
  void EndWrite();

  // A whole entity section (current or old form) into list (cleared first; must own its items).
  // The database gives old-form descriptions their asset identifiers (none: all zero).
  void ReadAll(TRREntityDescriptionList& list, const TRRDatabase* database = nullptr);

  // The folder relative names are anchored to (resolved, with a trailing '/'), or empty.
  const std::string& BaseFolder() const { return FBaseFolder; }

  // Makes every file name below description absolute against folder (version rules as above).
  static void MakeAbsolute(TRREntityDescription& description, int32_t version, const std::string& folder,
                           gx::TGXFileSystem* fileSystem);
  static void MakeRelative(TRREntityDescription& description, const std::string& folder);

 private:
  gx::TGXStream& FStream;
  std::string FFileName;
  std::string FBaseFolder;
  gx::TGXFileSystem* FFileSystem;
  std::unique_ptr<TRRDeflateStream> FBlock;
  int32_t FAnnounced = 0;
  int32_t FWritten = 0;
};

// The old form, read only: property-bag nodes and their conversion into descriptions.
class TRREntitySerializer_10 : public gx::TGXSerializer {
 public:
  TRREntitySerializer_10(gx::TGXStream& stream, std::string fileName, gx::TGXFileSystem* fileSystem = nullptr);
  std::string ClassName() const override { return "TRREntitySerializer_10"; }

  // Header, compressed block, count and nodes, with their file names rewritten.
  std::vector<std::unique_ptr<TRREntityDescription_10>> ReadNodes();
  // Nodes into descriptions appended to list (nodes without a description class are dropped with
  // their children).
  static void ConvertNodes(const std::vector<std::unique_ptr<TRREntityDescription_10>>& nodes,
                           TRREntityDescriptionList& list, const TRRDatabase* database);
  // The rewrite of a file-name property value: "GAME:\..." through the file system, other
  // relative names prefixed with folder; absolute names unchanged.
  static std::string RewriteFileName(const std::string& value, const std::string& folder,
                                     gx::TGXFileSystem* fileSystem);

 private:
  gx::TGXStream& FStream;
  std::string FFolder;
  gx::TGXFileSystem* FFileSystem;
};

}  // namespace rr
