#include "app/RREntitySerializer.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <typeinfo>

#include "app/RRDatabase.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityRegistry.h"
#include "engine/core/GXEngine.h"
#include "engine/core/GXException.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

constexpr size_t kDeflateBuffer = 256 * 1024;
constexpr size_t kInflateChunk = 64 * 1024;

z_stream* Z(void* p) { return static_cast<z_stream*>(p); }

gx::EGXException Error(const std::string& className, const char* context, const char* reason) {
  return gx::EGXException({gx::TGXExceptionArg::Object(className), context, reason});
}

gx::TGXFileSystem* DefaultFileSystem(gx::TGXFileSystem* given) {
  if (given) return given;
  gx::TGXEngine* engine = gx::Engine();
  return engine ? &engine->FileSystem() : nullptr;
}

// The folder names are anchored to: the file's folder, resolved to a disk folder when possible.
std::string AnchorFolder(const std::string& fileName, gx::TGXFileSystem* fs) {
  std::string folder = RRFileFolder(fileName);
  if (folder.empty()) return folder;
  if (fs) {
    std::string resolved = fs->ResolvePath(folder);
    if (!resolved.empty() && resolved.back() != '/' && resolved.back() != '\\')
      resolved += gx::TGXFileSystem::IsDiskPath(resolved) ? '/' : '\\';
    return resolved;
  }
  return folder;
}

std::string MakeAbsoluteName(const std::string& name, const std::string& folder, gx::TGXFileSystem* fs) {
  std::string full = RRHasDrivePart(name) ? name : folder + name;
  return fs ? fs->ResolvePath(full) : full;
}

// Every asset and model file name of the description and its descendants, through one accessor
// list for the whole tree.
struct TNameFields {
  TRRPropertyAccessList List;
};

void CollectNames(TRREntityDescription& d, TNameFields& out) {
  d.GetPropertyAccess(out.List);
  for (int i = 0; i < d.ChildCount(); ++i) CollectNames(*d.Child(i), out);
}

// The asset names first, then the model names with their companions (the order the names were
// always visited in).
template <class Fn>
void ForEachFirstString(TNameFields& f, bool models, Fn&& fn) {
  const int count = f.List.Count();
  // ID references are most of the accessors; the exact type test passes them over cheaply.
  auto isID = [](TRRPropertyAccess* a) { return typeid(*a) == typeid(TRREntityIDRefAccess); };
  for (int i = 0; i < count; ++i) {
    TRRPropertyAccess* a = f.List.Item(i);
    if (isID(a)) continue;
    if (auto* asset = dynamic_cast<TRRAssetFileNameAccess*>(a)) fn(asset->Value().FileName);
  }
  if (!models) return;
  for (int i = 0; i < count; ++i) {
    TRRPropertyAccess* a = f.List.Item(i);
    if (isID(a)) continue;
    if (auto* model = dynamic_cast<TRRModelFileNameAccess*>(a)) {
      fn(model->Value().Model.FileName);
      for (TRRAssetFileName& c : model->Value().Companions) fn(c.FileName);
    }
  }
}

}  // namespace

// ---- zlib streams -----------------------------------------------------------------------------

TRRDeflateStream::TRRDeflateStream(gx::TGXStream& outer, int level) : FOuter(outer), FZ(new z_stream{}) {
  if (deflateInit(Z(FZ), level) != Z_OK) {
    delete Z(FZ);
    throw gx::EGXStreamWriteError();
  }
  FIn.reserve(kDeflateBuffer);
  FOut.resize(kDeflateBuffer);
}

TRRDeflateStream::~TRRDeflateStream() {
  try {
    Finish();
  } catch (...) {
  }
  deflateEnd(Z(FZ));
  delete Z(FZ);
}

int64_t TRRDeflateStream::Read(void*, int64_t) { throw gx::EGXStreamReadError(); }

