#include "engine/core/GXResourceManager.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace gx;

namespace {

constexpr TGXGuid KindA{0x11111111, 0x1111, 0x1111, {1, 1, 1, 1, 1, 1, 1, 1}};
constexpr TGXGuid KindB{0x22222222, 0x2222, 0x2222, {2, 2, 2, 2, 2, 2, 2, 2}};

struct TTestResource : TGXResource {
  TTestResource(TGXWeakRef<TGXResource>* cell, const std::string& name, bool manual, int* alive)
      : TGXResource(cell, name, manual), Alive(alive) {
    ++*Alive;
  }
  ~TTestResource() override { --*Alive; }
  void DoLoad() override {
    ++Loads;
    if (!GetDataLoader()) throw std::runtime_error("kein Lader");
    auto data = GetDataLoader()->LoadData();
    Bytes = data->Size();
  }
  int* Alive;
  int Loads = 0;
  int64_t Bytes = -1;
};

struct TTestFactory : TGXResourceFactory {
  TTestFactory(TGXResourceManager* m, TGXGuid kind) : TGXResourceFactory(m), Kind(kind) {}
  TGXGuid GetResourceKind() const override { return Kind; }
  IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override {
    ++Created;
    return IGXResource(new TTestResource(cell, name, manual, &Alive));
  }
  TGXGuid Kind;
  int Alive = 0;
  int Created = 0;
};

struct TBytesLoader : TGXDataLoader {
  std::unique_ptr<TGXMemoryStream> LoadData() override {
    return std::make_unique<TGXMemoryStream>(std::vector<uint8_t>{1, 2, 3});
  }
};

TTestResource* AsTest(const IGXResource& r) { return static_cast<TTestResource*>(r.Get()); }

}  // namespace

TEST(GXResourceManager, SharedResourcesLiveAsLongAsTheirUsersAndSlotsAreReused) {
  TGXResourceManager manager;
  TTestFactory factory(&manager, KindA);

  IGXResource a = manager.GetResource(KindA, "Textures\\Holz.dds");
  IGXResource same = manager.GetResource(KindA, "Textures\\Holz.dds", false, true);
  IGXResource other = manager.GetResource(KindA, "Textures\\Stein.dds");
  EXPECT_EQ(a, same);
  EXPECT_FALSE(a->IsManual());  // the manual flag of a later request does not matter
  EXPECT_NE(a, other);
  EXPECT_EQ(factory.SlotCount(), 2);

  a.Reset();
  EXPECT_EQ(factory.Alive, 2);
  same.Reset();
  EXPECT_EQ(factory.Alive, 1);
  EXPECT_EQ(factory.LiveCount(), 1);

  IGXResource again = manager.GetResource(KindA, "Textures\\Holz.dds");
  EXPECT_TRUE(again->IsUnloaded());
  EXPECT_EQ(factory.SlotCount(), 2);  // the freed slot was taken again
  EXPECT_EQ(factory.Created, 3);

  // Unique resources are never shared and never found by name.
  IGXResource u1 = manager.GetResource(KindA, "Textures\\Stein.dds", true);
  IGXResource u2 = manager.GetResource(KindA, "Textures\\Stein.dds", true);
  EXPECT_NE(u1, u2);
  EXPECT_NE(u1, other);
  EXPECT_EQ(manager.GetResource(KindA, "Textures\\Stein.dds"), other);
  EXPECT_EQ(factory.SlotCount(), 2);
}

TEST(GXResourceManager, NamesWithTheSameChecksumStayTwoResources) {
  // Two names the checksum cannot tell apart.
  TGXHashString n1("Textures\\T29685295.dds"), n2("Textures\\T32060020.dds");
  ASSERT_EQ(n1.Hash(), n2.Hash());
  TGXResourceManager manager;
  TTestFactory factory(&manager, KindA);
  IGXResource r1 = manager.GetResource(KindA, n1.Text());
  IGXResource r2 = manager.GetResource(KindA, n2.Text());
  EXPECT_NE(r1, r2);
  EXPECT_TRUE(r1->SameName(n1));
  EXPECT_FALSE(r1->SameName(n2));
}

TEST(GXResourceManager, FactoriesAreAskedLastAnswererFirstAndUnknownKindsAreAnError) {
  TGXResourceManager manager;
  TTestFactory a(&manager, KindA);
  TTestFactory b(&manager, KindB);
  IGXResource r = manager.GetResource(KindB, "x");
  EXPECT_EQ(b.Created, 1);
  EXPECT_EQ(manager.LastFactory(), &b);
  manager.GetResource(KindA, "x");
  EXPECT_EQ(manager.LastFactory(), &a);

  TGXResourceManager other;
  other.RegisterFactory(&b);  // moves the factory
  EXPECT_EQ(manager.FactoryCount(), 1);
  EXPECT_EQ(b.Manager(), &other);
  try {
    manager.GetResource(KindB, "x");
    FAIL() << "no factory makes the kind any more";
  } catch (const EGXNoResourceFactory& e) {
    EXPECT_NE(std::string(e.what()).find("Ressource konnte nicht erzeugt werden, da keine passende Factory zur "
                                          "Verfügung stand."),
              std::string::npos);
  }
}

TEST(GXResourceManager, LoadRunsOnceAndAFailedLoadEndsInADefinedState) {
  TGXResourceManager manager;
  TTestFactory factory(&manager, KindA);
  IGXResource good = manager.GetResource(KindA, "gut");
  good->SetDataLoader(MakeRef<TBytesLoader>());
  good->Load();
  good->Load();
  EXPECT_TRUE(good->IsLoaded());
  EXPECT_EQ(AsTest(good)->Loads, 1);
  EXPECT_EQ(AsTest(good)->Bytes, 3);
  EXPECT_FALSE(good->GetDataLoader());  // released once loaded

  IGXResource bad = manager.GetResource(KindA, "kaputt");
  EXPECT_THROW(bad->Load(), std::runtime_error);
  EXPECT_EQ(bad->GetState(), GXResourceFailed);
  EXPECT_TRUE(bad->IsFailed());
  EXPECT_FALSE(bad->IsLoaded());
  EXPECT_EQ(bad->LoadError(), "kein Lader");
  bad->SetDataLoader(MakeRef<TBytesLoader>());
  bad->Load();  // no second attempt
  EXPECT_EQ(AsTest(bad)->Loads, 1);
}

TEST(GXResourceManager, DestroyListenersAndResourcesOutlivingTheirFactory) {
  TGXResourceManager manager;
  IGXResource survivor;
  int notified = 0;
  std::string seenName;
  struct TWatcher {
    int* Count;
    std::string* Name;
    void Destroyed(TGXResource* r) {
      ++*Count;
      *Name = r->GetName().Text();
    }
  } watcher{&notified, &seenName};
  {
    TTestFactory factory(&manager, KindA);
    IGXResource r = manager.GetResource(KindA, "kurz");
    r->AddDestroyListener({&watcher, &TWatcher::Destroyed});
    r->AddDestroyListener({&watcher, &TWatcher::Destroyed});  // ignored
    r.Reset();
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(seenName, "kurz");
    survivor = manager.GetResource(KindA, "lang");
    survivor->AddDestroyListener({&watcher, &TWatcher::Destroyed});
    // The survivor's counter lives in the factory; keep it valid past the factory.
    static int alive = 0;
    AsTest(survivor)->Alive = &alive;
    ++alive;
  }
  EXPECT_EQ(manager.FactoryCount(), 0);
  survivor.Reset();  // must not touch the freed slot
  EXPECT_EQ(notified, 2);
}
