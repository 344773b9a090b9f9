// The automation object on a real session bus (the test runs under dbus-run-session): the server
// and its clients are connections of this one process, the server answering from the event loop
// the clients' blocking calls run. Covers the introspection document, calls with and without a
// layout, error replies, signals to every listening client, units per client, a vanished
// client's object, the end after the last client and a second server refused.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QObject>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/entities/RRSignal.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "automation/VMPControl.h"
#include "automation/VMPControlServer.h"
#include "automation/Velmora_TLB.h"
#include "engine/core/GXFileSystem.h"
#include "engine/render/GXScene.h"

using namespace rr;
namespace fsys = std::filesystem;

namespace {

// Counts the signals of the events interface one client connection receives.
class TListener : public QObject {
  Q_OBJECT
 public:
  QStringList Seen;
 public slots:
  void OnSignal(const QDBusMessage& m) {
    QStringList parts{m.member()};
    for (const QVariant& a : m.arguments()) parts << a.toString();
    Seen << parts.join(' ');
  }
};

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "rrautomation_dbus_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// Runs the event loop until done() holds or two seconds pass.
bool WaitFor(const std::function<bool()>& done) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

struct TBus : ::testing::Test {
  TRRScriptedUIService Ui;
  gx::TGXFileSystem Fs;
  std::unique_ptr<TRRProject> Project;
  TRRPlainAutomationHost Host;
  std::unique_ptr<TVMPControlServer> Server;
  TRRSignal* Signal = nullptr;
  int Connections = 0;

  void SetUp() override {
    App();
    TRRProjectServices s;
    s.UI = &Ui;
    s.FileSystem = &Fs;
    Project = std::make_unique<TRRProject>(std::move(s));
    Host.SetProject(Project.get());
    Server = std::make_unique<TVMPControlServer>(Host);
    std::string problem;
    ASSERT_TRUE(Server->Start(problem)) << problem;
  }
  void TearDown() override {
    Server.reset();
    Project.reset();
  }
  void OpenLayout() {
    ASSERT_TRUE(Project->NewProject({}));
    TRREntityManager& m = *Project->Manager();
    TRRSignalDesc sd;
    sd.Name().SetUserText("Signal 1");
    sd.SetID(m.NextID());
    m.ReserveIDs(1);
    Signal = static_cast<TRRSignal*>(m.CreateEntity(nullptr, sd));
    TRRTrackDesc td(TRRTrackType::Straight);
    td.Name().SetUserText("Gerade 1");
    td.SetID(m.NextID());
    m.ReserveIDs(1);
    td.SetPosition({100, 20, 300});
    auto r = std::make_unique<TRRTrackRouteDesc>();
    r->L1 = 100;
    td.AddRoute(std::move(r));
    m.CreateEntity(nullptr, td);
    Project->Scene()->Root()->Update(false);
  }
  QDBusConnection NewClient() {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                         QString("client-%1-%2").arg(getpid()).arg(++Connections));
  }
  static QDBusMessage Call(QDBusConnection& client, const QString& method, const QVariantList& args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(RRAutomationBusName, RRAutomationObjectPath,
                                                    RRAutomationInterface, method);
    m.setArguments(args);
    return client.call(m, QDBus::BlockWithGui, 5000);
  }
  static QVariant One(QDBusConnection& client, const QString& method, const QVariantList& args = {}) {
    const QDBusMessage reply = Call(client, method, args);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
        << method.toStdString() << ": " << reply.errorMessage().toStdString();
    return reply.arguments().value(0);
  }
};

}  // namespace

TEST_F(TBus, IntrospectionAnswersTheCommittedDocument) {
  QDBusConnection client = NewClient();
  QDBusMessage m = QDBusMessage::createMethodCall(RRAutomationBusName, RRAutomationObjectPath,
                                                  "org.freedesktop.DBus.Introspectable", "Introspect");
  const QDBusMessage reply = client.call(m, QDBus::BlockWithGui, 5000);
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/automation/Velmora.IVMPControl.xml");
  std::stringstream committed;
  committed << in.rdbuf();
  EXPECT_EQ(reply.arguments().value(0).toString().toStdString(), committed.str());
}

