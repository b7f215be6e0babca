// SPDX-License-Identifier: MIT
// One running program per user: a later start hands over to the running one, which opens its
// query window as a left click on the icon does, and ends. The first start locks a folder only
// its user can enter (the user's runtime folder's "quorvex", else "quorvex-UID" in the temporary
// folder); the kernel drops the lock with the process however it ends, so a crash leaves
// nothing that stops the next start. While it holds the lock it listens on the socket "socket"
// in that folder and, where a session bus exists, owns io.quorvex.Quorvex with
// org.freedesktop.Application at /io/quorvex/Quorvex. A later start that finds the folder
// locked asks over the bus when it can, else over the socket; it passes the XDG activation
// token (Wayland) it was launched with, under "activation-token". Nothing else is kept.
// GUI thread only; Start blocks until the role is settled.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QDBusConnection;
class QLocalServer;
class QLocalSocket;

inline constexpr char kInstanceBusName[] = "io.quorvex.Quorvex";
inline constexpr char kInstanceBusPath[] = "/io/quorvex/Quorvex";
inline constexpr char kApplicationInterface[] = "org.freedesktop.Application";
// The error a first start that is ending answers with; the later start waits for its end.
inline constexpr char kInstanceEndingError[] = "io.quorvex.Quorvex.Error.Ending";

class TSingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class TRole {
    None,        // Start has not run
    First,       // this process serves later starts
    HandedOver,  // the running program took the request: this one ends
    Alone,       // no private folder, or the running one never answered: runs on its own
  };

  explicit TSingleInstance(QObject* parent = nullptr);
  ~TSingleInstance() override;
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // Settles the role: takes the lock, or asks the lock's holder until it answers, ends (then
  // takes the lock), or HandOverWait passes. Says on standard error why it runs Alone.
  TRole Start();
  TRole Role() const { return m_Role; }

  // The first start: a later one asks for the query window, with its activation token (empty
  // if it had none). Returns false while the program is ending. Runs from the event loop and
  // must not run a nested one. Unset: the main window's ShowQueryForm, posted to the loop.
  std::function<bool(const QString& Token)> OnActivate;

  // Set before Start. Folder empty: DefaultFolder(). BusAddress empty: the session bus, where
  // one exists already (none is started); NoBus: the socket alone.
  QString Folder;
  QString BusAddress;
  bool NoBus = false;
  int HandOverWait = 10000;

  // The folder for this user, as described above; the temporary folder's also where the
  // socket's path would be too long for a local socket.
  static QString DefaultFolder();
  QString SocketPath() const;

 private:
  enum class TAnswer { Done, Ending, None };
  void Say(const QString& Text) const;
  bool OpenFolder();
  void Serve();
  TAnswer AskOverBus(const QString& Token, const QString& StartupId);
  TAnswer AskOverSocket(const QString& Token);
  void Accept();
  void ReadRequest(QLocalSocket* Client);
  bool Activate(const QString& Token);

  class TBusObject;
  friend class TBusObject;

  TRole m_Role = TRole::None;
  int m_FolderFd = -1;
  QString m_Folder;
  std::unique_ptr<QLocalServer> m_Server;
  QString m_BusConnection;
  std::unique_ptr<TBusObject> m_BusObject;
};
