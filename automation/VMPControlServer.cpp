#include "automation/VMPControlServer.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QList>
#include <QStringList>
#include <QVariant>
#include <exception>
#include <unordered_map>

#include "app/RRGlobal.h"
#include "automation/VMPControl.h"
#include "automation/Velmora_TLB.h"

namespace rr {

namespace {

using TArgs = QList<QVariant>;
using THandler = std::function<TArgs(TVMPControl&, const TArgs&)>;

std::string S(const TArgs& a, int i) { return a[i].toString().toStdString(); }
int32_t I(const TArgs& a, int i) { return a[i].toInt(); }
// Doubles beyond a float's range become infinite, which the object ignores like NaN.
float D(const TArgs& a, int i) { return static_cast<float>(a[i].toDouble()); }
bool B(const TArgs& a, int i) { return a[i].toBool(); }

QVariant Out(const std::string& s) { return QString::fromStdString(s); }
QVariant Out(const TRRNameList& names) {
  QStringList list;
  list.reserve(static_cast<qsizetype>(names.size()));
  for (const std::string& n : names) list.push_back(QString::fromStdString(n));
  return list;
}
QVariant Out(const TRRAutomationVector& v) { return QVariant::fromValue(QList<double>{v[0], v[1], v[2]}); }
QVariant Out(float v) { return static_cast<double>(v); }
QVariant Out(int32_t v) { return v; }
QVariant Out(bool v) { return v; }

// "Name(signature)" -> the call. Every method of the interface table has its entry (the server's
// constructor checks it); ResetAnimation has two.
const std::unordered_map<std::string, THandler>& Handlers() {
  using C = TVMPControl;
  static const std::unordered_map<std::string, THandler> table = {
      {"GetCameras(i)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetCameras(I(a, 0)))}; }},
      {"GetActiveCamera()", [](C& c, const TArgs&) { return TArgs{Out(c.GetActiveCamera())}; }},
      {"SetActiveCamera(s)", [](C& c, const TArgs& a) { return c.SetActiveCamera(S(a, 0)), TArgs{}; }},
      {"GetTrackVehicles(i)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetTrackVehicles(I(a, 0)))}; }},
      {"GetTrackVehicleSpeed(s)",
       [](C& c, const TArgs& a) { return TArgs{Out(c.GetTrackVehicleSpeed(S(a, 0)))}; }},
      {"SetTrackVehicleSpeed(sd)",
       [](C& c, const TArgs& a) { return c.SetTrackVehicleSpeed(S(a, 0), D(a, 1)), TArgs{}; }},
      {"GetAnimations()", [](C& c, const TArgs&) { return TArgs{Out(c.GetAnimations())}; }},
      {"StartAnimation(sib)",
       [](C& c, const TArgs& a) { return c.StartAnimation(S(a, 0), I(a, 1), B(a, 2)), TArgs{}; }},
      {"StopAnimation(s)", [](C& c, const TArgs& a) { return c.StopAnimation(S(a, 0)), TArgs{}; }},
      {"ResetAnimation(sb)",
       [](C& c, const TArgs& a) { return c.ResetAnimation(S(a, 0), B(a, 1)), TArgs{}; }},
      {"ResetAnimation(s)", [](C& c, const TArgs& a) { return c.ResetAnimation(S(a, 0)), TArgs{}; }},
      {"GetSignals()", [](C& c, const TArgs&) { return TArgs{Out(c.GetSignals())}; }},
      {"GetSignalState(s)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetSignalState(S(a, 0)))}; }},
      {"SetSignalState(si)",
       [](C& c, const TArgs& a) { return c.SetSignalState(S(a, 0), I(a, 1)), TArgs{}; }},
      {"GetTracks(i)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetTracks(I(a, 0)))}; }},
      {"GetTrackType(s)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetTrackType(S(a, 0)))}; }},
      {"GetTrackRouteCount(s)",
       [](C& c, const TArgs& a) { return TArgs{Out(c.GetTrackRouteCount(S(a, 0)))}; }},
      {"GetActiveTrackRoute(s)",
       [](C& c, const TArgs& a) { return TArgs{Out(c.GetActiveTrackRoute(S(a, 0)))}; }},
      {"SetActiveTrackRoute(si)",
       [](C& c, const TArgs& a) { return c.SetActiveTrackRoute(S(a, 0), I(a, 1)), TArgs{}; }},
      {"GetControllers(i)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetControllers(I(a, 0)))}; }},
      {"GetControllerType(s)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetControllerType(S(a, 0)))}; }},
      {"GetControllerValue(s)",
       [](C& c, const TArgs& a) { return TArgs{Out(c.GetControllerValue(S(a, 0)))}; }},
      {"SetControllerValue(sd)",
       [](C& c, const TArgs& a) { return c.SetControllerValue(S(a, 0), D(a, 1)), TArgs{}; }},
      {"GetPosition(s)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetPosition(S(a, 0)))}; }},
      {"SetPosition(sddd)",
       [](C& c, const TArgs& a) { return c.SetPosition(S(a, 0), D(a, 1), D(a, 2), D(a, 3)), TArgs{}; }},
      {"GetRotation(s)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetRotation(S(a, 0)))}; }},
      {"SetRotation(sddd)",
       [](C& c, const TArgs& a) { return c.SetRotation(S(a, 0), D(a, 1), D(a, 2), D(a, 3)), TArgs{}; }},
      {"GetScaling(s)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetScaling(S(a, 0)))}; }},
      {"SetScaling(sd)", [](C& c, const TArgs& a) { return c.SetScaling(S(a, 0), D(a, 1)), TArgs{}; }},
      {"GetAppFileName()", [](C& c, const TArgs&) { return TArgs{Out(c.GetAppFileName())}; }},
      {"GetProjectFileName()", [](C& c, const TArgs&) { return TArgs{Out(c.GetProjectFileName())}; }},
      {"GetEntities(i)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetEntities(I(a, 0)))}; }},
      {"GetEntityType(s)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetEntityType(S(a, 0)))}; }},
      {"GetSelectedEntities()", [](C& c, const TArgs&) { return TArgs{Out(c.GetSelectedEntities())}; }},
      {"LinkEntities(ss)", [](C& c, const TArgs& a) { return c.LinkEntities(S(a, 0), S(a, 1)), TArgs{}; }},
      {"UnlinkEntity(s)", [](C& c, const TArgs& a) { return c.UnlinkEntity(S(a, 0)), TArgs{}; }},
      {"LoadProject(s)", [](C& c, const TArgs& a) { return c.LoadProject(S(a, 0)), TArgs{}; }},
      {"SaveProject(s)", [](C& c, const TArgs& a) { return c.SaveProject(S(a, 0)), TArgs{}; }},
      {"EnableAnimations(b)", [](C& c, const TArgs& a) { return c.EnableAnimations(B(a, 0)), TArgs{}; }},
      {"EnableSounds(b)", [](C& c, const TArgs& a) { return c.EnableSounds(B(a, 0)), TArgs{}; }},
      {"GetSimulationMode()", [](C& c, const TArgs&) { return TArgs{Out(c.GetSimulationMode())}; }},
      {"SetSimulationMode(i)", [](C& c, const TArgs& a) { return c.SetSimulationMode(I(a, 0)), TArgs{}; }},
      {"GetLengthUnit()", [](C& c, const TArgs&) { return TArgs{Out(c.GetLengthUnit())}; }},
      {"SetLengthUnit(i)", [](C& c, const TArgs& a) { return c.SetLengthUnit(I(a, 0)), TArgs{}; }},
      {"GetAngularUnit()", [](C& c, const TArgs&) { return TArgs{Out(c.GetAngularUnit())}; }},
      {"SetAngularUnit(i)", [](C& c, const TArgs& a) { return c.SetAngularUnit(I(a, 0)), TArgs{}; }},
      {"GetTrackRouteLength(si)",
       [](C& c, const TArgs& a) { return TArgs{Out(c.GetTrackRouteLength(S(a, 0), I(a, 1)))}; }},
      {"AnimationsEnabled()", [](C& c, const TArgs&) { return TArgs{Out(c.AnimationsEnabled())}; }},
      {"SoundsEnabled()", [](C& c, const TArgs&) { return TArgs{Out(c.SoundsEnabled())}; }},
      {"SelectEntity(sb)", [](C& c, const TArgs& a) { return c.SelectEntity(S(a, 0), B(a, 1)), TArgs{}; }},
      {"SetLight(iiib)",
       [](C& c, const TArgs& a) { return c.SetLight(I(a, 0), I(a, 1), I(a, 2), B(a, 3)), TArgs{}; }},
      {"GetEntityWidth(s)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetEntityWidth(S(a, 0)))}; }},
      {"GetEntityHeight(s)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetEntityHeight(S(a, 0)))}; }},
      {"GetEntityDepth(s)", [](C& c, const TArgs& a) { return TArgs{Out(c.GetEntityDepth(S(a, 0)))}; }},
  };
  return table;
}

QString Key(const QString& member, const QString& signature) { return member + '(' + signature + ')'; }

}  // namespace

TVMPControlServer::TVMPControlServer(IRRAutomationHost& host, QDBusConnection connection)
    : FHost(host), FConnection(std::move(connection)) {
  // The table and the interface description must agree: a method missing here would be offered
  // by the introspection and then refused.
  for (const TRRAutomationMember& m : RRAutomationMethods()) {
    std::string full = m.Name + std::string("(") + m.Signature(false) + ")";
    if (!Handlers().contains(full)) throw std::logic_error("automation method without a call: " + full);
  }
}

TVMPControlServer::~TVMPControlServer() {
  FEvents.reset();
  if (FNameOwned) FConnection.unregisterService(RRAutomationBusName);
  if (FStarted) FConnection.unregisterObject(RRAutomationObjectPath);
  FClients.clear();
}

bool TVMPControlServer::Start(std::string& error) {
  if (FStarted) return true;
  if (!FConnection.isConnected()) {
    const QString why = FConnection.lastError().message();
    error =
        "Keine Verbindung zum Sitzungsbus" + (why.isEmpty() ? std::string() : ": " + why.toStdString()) + ".";
    return false;
  }
  // The object first: when the name appears, calls can be answered.
  if (!FConnection.registerVirtualObject(RRAutomationObjectPath, this, QDBusConnection::SingleNode)) {
    error = std::string("Das Objekt ") + RRAutomationObjectPath +
            " kann auf dem Sitzungsbus nicht angemeldet werden.";
    return false;
  }
  FStarted = true;
  if (!FConnection.registerService(RRAutomationBusName)) {
    error = std::string("Der Name ") + RRAutomationBusName +
            " ist auf dem Sitzungsbus schon vergeben (läuft 3D-Velmora bereits mit Automatisierung?).";
    FConnection.unregisterObject(RRAutomationObjectPath);
    FStarted = false;
    return false;
  }
  FNameOwned = true;
  FWatcher = new QDBusServiceWatcher(this);
  FWatcher->setConnection(FConnection);
  FWatcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
  QObject::connect(FWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
                   [this](const QString& client) { ClientGone(client); });
  FEvents = std::make_unique<TVMPControl>(FHost);
  FEvents->ConnectEvents([this](const TRRAutomationEvent& e) { SendEvent(e); });
  return true;
}

QString TVMPControlServer::UniqueName() const { return FConnection.baseService(); }

QString TVMPControlServer::introspect(const QString&) const {
  // Only asked when a call reaches the object that handleMessage left alone; the whole document
  // is answered there.
  return {};
}

std::shared_ptr<TVMPControl> TVMPControlServer::ClientObject(const QString& client) {
  auto it = FClients.find(client);
  if (it != FClients.end()) return it->second;
  auto object = std::make_shared<TVMPControl>(FHost);
  FClients.emplace(client, object);
  if (FWatcher && !client.isEmpty()) FWatcher->addWatchedService(client);
  return object;
}

void TVMPControlServer::ClientGone(const QString& client) {
  if (FWatcher) FWatcher->removeWatchedService(client);
  // A call of this client may still run (inside a modal question): its copy keeps the object.
  if (FClients.erase(client) && FClients.empty() && FLastClientGone) FLastClientGone();
}

void TVMPControlServer::SendEvent(const TRRAutomationEvent& event) {
  QDBusMessage signal = QDBusMessage::createSignal(RRAutomationObjectPath, RRAutomationEventsInterface,
                                                   QString::fromStdString(event.Name));
  TArgs args;
  args.reserve(static_cast<qsizetype>(event.Args.size()));
  for (const TRRAutomationValue& v : event.Args) {
    if (const auto* s = std::get_if<std::string>(&v))
      args.push_back(QString::fromStdString(*s));
    else if (const auto* i = std::get_if<int32_t>(&v))
      args.push_back(*i);
    else
      args.push_back(static_cast<double>(std::get<float>(v)));
  }
  signal.setArguments(args);
  // A failed send (the bus gone) must not stop the layout's notification.
  if (FConnection.send(signal)) ++FSignalsSent;
}

bool TVMPControlServer::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
  if (message.type() != QDBusMessage::MethodCallMessage) return false;
  QDBusConnection bus(connection);
  const QString interface = message.interface();
  const auto reply = [&](const QDBusMessage& answer) {
    if (message.isReplyRequired()) bus.send(answer);
  };
  if (interface == "org.freedesktop.DBus.Introspectable" && message.member() == "Introspect") {
    reply(message.createReply(QString::fromStdString(RRIntrospectionXml())));
    return true;
  }
  if (!interface.isEmpty() && interface != RRAutomationInterface) return false;

  const auto handler = Handlers().find(Key(message.member(), message.signature()).toStdString());
  if (handler == Handlers().end()) {
    reply(message.createErrorReply(
        "org.freedesktop.DBus.Error.UnknownMethod",
        QString("Die Methode %1 mit den Argumenten \"%2\" gibt es in %3 nicht.")
            .arg(message.member(), message.signature(), QString(RRAutomationInterface))));
    return true;
  }
  // The copy keeps the client's object alive while the call runs, even if the client goes.
  const std::shared_ptr<TVMPControl> object = ClientObject(message.service());
  bool failed = true;
  QString failure;
  TArgs results;
  try {
    results = handler->second(*object, message.arguments());
    failed = false;
  } catch (const std::exception& e) {
    failure = QString::fromStdString(e.what());
  } catch (...) {
    failure = QString::fromStdString(RRCaptionUnexpectedError);
  }
  if (failed)
    reply(message.createErrorReply(RRAutomationErrorName, failure));
  else
    reply(message.createReply(results));
  return true;
}

}  // namespace rr
