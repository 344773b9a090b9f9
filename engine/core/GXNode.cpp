#include "engine/core/GXNode.h"

#include <cmath>

#include "engine/core/GXException.h"

namespace gx {

namespace {

// Folds one byte of UTF-8 text: ASCII capitals, and the second byte of the Latin-1 capitals
// U+00C0 .. U+00DE (except U+00D7, the multiplication sign), which follow the lead byte 0xC3.
inline unsigned char FoldByte(unsigned char c, unsigned char previous) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (previous == 0xC3 && c >= 0x80 && c <= 0x9E && c != 0x97) return static_cast<unsigned char>(c + 32);
  return c;
}

// Case-insensitive equality for ASCII and the Latin-1 letters in UTF-8. Folding keeps every byte
// in place and never produces 0xC3, so the two texts can be compared byte by byte in step.
bool SameTextLatin1(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char pa = 0, pb = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (FoldByte(ca, pa) != FoldByte(cb, pb)) return false;
    pa = ca;
    pb = cb;
  }
  return true;
}

// v + 2w (q x v) + 2 q x (q x v): the same as multiplying by the matrix of a unit q.
TGXVector3 RotateVector(const TGXVector3& v, const TGXQuaternion& q) {
  const TGXVector3 u{q.x, q.y, q.z};
  const TGXVector3 t = GXVec3Cross(u, v);
  return v + t * (2.0f * q.w) + GXVec3Cross(u, t) * 2.0f;
}

// 1/s, or 0 where that is not a finite number (zero, denormal, NaN scale).
inline float SafeReciprocal(float s) {
  const float r = 1.0f / s;
  return (s != 0.0f && std::isfinite(r)) ? r : 0.0f;
}

// x - x is 0 for finite x and NaN otherwise; one test for the whole matrix (four lanes, so the
// compiler can keep it in one vector register).
inline bool AllFinite(const TGXMatrix& m) {
  float acc[4] = {0, 0, 0, 0};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) acc[c] += m.m[r][c] - m.m[r][c];
  return (acc[0] + acc[1]) + (acc[2] + acc[3]) == 0.0f;
}

// out = a * b as GXMatrixMultiply has it, inlined into the update and written row by row so that
// the compiler computes each row of four at once.
inline void MultiplyInto(TGXMatrix& out, const TGXMatrix& a, const TGXMatrix& b) {
  for (int i = 0; i < 4; ++i) {
    const float a0 = a.m[i][0], a1 = a.m[i][1], a2 = a.m[i][2], a3 = a.m[i][3];
    for (int j = 0; j < 4; ++j)
      out.m[i][j] = a0 * b.m[0][j] + a1 * b.m[1][j] + a2 * b.m[2][j] + a3 * b.m[3][j];
  }
}

[[noreturn]] void RaiseAddChild(const char* reason) {
  throw EInvalidParameter({TGXExceptionArg::Object("TGXNode"), "AddChild", reason});
}

}  // namespace

namespace {
// The source of matrix revisions; a node's first value stands for its identity matrices.
uint64_t GMatrixRevision = 0;
}  // namespace

TGXNode::TGXNode(std::string name, TGXNode* parent) : FMatrixRevision(++GMatrixRevision), FName(std::move(name)) {
  if (parent) parent->AddChild(this);
  Invalidate();
}

TGXNode::~TGXNode() {
  BeforeDestruction();
  if (FParent) {
    FParent->RemoveChild(this);
    // An override that refused must not leave the parent holding a dangling pointer.
    if (FParent) FParent->TGXNode::RemoveChild(this);
  }
  DeleteChildren();
  FDestroyListeners.reset();
}

void TGXNode::BeforeDestruction() {
  if (FDestroying) return;
  FDestroying = true;
  if (FDestroyListeners) FDestroyListeners->Notify(this);
}

// ---- tree ----

// Below this many children a full walk costs less than keeping the list of reported ones.
constexpr int kListedChildrenMin = 16;

