#include "app/entities/RREntityDescription.h"

#include <gtest/gtest.h>

#include "app/entities/RREntityGroup.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RRLight.h"
#include "engine/core/GXException.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;
using rrtest::TBytes;

namespace {

const char* kAsset = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

// The base payload of a description as it was set up by MakeGroup.
TBytes& GroupPayload(TBytes& b, int version) {
  b.I32(version).Guid(kAsset).Str("Gleise\\H0").I32(7).Text(0x0407, "Gruppe").Text(0x0407, "");
  b.U8(1).Vec(1, 2, 3).Vec(4, 5, 6).Quat(0, 0.6f, 0, 0.8f).Vec(1, 1, 2).U8(0);
  if (version >= 2) b.I32(3).Vec(0.5f, 0, 0).Quat(0, 0, 0, 1);
  return b;
}

// A child description with default fields except its ID.
TBytes& ChildPayload(TBytes& b, int version, int id) {
  b.I32(version).Guid("{00000000-0000-0000-0000-000000000000}").Str("").I32(id).Text(0, "").Text(0, "");
  b.U8(0).Vec(0, 0, 0).Vec(0, 0, 0).Quat(0, 0, 0, 1).Vec(1, 1, 1).U8(1);
  if (version >= 2) b.I32(0).Vec(0, 0, 0).Quat(0, 0, 0, 1);
  return b;
}

std::vector<uint8_t> GroupRecord(int version) {
  TBytes b;
  b.Guid(rrtest::kGroupKind);
  GroupPayload(b, version).I32(2);
  b.Guid(rrtest::kGroupKind);
  ChildPayload(b, version, 8).I32(0);
  b.Guid(rrtest::kGroupKind);
  ChildPayload(b, version, 9).I32(0);
  return b.Data;
}

std::unique_ptr<TRREntityDescription> MakeGroup() {
  auto d = TRREntityGroupDesc::StaticClass().Create();
  d->SetAssetID(gx::TGXGuid::Parse(kAsset));
  d->SetCataloguePath("Gleise\\H0");
  d->SetID(7);
  d->Name().SetText(0x0407, "Gruppe");
  d->SetLocked(true);
  d->SetPivot({1, 2, 3});
  d->SetPosition({4, 5, 6});
  d->SetRotation({0, 0.6f, 0, 0.8f});
  d->SetScale({1, 1, 2});
  d->SetVisible(false);
  d->SetLinkTarget(3);
  d->SetLinkOffset({0.5f, 0, 0});
  TRREntityGroupDesc::StaticClass().Create(d.get())->SetID(8);
  TRREntityGroupDesc::StaticClass().Create(d.get())->SetID(9);
  return d;
}

std::vector<uint8_t> RecordOf(const TRREntityDescription& d) {
  gx::TGXMemoryStream s;
  TRREntityDescription::WriteRecord(d, s);
  return s.Data();
}

std::unique_ptr<TRREntityDescription> Read(const std::vector<uint8_t>& bytes) {
  gx::TGXMemoryStream s(bytes);
  auto d = TRREntityDescription::ReadRecord(s);
  EXPECT_EQ(s.Position(), s.Size()) << "the record was not read to its end";
  return d;
}

}  // namespace

TEST(EntityDescriptionRecord, GroupWithChildrenIsWrittenInVersion2) {
  EXPECT_EQ(RecordOf(*MakeGroup()), GroupRecord(2));
}

TEST(EntityDescriptionRecord, Version1ReadsWithoutLinkFieldsAndIsWrittenAsVersion2) {
  auto d = Read(GroupRecord(1));
  ASSERT_TRUE(d->Is<TRREntityGroupDesc>());
  EXPECT_EQ(d->Parent(), nullptr);
  EXPECT_EQ(d->AssetID(), gx::TGXGuid::Parse(kAsset));
  EXPECT_EQ(d->CataloguePath(), "Gleise\\H0");
  EXPECT_EQ(d->ID(), 7);
  EXPECT_EQ(d->Name().GetText(), "Gruppe");
  EXPECT_TRUE(d->Locked());
  EXPECT_EQ(d->Pivot(), gx::TGXVector3(1, 2, 3));
  EXPECT_EQ(d->Rotation(), gx::TGXQuaternion(0, 0.6f, 0, 0.8f));
  EXPECT_EQ(d->Scale(), gx::TGXVector3(1, 1, 2));
  EXPECT_FALSE(d->Visible());
  // Link fields as constructed: no target, no offset, the identity rotation.
  EXPECT_EQ(d->LinkTarget(), 0);
  EXPECT_EQ(d->LinkOffset(), gx::TGXVector3(0, 0, 0));
  EXPECT_EQ(d->LinkRotation(), gx::TGXQuaternion(0, 0, 0, 1));
  ASSERT_EQ(d->ChildCount(), 2);
  EXPECT_EQ(d->Child(0)->ID(), 8);
  EXPECT_EQ(d->Child(1)->ID(), 9);
  EXPECT_EQ(d->Child(1)->Parent(), d.get());

  // Written again: version 2 with link target 0.
  d->SetLinkTarget(3);
  d->SetLinkOffset({0.5f, 0, 0});
  EXPECT_EQ(RecordOf(*d), GroupRecord(2));
}

