#include "app/RRTrackLibrary.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "engine/core/GXStrings.h"

namespace rr {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Whether every byte sequence is a valid, shortest UTF-8 encoding (no surrogates, at most
// U+10FFFF), and whether any byte above 0x7F occurs.
bool ValidUtf8(std::string_view s, bool& highBytes) {
  highBytes = false;
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    highBytes = true;
    int extra;
    uint32_t cp;
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2;
      cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3;
      cp = b & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

struct TToken {
  std::string_view Raw;  // unquoted token, or the quoted text with its quotes
  bool Quoted = false;
  std::string Text;  // the quoted text with "" turned into "
};

// Splits a line at blanks; "..." is one token in which "" stands for a quote.
void Tokenize(std::string_view line, std::vector<TToken>& out) {
  out.clear();
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    TToken t;
    const size_t start = i;
    if (line[i] == '"') {
      t.Quoted = true;
      ++i;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            t.Text += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        t.Text += line[i++];
      }
    } else {
      while (i < line.size() && !IsBlank(line[i])) ++i;
    }
    t.Raw = line.substr(start, i - start);
    out.push_back(std::move(t));
  }
}

bool ParseNumber(std::string_view s, double& value) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(value);
}

bool ParseInteger(std::string_view s, int& value) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size();
}

bool IsEnd(std::string_view token) {
  return token.size() >= 3 && token.substr(0, 3) == "END" &&
         (token.size() == 3 || !std::isalpha(static_cast<unsigned char>(token[3])));
}

// L, A, F, Q, G, Y, Z, X, B and their 3D forms (L3, F4, ...).
bool IsDrawing(std::string_view token) {
  if (token.empty() || std::strchr("LAFQGYZXB", token[0]) == nullptr) return false;
  for (size_t i = 1; i < token.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(token[i]))) return false;
  return true;
}

// The number lines of polygons ("F3 colour width 4" is followed by four point lines).
bool IsNumberLine(std::string_view token) {
  const char c = token.empty() ? 0 : token[0];
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
}

class TReader {
 public:
  TReader(std::string_view bytes, const std::string& sourceName) : FBytes(bytes) {
    FFile.SourceName = sourceName;
  }

