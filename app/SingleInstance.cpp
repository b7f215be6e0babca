// SPDX-License-Identifier: MIT
#include "app/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QVariantMap>

#include <cerrno>
#include <cstring>
#include <iostream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/Main.h"
#include "tray/NotifyShell.h"
#include "tray/StatusNotifier.h"

namespace {

constexpr char kSocketName[] = "socket";
// A request is one short line; a client that says more, or nothing for this long, is dropped.
constexpr qsizetype kRequestLimit = 4096;
constexpr int kRequestTimeout = 5000;
// How long a later start waits for each answer, and between two tries.
constexpr int kAnswerTimeout = 5000;
constexpr int kRetryDelay = 50;
// sun_path holds 108 bytes with its NUL; stay clear of it.
constexpr qsizetype kSocketPathLimit = 100;

// The program's own behaviour: the query window, opened from the loop once the caller has
// answered, as a left click on the icon opens it.
bool ShowQueryFormLater(const QString& Token)
{
  if (!MainForm || MainForm->Closed()) return false;
  QTimer::singleShot(0, MainForm, [Token] {
    if (!MainForm || MainForm->Closed()) return;
    ProvideActivationToken(Token);
    MainForm->ShowQueryForm(MainForm);
  });
  return true;
}

}  // namespace

// org.freedesktop.Application on the bus; only Activate means something to this program.
class TSingleInstance::TBusObject : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

 public:
  explicit TBusObject(TSingleInstance* Instance) : m_Instance(Instance) {}

 public Q_SLOTS:
  Q_SCRIPTABLE void Activate(const QVariantMap& platform_data)
  {
    if (!m_Instance->Activate(platform_data.value(QStringLiteral("activation-token")).toString()))
      sendErrorReply(QString::fromLatin1(kInstanceEndingError), QStringLiteral("Quorvex is ending"));
  }

 private:
  TSingleInstance* m_Instance;
};

TSingleInstance::TSingleInstance(QObject* parent) : QObject(parent) {}

TSingleInstance::~TSingleInstance()
{
  if (m_BusObject) {
    QDBusConnection Bus(m_BusConnection);
    Bus.unregisterService(QString::fromLatin1(kInstanceBusName));
    Bus.unregisterObject(QString::fromLatin1(kInstanceBusPath));
    m_BusObject.reset();
    QDBusConnection::disconnectFromBus(m_BusConnection);
  }
  if (m_Server) {
    m_Server->close();
    m_Server.reset();
    // Only the lock's holder may remove the socket; a later first start would take it over
    // anyway.
    QFile::remove(SocketPath());
  }
  if (m_FolderFd >= 0) ::close(m_FolderFd);  // drops the lock
}

QString TSingleInstance::DefaultFolder()
{
  const QString Runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!Runtime.isEmpty() && QDir::isAbsolutePath(Runtime) && QFileInfo(Runtime).isDir()) {
    const QString Folder = QDir(Runtime).filePath(QStringLiteral("quorvex"));
    if (QFile::encodeName(Folder).size() + 1 + qsizetype(sizeof kSocketName) <= kSocketPathLimit) return Folder;
  }
  return QDir(QDir::tempPath()).filePath(QStringLiteral("quorvex-%1").arg(::geteuid()));
}

QString TSingleInstance::SocketPath() const { return QDir(m_Folder).filePath(QString::fromLatin1(kSocketName)); }

void TSingleInstance::Say(const QString& Text) const
{
  std::cerr << "Quorvex: " << Text.toLocal8Bit().constData() << std::endl;
}