TEST(EntityDescriptionRecord, UnknownKindOrVersionRaisesBeforeAnythingIsMisread) {
  // Unknown kind at the top.
  TBytes unknown;
  unknown.Guid("{11111111-2222-3333-4444-555555555555}");
  ChildPayload(unknown, 2, 1).I32(0);
  try {
    Read(unknown.Data);
    FAIL() << "no error";
  } catch (const EUnknownEntityClass& e) {
    EXPECT_STREQ(e.what(), "Unknown description class: {11111111-2222-3333-4444-555555555555}");
  }

  // Unknown kind as a child: the whole record fails and nothing reaches the parent.
  TBytes nested;
  nested.Guid(rrtest::kGroupKind);
  ChildPayload(nested, 2, 1).I32(1).Raw(unknown.Data);
  TRREntityGroupDesc parent;
  TRREntityGroupDesc::StaticClass().Create(&parent);
  gx::TGXMemoryStream s(nested.Data);
  EXPECT_THROW(TRREntityDescription::ReadRecord(&parent, s), EUnknownEntityClass);
  EXPECT_EQ(parent.ChildCount(), 1);

  for (int version : {0, 3, -1}) {
    TBytes b;
    b.Guid(rrtest::kGroupKind);
    ChildPayload(b, version, 1).I32(0);
    try {
      Read(b.Data);
      FAIL() << "version " << version;
    } catch (const EUnknownEntityDescription& e) {
      EXPECT_STREQ(e.what(), "Unsupported description version.");
    }
  }
}

TEST(EntityDescriptionRecord, TruncatedAndAbsurdRecordsFailCleanly) {
  std::vector<uint8_t> full = GroupRecord(2);
  for (size_t n = 0; n < full.size(); ++n) {
    std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(n));
    gx::TGXMemoryStream s(cut);
    EXPECT_THROW(TRREntityDescription::ReadRecord(s), gx::EGXStreamReadError) << "cut at " << n;
  }

  // Counts and lengths beyond the remaining bytes are refused before anything is allocated.
  for (int64_t count : {int64_t(0x7FFFFFFF), int64_t(-1), int64_t(1)}) {
    TBytes b;
    b.Guid(rrtest::kGroupKind);
    ChildPayload(b, 2, 1).I32(count);
    gx::TGXMemoryStream s(b.Data);
    EXPECT_THROW(TRREntityDescription::ReadRecord(s), gx::EGXStreamReadError) << count;
  }
  TBytes longPath;
  longPath.Guid(rrtest::kGroupKind).I32(2).Guid(kAsset).I32(0x7FFFFFF0);
  gx::TGXMemoryStream s(longPath.Data);
  EXPECT_THROW(TRREntityDescription::ReadRecord(s), gx::EGXStreamReadError);
}

TEST(EntityDescriptionRecord, NestingIsLimited) {
  auto chain = [](int depth) {
    auto root = TRREntityGroupDesc::StaticClass().Create();
    TRREntityDescription* d = root.get();
    for (int i = 0; i < depth; ++i) d = TRREntityGroupDesc::StaticClass().Create(d);
    return RecordOf(*root);
  };
  auto ok = Read(chain(RRMaxDescriptionDepth));
  EXPECT_EQ(ok->ChildCount(), 1);
  gx::TGXMemoryStream deep(chain(RRMaxDescriptionDepth + 1));
  EXPECT_THROW(TRREntityDescription::ReadRecord(deep), gx::EGXException);
}

TEST(EntityDescriptionTree, CloneIsAnIndependentDeepCopy) {
  auto original = MakeGroup();
  TRREntityGroupDesc::StaticClass().Create(original->Child(1))->SetID(10);
  TRREntityGroupDesc holder;
  TRREntityDescription* inTree = holder.AddChild(std::move(original));

  auto copy = inTree->Clone();
  EXPECT_EQ(copy->Parent(), nullptr);
  EXPECT_EQ(RecordOf(*copy), RecordOf(*inTree));
  ASSERT_EQ(copy->Child(1)->ChildCount(), 1);
  EXPECT_EQ(copy->Child(1)->Child(0)->ID(), 10);
  EXPECT_EQ(copy->Child(1)->Child(0)->Parent(), copy->Child(1));

  copy->Child(1)->Child(0)->SetID(99);
  copy->Name().SetText(0x0407, "Kopie");
  copy->ClearChildren();
  EXPECT_EQ(inTree->Child(1)->Child(0)->ID(), 10);
  EXPECT_EQ(inTree->Name().GetText(), "Gruppe");
  EXPECT_EQ(inTree->ChildCount(), 2);
}