TEST_F(TBus, CallsAnswerClearedValuesWithoutALayoutAndRealOnesWithIt) {
  QDBusConnection client = NewClient();
  // No layout: lists are empty arrays, numbers 0; the program path and units need no layout.
  EXPECT_EQ(One(client, "GetEntities", {0}).toStringList(), QStringList());
  EXPECT_EQ(One(client, "GetSignalState", {"Signal 1"}).toInt(), 0);
  EXPECT_EQ(One(client, "GetLengthUnit").toInt(), 1);
  EXPECT_FALSE(One(client, "GetAppFileName").toString().isEmpty());

  OpenLayout();
  EXPECT_EQ(One(client, "GetSignals").toStringList(), QStringList{"Signal 1"});
  EXPECT_EQ(One(client, "GetTracks", {0}).toStringList(), QStringList{"Gerade 1"});
  EXPECT_EQ(One(client, "GetEntityType", {"gerade 1"}).toInt(), 1);
  // Vectors travel as three doubles, the client's Z being the height; in metres after the switch.
  Call(client, "SetLengthUnit", {3});
  const QDBusMessage pos = Call(client, "GetPosition", {"Gerade 1"});
  ASSERT_EQ(pos.signature(), "ad");
  const QList<double> p = qdbus_cast<QList<double>>(pos.arguments().value(0));
  ASSERT_EQ(p.size(), 3);
  EXPECT_NEAR(p[0], 1.0, 1e-4);
  EXPECT_NEAR(p[1], 3.0, 1e-4);
  EXPECT_NEAR(p[2], 0.2, 1e-4);
  // Non-finite numbers are ignored; the optional argument of ResetAnimation may be left out.
  Call(client, "SetPosition", {"Gerade 1", qQNaN(), 0.0, 0.0});
  EXPECT_NEAR(qdbus_cast<QList<double>>(Call(client, "GetPosition", {"Gerade 1"}).arguments().value(0))[0],
              1.0, 1e-4);
  EXPECT_EQ(Call(client, "ResetAnimation", {"x"}).type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(Call(client, "ResetAnimation", {"x", true}).type(), QDBusMessage::ReplyMessage);
}

TEST_F(TBus, FailuresAreOneErrorReplyWithTheProgramsMessage) {
  OpenLayout();
  QDBusConnection client = NewClient();
  const std::string dir =
      (fsys::temp_directory_path() / ("velmora-bus-" + std::to_string(getpid()))).string();
  const QDBusMessage failed =
      Call(client, "SaveProject", {QString::fromStdString(dir + "/fehlt/Anlage.vmp")});
  EXPECT_EQ(failed.type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(failed.errorName(), RRAutomationErrorName);
  EXPECT_FALSE(failed.errorMessage().isEmpty());
  // Busy: loads and saves are refused, reads go on.
  Host.SetBusy(true);
  const QDBusMessage busy = Call(client, "LoadProject", {"x.vmp"});
  EXPECT_EQ(busy.errorMessage().toStdString(), RRTextAutomationBusy);
  EXPECT_EQ(One(client, "GetSignals").toStringList(), QStringList{"Signal 1"});
  Host.SetBusy(false);
  // Unknown members and wrong argument types are the bus's usual error.
  EXPECT_EQ(Call(client, "GetSignals", {1}).errorName(), "org.freedesktop.DBus.Error.UnknownMethod");
  EXPECT_EQ(Call(client, "Nothing").errorName(), "org.freedesktop.DBus.Error.UnknownMethod");
}

TEST_F(TBus, EveryListeningClientHearsEventsAndKeepsItsOwnUnits) {
  OpenLayout();
  QDBusConnection first = NewClient(), second = NewClient();
  TListener a, b;
  for (auto [client, listener] : {std::pair{&first, &a}, std::pair{&second, &b}})
    ASSERT_TRUE(client->connect(RRAutomationBusName, RRAutomationObjectPath, RRAutomationEventsInterface,
                                "SignalStateChanged", listener, SLOT(OnSignal(QDBusMessage))));
  Signal->SetSignalState(RRSignalOpen);
  Call(first, "SetSignalState", {"Signal 1", 0});
  ASSERT_TRUE(WaitFor([&] { return a.Seen.size() == 1 && b.Seen.size() == 1; }));
  EXPECT_EQ(a.Seen, QStringList{"SignalStateChanged Signal 1 1"});
  EXPECT_EQ(b.Seen, a.Seen);
  // A change the layout makes itself reaches them too.
  Signal->SetSignalState(RRSignalOpen);
  ASSERT_TRUE(WaitFor([&] { return b.Seen.size() == 2; }));
  EXPECT_EQ(b.Seen[1], "SignalStateChanged Signal 1 0");

  Call(first, "SetLengthUnit", {0});
  Call(second, "SetAngularUnit", {0});
  EXPECT_EQ(One(first, "GetLengthUnit").toInt(), 0);
  EXPECT_EQ(One(second, "GetLengthUnit").toInt(), 1);
  EXPECT_EQ(One(first, "GetAngularUnit").toInt(), 1);
  EXPECT_EQ(Server->ClientCount(), 2);
}

TEST_F(TBus, AVanishedClientsObjectIsFreedAndTheLastOneEndsABusStartedProgram) {
  int ended = 0;
  Server->SetLastClientGone([&] { ++ended; });
  // A connection closes when its last handle is gone.
  auto first = std::make_unique<QDBusConnection>(NewClient());
  auto second = std::make_unique<QDBusConnection>(NewClient());
  Call(*first, "SetLengthUnit", {3});
  Call(*second, "GetLengthUnit");
  ASSERT_EQ(Server->ClientCount(), 2);
  const QString firstName = first->name(), secondName = second->name();
  first.reset();
  QDBusConnection::disconnectFromBus(firstName);
  ASSERT_TRUE(WaitFor([&] { return Server->ClientCount() == 1; }));
  EXPECT_EQ(ended, 0);
  second.reset();
  QDBusConnection::disconnectFromBus(secondName);
  ASSERT_TRUE(WaitFor([&] { return ended == 1; }));
  // A client that comes back starts with the initial units again.
  QDBusConnection again = NewClient();
  EXPECT_EQ(One(again, "GetLengthUnit").toInt(), 1);
}

TEST_F(TBus, ASecondServerIsRefusedWithAGermanReason) {
  TRRPlainAutomationHost other;
  TVMPControlServer second(other,
                           QDBusConnection::connectToBus(QDBusConnection::SessionBus, "second-server"));
  std::string problem;
  EXPECT_FALSE(second.Start(problem));
  EXPECT_NE(problem.find("schon vergeben"), std::string::npos) << problem;
  // The first still answers.
  QDBusConnection client = NewClient();
  EXPECT_EQ(One(client, "GetLengthUnit").toInt(), 1);
}

#include "VMPControlServerTest.moc"