  TRRTrackLibraryFile Run() {
    if (FBytes.size() >= 3 && FBytes.substr(0, 3) == "\xEF\xBB\xBF") FBytes.remove_prefix(3);
    bool high = false;
    const bool utf8 = ValidUtf8(FBytes, high);
    FFile.Encoding = !high  ? TRRTrackLibraryEncoding::Ascii
                     : utf8 ? TRRTrackLibraryEncoding::Utf8
                            : TRRTrackLibraryEncoding::Windows1252;
    size_t pos = 0;
    while (pos < FBytes.size()) {
      size_t nl = FBytes.find('\n', pos);
      if (nl == std::string_view::npos) nl = FBytes.size();
      std::string_view line = FBytes.substr(pos, nl - pos);
      pos = nl + 1;
      ++FLineNumber;
      if (line.size() > RRMaxTrackLibraryLineLength) {
        ++FFile.Skipped.TooLong;
        if (FCurrent)
          SetFault("Zeile " + std::to_string(FLineNumber) + " ist länger als " +
                   std::to_string(RRMaxTrackLibraryLineLength) + " Zeichen.");
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      Line(line);
    }
    FFile.Lines = FLineNumber;
    Close(false);
    return std::move(FFile);
  }

 private:
  enum class TState { Top, Definition, SkipDefinition, SkipBlock };

  std::string Text(std::string_view s) const {
    return FFile.Encoding == TRRTrackLibraryEncoding::Windows1252 ? gx::AnsiToUtf8(s) : std::string(s);
  }
  static std::string Trimmed(std::string_view s) { return std::string(gx::TrimText(s)); }

  void SetFault(const std::string& fault) {
    if (FCurrent && FCurrent->Fault.empty()) FCurrent->Fault = fault;
  }
  void LineFault(const char* what) { SetFault("Zeile " + std::to_string(FLineNumber) + ": " + what); }

  // Ends the definition being read (ended: its END line was found).
  void Close(bool ended) {
    if (FCurrent) {
      FCurrent->Ended = ended;
      FFile.Definitions.push_back(std::move(*FCurrent));
      FCurrent.reset();
    }
    FState = TState::Top;
  }

  // The text after the first token, trimmed.
  std::string Rest(std::string_view line, std::string_view keyword) const {
    size_t at = line.find(keyword);
    return Trimmed(Text(line.substr(at + keyword.size())));
  }

  void Line(std::string_view line) {
    Tokenize(line, FTokens);
    if (FTokens.empty()) return;
    const std::string_view key = FTokens[0].Quoted ? std::string_view() : FTokens[0].Raw;
    if (!key.empty() && key[0] == '#') return;
    // Top-level keywords end whatever block is open (a definition without END is cut off here).
    const bool topLevel = key == "TURNOUT" || key == "STRUCTURE" || key == "CARPROTO" || key == "CARPART" ||
                          key == "CONTENTS" || key == "SUBCONTENTS" || key == "ENDCONTENTS" || key == "SCALE";
    if (topLevel && FState != TState::Top) Close(false);
    switch (FState) {
      case TState::Definition:
        DefinitionLine(key);
        return;
      case TState::SkipDefinition:
      case TState::SkipBlock:
        if (IsEnd(key)) FState = TState::Top;
        return;
      case TState::Top:
        break;
    }
    if (key == "TURNOUT") {
      BeginDefinition(line);
    } else if (key == "CONTENTS") {
      FContents = Rest(line, key);
      FSubContents.clear();
      if (FFile.Contents.empty()) FFile.Contents = FContents;
    } else if (key == "SUBCONTENTS") {
      FSubContents = Rest(line, key);
    } else if (key == "ENDCONTENTS") {
      // the end of a CONTENTS section
    } else if (key == "STRUCTURE") {
      ++FFile.Skipped.Structure;
      FState = TState::SkipBlock;
    } else if (key == "CARPROTO") {
      ++FFile.Skipped.CarProto;
      FState = TState::SkipBlock;
    } else if (key == "CARPART") {
      ++FFile.Skipped.CarPart;
    } else if (key == "SCALE") {
      ScaleLine(line);
    } else {
      ++FFile.Skipped.Unknown;
    }
  }

  void BeginDefinition(std::string_view line) {
    if (static_cast<int>(FFile.Definitions.size()) >= RRMaxTrackLibraryDefinitions) {
      if (FFile.Skipped.Beyond++ == 0)
        FFile.Notes.push_back("Die Datei enthält mehr als " + std::to_string(RRMaxTrackLibraryDefinitions) +
                              " Gleisdefinitionen; die weiteren ab Zeile " + std::to_string(FLineNumber) +
                              " werden nicht gelesen.");
      FState = TState::SkipDefinition;
      return;
    }
    FCurrent = std::make_unique<TRRTrackLibraryDefinition>();
    FState = TState::Definition;
    TRRTrackLibraryDefinition& d = *FCurrent;
    d.Line = FLineNumber;
    d.Contents = FContents;
    d.SubContents = FSubContents;
    if (FTokens.size() >= 2 && !FTokens[1].Quoted) d.Scale = Text(FTokens[1].Raw);
    const TToken* title = nullptr;
    for (size_t i = 1; i < FTokens.size(); ++i)
      if (FTokens[i].Quoted) {
        title = &FTokens[i];
        break;
      }
    if (d.Scale.empty()) LineFault("Der Maßstab fehlt.");
    if (!title) {
      LineFault("Der Titel in Anführungszeichen fehlt.");
      return;
    }
    std::string text = Text(title->Text);
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
      size_t tab = text.find('\t', start);
      parts.push_back(Trimmed(
          std::string_view(text).substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (parts.size() == 1) {
      d.Description = parts[0];
    } else {
      d.Manufacturer = parts[0];
      d.Description = parts[1];
      if (parts.size() >= 3) d.PartNumber = parts[2];
    }
  }

  // The numbers of tokens [first, first + count); false (and a fault) when one is missing or
  // not a finite number.
  bool Numbers(size_t first, size_t count, double* out) {
    if (FTokens.size() < first + count) {
      LineFault("Es fehlen Zahlen.");
      return false;
    }
    for (size_t i = 0; i < count; ++i)
      if (FTokens[first + i].Quoted || !ParseNumber(FTokens[first + i].Raw, out[i])) {
        LineFault("Eine Angabe ist keine endliche Zahl.");
        return false;
      }
    return true;
  }

  template <class T>
  bool Room(const std::vector<T>& list, const char* what) {
    if (static_cast<int>(list.size()) < RRMaxTrackLibraryItems) return true;
    SetFault(std::string("Mehr als ") + std::to_string(RRMaxTrackLibraryItems) + " " + what + ".");
    return false;
  }

  void DefinitionLine(std::string_view key) {
    TRRTrackLibraryDefinition& d = *FCurrent;
    if (IsEnd(key)) {
      Close(true);
    } else if (key == "E" || key == "T") {
      double v[3];
      if (!Room(d.EndPoints, "Endpunkte") || !Numbers(1, 3, v)) return;
      d.EndPoints.push_back({v[0], v[1], v[2], FLineNumber});
    } else if (key == "S") {
      double v[6];
      if (!Room(d.Segments, "Gleisstücke") || !Numbers(1, 6, v)) return;
      TRRTrackLibrarySegment s;
      s.Kind = TRRTrackLibrarySegmentKind::Straight;
      s.X1 = v[2], s.Y1 = v[3], s.X2 = v[4], s.Y2 = v[5];
      s.Line = FLineNumber;
      d.Segments.push_back(s);
    } else if (key == "C") {
      double v[7];
      if (!Room(d.Segments, "Gleisstücke") || !Numbers(1, 7, v)) return;
      TRRTrackLibrarySegment s;
      s.Kind = TRRTrackLibrarySegmentKind::Curve;
      s.Radius = v[2], s.CX = v[3], s.CY = v[4], s.A0 = v[5], s.A1 = v[6];
      s.Line = FLineNumber;
      d.Segments.push_back(s);
    } else if (key == "J") {
      // Only counted: no route can follow a transition curve exactly, so its numbers never matter.
      if (!Room(d.Segments, "Gleisstücke")) return;
      TRRTrackLibrarySegment s;
      s.Kind = TRRTrackLibrarySegmentKind::Easement;
      s.Line = FLineNumber;
      d.Segments.push_back(s);
    } else if (key == "P") {
      if (!Room(d.Paths, "Fahrwege")) return;
      TRRTrackLibraryPath p;
      p.Line = FLineNumber;
      size_t i = 1;
      if (i < FTokens.size() && FTokens[i].Quoted) p.Name = Trimmed(Text(FTokens[i++].Text));
      for (; i < FTokens.size(); ++i) {
        int n = 0;
        if (FTokens[i].Quoted || !ParseInteger(FTokens[i].Raw, n) || n < -1000000 || n > 1000000) {
          LineFault("Ein Fahrweg nennt etwas anderes als eine Gleisstücknummer.");
          return;
        }
        if (!Room(p.Segments, "Gleisstücke in einem Fahrweg")) return;
        p.Segments.push_back(n);
      }
      d.Paths.push_back(std::move(p));
    } else if (key == "U") {
      d.Info.clear();
      for (size_t i = 1; i < FTokens.size() && d.Info.size() < 16; ++i)
        if (FTokens[i].Quoted) d.Info.push_back(Trimmed(Text(FTokens[i].Text)));
    } else if (IsDrawing(key) || IsNumberLine(key)) {
      ++FFile.Skipped.Drawing;
    } else if (!key.empty() && key[0] == '#') {
      // comment
    } else {
      ++FFile.Skipped.Unknown;
    }
  }

  // SCALE <name>, <ratio>, <gauge in inches>
  void ScaleLine(std::string_view line) {
    std::string rest = Rest(line, "SCALE");
    std::vector<std::string> parts;
    size_t start = 0;
    while (parts.size() < 4) {
      size_t comma = rest.find(',', start);
      parts.push_back(
          Trimmed(std::string_view(rest).substr(start, comma == std::string::npos ? comma : comma - start)));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    TRRTrackLibraryScale s;
    if (parts.size() < 3 || parts[0].empty() || !ParseNumber(parts[1], s.Ratio) ||
        !ParseNumber(parts[2], s.GaugeInches) || s.Ratio <= 0 || s.GaugeInches <= 0 ||
        FFile.Scales.size() >= 256) {
      ++FFile.Skipped.Unknown;
      return;
    }
    s.Name = parts[0];
    FFile.Scales.push_back(std::move(s));
  }

  std::string_view FBytes;
  TRRTrackLibraryFile FFile;
  std::vector<TToken> FTokens;
  std::unique_ptr<TRRTrackLibraryDefinition> FCurrent;
  TState FState = TState::Top;
  std::string FContents, FSubContents;
  int FLineNumber = 0;
};

}  // namespace

const char* RRTrackLibraryEncodingName(TRRTrackLibraryEncoding encoding) {
  switch (encoding) {
    case TRRTrackLibraryEncoding::Ascii:
      return "ASCII";
    case TRRTrackLibraryEncoding::Utf8:
      return "UTF-8";
    case TRRTrackLibraryEncoding::Windows1252:
      return "Windows-1252";
  }
  return "";
}

TRRTrackLibraryFile RRReadTrackLibrary(std::string_view bytes, const std::string& sourceName) {
  return TReader(bytes, sourceName).Run();
}

TRRTrackLibraryFile RRReadTrackLibraryFile(const std::string& path) {
  // Non-blocking, so a pipe or device in the file's place cannot stop the import.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    throw ETrackLibraryError("Die Parameterdatei \"" + path + "\" kann nicht geöffnet werden (" +
                             std::strerror(errno) + ").");
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    throw ETrackLibraryError("\"" + path + "\" ist keine Datei.");
  }
  if (st.st_size > RRMaxTrackLibraryFileSize) {
    close(fd);
    throw ETrackLibraryError("Die Parameterdatei \"" + path + "\" ist größer als " +
                             std::to_string(RRMaxTrackLibraryFileSize >> 20) + " MiB.");
  }
  std::string bytes(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const int readError = errno;
  close(fd);
  if (done != bytes.size())
    throw ETrackLibraryError("Die Parameterdatei \"" + path + "\" kann nicht gelesen werden (" +
                             std::strerror(readError) + ").");
  return RRReadTrackLibrary(bytes, path);
}

}  // namespace rr
