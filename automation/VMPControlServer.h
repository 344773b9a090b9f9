#pragma once
// The automation object on the session bus. One TVMPControlServer per program: it owns the name
// Velmora.VMPControl and the object /VMPControl, answers the introspection with the committed
// interface document, turns each method call into the call of a TVMPControl and each
// notification of the layout's event managers into a signal of Velmora.IVMPControlEvents.
//
// Every client (a unique bus name) gets an object of its own on its first call, so its length
// and angle units are its own; the object is freed when the bus reports the client gone.
// Signals are broadcast: every client that listens receives every event, and a signal caused by
// a call leaves before that call's reply. Every call gets exactly one reply (unless the caller
// asked for none): its results, or the error Velmora.Error.Unexpected with the program's German
// message. Calls arrive on the thread that made the server (the frame loop's), between frame
// steps or inside a modal question.

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QDBusServiceWatcher;

namespace rr {

class IRRAutomationHost;
class TVMPControl;
struct TRRAutomationEvent;

inline constexpr const char* RRAutomationErrorName = "Velmora.Error.Unexpected";

class TVMPControlServer : public QDBusVirtualObject {
 public:
  // Serves host's program on the connection (the session bus unless given). Nothing is
  // registered before Start.
  explicit TVMPControlServer(IRRAutomationHost& host,
                             QDBusConnection connection = QDBusConnection::sessionBus());
  // Clears the notification hook, gives up the name and the object.
  ~TVMPControlServer() override;
  TVMPControlServer(const TVMPControlServer&) = delete;
  TVMPControlServer& operator=(const TVMPControlServer&) = delete;

  // Registers the object, takes the bus name and starts forwarding events. False with a German
  // message when there is no bus or the name is taken (then nothing stays registered).
  bool Start(std::string& error);
  bool Started() const { return FStarted; }
  // The connection's unique name (":1.42"), once started.
  QString UniqueName() const;

  // Clients that have called and are still on the bus.
  int ClientCount() const { return static_cast<int>(FClients.size()); }
  // Called (on the server's thread) when the last client has gone.
  void SetLastClientGone(std::function<void()> fn) { FLastClientGone = std::move(fn); }
  // Signals sent so far (failed sends not counted).
  uint64_t SignalsSent() const { return FSignalsSent; }

  QString introspect(const QString& path) const override;
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

 private:
  std::shared_ptr<TVMPControl> ClientObject(const QString& client);
  void ClientGone(const QString& client);
  void SendEvent(const TRRAutomationEvent& event);

  IRRAutomationHost& FHost;
  QDBusConnection FConnection;
  bool FStarted = false;
  bool FNameOwned = false;
  std::map<QString, std::shared_ptr<TVMPControl>> FClients;
  QDBusServiceWatcher* FWatcher = nullptr;  // a child of this object
  // Holds the process's event subscription; its units play no part in events.
  std::unique_ptr<TVMPControl> FEvents;
  std::function<void()> FLastClientGone;
  uint64_t FSignalsSent = 0;
};

}  // namespace rr
