#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/GXMethodList.h"

using namespace gx;

namespace {
struct TSender {};

struct Recorder {
  std::vector<std::string>* Log;
  std::string Name;
  void OnEvent(TSender*) { Log->push_back(Name); }
  void OnOther(TSender*) { Log->push_back(Name + "'"); }
};

// Owns a list whose handler may free the owner.
struct Owner {
  TNotifyEventList<TSender> Event;
};
}  // namespace

TEST(GXMethodList, IdentityIsCodeAndData) {
  std::vector<std::string> log;
  Recorder a{&log, "a"}, b{&log, "b"};
  TNotifyEventList<TSender> list;
  EXPECT_EQ(list.Add({&a, &Recorder::OnEvent}), 0);
  EXPECT_EQ(list.Add({&b, &Recorder::OnEvent}), 1);
  EXPECT_EQ(list.Add({&a, &Recorder::OnOther}), 2);
  EXPECT_EQ(list.IndexOf({&b, &Recorder::OnEvent}), 1);
  EXPECT_EQ(list.IndexOf(TGXMethodKey::Of(&b, &Recorder::OnOther)), -1);

  int calls = 0;
  static int tag;
  list.Add({TGXMethodKey(&tag, nullptr), [&calls](TSender*) { ++calls; }});
  list.Notify(nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "a'"}));
  EXPECT_EQ(calls, 1);

  EXPECT_EQ(list.Remove(TGXMethodKey(&tag, nullptr)), 3);
  EXPECT_EQ(list.Remove({&a, &Recorder::OnEvent}), 0);
  EXPECT_EQ(list.Remove({&a, &Recorder::OnEvent}), -1);
  EXPECT_EQ(list.Count(), 2);
}

TEST(GXMethodList, DuplicatesModes) {
  std::vector<std::string> log;
  Recorder a{&log, "a"};
  TNotifyEventList<TSender> accept;  // the default
  EXPECT_EQ(accept.Duplicates(), TGXDuplicates::Accept);
  accept.Add({&a, &Recorder::OnEvent});
  EXPECT_EQ(accept.Add({&a, &Recorder::OnEvent}), 1);
  accept.Notify(nullptr);
  EXPECT_EQ(log.size(), 2u);

  TNotifyEventList<TSender> ignore(TGXDuplicates::Ignore);
  ignore.Add({&a, &Recorder::OnEvent});
  EXPECT_EQ(ignore.Add({&a, &Recorder::OnEvent}), -1);
  EXPECT_EQ(ignore.Count(), 1);

  TNotifyEventList<TSender> error(TGXDuplicates::Error);
  error.Add({&a, &Recorder::OnEvent});
  try {
    error.Add({&a, &Recorder::OnEvent});
    FAIL();
  } catch (const EGXListError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Liste gestattet keine doppelten Einträge ($0", 0), 0u) << e.what();
  }
  EXPECT_EQ(error.Count(), 1);
  EXPECT_THROW(error.Key(1), EGXListError);
}

TEST(GXMethodList, ChangesDuringNotify) {
  std::vector<std::string> log;
  Recorder b{&log, "b"}, c{&log, "c"};
  TNotifyEventList<TSender> list;
  static int remover, adder, self;
  list.Add({TGXMethodKey(&remover, nullptr), [&](TSender*) {
              log.push_back("remove b");
              list.Remove({&b, &Recorder::OnEvent});
            }});
  list.Add({&b, &Recorder::OnEvent});
  list.Add({TGXMethodKey(&adder, nullptr), [&](TSender*) {
              log.push_back("add c");
              list.Add({&c, &Recorder::OnEvent});
            }});
  list.Add({TGXMethodKey(&self, nullptr), [&](TSender*) {
              log.push_back("self");
              list.Remove(TGXMethodKey(&self, nullptr));  // its own call must finish safely
              log.push_back("self done");
            }});
  list.Notify(nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"remove b", "add c", "self", "self done"}));

  // Removing and re-adding a handler during a notification is a new registration: not called.
  log.clear();
  TNotifyEventList<TSender> again;
  bool once = true;
  again.Add({TGXMethodKey(&remover, nullptr), [&](TSender*) {
               if (!once) return;
               once = false;
               again.Remove({&b, &Recorder::OnEvent});
               again.Add({&b, &Recorder::OnEvent});
             }});
  again.Add({&b, &Recorder::OnEvent});
  again.Notify(nullptr);
  EXPECT_TRUE(log.empty());
  again.Notify(nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"b"}));
}

TEST(GXMethodList, HandlerThatFreesTheOwnerEndsTheNotification) {
  std::vector<std::string> log;
  Recorder later{&log, "later"};
  auto* owner = new Owner;
  static int freer;
  owner->Event.Add({TGXMethodKey(&freer, nullptr), [&log, owner](TSender*) {
                      log.push_back("free");
                      delete owner;  // the list goes with it
                    }});
  owner->Event.Add({&later, &Recorder::OnEvent});
  owner->Event.Notify(nullptr);  // AddressSanitizer reports any touch of the freed list
  EXPECT_EQ(log, (std::vector<std::string>{"free"}));
}

TEST(GXMethodList, CopiesAreIndependent) {
  std::vector<std::string> log;
  Recorder a{&log, "a"}, b{&log, "b"};
  TNotifyEventList<TSender> list;
  list.Add({&a, &Recorder::OnEvent});
  TNotifyEventList<TSender> copy(list);
  copy.Add({&b, &Recorder::OnEvent});
  list.Remove({&a, &Recorder::OnEvent});
  copy.Notify(nullptr);
  list.Notify(nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
}