TGXNode* TGXNode::AddChild(TGXNode* child) {
  if (!child) RaiseAddChild("No child");
  for (const TGXNode* a = this; a; a = a->FParent)
    if (a == child) RaiseAddChild("Child is the node or one of its ancestors");
  if (child->FDestroying || FDestroying) RaiseAddChild("Node is being destroyed");
  if (child->FParent) child->FParent->RemoveChild(child);
  if (child->FParent) child->FParent->TGXNode::RemoveChild(child);
  FChildren.Add(child);
  FListsReports = FChildren.Count() >= kListedChildrenMin;
  child->FParent = this;
  child->FIndexInParent = FChildren.Count() - 1;
  child->FParentNotified = false;
  Invalidate();
  return child;
}

bool TGXNode::RemoveChild(TGXNode* child) {
  if (!child || child->FParent != this || FChildren.Count() == 0) return false;
  int index = child->FIndexInParent;
  if (index < 0 || index >= FChildren.Count() || FChildren.At(index) != child)
    index = FChildren.IndexOf(child);
  if (index < 0) return false;
  // Fast removal: the last child takes the place and its index.
  FChildren.Delete(index, true);
  if (index < FChildren.Count()) FChildren.At(index)->FIndexInParent = index;
  child->FIndexInParent = -1;
  if (Listed(child)) FReported[size_t(child->FReportSlot)] = nullptr;
  child->FReportSlot = -1;
  FListsReports = FChildren.Count() >= kListedChildrenMin;
  // Only a node that lists reports has any (ForgetChangedChildren relies on it).
  if (!FListsReports) FReported.clear();
  child->FParent = nullptr;
  child->FParentNotified = false;
  // A node that had children and has none left gives their storage back.
  if (FChildren.Count() == 0) FChildren = TGXArrayOf<TGXNode>();
  // Its world values still hold the old parent's transform; as a root they must be recomputed.
  child->FDirty = true;
  Invalidate();
  return true;
}

void TGXNode::DeleteChildren() {
  while (FChildren.Count() > 0) {
    TGXNode* child = FChildren.At(0);
    if (!RemoveChild(child) && !TGXNode::RemoveChild(child)) break;  // cannot happen; never loop forever
    delete child;
  }
}

TGXNode* TGXNode::Child(int index) const { return FChildren[index]; }

TGXNode* TGXNode::FindChild(std::string_view name, bool caseSensitive) const {
  for (TGXNode* child : FChildren) {
    if (caseSensitive ? child->FName == name : SameTextLatin1(child->FName, name)) return child;
    if (TGXNode* found = child->FindChild(name, caseSensitive)) return found;
  }
  return nullptr;
}

// ---- local transform ----

void TGXNode::SetPosition(const TGXVector3& v) {
  if (v == FPosition) return;
  FPosition = v;
  Invalidate();
}

void TGXNode::SetRotation(const TGXQuaternion& q) {
  if (q == FRotation) return;
  FRotation = q;
  Invalidate();
}

void TGXNode::SetScale(const TGXVector3& v) {
  if (v == FScale) return;
  FScale = v;
  Invalidate();
}

void TGXNode::ResetRotation() {
  FRotation = TGXQuaternion();
  Invalidate();
}

void TGXNode::ResetScale() {
  FScale = {1, 1, 1};
  Invalidate();
}

void TGXNode::SetTransform(const std::optional<TGXVector3>& position,
                           const std::optional<TGXQuaternion>& rotation,
                           const std::optional<TGXVector3>& scale, const std::optional<TGXVector3>& pivot) {
  if (position) FPosition = *position;
  if (rotation) {
    if (pivot) {
      FRotation = TGXQuaternion();
      RotateAround(*rotation, *pivot, TGXTransformSpace::Local);
    } else {
      FRotation = *rotation;
    }
  }
  if (scale) FScale = *scale;
  Invalidate();
}

// ---- world transform ----

void TGXNode::SetWorldPosition(const TGXVector3& v) {
  FWorldPosition = v;
  FPosition = FParent ? GXVec3TransformCoord(v, FParent->InverseWorldMatrix()) : v;
  Invalidate();
}

void TGXNode::SetWorldRotation(const TGXQuaternion& q) {
  FWorldRotation = q;
  FRotation = FParent ? GXQuaternionMultiply(q, GXQuaternionInverse(FParent->FWorldRotation)) : q;
  Invalidate();
}

