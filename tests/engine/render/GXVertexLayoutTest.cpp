#include <gtest/gtest.h>

#include "engine/core/GXException.h"
#include "engine/render/GXNullRenderDevice.h"
#include "engine/render/GXVertexLayout.h"

namespace gx {
namespace {

TEST(TGXVertexLayoutTest, OrdersElementsAndComputesOffsetsPerStream) {
  TGXVertexLayoutDecl d;
  d.AddElement(0, GXDeclFloat2, GXUsageTexCoord, 0);
  d.AddElement(1, GXDeclColor, GXUsageColor, 0);
  d.AddElement(0, GXDeclFloat3, GXUsageNormal, 0);
  d.AddElement(0, GXDeclFloat3, GXUsagePosition, 0);
  d.AddElement(0, GXDeclFloat2, GXUsageTexCoord, 1);
  const auto& e = d.Elements();
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[0].Usage, GXUsagePosition);
  EXPECT_EQ(e[0].Offset, 0);
  EXPECT_EQ(e[1].Usage, GXUsageNormal);
  EXPECT_EQ(e[1].Offset, 12);
  EXPECT_EQ(e[2].Offset, 24);
  EXPECT_EQ(e[2].UsageIndex, 0);
  EXPECT_EQ(e[3].UsageIndex, 1);
  EXPECT_EQ(e[3].Offset, 32);
  EXPECT_EQ(e[4].Stream, 1);
  EXPECT_EQ(e[4].Offset, 0);  // a new stream starts at 0
  EXPECT_THROW(d.AddElement(0xFF, GXDeclFloat3, GXUsagePosition, 0), EInvalidParameter);
  EXPECT_THROW(d.AddElement(0, 42, GXUsagePosition, 0), EInvalidParameter);
}

TEST(TGXVertexLayoutTest, EqualLayoutsShareOneDeclaration) {
  int made = 0;
  TGXVertexLayoutFactory factory([&made](std::span<const TGXVertexElement>) {
    return TGXRef<TGXDeviceVertexDeclaration>(new TGXNullVertexDeclaration(std::string("D").append(std::to_string(++made))));
  });
  TGXVertexLayoutDecl a, b, c;
  a.AddElement(0, GXDeclFloat3, GXUsagePosition, 0);
  a.AddElement(0, GXDeclFloat3, GXUsageNormal, 0);
  b.AddElement(0, GXDeclFloat3, GXUsageNormal, 0);  // same elements, other order of adding
  b.AddElement(0, GXDeclFloat3, GXUsagePosition, 0);
  c.AddElement(0, GXDeclFloat3, GXUsagePosition, 0);
  const uint32_t before = c.Checksum();
  c.AddElement(0, GXDeclFloat2, GXUsageNormal, 0);
  EXPECT_NE(c.Checksum(), before);  // recomputed after a change
  EXPECT_EQ(a.Checksum(), b.Checksum());
  EXPECT_EQ(factory.GetLayout(a), factory.GetLayout(b));
  EXPECT_NE(factory.GetLayout(a), factory.GetLayout(c));
  EXPECT_EQ(made, 2);
}

TEST(TGXVertexLayoutTest, InstancedStreamsTakePartInTheChecksumAndNeedAnInstancedCreator) {
  TGXVertexLayoutDecl plain, instanced;
  for (TGXVertexLayoutDecl* d : {&plain, &instanced}) {
    d->AddElement(0, GXDeclFloat3, GXUsagePosition, 0);
    d->AddElement(1, GXDeclFloat4, GXUsageTexCoord, 4);
  }
  const uint32_t before = instanced.Checksum();
  instanced.SetStreamFrequency(1, 1);
  EXPECT_NE(instanced.Checksum(), before);
  EXPECT_EQ(instanced.Frequencies(), (std::vector<uint32_t>{0, 1}));
  instanced.SetStreamFrequency(1, 0);  // back to per vertex: the plain layout again
  EXPECT_TRUE(instanced.Frequencies().empty());
  EXPECT_EQ(instanced.Checksum(), plain.Checksum());
  instanced.SetStreamFrequency(1, 1);
  EXPECT_THROW(instanced.SetStreamFrequency(GXMaxVertexStreams, 1), EInvalidParameter);

  std::vector<uint32_t> seen;
  TGXVertexLayoutFactory factory(
      [&seen](std::span<const TGXVertexElement>, std::span<const uint32_t> frequencies) {
        seen.assign(frequencies.begin(), frequencies.end());
        return TGXRef<TGXDeviceVertexDeclaration>(new TGXNullVertexDeclaration("D", seen));
      });
  const auto first = factory.GetLayout(plain);
  EXPECT_TRUE(seen.empty());
  EXPECT_NE(factory.GetLayout(instanced), first);
  EXPECT_EQ(seen, (std::vector<uint32_t>{0, 1}));
  TGXVertexLayoutFactory plainOnly([](std::span<const TGXVertexElement>) {
    return TGXRef<TGXDeviceVertexDeclaration>(new TGXNullVertexDeclaration("P"));
  });
  EXPECT_NO_THROW(plainOnly.GetLayout(plain));
  EXPECT_THROW(plainOnly.GetLayout(instanced), EInvalidParameter);
}

}  // namespace
}  // namespace gx