bool TSingleInstance::OpenFolder()
{
  m_Folder = Folder.isEmpty() ? DefaultFolder() : Folder;
  const QByteArray Path = QFile::encodeName(m_Folder);
  if (::mkdir(Path.constData(), 0700) != 0 && errno != EEXIST) {
    Say(QStringLiteral("cannot make %1 (%2); a second start will not find this one.")
            .arg(m_Folder, QString::fromLocal8Bit(std::strerror(errno))));
    return false;
  }
  // Checked on the opened folder itself, so nothing can be swapped in between.
  m_FolderFd = ::open(Path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat St {};
  const char* Why = nullptr;
  if (m_FolderFd < 0 || ::fstat(m_FolderFd, &St) != 0)
    Why = "is not a folder that can be opened";
  else if (St.st_uid != ::geteuid())
    Why = "belongs to another user";
  else if (St.st_mode & 077)
    Why = "is open to other users";
  if (!Why) return true;
  Say(QStringLiteral("%1 %2; a second start will not find this one.").arg(m_Folder, QLatin1String(Why)));
  if (m_FolderFd >= 0) ::close(m_FolderFd);
  m_FolderFd = -1;
  return false;
}

TSingleInstance::TRole TSingleInstance::Start()
{
  if (m_Role != TRole::None) return m_Role;
  if (!OpenFolder()) return m_Role = TRole::Alone;
  // What the launch handed this start to activate a window with (Wayland; X11's startup id),
  // passed on: the running program's window opens in its place.
  const QString Token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
  const QString StartupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
  QElapsedTimer Waited;
  Waited.start();
  for (;;) {
    if (::flock(m_FolderFd, LOCK_EX | LOCK_NB) == 0) {
      Serve();
      return m_Role = TRole::First;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      Say(QStringLiteral("cannot lock %1 (%2); a second start will not find this one.")
              .arg(m_Folder, QString::fromLocal8Bit(std::strerror(errno))));
      break;
    }
    // The holder may still be starting (its doors not open yet) or ending (it says so).
    TAnswer Answer = AskOverBus(Token, StartupId);
    if (Answer == TAnswer::None) Answer = AskOverSocket(Token);
    if (Answer == TAnswer::Done) return m_Role = TRole::HandedOver;
    if (Waited.elapsed() > HandOverWait) {
      Say(QStringLiteral("the Quorvex that is running does not answer; starting another."));
      break;
    }
    QThread::msleep(kRetryDelay);
  }
  ::close(m_FolderFd);
  m_FolderFd = -1;
  return m_Role = TRole::Alone;
}

TSingleInstance::TAnswer TSingleInstance::AskOverBus(const QString& Token, const QString& StartupId)
{
  if (NoBus || (BusAddress.isEmpty() && !SessionBusReachable())) return TAnswer::None;
  const QString Name = QStringLiteral("quorvex-instance-ask");
  TAnswer Answer = TAnswer::None;
  {
    QDBusConnection Bus = ConnectBus(BusAddress, Name);
    const QString Service = QString::fromLatin1(kInstanceBusName);
    if (Bus.isConnected() && Bus.interface() && Bus.interface()->isServiceRegistered(Service)) {
      QDBusMessage Call =
          QDBusMessage::createMethodCall(Service, QString::fromLatin1(kInstanceBusPath),
                                         QString::fromLatin1(kApplicationInterface), QStringLiteral("Activate"));
      QVariantMap PlatformData;
      if (!Token.isEmpty()) PlatformData.insert(QStringLiteral("activation-token"), Token);
      if (!StartupId.isEmpty()) PlatformData.insert(QStringLiteral("desktop-startup-id"), StartupId);
      Call << PlatformData;
      const QDBusMessage Reply = Bus.call(Call, QDBus::Block, kAnswerTimeout);
      if (Reply.type() == QDBusMessage::ReplyMessage)
        Answer = TAnswer::Done;
      else if (Reply.errorName() == QLatin1String(kInstanceEndingError))
        Answer = TAnswer::Ending;
    }
  }
  QDBusConnection::disconnectFromBus(Name);
  return Answer;
}

TSingleInstance::TAnswer TSingleInstance::AskOverSocket(const QString& Token)
{
  QLocalSocket Socket;
  Socket.connectToServer(SocketPath());
  if (!Socket.waitForConnected(kAnswerTimeout)) return TAnswer::None;
  Socket.write("activate" + (Token.isEmpty() ? QByteArray() : " " + Token.toUtf8()) + "\n");
  QByteArray Reply;
  QElapsedTimer Waited;
  Waited.start();
  while (!Reply.contains('\n') && Reply.size() < kRequestLimit && Socket.state() == QLocalSocket::ConnectedState &&
         Waited.elapsed() < kAnswerTimeout) {
    Socket.waitForReadyRead(static_cast<int>(kAnswerTimeout - Waited.elapsed()));
    Reply += Socket.readAll();
  }
  Reply += Socket.readAll();
  if (Reply == "ok\n") return TAnswer::Done;
  return Reply == "ending\n" ? TAnswer::Ending : TAnswer::None;
}

void TSingleInstance::Serve()
{
  // We hold the lock: whatever socket is there was left by a start that ended.
  QFile::remove(SocketPath());
  m_Server = std::make_unique<QLocalServer>();
  m_Server->setSocketOptions(QLocalServer::UserAccessOption);
  connect(m_Server.get(), &QLocalServer::newConnection, this, &TSingleInstance::Accept);
  if (!m_Server->listen(SocketPath()))
    Say(QStringLiteral("cannot listen on %1 (%2).").arg(SocketPath(), m_Server->errorString()));

  if (NoBus || (BusAddress.isEmpty() && !SessionBusReachable())) return;
  m_BusConnection = QStringLiteral("quorvex-instance");
  QDBusConnection Bus = ConnectBus(BusAddress, m_BusConnection);
  m_BusObject = std::make_unique<TBusObject>(this);
  // The object first, so that a later start that sees the name finds the object too.
  if (!Bus.isConnected() ||
      !Bus.registerObject(QString::fromLatin1(kInstanceBusPath), m_BusObject.get(),
                          QDBusConnection::ExportScriptableSlots) ||
      !Bus.registerService(QString::fromLatin1(kInstanceBusName))) {
    // The socket still serves: a bus name held by another program is no reason to stop.
    Bus.unregisterObject(QString::fromLatin1(kInstanceBusPath));
    m_BusObject.reset();
    QDBusConnection::disconnectFromBus(m_BusConnection);
  }
}

void TSingleInstance::Accept()
{
  while (QLocalSocket* Client = m_Server->nextPendingConnection()) {
    connect(Client, &QLocalSocket::disconnected, Client, &QObject::deleteLater);
    connect(Client, &QLocalSocket::readyRead, this, [this, Client] { ReadRequest(Client); });
    QTimer::singleShot(kRequestTimeout, Client, [Client] {
      Client->abort();
      Client->deleteLater();
    });
    if (Client->bytesAvailable() > 0) ReadRequest(Client);
  }
}

void TSingleInstance::ReadRequest(QLocalSocket* Client)
{
  QByteArray Line = Client->property("line").toByteArray();
  Line += Client->read(kRequestLimit - Line.size());
  const qsizetype End = Line.indexOf('\n');
  if (End < 0) {
    if (Line.size() >= kRequestLimit)
      Client->abort();
    else
      Client->setProperty("line", Line);
    return;
  }
  Line.truncate(End);
  const QByteArray Verb = Line.left(Line.indexOf(' ') < 0 ? Line.size() : Line.indexOf(' '));
  const QString Token = QString::fromUtf8(Line.mid(Verb.size() + 1));
  // One request per connection: whatever follows it is not read.
  disconnect(Client, &QLocalSocket::readyRead, this, nullptr);
  if (Verb != "activate")
    Client->write("error\n");
  else
    Client->write(Activate(Token) ? "ok\n" : "ending\n");
  Client->disconnectFromServer();
}

bool TSingleInstance::Activate(const QString& Token)
{
  return OnActivate ? OnActivate(Token) : ShowQueryFormLater(Token);
}

#include "SingleInstance.moc"