int64_t TRRDeflateStream::Write(const void* buffer, int64_t count) {
  if (FFinished) throw gx::EGXStreamWriteError();
  if (count <= 0) return 0;
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  // The usual small value fits the buffer as it is.
  if (static_cast<uint64_t>(count) < kDeflateBuffer - FIn.size()) {
    FIn.insert(FIn.end(), p, p + count);
    FTotalIn += count;
    return count;
  }
  int64_t left = count;
  while (left > 0) {
    size_t room = kDeflateBuffer - FIn.size();
    size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(room)));
    FIn.insert(FIn.end(), p, p + n);
    p += n;
    left -= static_cast<int64_t>(n);
    if (FIn.size() == kDeflateBuffer) Flush(false);
  }
  FTotalIn += count;
  return count;
}

int64_t TRRDeflateStream::Seek(int64_t offset, gx::TGXSeekOrigin origin) {
  if (offset == 0 && origin != gx::TGXSeekOrigin::Begin) return FTotalIn;
  throw gx::EGXStreamError("Seek on a compression stream");
}

void TRRDeflateStream::Flush(bool finish) {
  z_stream* z = Z(FZ);
  z->next_in = FIn.data();
  z->avail_in = static_cast<uInt>(FIn.size());
  for (;;) {
    z->next_out = FOut.data();
    z->avail_out = static_cast<uInt>(FOut.size());
    int r = deflate(z, finish ? Z_FINISH : Z_NO_FLUSH);
    if (r == Z_STREAM_ERROR) throw gx::EGXStreamWriteError();
    size_t produced = FOut.size() - z->avail_out;
    if (produced) FOuter.WriteBuffer(FOut.data(), static_cast<int64_t>(produced));
    if (finish ? r == Z_STREAM_END : (z->avail_in == 0 && z->avail_out != 0)) break;
  }
  FIn.clear();
}

void TRRDeflateStream::Finish() {
  if (FFinished) return;
  FFinished = true;
  Flush(true);
}

namespace {

// The inflated bytes in a block of plain memory: growing it never fills or copies what a vector
// would (realloc can move large blocks without copying).
class TInflated {
 public:
  TInflated() = default;
  ~TInflated() { std::free(FData); }
  TInflated(const TInflated&) = delete;
  TInflated& operator=(const TInflated&) = delete;

  uint8_t* Data() const { return FData; }
  size_t Size() const { return FSize; }
  size_t Capacity() const { return FCapacity; }
  void SetSize(size_t size) { FSize = size; }
  void Grow(size_t capacity) {
    void* p = std::realloc(FData, capacity);
    if (!p) throw std::bad_alloc();
    FData = static_cast<uint8_t*>(p);
    FCapacity = capacity;
  }

 private:
  uint8_t* FData = nullptr;
  size_t FSize = 0;
  size_t FCapacity = 0;
};

void InflateInto(gx::TGXStream& outer, const std::string& className, int64_t maxSize, TInflated& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw Error(className, "Inflate", RRTextCorruptEntitySection);
  std::vector<uint8_t> in(kInflateChunk);
  try {
    for (;;) {
      if (z.avail_in == 0) {
        int64_t want = std::min<int64_t>(static_cast<int64_t>(in.size()), outer.Remaining());
        // The data ends before the compressed stream does: a truncated file.
        if (want <= 0) throw Error(className, "Inflate", RRTextCorruptEntitySection);
        outer.ReadBuffer(in.data(), want);
        z.next_in = in.data();
        z.avail_in = static_cast<uInt>(want);
      }
      if (out.Capacity() == z.total_out) {
        if (static_cast<int64_t>(out.Capacity()) >= maxSize)
          throw Error(className, "Inflate", RRTextEntitySectionTooLarge);
        size_t grow = std::max<size_t>(out.Capacity() * 2, kInflateChunk * 4);
        out.Grow(static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(grow), maxSize)));
      }
      z.next_out = out.Data() + z.total_out;
      z.avail_out = static_cast<uInt>(std::min<size_t>(out.Capacity() - z.total_out, 1u << 30));
      int r = inflate(&z, Z_NO_FLUSH);
      if (r == Z_STREAM_END) break;
      if (r == Z_OK) continue;
      // No progress: more input or more room is needed, which the next round provides.
      if (r == Z_BUF_ERROR && (z.avail_in == 0 || z.avail_out == 0)) continue;
      throw Error(className, "Inflate", RRTextCorruptEntitySection);
    }
  } catch (...) {
    inflateEnd(&z);
    throw;
  }
  out.SetSize(z.total_out);
  // Give back what was read past the end of the compressed data.
  int64_t unused = z.avail_in;
  inflateEnd(&z);
  if (unused) outer.Seek(-unused, gx::TGXSeekOrigin::Current);
}

}  // namespace