TEST(EntityDescriptionTree, CollectByClassRemoveFixedAndOwnership) {
  rrtest::RegisterTestKinds();
  // root: [A model: [B light]], [C group: [D model], [E light: [F model]]]
  TRREntityGroupDesc root;
  auto* a = rrtest::TModelTestDesc::StaticClass().Create(&root);
  auto* b = rrtest::TLightTestDesc::StaticClass().Create(a);
  auto* c = TRREntityGroupDesc::StaticClass().Create(&root);
  auto* d = rrtest::TModelTestDesc::StaticClass().Create(c);
  auto* e = rrtest::TLightTestDesc::StaticClass().Create(c);
  auto* f = rrtest::TModelTestDesc::StaticClass().Create(e);

  TRREntityDescriptionList models(false);
  root.CollectByClass(rrtest::TModelTestDesc::StaticClass(), models);
  EXPECT_EQ(std::vector<TRREntityDescription*>(models.begin(), models.end()),
            (std::vector<TRREntityDescription*>{a, b, d, e, f}));
  TRREntityDescriptionList all(false);
  root.CollectByClass(TRREntityDescription::StaticClass(), all);
  EXPECT_EQ(all.Count(), 6);
  EXPECT_EQ(all.IndexOf(c), 2);

  root.RemoveFixed();  // b and e (with f) go
  TRREntityDescriptionList left(false);
  root.CollectByClass(TRREntityDescription::StaticClass(), left);
  EXPECT_EQ(std::vector<TRREntityDescription*>(left.begin(), left.end()),
            (std::vector<TRREntityDescription*>{a, c, d}));

  // A description cannot become its own descendant, nor be owned twice.
  auto detached = c->ExtractChild(d);
  ASSERT_EQ(detached.get(), d);
  EXPECT_EQ(d->Parent(), nullptr);
  EXPECT_EQ(c->ExtractChild(d), nullptr);
  EXPECT_THROW(d->AddChild(std::move(detached)), gx::EInvalidParameter);
  ASSERT_EQ(detached.get(), d);  // still the caller's
  c->AddChild(std::move(detached));
  auto* g = rrtest::TModelTestDesc::StaticClass().Create(d);
  auto dOwned = c->ExtractChild(d);
  EXPECT_THROW(g->AddChild(std::move(dOwned)), gx::EInvalidParameter);  // its own descendant
  EXPECT_EQ(g->Parent(), d);

  // An owning list frees its items; a plain list only refers to them.
  TRREntityDescriptionList owning(true);
  owning.Add(std::move(dOwned));
  EXPECT_THROW(owning.Add(a), gx::EInvalidParameter);  // a belongs to root
  EXPECT_THROW(models.Add(rrtest::TModelTestDesc::StaticClass().Create()), gx::EInvalidCall);
}

