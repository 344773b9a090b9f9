#include "tests/app/TrackLibraryTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/entities/track/RRTrackRoute.h"

namespace tlibtest {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct TPose {
  double X, Z, Heading;  // centimetres; outward heading, radians clockwise from +Z
};

double Wrap(double a) {
  a = std::remainder(a, 2 * kPi);
  return a <= -kPi ? a + 2 * kPi : a;
}

// The worst position (cm) and direction (rad) miss of the contacts against the end points when
// the end points are turned by phi and moved by (tx, tz).
void Misses(const std::vector<TPose>& contacts, const std::vector<TPose>& ends, double phi, double tx,
            double tz, double& worstPosition, double& worstAngle) {
  worstPosition = worstAngle = 0;
  const double c = std::cos(phi), s = std::sin(phi);
  for (const TPose& k : contacts) {
    double best = 1e30, angle = 0;
    for (const TPose& e : ends) {
      const double x = e.X * c + e.Z * s + tx, z = e.Z * c - e.X * s + tz;
      const double d = std::hypot(x - k.X, z - k.Z);
      if (d < best) best = d, angle = std::fabs(Wrap(e.Heading + phi - k.Heading));
    }
    worstPosition = std::max(worstPosition, best);
    worstAngle = std::max(worstAngle, angle);
  }
}

}  // namespace

void ExpectRoutesMeetEndPoints(mgrtest::TTestProject& project, const rr::TRRTrackDesc& piece,
                               const rr::TRRTrackLibraryDefinition& definition, const std::string& where) {
  std::unique_ptr<rr::TRREntityDescription> copy = piece.Clone();
  copy->SetID(project.M().NextID());
  project.M().ReserveIDs(1);
  auto* track = dynamic_cast<rr::TRRTrack*>(project.M().CreateEntity(nullptr, *copy));
  ASSERT_NE(track, nullptr) << where;
  project.Scene.Root()->Update(false);
  std::vector<TPose> contacts;
  for (int r = 0; r < track->GetRouteCount(); ++r)
    for (int c = 0; c < 2; ++c) {
      if (piece.Type() == rr::TRRTrackType::BufferStop && c == 0) continue;
      const rr::TRRTrackRouteContact* k = track->GetRoute(r)->Contact(c);
      const gx::TGXVector3 p = k->GetPosition(), o = k->GetOutward();
      contacts.push_back({p.x, p.z, std::atan2(o.x, o.z)});
    }
  delete track;
  std::vector<TPose> ends;
  for (const rr::TRRTrackLibraryEndPoint& e : definition.EndPoints)
    ends.push_back({e.X * 2.54, e.Y * 2.54, e.Angle * kPi / 180});
  ASSERT_FALSE(contacts.empty()) << where;
  // The placement: the first contact on some end point, turned so that a second contact (or the
  // first one's direction) agrees too.
  double bestPosition = 1e30, bestAngle = 1e30;
  const TPose& a = contacts[0];
  for (const TPose& ea : ends) {
    std::vector<double> turns = {Wrap(a.Heading - ea.Heading)};
    if (contacts.size() > 1) {
      const TPose& b = contacts[1];
      for (const TPose& eb : ends) {
        const double want = std::atan2(b.X - a.X, b.Z - a.Z), have = std::atan2(eb.X - ea.X, eb.Z - ea.Z);
        if (std::fabs(std::hypot(b.X - a.X, b.Z - a.Z) - std::hypot(eb.X - ea.X, eb.Z - ea.Z)) < 0.01)
          turns.push_back(Wrap(want - have));
      }
    }
    for (double phi : turns) {
      const double c = std::cos(phi), s = std::sin(phi);
      const double tx = a.X - (ea.X * c + ea.Z * s), tz = a.Z - (ea.Z * c - ea.X * s);
      double position, angle;
      Misses(contacts, ends, phi, tx, tz, position, angle);
      if (std::max(position / 0.001, angle / (0.01 * kPi / 180)) <
          std::max(bestPosition / 0.001, bestAngle / (0.01 * kPi / 180)))
        bestPosition = position, bestAngle = angle;
    }
  }
  EXPECT_LE(bestPosition, 0.001) << where << ": a route end misses its end point (cm)";
  EXPECT_LE(bestAngle, 0.01 * kPi / 180) << where << ": a route end leaves at another angle (rad)";
}

}  // namespace tlibtest
