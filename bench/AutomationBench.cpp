// The automation interface on a session bus (run it under dbus-run-session). The server and its
// layout live on a thread of their own, as in the program they live on the frame loop's thread;
// the benchmark's thread is the client.
//   RoundTrip          a blocking call (GetLengthUnit) from a toolkit client, beside PingBaseline:
//                      the bus's own round trip to the same object
//   RoundTripPlain     the same call from a plain client of the bus library (no client thread),
//                      beside PingPlain
//   GetEntities20k     GetEntities(0) over the bus        beside GetEntitiesDirect: the same call in-process
//   EventDelivery      10,000 switchings reach a client in order (items/s = signals/s)
//   FrameSignals40     40 signal changes in one frame step (1,000/s at 25 frames/s) with the server
//                      beside FrameNoServer: the same changes without it

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/entities/RRSignal.h"
#include "automation/VMPControl.h"
#include "automation/VMPControlServer.h"
#include "automation/Velmora_TLB.h"
#include "engine/core/GXFileSystem.h"

#ifdef VELMORA_BENCH_LIBDBUS
#include <dbus/dbus.h>
#endif

using namespace rr;

namespace {

constexpr int kEntities = 20000;

double FrameSeconds();
extern std::vector<double> GNoServerFrames;

// The program's side: project, host and server, made and used on this thread only.
class TServerThread : public QThread {
 public:
  void run() override {
    TRRScriptedUIService ui;
    gx::TGXFileSystem fs;
    TRRProjectServices s;
    s.UI = &ui;
    s.FileSystem = &fs;
    TRRProject project(std::move(s));
    project.NewProject({});
    TRREntityManager& m = *project.Manager();
    for (int i = 0; i < kEntities; ++i) {
      TRRSignalDesc d;
      d.Name().SetUserText("Signal " + std::to_string(i));
      d.SetID(m.NextID());
      m.ReserveIDs(1);
      TRRSignal* signal = static_cast<TRRSignal*>(m.CreateEntity(nullptr, d));
      if (i == 0) First = signal;
    }
    for (int i = 0; i < 2000; ++i) GNoServerFrames.push_back(FrameSeconds());
    TRRPlainAutomationHost host(&project);
    Host = &host;
    Direct = std::make_unique<TVMPControl>(host);
    TVMPControlServer server(host,
                             QDBusConnection::connectToBus(QDBusConnection::SessionBus, "bench-server"));
    Server = &server;
    std::string problem;
    Ok = server.Start(problem);
    if (!Ok) fprintf(stderr, "%s\n", problem.c_str());
    Ready = true;
    if (Ok) exec();
    Direct.reset();
    Server = nullptr;
  }
  // Runs fn on the server's thread and waits for it.
  void On(const std::function<void()>& fn) {
    QObject context;
    context.moveToThread(this);
    QMetaObject::invokeMethod(&context, fn, Qt::BlockingQueuedConnection);
  }
  std::atomic<bool> Ready{false};
  bool Ok = false;
  TRRSignal* First = nullptr;
  TRRPlainAutomationHost* Host = nullptr;
  TVMPControlServer* Server = nullptr;
  std::unique_ptr<TVMPControl> Direct;
};

TServerThread* GServer = nullptr;
QDBusConnection* GClient = nullptr;

QDBusMessage Call(const QString& method, const QVariantList& args = {}) {
  QDBusMessage m = QDBusMessage::createMethodCall(RRAutomationBusName, RRAutomationObjectPath,
                                                  RRAutomationInterface, method);
  m.setArguments(args);
  return GClient->call(m, QDBus::Block, 60000);
}

void RoundTrip(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Call("GetLengthUnit"));
}
BENCHMARK(RoundTrip)->Iterations(10000)->Unit(benchmark::kMicrosecond);

void PingBaseline(benchmark::State& state) {
  for (auto _ : state) {
    QDBusMessage m = QDBusMessage::createMethodCall(RRAutomationBusName, RRAutomationObjectPath,
                                                    "org.freedesktop.DBus.Peer", "Ping");
    benchmark::DoNotOptimize(GClient->call(m, QDBus::Block));
  }
}
BENCHMARK(PingBaseline)->Iterations(10000)->Unit(benchmark::kMicrosecond);