TEST(EntityKindRegistry, DuplicatesUnknownClassesAndExactLookups) {
  rrtest::RegisterTestKinds();
  TRRRegisteredEntityList list;
  auto groupKind = gx::TGXGuid::Parse(rrtest::kGroupKind);
  list.Register(groupKind, TRREntityGroup::StaticClass(), TRREntityGroupDesc::StaticClass());
  try {
    list.Register(groupKind, rrtest::TModelTestEntity::StaticClass(), rrtest::TModelTestDesc::StaticClass());
    FAIL() << "no error";
  } catch (const EDuplicateRegisteredEntity& e) {
    EXPECT_STREQ(e.what(), "Duplicate registered entity.");
  }
  EXPECT_EQ(list.Count(), 1);

  // The program's registry: the group kind, exact class lookups, the first kind of a class.
  auto& global = RegisteredEntities();
  ASSERT_NE(global.FindByKind(groupKind), nullptr);
  EXPECT_EQ(global.FindByKind(groupKind)->DescriptionClass, &TRREntityGroupDesc::StaticClass());
  EXPECT_EQ(global.FindByDescriptionClass(TRREntityGroupDesc::StaticClass())->EntityClass,
            &TRREntityGroup::StaticClass());
  EXPECT_EQ(global.FindByDescriptionClass(TRREntityDescription::StaticClass()), nullptr);
  EXPECT_EQ(global.FindByEntityClass(rrtest::TModelTestEntity::StaticClass())->DescriptionClass,
            &rrtest::TModelTestDesc::StaticClass());
  EXPECT_EQ(global.FindByDescriptionClass(rrtest::TLightTestDesc::StaticClass())->Kind,
            gx::TGXGuid::Parse(rrtest::kLightTestKind));
  EXPECT_EQ(global.FindDescriptionClass("TRREntityGroupDesc"), &TRREntityGroupDesc::StaticClass());
  // The program's light kind is registered under its own class name.
  EXPECT_EQ(global.FindDescriptionClass("TRRLightDesc"), &TRRLightDesc::StaticClass());

  // A class without kind cannot be written, anywhere in a tree.
  TRREntityGroupDesc root;
  rrtest::TUnregisteredDesc::StaticClass().Create(&root);
  gx::TGXMemoryStream s;
  try {
    TRREntityDescription::WriteRecord(root, s);
    FAIL() << "no error";
  } catch (const EUnknownEntityClass& e) {
    EXPECT_STREQ(e.what(), "Unknown description class: TUnregisteredDesc");
  }
  EXPECT_THROW(root.Clone(), EUnknownEntityClass);
}

TEST(EntityDescriptionFields, DefaultsAndPropertyAccess) {
  TRREntityDescription d;
  EXPECT_EQ(d.Rotation(), gx::TGXQuaternion(0, 0, 0, 1));
  EXPECT_EQ(d.LinkRotation(), gx::TGXQuaternion(0, 0, 0, 1));
  EXPECT_EQ(d.Scale(), gx::TGXVector3(1, 1, 1));
  EXPECT_TRUE(d.Visible());

  // The link target is an ID reference that renumbering can rewrite through the accessor.
  d.SetLinkTarget(12);
  TRRPropertyAccessList list;
  d.GetPropertyAccess(list);
  auto ids = list.OfType<TRREntityIDRefAccess>();
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_EQ(ids[0]->Value(), 12);
  ids[0]->SetValue(40);
  EXPECT_EQ(d.LinkTarget(), 40);
  auto taken = list.Extract(0);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(static_cast<TRREntityIDRefAccess*>(taken.get())->Value(), 40);

}

TEST(AssetFileNames, EqualityEffectiveNameAndStreamForm) {
  TRRAssetFileName disk("C:\\Modelle\\Haus.gxmodel");
  TRRAssetFileName packed("x", "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Haus.gxmodel");
  EXPECT_EQ(disk.EffectiveFileName(), "C:\\Modelle\\Haus.gxmodel");
  EXPECT_EQ(packed.EffectiveFileName(), "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Haus.gxmodel");

  EXPECT_TRUE(disk.SameFile(TRRAssetFileName("c:\\MODELLE\\haus.GXMODEL")));
  EXPECT_TRUE(packed.SameFile(TRRAssetFileName("y", "{17a372d8-e05d-4119-ae3f-8d4f79d1d0d9}\\HAUS.gxmodel")));
  EXPECT_FALSE(packed.SameFile(TRRAssetFileName("y", "Anderes.gxmodel")));
  EXPECT_FALSE(packed.SameFile(TRRAssetFileName("y")));
  EXPECT_TRUE(packed.SameFile(TRRAssetFileName("X", "Anderes.gxmodel")));  // same first string
  EXPECT_TRUE(TRRAssetFileName().SameFile(TRRAssetFileName()));

  TRRModelFileName model{packed, {TRRAssetFileName("Dach.dds"), TRRAssetFileName("Wand.dds")}};
  gx::TGXMemoryStream s;
  model.WriteToStream(s);
  TBytes expected;
  expected.Str("x").Str("{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Haus.gxmodel").I32(2);
  expected.Str("Dach.dds").Str("").Str("Wand.dds").Str("");
  EXPECT_EQ(s.Data(), expected.Data);

  s.SetPosition(0);
  TRRModelFileName back;
  back.ReadFromStream(s);
  EXPECT_TRUE(back.SameFile(model));
  back.Companions.pop_back();
  EXPECT_FALSE(back.SameFile(model));

  // A companion count the remaining bytes cannot hold.
  TBytes bad;
  bad.Str("a").Str("").I32(1000);
  gx::TGXMemoryStream badStream(bad.Data);
  TRRModelFileName untouched{TRRAssetFileName("keep"), {}};
  EXPECT_THROW(untouched.ReadFromStream(badStream), gx::EGXStreamReadError);
  EXPECT_EQ(untouched.Model.FileName, "keep");
}