void TGXNode::SetWorldScale(const TGXVector3& v) {
  FWorldScale = v;
  FScale = v;
  if (FParent) {
    const TGXVector3& ps = FParent->FWorldScale;
    for (int i = 0; i < 3; ++i)
      if (ps[i] != 0) FScale[i] /= ps[i];
  }
  Invalidate();
}

// ---- moving and turning ----

void TGXNode::Translate(const TGXVector3& v, TGXTransformSpace space) {
  switch (space) {
    case TGXTransformSpace::Local:
      FPosition += RotateVector(v, FRotation);
      break;
    case TGXTransformSpace::World:
      if (FParent) {
        // Into the parent's space: undo its world rotation, then its world scale (the scale of
        // every ancestor, not only the parent's own).
        TGXVector3 d = RotateVector(v, GXQuaternionInverse(FParent->FWorldRotation));
        const TGXVector3& ps = FParent->FWorldScale;
        for (int i = 0; i < 3; ++i)
          if (ps[i] != 0) d[i] /= ps[i];
        FPosition += d;
        break;
      }
      [[fallthrough]];
    case TGXTransformSpace::Parent:
      FPosition += v;
      break;
    default:
      break;
  }
  Invalidate();
}

void TGXNode::Rotate(const TGXQuaternion& q, TGXTransformSpace space) {
  switch (space) {
    case TGXTransformSpace::Local:
      RotateAround(q, {0, 0, 0}, space);
      break;
    case TGXTransformSpace::Parent:
      RotateAround(q, FPosition, space);
      break;
    case TGXTransformSpace::World:
      RotateAround(q, FWorldPosition, space);
      break;
    default:
      break;
  }
}

void TGXNode::RotateAround(const TGXQuaternion& q, const TGXVector3& pivot, TGXTransformSpace space) {
  TGXVector3 arm{0, 0, 0};
  switch (space) {
    case TGXTransformSpace::Local:
      arm = pivot;
      break;
    case TGXTransformSpace::Parent:
      arm = pivot - FPosition;
      break;
    case TGXTransformSpace::World:
      arm = pivot - FWorldPosition;
      break;
    default:
      break;
  }
  Translate(arm - RotateVector(arm, q), space);
  switch (space) {
    case TGXTransformSpace::Local:
      FRotation = GXQuaternionMultiply(q, FRotation);
      break;
    case TGXTransformSpace::Parent:
      FRotation = GXQuaternionMultiply(FRotation, q);
      break;
    case TGXTransformSpace::World: {
      // q expressed in the node's parent-relative terms: conjugated by the world rotation.
      const TGXQuaternion c =
          GXQuaternionMultiply(GXQuaternionMultiply(FWorldRotation, q), GXQuaternionInverse(FWorldRotation));
      FRotation = GXQuaternionMultiply(c, FRotation);
      break;
    }
    default:
      break;
  }
  Invalidate();
}

void TGXNode::LookAt(const TGXVector3& target, const TGXVector3& up) {
  const TGXVector3 f = GXVec3Normalize(target - FWorldPosition);
  if (f == TGXVector3{0, 0, 0}) return;
  const TGXVector3 side = GXVec3Cross(up, f);
  // Up (nearly) parallel to the view direction leaves the turn about F undefined.
  if (!(GXVec3LengthSq(side) > 1e-10f * GXVec3LengthSq(up))) return;
  const TGXVector3 x = GXVec3Normalize(side);
  const TGXVector3 y = GXVec3Normalize(GXVec3Cross(f, x));
  const TGXMatrix m(x.x, x.y, x.z, 0,  //
                    y.x, y.y, y.z, 0,  //
                    f.x, f.y, f.z, 0,  //
                    0, 0, 0, 1);
  const TGXQuaternion q = GXQuaternionRotationMatrix(m);
  if (!GXIsFinite(q)) return;
  SetWorldRotation(q);
}

TGXVector3 TGXNode::TransformPoint(const TGXVector3& v, TGXTransformSpace space) const {
  switch (space) {
    case TGXTransformSpace::Parent:
      return GXVec3TransformCoord(v, FLocalMatrix);
    case TGXTransformSpace::World:
      return GXVec3TransformCoord(v, FWorldMatrix);
    default:
      return v;
  }
}

