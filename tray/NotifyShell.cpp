// SPDX-License-Identifier: MIT
#include "tray/NotifyShell.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <utility>

#include "tray/HostNotifyShell.h"
#include "tray/TrayWindow.h"

std::string TNotifyIconData::Tip() const { return std::string(szTip.data(), strnlen(szTip.data(), szTip.size())); }

TNotifyShell::~TNotifyShell() = default;

void TNotifyShell::SetMenu(const TTrayWindow*, QMenu*) {}

bool ShellNotifyIcon(TNotifyShell& Shell, std::uint32_t Message, const TNotifyIconData& Data)
{
  switch (Message) {
    case NIM_ADD: return Shell.Add(Data);
    case NIM_MODIFY: return Shell.Modify(Data);
    case NIM_DELETE: return Shell.Delete(Data);
    default: return false;
  }
}

namespace {

TNotifyShell* g_DefaultShell = nullptr;
QString g_ActivationToken;

}  // namespace

void ProvideActivationToken(const QString& Token)
{
  const bool Printable =
      std::all_of(Token.cbegin(), Token.cend(), [](QChar C) { return C.unicode() > 0x20 && C.unicode() < 0x7F; });
  g_ActivationToken = Printable && Token.size() <= 1024 ? Token : QString();
}

QString TakeActivationToken() { return std::exchange(g_ActivationToken, QString()); }

void MergeNotifyData(TNotifyIconData& Shown, const TNotifyIconData& Data)
{
  if (Data.uFlags & NIF_MESSAGE) Shown.uCallbackMessage = Data.uCallbackMessage;
  if (Data.uFlags & NIF_ICON) Shown.hIcon = Data.hIcon;
  if (Data.uFlags & NIF_TIP) Shown.szTip = Data.szTip;
  Shown.uFlags |= Data.uFlags;
}

TNotifyShell& DefaultNotifyShell()
{
  if (g_DefaultShell) return *g_DefaultShell;
  static THostNotifyShell HostShell;
  return HostShell;
}

bool NotificationAreaAvailable()
{
  // Qt sees an XEmbed tray at any time, but decides only once whether a StatusNotifier host
  // is there, so the bus is asked directly.
  return QSystemTrayIcon::isSystemTrayAvailable() || StatusNotifierHostPresent();
}

void SetDefaultNotifyShell(TNotifyShell* Shell) { g_DefaultShell = Shell; }

