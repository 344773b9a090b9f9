// The event section of a project file read from arbitrary bytes. The first byte chooses the form
// (bit 0: the flat form of old project files), whether the section is read in merge mode into a
// tree that already has events (bit 1) and whether what was read is then merged into another
// project as an import would (bit 2).
//
// After any read that succeeds: no two events or groups share an ID and none carries 0 or -1.
// The tree written back must read again and write the same bytes; the countdowns' remaining times
// are stored relative to their durations, so they may settle once, and the whole section must be
// stable from the second round on. The tree then runs on notifications made of the same bytes.

#include <cmath>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <stdexcept>
#include <unordered_set>

#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "engine/core/GXStream.h"

namespace {

void CheckIDs(const rr::TRREventManager& m) {
  std::unordered_set<int32_t> ids;
  auto take = [&](int32_t id) {
    if (id == 0 || id == -1 || !ids.insert(id).second) __builtin_trap();
  };
  m.ForEachGroup([&](rr::TRREventGroup& g) { take(g.ID()); });
  m.ForEachEvent([&](rr::TRREvent& e) { take(e.ID()); });
}

std::vector<uint8_t> Write(const rr::TRREventManager& m) {
  gx::TGXMemoryStream s;
  m.SaveToStream(s);
  return s.Data();
}

std::vector<uint8_t> WriteRoot(const rr::TRREventManager& m) {
  gx::TGXMemoryStream s;
  m.Root().WriteToStream(s);
  return s.Data();
}

void Read(rr::TRREventManager& m, const std::vector<uint8_t>& bytes) {
  gx::TGXMemoryStream s(bytes);
  m.LoadFromStream(s, rr::RREventVersionCurrent);
  if (s.Position() != s.Size()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  gx::TGXMemoryStreamAdapter stream(const_cast<uint8_t*>(data + 1), static_cast<int64_t>(size - 1));
  rr::TRREventManager m;
  if (mode & 2) {
    auto e = std::make_unique<rr::TRREvent>(&m);
    e->SetID(m.NewID());
    e->AddAction(std::make_unique<rr::TRRStartCountdownAction>());
    m.Root().AddEvent(std::move(e));
    m.StartCountdown("Timer", true, 0, 1);
  }
  try {
    m.LoadFromStream(stream, (mode & 1) ? 9 : 12, (mode & 2) != 0);
  } catch (const std::runtime_error&) {
    // stream read errors and section errors
    return 0;
  }
  CheckIDs(m);

  std::vector<uint8_t> once = Write(m);
  rr::TRREventManager again;
  Read(again, once);
  CheckIDs(again);
  if (WriteRoot(again) != WriteRoot(m)) __builtin_trap();
  std::vector<uint8_t> twice = Write(again);
  rr::TRREventManager third;
  Read(third, twice);
  if (Write(third) != twice) __builtin_trap();

  // The tree that was read runs: the input's bytes once more as notifications (kind, subject,
  // parameter), each followed by a frame's countdown tick and execution. Nothing may dangle or
  // run away, and what is queued is run within the frame it was queued for.
  for (size_t at = 1; at + 9 <= size; at += 9) {
    rr::TRREventNotification n;
    std::memcpy(&n.SubjectID, data + at + 1, 4);
    std::memcpy(&n.Parameter, data + at + 5, 4);
    n.TrackID = n.SubjectID;
    n.RouteIndex = n.Parameter & 3;
    n.Name = "Timer";
    m.Notify(static_cast<rr::TRRConditionKind>(data[at] % 8), n);
    float dt = 0;
    std::memcpy(&dt, data + at + 5, 4);
    m.TickCountdowns(dt);
    m.ExecutePendingActions(nullptr);
    if (m.PendingActions().size() > 1000000) __builtin_trap();
    for (const auto& [name, info] : m.Countdowns())
      if (!std::isfinite(info.Remaining) || !std::isfinite(info.Duration)) __builtin_trap();
  }

  if (mode & 4) {
    rr::TRREventManager project;
    project.Assign(m);
    project.MergeImported(again);
    CheckIDs(project);
    auto clone = project.Clone();
    CheckIDs(*clone);
  }
  return 0;
}