TGXVector3 TGXNode::TransformNormal(const TGXVector3& v, TGXTransformSpace space) const {
  switch (space) {
    case TGXTransformSpace::Parent:
      return GXVec3TransformNormal(v, FLocalMatrix);
    case TGXTransformSpace::World:
      return GXVec3TransformNormal(v, FWorldMatrix);
    default:
      return v;
  }
}

// ---- invalidation and update ----

void TGXNode::Invalidate() {
  FDirty = true;
  if (FParent && !FParentNotified) {
    FParentNotified = true;
    FParent->NoteReport(this);
    FParent->MarkChildDirty();
  }
}

bool TGXNode::Listed(const TGXNode* child) const {
  // The slot is checked against the list instead of being reset when the list is cleared: that
  // would touch every listed child once more.
  const int slot = child->FReportSlot;
  return slot >= 0 && size_t(slot) < FReported.size() && FReported[size_t(slot)] == child;
}

void TGXNode::NoteReport(TGXNode* child) {
  if (!FListsReports || FReportedAll || Listed(child)) return;
  // A list longer than half the children saves nothing over the walk; it also stays bounded
  // when children are updated directly and report again before this node's next update.
  if (int(FReported.size()) * 2 >= ChildCount()) {
    ForgetChangedChildren();
    FReportedAll = true;
    return;
  }
  child->FReportSlot = int(FReported.size());
  FReported.push_back(child);
}

void TGXNode::ForgetChangedChildren() {
  // Most nodes never list reports: their list is not even looked at (it lies apart from what the
  // update reads).
  if (FListsReports) FReported.clear();
}

void TGXNode::MarkChildDirty() {
  // Climbs without recursion; stops at the first ancestor that is already marked.
  for (TGXNode* n = this;;) {
    if (n->FDirty || n->FChildDirty) return;
    n->FChildDirty = true;
    if (!n->FParent || n->FParentNotified) return;
    n->FParentNotified = true;
    n->FParent->NoteReport(n);
    n = n->FParent;
  }
}

bool TGXNode::Update(bool force) {
  bool full = false;
  const bool changed = UpdateNode(force, full);
  ForgetChangedChildren();
  return changed;
}

bool TGXNode::UpdateNode(bool force, bool& full) {
  FParentNotified = false;
  full = false;
  if (!force && !FDirty && !FChildDirty) return false;
  if (force || FDirty) {
    RecomputeMatrices();
    force = true;
  }
  full = force || FReportedAll || !FListsReports;
  FReportedAll = false;
  if (full) {
    ForgetChangedChildren();
    // Re-read the array each step: an override may have changed the children.
    for (int i = 0; i < FChildren.Count(); ++i) FChildren.At(i)->Update(force);
  } else {
    // Only the children that reported. Re-read the list each step: an update may report more
    // children (appended) or remove some (their entries become null).
    for (size_t i = 0; i < FReported.size(); ++i)
      if (TGXNode* child = FReported[i]) child->Update(false);
    if (FReportedAll || FDirty) {
      // A child's update reported so many others that the list was given up, or changed this
      // node (a child added or removed): walk them all, as a changed node does.
      const bool all = FDirty;
      if (all) RecomputeMatrices();
      ForgetChangedChildren();
      FReportedAll = false;
      full = true;
      for (int i = 0; i < FChildren.Count(); ++i) FChildren.At(i)->Update(all);
    }
  }
  FDirty = false;
  FChildDirty = false;
  return true;
}