// Qt reports a tray click on the button's press (Trigger, Context) and a double click on the
// second press, while the component's events belong to the releases. So a press reported
// while its button is down waits here for that button's release: the icon's window holds
// the implicit grab, so the release reaches the application, and an application event
// filter sees it. Should the release go unseen (a grab taken away), a short poll of the
// buttons Qt knows to be down, the button's next press or the next report still delivers
// the pending release.
class TQtNotifyShell::TReleaseWatch : public QObject {
 public:
  explicit TReleaseWatch(std::function<void(std::uint32_t)> Post) : m_Post(std::move(Post))
  {
    m_Poll.setInterval(50);
    QObject::connect(&m_Poll, &QTimer::timeout, this, [this] { Poll(); });
  }
  ~TReleaseWatch() override
  {
    if (m_Filtering && QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
  }

  // The button's release message is due: now when the button is not down (the report came
  // without a press, or its release was handled already), else at its release.
  void Await(Qt::MouseButton Button, std::uint32_t UpMessage)
  {
    std::uint32_t& Due = Button == Qt::LeftButton ? m_LeftUp : m_RightUp;
    if (Due) Deliver(Due);  // a release we never saw: deliver it before the next click's events
    if (!(QGuiApplication::mouseButtons() & Button)) {
      m_Post(UpMessage);
      return;
    }
    Due = UpMessage;
    if (!m_Filtering && QCoreApplication::instance()) {
      QCoreApplication::instance()->installEventFilter(this);
      m_Filtering = true;
    }
    m_Poll.start();
  }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override
  {
    // A release passes the filter once for the window and once for the widget; the first
    // one delivers, the second finds nothing pending. A new press of an awaited button
    // means its release went unseen: it is delivered before the press can report anything.
    if (Event->type() == QEvent::MouseButtonRelease || Event->type() == QEvent::MouseButtonPress) {
      const auto Button = static_cast<QMouseEvent*>(Event)->button();
      if (Button == Qt::LeftButton && m_LeftUp)
        Deliver(m_LeftUp);
      else if (Button == Qt::RightButton && m_RightUp)
        Deliver(m_RightUp);
    }
    return QObject::eventFilter(Watched, Event);
  }

 private:
  // Posts the awaited release message Due and clears it.
  void Deliver(std::uint32_t& Due)
  {
    const std::uint32_t M = Due;
    Due = 0;
    if (!m_LeftUp && !m_RightUp) {
      // Nothing awaited: the application's events need not pass through here.
      m_Poll.stop();
      if (m_Filtering && QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
      m_Filtering = false;
    }
    m_Post(M);
  }
  void Poll()
  {
    const Qt::MouseButtons Down = QGuiApplication::mouseButtons();
    if (m_LeftUp && !(Down & Qt::LeftButton)) Deliver(m_LeftUp);
    if (m_RightUp && !(Down & Qt::RightButton)) Deliver(m_RightUp);
  }

  std::function<void(std::uint32_t)> m_Post;
  // The release message awaited for each button, 0 when none.
  std::uint32_t m_LeftUp = 0;
  std::uint32_t m_RightUp = 0;
  QTimer m_Poll;
  bool m_Filtering = false;
};

struct TQtNotifyShell::TEntry {
  std::unique_ptr<QSystemTrayIcon> Icon;
  std::unique_ptr<TReleaseWatch> Releases;
  QPointer<TTrayWindow> Wnd;
  std::uint32_t uID = 0;
  std::uint32_t CallbackMessage = 0;

  void Post(std::uint32_t Mouse)
  {
    if (Wnd && CallbackMessage && Mouse) Wnd->PostMessage(CallbackMessage, uID, Mouse);
  }
};

TQtNotifyShell::TQtNotifyShell() = default;
TQtNotifyShell::~TQtNotifyShell() = default;

void TQtNotifyShell::Apply(TEntry& Entry, const TNotifyIconData& Data)
{
  if (Data.uFlags & NIF_MESSAGE) Entry.CallbackMessage = Data.uCallbackMessage;
  if (Data.uFlags & NIF_ICON) Entry.Icon->setIcon(Data.hIcon);
  if (Data.uFlags & NIF_TIP) Entry.Icon->setToolTip(QString::fromUtf8(Data.Tip()));
}

bool TQtNotifyShell::Add(const TNotifyIconData& Data)
{
  if (!Data.Wnd || m_Icons.count(Data.Wnd)) return false;
  auto Entry = std::make_unique<TEntry>();
  Entry->Icon = std::make_unique<QSystemTrayIcon>();
  Entry->Wnd = Data.Wnd;
  Entry->uID = Data.uID;
  TEntry* Raw = Entry.get();
  Entry->Releases = std::make_unique<TReleaseWatch>([Raw](std::uint32_t M) { Raw->Post(M); });
  QObject::connect(Entry->Icon.get(), &QSystemTrayIcon::activated, Entry->Icon.get(),
                   [Raw](QSystemTrayIcon::ActivationReason Reason) {
                     switch (Reason) {
                       case QSystemTrayIcon::Trigger: Raw->Releases->Await(Qt::LeftButton, WM_LBUTTONUP); break;
                       case QSystemTrayIcon::DoubleClick:
                         // The double click, then the second release's click.
                         Raw->Post(WM_LBUTTONDBLCLK);
                         Raw->Releases->Await(Qt::LeftButton, WM_LBUTTONUP);
                         break;
                       case QSystemTrayIcon::Context: Raw->Releases->Await(Qt::RightButton, WM_RBUTTONUP); break;
                       case QSystemTrayIcon::MiddleClick: Raw->Post(WM_MBUTTONUP); break;
                       default: break;
                     }
                   });
  Apply(*Entry, Data);
  // Without a tray yet, Qt keeps the icon and docks it when a tray appears.
  Entry->Icon->show();
  m_Icons.emplace(Data.Wnd, std::move(Entry));
  return true;
}

bool TQtNotifyShell::Modify(const TNotifyIconData& Data)
{
  const auto Found = m_Icons.find(Data.Wnd);
  if (Found == m_Icons.end()) return false;
  Apply(*Found->second, Data);
  return true;
}

bool TQtNotifyShell::Delete(const TNotifyIconData& Data)
{
  const auto Found = m_Icons.find(Data.Wnd);
  if (Found == m_Icons.end()) return false;
  Found->second->Icon->hide();
  m_Icons.erase(Found);
  return true;
}

QSystemTrayIcon* TQtNotifyShell::IconOf(const TTrayWindow* Wnd) const
{
  const auto Found = m_Icons.find(Wnd);
  return Found == m_Icons.end() ? nullptr : Found->second->Icon.get();
}

bool TRecordingShell::Add(const TNotifyIconData& Data)
{
  Calls.push_back({NIM_ADD, Data});
  if (Fail || m_Shown.count(Data.Wnd)) return false;
  TNotifyIconData Shown;
  Shown.cbSize = Data.cbSize;
  Shown.Wnd = Data.Wnd;
  Shown.uID = Data.uID;
  MergeNotifyData(Shown, Data);
  m_Shown.emplace(Data.Wnd, Shown);
  return true;
}

bool TRecordingShell::Modify(const TNotifyIconData& Data)
{
  Calls.push_back({NIM_MODIFY, Data});
  const auto Found = m_Shown.find(Data.Wnd);
  if (Fail || Found == m_Shown.end()) return false;
  MergeNotifyData(Found->second, Data);
  return true;
}

bool TRecordingShell::Delete(const TNotifyIconData& Data)
{
  Calls.push_back({NIM_DELETE, Data});
  if (Fail) return false;
  return m_Shown.erase(Data.Wnd) > 0;
}

const TNotifyIconData* TRecordingShell::Shown(const TTrayWindow* Wnd) const
{
  const auto Found = m_Shown.find(Wnd);
  return Found == m_Shown.end() ? nullptr : &Found->second;
}

bool TRecordingShell::Mouse(const TTrayWindow* Wnd, std::uint32_t Mouse)
{
  const auto Found = m_Shown.find(Wnd);
  if (Found == m_Shown.end() || !(Found->second.uFlags & NIF_MESSAGE) || !Found->second.Wnd) return false;
  Found->second.Wnd->PostMessage(Found->second.uCallbackMessage, Found->second.uID, Mouse);
  return true;
}