std::vector<uint8_t> RRInflateBlock(gx::TGXStream& outer, const std::string& className, int64_t maxSize) {
  TInflated block;
  InflateInto(outer, className, maxSize, block);
  return std::vector<uint8_t>(block.Data(), block.Data() + block.Size());
}

// ---- file names -------------------------------------------------------------------------------

bool RRHasDrivePart(const std::string& name) {
  if (name.empty()) return false;
  if (name[0] == '/' || name[0] == '\\') return true;
  // A colon before the first separator (and not at the start) is a root or drive prefix.
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c == '/' || c == '\\') return false;
    if (c == ':') return i > 0;
  }
  return false;
}

std::string RRFileFolder(const std::string& fileName) {
  size_t p = fileName.find_last_of("/\\");
  if (p == std::string::npos) {
    // "Documents:x.vmp": the root itself.
    size_t colon = fileName.find(':');
    return colon == std::string::npos ? std::string() : fileName.substr(0, colon + 1) + "\\";
  }
  return fileName.substr(0, p + 1);
}

std::string RRMakeRelativeName(const std::string& name, const std::string& folder) {
  if (name.empty() || folder.empty() || name[0] != '/' || folder[0] != '/') return name;
  std::filesystem::path rel =
      std::filesystem::path(name).lexically_normal().lexically_relative(std::filesystem::path(folder).lexically_normal());
  if (rel.empty()) return name;
  std::string out = rel.generic_string();
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

// ---- TRREntitySerializer ----------------------------------------------------------------------

TRREntitySerializer::TRREntitySerializer(gx::TGXStream& stream, std::string fileName, gx::TGXFileSystem* fileSystem)
    : gx::TGXSerializer(gx::TGXGuid::Parse(RRGuidEntitySerializer), RREntitySerializerVersion),
      FStream(stream),
      FFileName(std::move(fileName)),
      FFileSystem(DefaultFileSystem(fileSystem)) {
  FBaseFolder = AnchorFolder(FFileName, FFileSystem);
}

TRREntitySerializer::~TRREntitySerializer() = default;

void TRREntitySerializer::BeginWrite(int32_t count) {
  if (FBlock || count < 0) throw gx::EInvalidCall({gx::TGXExceptionArg::Object(ClassName()), "BeginWrite"});
  WriteFileHeader(FStream);
  FBlock = std::make_unique<TRRDeflateStream>(FStream);
  gx::WriteInteger(*FBlock, count);
  FAnnounced = count;
  FWritten = 0;
}

void TRREntitySerializer::MakeRelative(TRREntityDescription& description, const std::string& folder) {
  TNameFields f;
  CollectNames(description, f);
  ForEachFirstString(f, true, [&](std::string& s) {
    if (!s.empty()) s = RRMakeRelativeName(s, folder);
  });
}

namespace {

// f is emptied afterwards, keeping its room for the next description of a section.
void MakeAbsoluteWith(TNameFields& f, TRREntityDescription& description, int32_t version, const std::string& folder,
                      gx::TGXFileSystem* fileSystem) {
  if (version < 2) return;
  CollectNames(description, f);
  ForEachFirstString(f, version >= 3, [&](std::string& s) {
    if (!s.empty()) s = MakeAbsoluteName(s, folder, fileSystem);
  });
  for (int i = f.List.Count(); i-- > 0;) f.List.Extract(i);
}

}  // namespace

void TRREntitySerializer::MakeAbsolute(TRREntityDescription& description, int32_t version, const std::string& folder,
                                       gx::TGXFileSystem* fileSystem) {
  TNameFields f;
  MakeAbsoluteWith(f, description, version, folder, fileSystem);
}

void TRREntitySerializer::WriteDescription(const TRREntityDescription& description) {
  if (!FBlock || FBlock->Finished()) throw gx::EInvalidCall({gx::TGXExceptionArg::Object(ClassName()), "WriteDescription"});
  // The names are made relative in place and put back afterwards: the same bytes as writing a
  // changed clone, without the clone. The caller's description is unchanged when this returns.
  auto& d = const_cast<TRREntityDescription&>(description);
  TNameFields f;
  CollectNames(d, f);
  // Only names that change are kept and put back; RRMakeRelativeName leaves every name unchanged
  // unless both it and the folder are disk paths.
  std::vector<std::pair<std::string*, std::string>> saved;
  bool diskFolder = !FBaseFolder.empty() && FBaseFolder[0] == '/';
  if (diskFolder)
    ForEachFirstString(f, true, [&](std::string& s) {
      if (s.empty() || s[0] != '/') return;
      std::string relative = RRMakeRelativeName(s, FBaseFolder);
      if (relative == s) return;
      saved.emplace_back(&s, std::move(s));
      s = std::move(relative);
    });
  struct TRestore {
    std::vector<std::pair<std::string*, std::string>>& Saved;
    ~TRestore() {
      for (auto& [field, value] : Saved) *field = std::move(value);
    }
  } restore{saved};
  TRREntityDescription::WriteRecord(d, *FBlock);
  ++FWritten;
}

void TRREntitySerializer::WriteEntity(const TRREntity& entity) {
  std::unique_ptr<TRREntityDescription> d = entity.CreateDescription();
  WriteDescription(*d);
}

void TRREntitySerializer::EndWrite() {
  if (!FBlock) return;
  if (FWritten != FAnnounced) {
    FBlock.reset();
    throw gx::EInvalidCall({gx::TGXExceptionArg::Object(ClassName()), "EndWrite", "Record count mismatch"});
  }
  FBlock->Finish();
  FBlock.reset();
}

void TRREntitySerializer::ReadAll(TRREntityDescriptionList& list, const TRRDatabase* database) {
  if (!list.OwnsItems()) throw gx::EInvalidParameter({gx::TGXExceptionArg::Object(ClassName()), "ReadAll"});
  int64_t start = FStream.Position();
  // Which form: the current header, else the old one.
  bool current = false;
  if (FStream.Remaining() >= gx::TGXSerializer::HeaderSize) {
    uint16_t magic = gx::ReadWord(FStream);
    gx::TGXGuid guid = gx::ReadGuid(FStream);
    current = magic == gx::TGXSerializer::HeaderId && guid == Guid();
  }
  FStream.SetPosition(start);
  if (!current) {
    TRREntitySerializer_10 old(FStream, FFileName, FFileSystem);
    auto nodes = old.ReadNodes();
    list.Clear();
    TRREntitySerializer_10::ConvertNodes(nodes, list, database);
    return;
  }
  ReadFileHeader(FStream, true);
  int32_t version = FileVersion();
  if (version < 1 || version > RREntitySerializerVersion)
    throw Error(ClassName(), "ReadFileHeader", "Wrong version");

  TInflated inflated;
  InflateInto(FStream, ClassName(), RRMaxEntitySectionSize, inflated);
  gx::TGXMemoryStreamAdapter block(inflated.Data(), static_cast<int64_t>(inflated.Size()));
  int32_t count = gx::ReadCount(block, RRMinDescriptionRecordSize);
  list.Clear();
  TNameFields names;
  for (int32_t n = 0; n < count; ++n) {
    std::unique_ptr<TRREntityDescription> d = TRREntityDescription::ReadRecord(block);
    MakeAbsoluteWith(names, *d, version, FBaseFolder, FFileSystem);
    list.Add(std::move(d));
  }
}

// ---- TRREntitySerializer_10 -------------------------------------------------------------------

TRREntitySerializer_10::TRREntitySerializer_10(gx::TGXStream& stream, std::string fileName,
                                               gx::TGXFileSystem* fileSystem)
    : gx::TGXSerializer(gx::TGXGuid::Parse(RRGuidEntitySerializer_10), RREntitySerializerVersion_10),
      FStream(stream),
      FFileSystem(DefaultFileSystem(fileSystem)) {
  FFolder = AnchorFolder(fileName, FFileSystem);
}

std::string TRREntitySerializer_10::RewriteFileName(const std::string& value, const std::string& folder,
                                                    gx::TGXFileSystem* fileSystem) {
  if (value.empty()) return value;
  if (gx::UpperCaseText(value.substr(0, std::min<size_t>(value.size(), 6))) == "GAME:\\")
    return fileSystem ? fileSystem->ResolvePath(value) : value;
  // An absolute name (a disk path, another drive or root) keeps its anchor; only relative names
  // are taken against the file's folder.
  if (RRHasDrivePart(value)) return value;
  std::string full = folder + value;
  return fileSystem && !folder.empty() ? fileSystem->ResolvePath(full) : full;
}

namespace {

void RewriteNodeNames(TRREntityDescription_10& node, const std::string& folder, gx::TGXFileSystem* fs) {
  for (TRREntityProperty_10& p : node.Properties())
    if (p.Type == TRREntityPropertyType_10::Filename)
      p.SetText(TRREntitySerializer_10::RewriteFileName(p.Text(), folder, fs));
  for (int i = 0; i < node.ChildCount(); ++i) RewriteNodeNames(*node.Child(i), folder, fs);
}

bool StartsWithStreet(const std::string& name) { return name.rfind("Straße", 0) == 0; }

std::unique_ptr<TRREntityDescription> ConvertNode(const TRREntityDescription_10& node, const TRRDatabase* database) {
  const TRRDescriptionClass* cls = node.DescriptionClass();
  if (!cls) return nullptr;
  std::unique_ptr<TRREntityDescription> d = cls->Create();
  std::string modelFileName;
  d->LoadFromPropertyBag(node, modelFileName);
  const TRRDescriptionClass* modelClass = RegisteredEntities().FindDescriptionClass("TRRModelDesc");
  const TRRDescriptionClass* streetClass = RegisteredEntities().FindDescriptionClass("TRRStreetDesc");
  if (modelClass && streetClass && d->GetClass().InheritsFrom(*modelClass) && StartsWithStreet(modelFileName)) {
    d = streetClass->Create();
    modelFileName.clear();
    d->LoadFromPropertyBag(node, modelFileName);
  }
  if (database) d->SetAssetID(database->FindAssetIDByPath(modelFileName));
  for (int i = 0; i < node.ChildCount(); ++i)
    if (auto child = ConvertNode(*node.Child(i), database)) d->AddChild(std::move(child));
  return d;
}

}  // namespace

std::vector<std::unique_ptr<TRREntityDescription_10>> TRREntitySerializer_10::ReadNodes() {
  ReadFileHeader(FStream, false);
  gx::TGXMemoryStream block(RRInflateBlock(FStream, ClassName()));
  // A node takes at least its class hash and two counts.
  int32_t count = gx::ReadCount(block, 12);
  std::vector<std::unique_ptr<TRREntityDescription_10>> nodes;
  nodes.reserve(static_cast<size_t>(count));
  for (int32_t n = 0; n < count; ++n) {
    nodes.push_back(TRREntityDescription_10::ReadFromStream(block));
    RewriteNodeNames(*nodes.back(), FFolder, FFileSystem);
  }
  return nodes;
}

void TRREntitySerializer_10::ConvertNodes(const std::vector<std::unique_ptr<TRREntityDescription_10>>& nodes,
                                          TRREntityDescriptionList& list, const TRRDatabase* database) {
  for (const auto& node : nodes)
    if (auto d = ConvertNode(*node, database)) list.Add(std::move(d));
}

}  // namespace rr
