#include "app/entities/RREntity_10.h"

#include <gtest/gtest.h>

#include "app/entities/RREntityGroup.h"
#include "app/entities/RRModel.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;
using rrtest::TBytes;

namespace {

// Checksums of the stored names, computed independently (CRC-32 table, start 0, no inversion).
constexpr uint32_t kHashStaticGroup = 0x00A07E7B;      // "TRRStaticGroup"
constexpr uint32_t kHashIDProperty = 0x6D68629A;       // "TRREntityIDProperty"
constexpr uint32_t kHashStringProperty = 0x7AE0A827;   // "TRREntityStringProperty"

uint32_t Hash(const char* name) { return gx::GXTextChecksum(name); }

TBytes& Property(TBytes& b, uint32_t typeHash, const std::string& name, const std::vector<uint8_t>& data) {
  return b.I32(typeHash).Str(name).I32(static_cast<int64_t>(data.size())).Raw(data);
}

std::vector<uint8_t> Floats(std::initializer_list<float> values) {
  TBytes b;
  for (float f : values) b.F32(f);
  return b.Data;
}

// A static group (ID 5, "Weiche links", locked, placed, a Scale of the wrong type) with one
// model child that carries a link reference.
std::vector<uint8_t> GroupNode() {
  TBytes b;
  b.I32(kHashStaticGroup).I32(7);
  Property(b, Hash("TRREntityIntegerProperty"), "Unrelated", TBytes().I32(77).Data);
  Property(b, kHashIDProperty, "ID", TBytes().I32(5).Data);
  Property(b, kHashStringProperty, "Name", {'W', 'e', 'i', 'c', 'h', 'e', ' ', 0xE4, 0});
  Property(b, Hash("TRREntityBooleanProperty"), "Locked", {1});
  Property(b, Hash("TRREntityVector3Property"), "Position", Floats({1, 2, 3}));
  Property(b, Hash("TRREntityQuaternionProperty"), "Rotation", Floats({0, 1, 0, 0}));
  Property(b, Hash("TRREntityIntegerProperty"), "Scale", TBytes().I32(2).Data);
  b.I32(1);
  b.I32(Hash("TRRModel")).I32(2);
  Property(b, Hash("TRREntityIDRefProperty"), "LinkID", TBytes().I32(5).Data);
  Property(b, Hash("TRREntityFilenameProperty"), "ModelName", {'a', '.', 'x', 0});
  b.I32(0);
  return b.Data;
}

std::unique_ptr<TRREntityDescription_10> ReadBag(const std::vector<uint8_t>& bytes) {
  gx::TGXMemoryStream s(bytes);
  return TRREntityDescription_10::ReadFromStream(s);
}

}  // namespace

TEST(OldPropertyBag, ReadsNodesByHashedNamesIntoGroupDescriptions) {
  auto bag = ReadBag(GroupNode());
  EXPECT_EQ(bag->ClassName(), "TRREntityGroup");  // the static group is reported as a group
  EXPECT_EQ(bag->DescriptionClass(), &TRREntityGroupDesc::StaticClass());
  ASSERT_EQ(bag->Properties().size(), 7u);
  ASSERT_EQ(bag->ChildCount(), 1);
  const TRREntityDescription_10* child = bag->Child(0);
  EXPECT_EQ(child->ClassName(), "TRRModel");
  EXPECT_EQ(child->DescriptionClassName(), "TRRModelDesc");
  EXPECT_EQ(child->DescriptionClass(), &TRRModelDesc::StaticClass());
  int32_t link = 0;
  EXPECT_TRUE(child->GetIDRef("LinkID", link));
  EXPECT_EQ(link, 5);
  std::string file;
  EXPECT_FALSE(child->GetString("ModelName", file));  // a file name, not a string
  EXPECT_TRUE(child->GetFilename("ModelName", file));
  EXPECT_EQ(file, "a.x");

  TRREntityGroupDesc d;
  d.SetScale({3, 3, 3});
  std::string modelFile = "stale";
  d.LoadFromPropertyBag(*bag, modelFile);
  EXPECT_EQ(modelFile, "");
  EXPECT_EQ(d.ID(), 5);
  EXPECT_EQ(d.Name().GetText(0x0407, 0x0407), "Weiche \xC3\xA4");
  EXPECT_TRUE(d.Locked());
  EXPECT_EQ(d.Position(), gx::TGXVector3(1, 2, 3));
  EXPECT_EQ(d.Rotation(), gx::TGXQuaternion(0, 1, 0, 0));
  EXPECT_EQ(d.Scale(), gx::TGXVector3(3, 3, 3));  // wrong type: unchanged
  EXPECT_EQ(d.Pivot(), gx::TGXVector3(0, 0, 0));  // missing: unchanged
}

TEST(OldPropertyBag, NamesWithoutDescriptionAndShortData) {
  TBytes b;
  b.I32(Hash("TRRCameraTarget")).I32(2);
  Property(b, Hash("TRREntityVector3Property"), "Pivot", Floats({1, 2}));  // too short
  Property(b, kHashStringProperty, "Name", {'o', 'h', 'n', 'e'});          // no zero byte
  b.I32(0);
  auto bag = ReadBag(b.Data);
  EXPECT_EQ(bag->DescriptionClassName(), "");
  EXPECT_EQ(bag->DescriptionClass(), nullptr);
  gx::TGXVector3 pivot{9, 9, 9};
  EXPECT_FALSE(bag->GetVector3("Pivot", pivot));
  EXPECT_EQ(pivot, gx::TGXVector3(9, 9, 9));
  std::string name;
  EXPECT_TRUE(bag->GetString("Name", name));
  EXPECT_EQ(name, "ohne");
}

TEST(OldPropertyBag, UnknownHashesAndAbsurdSizesAreRefused) {
  auto expectCreateFromStream = [](const std::vector<uint8_t>& bytes) {
    try {
      ReadBag(bytes);
      ADD_FAILURE() << "no error";
    } catch (const gx::EGXException& e) {
      EXPECT_NE(std::string(e.what()).find("CreateFromStream"), std::string::npos) << e.what();
    }
  };
  expectCreateFromStream(TBytes().I32(Hash("TRRUnknown")).I32(0).I32(0).Data);
  TBytes badType;
  badType.I32(kHashStaticGroup).I32(1);
  Property(badType, Hash("TRREntityColorProperty"), "Color", {1, 2, 3});
  badType.I32(0);
  expectCreateFromStream(badType.Data);
  // A bad child: the node built so far is freed (the sanitizer build checks for leaks).
  TBytes badChild;
  badChild.I32(kHashStaticGroup).I32(0).I32(1).I32(Hash("TRRNothing")).I32(0).I32(0);
  expectCreateFromStream(badChild.Data);

  TBytes hugeSize;
  hugeSize.I32(kHashStaticGroup).I32(1).I32(kHashIDProperty).Str("ID").I32(0x7FFFFFFF);
  EXPECT_THROW(ReadBag(hugeSize.Data), gx::EGXStreamReadError);
  TBytes hugeCount;
  hugeCount.I32(kHashStaticGroup).I32(0x10000000).I32(0);
  EXPECT_THROW(ReadBag(hugeCount.Data), gx::EGXStreamReadError);

  std::vector<uint8_t> full = GroupNode();
  for (size_t n = 0; n < full.size(); ++n)
    EXPECT_THROW(ReadBag(std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(n))),
                 gx::EGXStreamReadError)
        << "cut at " << n;
}
