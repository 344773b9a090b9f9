#include "app/entities/track/RRPartsList.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <unordered_map>

#include "app/RRMarkup.h"
#include "app/RRProject.h"
#include "app/RRUIService.h"
#include "app/entities/track/RRTrack.h"
#include "engine/core/GXNode.h"
#include "engine/core/GXStrings.h"

namespace rr {

const char* const RRPartsListCaptions[RRPartsListColumnCount] = {"Gleissystem", "Name", "Anzahl", "Beschreibung"};

std::string TRRPartsListRow::Cell(TRRPartsListColumn column) const {
  switch (column) {
    case TRRPartsListColumn::System:
      return System;
    case TRRPartsListColumn::Name:
      return Name;
    case TRRPartsListColumn::Count:
      return std::to_string(Count);
    case TRRPartsListColumn::Description:
      return Description;
  }
  return {};
}

// ---- building and sorting ----

void TRRPartsList::Build(const gx::TGXNode& root) {
  FRows.clear();
  FSorted = false;
  // (system, name) -> row; the zero byte cannot occur inside either text.
  std::unordered_map<std::string, size_t> rowOf;
  std::string key;
  std::vector<const gx::TGXNode*> stack{&root};
  while (!stack.empty()) {
    const gx::TGXNode* node = stack.back();
    stack.pop_back();
    // Children go on the stack last to first, so the walk meets them first to last.
    const int children = node->ChildCount();
    for (int i = children - 1; i >= 0; --i) stack.push_back(node->Child(i));
    const auto* track = dynamic_cast<const TRRTrack*>(node);
    if (!track) continue;
    key.assign(track->TrackSystemName()).push_back('\0');
    key.append(track->Name());
    auto [it, added] = rowOf.try_emplace(key, FRows.size());
    if (added)
      FRows.push_back({track->TrackSystemName(), track->Name(), 1, track->DescriptionText()});
    else
      ++FRows[it->second].Count;
  }
}

int64_t TRRPartsList::TrackCount() const {
  int64_t n = 0;
  for (const TRRPartsListRow& r : FRows) n += r.Count;
  return n;
}

void TRRPartsList::SortBy(TRRPartsListColumn column) {
  Sort(column, FSorted && column == FSortColumn ? !FAscending : true);
}

void TRRPartsList::Sort(TRRPartsListColumn column, bool ascending) {
  FSortColumn = column;
  FAscending = ascending;
  FSorted = true;
  auto compare = [column](const TRRPartsListRow& a, const TRRPartsListRow& b) -> int {
    if (column == TRRPartsListColumn::Count) return a.Count < b.Count ? -1 : a.Count > b.Count ? 1 : 0;
    return gx::CompareText(a.Cell(column), b.Cell(column));
  };
  std::stable_sort(FRows.begin(), FRows.end(), [&](const TRRPartsListRow& a, const TRRPartsListRow& b) {
    const int c = compare(a, b);
    return ascending ? c < 0 : c > 0;
  });
}

// ---- writers ----

namespace {

// UTF-8 to Windows-1252; a character the code page lacks becomes what `missing` makes of it.
template <typename TMissing>
void AppendAnsi(std::string& out, std::string_view utf8, TMissing missing) {
  size_t pos = 0;
  while (pos < utf8.size()) {
    const size_t start = pos;
    const char32_t c = gx::DecodeUtf8(utf8, pos);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    const std::string ansi = gx::Utf8ToAnsi(utf8.substr(start, pos - start));
    // Utf8ToAnsi writes '?' for what the code page cannot hold (a real '?' is ASCII, seen above).
    if (ansi.size() == 1 && ansi[0] != '?')
      out += ansi;
    else
      missing(out, c);
  }
}

void AppendHtml(std::string& out, std::string_view text) {
  const std::string escaped = RREscapeMarkup(text);
  AppendAnsi(out, escaped, [](std::string& o, char32_t c) { o += "&#" + std::to_string(c) + ";"; });
}

void AppendCsvCell(std::string& out, std::string_view text) {
  const bool quote = text.find_first_of(";\"\r\n") != std::string_view::npos;
  std::string cell;
  if (quote) cell.push_back('"');
  for (char c : text) {
    if (c == '"') cell.push_back('"');
    cell.push_back(c);
  }
  if (quote) cell.push_back('"');
  AppendAnsi(out, cell, [](std::string& o, char32_t) { o.push_back('?'); });
}

void AppendLine(std::string& out, std::string_view plainAnsiOrAscii) {
  out += plainAnsiOrAscii;
  out += "\r\n";
}

std::string Ansi(std::string_view utf8) {
  std::string out;
  AppendAnsi(out, utf8, [](std::string& o, char32_t) { o.push_back('?'); });
  return out;
}

}  // namespace

std::string TRRPartsList::ToHtml(const std::string& projectName, const std::string& date) const {
  std::string out, title;
  AppendHtml(title, RRTextPartsListTitle);
  AppendLine(out, "<html>");
  AppendLine(out, "<head><title>" + title + "</title></head>");
  AppendLine(out, "<body>");
  AppendLine(out, "<h1>" + title + "</h1>");
  std::string name;
  AppendHtml(name, projectName);
  AppendLine(out, "<p>" + name + "<br>");
  std::string created;
  AppendHtml(created, date);
  AppendLine(out, "Erstellt am " + created + ".</p>");
  if (FRows.empty()) {
    AppendLine(out, "<p><b>" + Ansi(RRTextPartsListEmpty) + "</b></p>");
  } else {
    AppendLine(out, "<table>");
    AppendLine(out, "<tr>");
    for (const char* caption : RRPartsListCaptions) AppendLine(out, "<th>" + Ansi(caption) + "</th>");
    AppendLine(out, "</tr>");
    for (const TRRPartsListRow& row : FRows) {
      AppendLine(out, "<tr>");
      for (int c = 0; c < RRPartsListColumnCount; ++c) {
        std::string cell;
        AppendHtml(cell, row.Cell(static_cast<TRRPartsListColumn>(c)));
        AppendLine(out, "<td>" + cell + "</td>");
      }
      AppendLine(out, "</tr>");
    }
    AppendLine(out, "</table>");
  }
  AppendLine(out, "</body>");
  AppendLine(out, "</html>");
  return out;
}

std::string TRRPartsList::ToCsv(const std::string& projectName, const std::string& date) const {
  std::string out, line;
  AppendLine(out, Ansi(RRTextPartsListTitle));
  AppendCsvCell(line, projectName);
  AppendLine(out, line);
  line.clear();
  AppendCsvCell(line, "Erstellt am " + date);
  AppendLine(out, line);
  AppendLine(out, "");
  line.clear();
  for (int c = 0; c < RRPartsListColumnCount; ++c) {
    if (c) line.push_back(';');
    line += Ansi(RRPartsListCaptions[c]);
  }
  AppendLine(out, line);
  for (const TRRPartsListRow& row : FRows) {
    line.clear();
    for (int c = 0; c < RRPartsListColumnCount; ++c) {
      if (c) line.push_back(';');
      AppendCsvCell(line, row.Cell(static_cast<TRRPartsListColumn>(c)));
    }
    AppendLine(out, line);
  }
  return out;
}

std::string TRRPartsList::ToBytes(TRRPartsListFormat format, const std::string& projectName,
                                  const std::string& date) const {
  return format == TRRPartsListFormat::Csv ? ToCsv(projectName, date) : ToHtml(projectName, date);
}

void TRRPartsList::Save(const std::string& fileName, TRRPartsListFormat format, const std::string& projectName,
                        const std::string& date, IRRUIService* ui) const {
  const std::string bytes = ToBytes(format, projectName, date);
  RRWriteFileReplacing(fileName, bytes.data(), bytes.size());
  if (!ui) return;
  char text[4096];
  std::snprintf(text, sizeof text, RRTextPartsListSaved, fileName.c_str());
  ui->ShowMessage(text, RRTextPartsListCaption, TRRMessageIcon::Information);
}

// ---- names, dates and formats ----

std::string RRPartsListProjectName(const std::string& layoutFile) {
  const std::string stem = std::filesystem::path(layoutFile).stem().string();
  return stem.empty() ? RRTextPartsListUnsaved : stem;
}

std::string RRPartsListDate(int64_t unixSeconds) {
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
  if (!localtime_r(&t, &local)) return {};
  char text[64];
  // Numbers only, so the locale cannot change the result.
  std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", local.tm_mday, local.tm_mon + 1,
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

TRRPartsListFormat RRPartsListFormatOfFilter(int filterIndex) {
  return filterIndex == 1 ? TRRPartsListFormat::Csv : TRRPartsListFormat::Html;
}

std::string RRPartsListFileName(const std::string& chosen, TRRPartsListFormat format) {
  if (chosen.empty() || std::filesystem::path(chosen).has_extension()) return chosen;
  return chosen + (format == TRRPartsListFormat::Csv ? ".csv" : ".html");
}

TRRPartsListFormat RRPartsListFormatOfFile(const std::string& fileName) {
  return gx::SameText(std::filesystem::path(fileName).extension().string(), ".csv") ? TRRPartsListFormat::Csv
                                                                                   : TRRPartsListFormat::Html;
}

}  // namespace rr