namespace {

// The rotation matrix of q, as GXMatrixRotationQuaternion has it.
struct TRotation {
  float r[3][3];
  explicit TRotation(const TGXQuaternion& q) {
    const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
    const float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
    const float xw = q.x * q.w, yw = q.y * q.w, zw = q.z * q.w;
    r[0][0] = 1 - 2 * (yy + zz), r[0][1] = 2 * (xy + zw), r[0][2] = 2 * (xz - yw);
    r[1][0] = 2 * (xy - zw), r[1][1] = 1 - 2 * (xx + zz), r[1][2] = 2 * (yz + xw);
    r[2][0] = 2 * (xz + yw), r[2][1] = 2 * (yz - xw), r[2][2] = 1 - 2 * (xx + yy);
  }
};

// The local matrix S * R * T of a node's transform.
void MakeLocalMatrix(const TGXQuaternion& q, const TGXVector3& s, const TGXVector3& p, TGXMatrix& l) {
  const TRotation rot(q);
  const auto& r = rot.r;
  // The rows of R scaled, then the translation row.
  for (int c = 0; c < 3; ++c) {
    l.m[0][c] = s.x * r[0][c];
    l.m[1][c] = s.y * r[1][c];
    l.m[2][c] = s.z * r[2][c];
    l.m[3][c] = p[c];
  }
  l.m[0][3] = l.m[1][3] = l.m[2][3] = 0;
  l.m[3][3] = 1;
}

// The inverse of the local matrix l made of q and s: T^-1 * R^T * S^-1 when R is a rotation (unit
// q), column j of R^T scaled by 1/s_j, zero scale components giving 0 instead of infinities. Other
// quaternions do not give a rotation matrix and take the general inverse of l.
void MakeLocalInverse(const TGXQuaternion& q, const TGXVector3& s, const TGXMatrix& l, TGXMatrix& il) {
  const TGXVector3 p{l.m[3][0], l.m[3][1], l.m[3][2]};
  const float qn = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
  if (std::fabs(qn - 1.0f) <= 1e-5f) {
    const TRotation rot(q);
    const auto& r = rot.r;
    const float is[3] = {SafeReciprocal(s.x), SafeReciprocal(s.y), SafeReciprocal(s.z)};
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < 3; ++i) il.m[i][j] = r[j][i] * is[j];
      il.m[3][j] = -(p.x * r[j][0] + p.y * r[j][1] + p.z * r[j][2]) * is[j];
    }
    il.m[0][3] = il.m[1][3] = il.m[2][3] = 0;
    il.m[3][3] = 1;
  } else {
    GXMatrixInverse(il, nullptr, l);
  }
  if (!AllFinite(il)) il = TGXMatrix();
}

}  // namespace

void TGXNode::RecomputeMatrices() {
  FMatrixRevision = ++GMatrixRevision;
  const TGXQuaternion& q = FRotation;
  const TGXVector3& s = FScale;
  const TGXVector3& p = FPosition;
  // The local matrix depends on the node's own transform only, which changes only together with
  // FDirty: a node carried along by its parent (most of a moving vehicle's model nodes) keeps it.
  if (FDirty) {
    MakeLocalMatrix(q, s, p, FLocalMatrix);
    FLocalRotation = q;
    FLocalScale = s;
  }
  const TGXMatrix& l = FLocalMatrix;

  if (FParent) {
    const TGXNode& parent = *FParent;
    MultiplyInto(FWorldMatrix, l, parent.FWorldMatrix);
    FWorldPosition = {FWorldMatrix.m[3][0], FWorldMatrix.m[3][1], FWorldMatrix.m[3][2]};
    FWorldRotation = GXQuaternionMultiply(q, parent.FWorldRotation);
    FWorldScale = GXVec3Modulate(s, parent.FWorldScale);
  } else {
    FWorldMatrix = l;
    FWorldPosition = p;
    FWorldRotation = q;
    FWorldScale = s;
  }
}

void TGXNode::MakeInverses() const {
  if (!FInverses) FInverses = std::make_unique<TGXNodeInverses>();
  TGXNodeInverses& inverses = *FInverses;
  MakeLocalInverse(FLocalRotation, FLocalScale, FLocalMatrix, inverses.Local);
  if (FParent) {
    // (Local * ParentWorld)^-1 = ParentWorld^-1 * Local^-1 for row vectors.
    MultiplyInto(inverses.World, FParent->InverseWorldMatrix(), inverses.Local);
    if (!AllFinite(inverses.World)) inverses.World = TGXMatrix();
  } else {
    inverses.World = inverses.Local;
  }
  inverses.Revision = FMatrixRevision;
}

// ---- destruction ----

void TGXNode::AddDestroyListener(const TGXDestroyHandler& handler) {
  if (!FDestroyListeners) FDestroyListeners = std::make_unique<TGXDestroyListeners>(TGXDuplicates::Ignore);
  FDestroyListeners->Add(handler);
}

void TGXNode::RemoveDestroyListener(const TGXMethodKey& key) {
  if (!FDestroyListeners) return;
  FDestroyListeners->Remove(key);
  if (FDestroyListeners->Count() == 0 && !FDestroying) FDestroyListeners.reset();
}

}  // namespace gx
