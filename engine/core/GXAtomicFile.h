#pragma once
// Replacing a file so that nobody ever sees half of it and a killed process leaves nothing
// behind. The new content goes into a temporary file in the target's folder; Commit gives it the
// target's name in one rename, so readers see the old file or the complete new one.
//
// Where the file system has them, the temporary file is unnamed (O_TMPFILE) until Commit links
// it in, so a process that dies while writing - whatever the signal, even SIGKILL - leaves no
// trace. Elsewhere the temporary file has a hidden name beside the target
// (".<name>.<random>.tmp"), registered with a handler for SIGINT, SIGTERM and SIGHUP that removes
// every registered file before the signal ends the process (only where the signal would end it:
// a program that handles or ignores a signal itself keeps its temporary files until its own
// clean-up).
//
// A symbolic link at the target is written through: the link stays and the file it points to
// (at the end of a chain of links) gets the new content, with the temporary file in that file's
// folder. An existing target keeps its permission bits.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/GXStream.h"

namespace gx {

struct TGXTemporaryFileSlot;

class TGXAtomicFile : public TGXStream {
 public:
  // Opens the temporary file. Raises EGXFileOpenError ("Datei kann nicht geöffnet werden: ...",
  // naming the target) when the folder cannot take it, the target exists but is no regular file
  // (a folder, device or pipe) or a chain of links does not end.
  explicit TGXAtomicFile(const std::string& target);
  // Without Commit the temporary file goes and the target stays as it was.
  ~TGXAtomicFile() override;
  TGXAtomicFile(const TGXAtomicFile&) = delete;
  TGXAtomicFile& operator=(const TGXAtomicFile&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TGXSeekOrigin origin) override;
  int64_t Size() const override;
  void SetSize(int64_t size) override;

  // Writes the data to the disk and puts the file in the target's place. On failure the
  // temporary file is removed, the target is unchanged and EGXStreamWriteError is raised. The
  // stream is closed afterwards either way.
  void Commit();
  // Drops the temporary file (what the destructor does without Commit).
  void Discard() noexcept;
  bool Committed() const { return FCommitted; }
  // The file that receives the content: the target with its links followed.
  const std::string& Target() const { return FTarget; }
  // The temporary file has no name until Commit (nothing to clean up after a crash).
  bool Unnamed() const { return FTempName.empty(); }
  // The temporary file's name while it has one (empty when unnamed).
  const std::string& TemporaryName() const { return FTempName; }

  // Writes a whole file this way.
  static void WriteFile(const std::string& target, const void* data, size_t size);
  // The end of a chain of symbolic links starting at path (path itself when it is no link;
  // relative link texts count from the link's folder). Raises EGXFileOpenError after 40 links.
  static std::string FollowLinks(const std::string& path);
  // Whether unnamed temporary files may be used (default: yes, unless the environment variable
  // VELMORA_NAMED_TEMP_FILES is set to a non-empty value other than "0"). Tests use it to reach
  // the named form on file systems that have the unnamed one.
  static void SetUnnamedAllowed(bool allowed);
  static bool UnnamedAllowed();

 private:
  TGXFileStream& Stream() const;
  void Close() noexcept;

  std::string FFileName;  // as given, for messages
  std::string FTarget;
  std::string FTempName;
  int FDescriptor = -1;
  std::unique_ptr<TGXFileStream> FStream;
  TGXTemporaryFileSlot* FSlot = nullptr;  // the name's entry for the signal handler
  bool FCommitted = false;
};

}  // namespace gx