#ifdef VELMORA_BENCH_LIBDBUS
// A client as a small control program in C would be: one private connection, blocking calls.
void PlainCalls(benchmark::State& state, const char* interface, const char* method) {
  DBusError error;
  dbus_error_init(&error);
  DBusConnection* c = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
  if (!c) {
    state.SkipWithError("keine Verbindung");
    return;
  }
  dbus_connection_set_exit_on_disconnect(c, false);
  for (auto _ : state) {
    DBusMessage* m =
        dbus_message_new_method_call(RRAutomationBusName, RRAutomationObjectPath, interface, method);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(c, m, 5000, &error);
    dbus_message_unref(m);
    if (!reply) {
      state.SkipWithError(error.message ? error.message : "keine Antwort");
      dbus_error_free(&error);
      break;
    }
    dbus_message_unref(reply);
  }
  dbus_connection_close(c);
  dbus_connection_unref(c);
}
void RoundTripPlain(benchmark::State& state) { PlainCalls(state, RRAutomationInterface, "GetLengthUnit"); }
BENCHMARK(RoundTripPlain)->Iterations(10000)->Unit(benchmark::kMicrosecond);
void PingPlain(benchmark::State& state) { PlainCalls(state, "org.freedesktop.DBus.Peer", "Ping"); }
BENCHMARK(PingPlain)->Iterations(10000)->Unit(benchmark::kMicrosecond);
#endif

void GetEntities20k(benchmark::State& state) {
  for (auto _ : state) {
    const QDBusMessage reply = Call("GetEntities", {0});
    if (reply.arguments().value(0).toStringList().size() < kEntities) state.SkipWithError("zu wenige Namen");
  }
}
BENCHMARK(GetEntities20k)->Unit(benchmark::kMillisecond);

void GetEntitiesDirect(benchmark::State& state) {
  for (auto _ : state) {
    double seconds = 0;
    GServer->On([&] {
      const auto t = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(GServer->Direct->GetEntities(0));
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
    });
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(GetEntitiesDirect)->UseManualTime()->Unit(benchmark::kMillisecond);

// Counts the events one client receives and checks that the states alternate as sent.
class TCounter : public QObject {
  Q_OBJECT
 public:
  int Received = 0, OutOfOrder = 0, Expected = 1;
 public slots:
  void OnSignal(const QString&, int state) {
    if (state != Expected) ++OutOfOrder;
    Expected ^= 1;
    ++Received;
  }
};

// Switches the first signal count times, closed first (the signal starts open).
void Switch(int count) {
  for (int i = 0; i < count; ++i) GServer->First->SetSignalState(i % 2 == 0 ? RRSignalClosed : RRSignalOpen);
}

void EventDelivery(benchmark::State& state) {
  constexpr int kSwitchings = 10000;
  QDBusConnection subscriber = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "bench-subscriber");
  TCounter counter;
  subscriber.connect(RRAutomationBusName, RRAutomationObjectPath, RRAutomationEventsInterface,
                     "SignalStateChanged", &counter, SLOT(OnSignal(QString, int)));
  for (auto _ : state) {
    counter.Received = counter.OutOfOrder = 0;
    counter.Expected = 1;
    QElapsedTimer t;
    t.start();
    GServer->On([] { Switch(kSwitchings); });
    while (counter.Received < kSwitchings && t.elapsed() < 60000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
    if (counter.Received != kSwitchings || counter.OutOfOrder)
      state.SkipWithError("Ereignisse fehlen oder vertauscht");
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kSwitchings);
  QDBusConnection::disconnectFromBus("bench-subscriber");
}
BENCHMARK(EventDelivery)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// 40 changes as one frame step at 1,000 signals/s would make them.
double FrameSeconds() {
  const auto t = std::chrono::steady_clock::now();
  Switch(40);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

void FrameSignals40(benchmark::State& state) {
  for (auto _ : state) {
    double seconds = 0;
    GServer->On([&] { seconds = FrameSeconds(); });
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(FrameSignals40)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Measured on the server's thread before the server started (no hook installed).
std::vector<double> GNoServerFrames;

void FrameNoServer(benchmark::State& state) {
  size_t i = 0;
  for (auto _ : state) state.SetIterationTime(GNoServerFrames[i++ % GNoServerFrames.size()]);
}
BENCHMARK(FrameNoServer)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  TServerThread server;
  GServer = &server;
  server.start();
  while (!server.Ready) QThread::msleep(10);
  if (!server.Ok) return 1;
  QDBusConnection client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "bench-client");
  GClient = &client;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  server.quit();
  server.wait();
  return 0;
}

#include "AutomationBench.moc"
