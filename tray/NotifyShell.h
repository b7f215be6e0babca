// SPDX-License-Identifier: MIT
// The notification shell: the record a tray icon sends with every call, the small adapter
// interface (add, modify, delete an icon), its implementation over QSystemTrayIcon and a
// recording one for tests. GUI thread only.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QMenu;
class QSystemTrayIcon;
class TTrayWindow;

constexpr std::uint32_t NIM_ADD = 0;
constexpr std::uint32_t NIM_MODIFY = 1;
constexpr std::uint32_t NIM_DELETE = 2;

// Flags: which members of the record the shell reads.
constexpr std::uint32_t NIF_MESSAGE = 1;
constexpr std::uint32_t NIF_ICON = 2;
constexpr std::uint32_t NIF_TIP = 4;

// The first, 88-byte form of the shell's record. The icon handle is the image itself; a
// null QIcon stands for handle 0.
struct TNotifyIconData {
  std::uint32_t cbSize = 0;
  TTrayWindow* Wnd = nullptr;
  std::uint32_t uID = 0;
  std::uint32_t uFlags = 0;
  std::uint32_t uCallbackMessage = 0;
  QIcon hIcon;
  std::array<char, 64> szTip{};

  // szTip up to its NUL byte.
  std::string Tip() const;
};

class TNotifyShell {
 public:
  virtual ~TNotifyShell();
  virtual bool Add(const TNotifyIconData& Data) = 0;
  virtual bool Modify(const TNotifyIconData& Data) = 0;
  virtual bool Delete(const TNotifyIconData& Data) = 0;
  // The pop-up menu of a window's icon (nullptr: none), for a shell whose host draws the
  // menu itself; such a shell reports the menu's closing as WM_CONTEXTMENU. Shells whose
  // component shows the menu ignore it.
  virtual void SetMenu(const TTrayWindow* Wnd, QMenu* Menu);
};

// Merges the members the flags name into Shown (flags included), as a shell keeps them.
void MergeNotifyData(TNotifyIconData& Shown, const TNotifyIconData& Data);

// Dispatches NIM_ADD, NIM_MODIFY or NIM_DELETE; any other message fails.
bool ShellNotifyIcon(TNotifyShell& Shell, std::uint32_t Message, const TNotifyIconData& Data);

// The shell new tray icons use when given none, unless a test set another: a
// StatusNotifierItem (tray/StatusNotifier.h) while a StatusNotifierWatcher is registered on
// the session bus, else the Qt one; icons move between the two when a watcher comes or goes.
TNotifyShell& DefaultNotifyShell();
// nullptr restores the shell above. The shell must outlive every icon created meanwhile.
void SetDefaultNotifyShell(TNotifyShell* Shell);

// Whether the desktop has a notification area now: a tray that QSystemTrayIcon can dock
// into (on X11 the _NET_SYSTEM_TRAY_S<n> selection has an owner), or a StatusNotifierWatcher
// with a host on a session bus that exists already (none is started to ask).
bool NotificationAreaAvailable();

// The XDG activation token that a notification host (ProvideXdgActivationToken, before
// Activate) or a later start of the program handed over for the window its request opens, on
// desktops that keep a window from taking the focus unasked. A token that is empty, longer
// than 1024 bytes or not printable ASCII is no token (none of them has such bytes). Taking it
// leaves none.
void ProvideActivationToken(const QString& Token);
QString TakeActivationToken();

// One QSystemTrayIcon per window (on X11 the XEmbed tray). Its activations are posted to the
// window as the record's callback message with the mouse message in LParam, at the button's
// release when Qt reports the press: Trigger -> WM_LBUTTONUP at the left release,
// DoubleClick -> WM_LBUTTONDBLCLK at once and WM_LBUTTONUP at the release, Context ->
// WM_RBUTTONUP at the right release, MiddleClick -> WM_MBUTTONUP. A report that comes while
// its button is not down is posted at once. No context menu is set on the QSystemTrayIcon:
// the component shows its own menu at the cursor. Posting rather than calling keeps a modal
// loop started by a click out of QSystemTrayIcon's signal.
class TQtNotifyShell : public TNotifyShell {
 public:
  TQtNotifyShell();
  ~TQtNotifyShell() override;
  bool Add(const TNotifyIconData& Data) override;
  bool Modify(const TNotifyIconData& Data) override;
  bool Delete(const TNotifyIconData& Data) override;

  // The Qt icon shown for a window, or nullptr; for tests and diagnostics.
  QSystemTrayIcon* IconOf(const TTrayWindow* Wnd) const;

 private:
  class TReleaseWatch;
  struct TEntry;
  void Apply(TEntry& Entry, const TNotifyIconData& Data);
  std::map<const TTrayWindow*, std::unique_ptr<TEntry>> m_Icons;
};

// Records every call and keeps the icons a real shell would show. Fail makes every call
// report failure (and change nothing).
class TRecordingShell : public TNotifyShell {
 public:
  struct TCall {
    std::uint32_t Message;
    TNotifyIconData Data;
  };

  bool Add(const TNotifyIconData& Data) override;
  bool Modify(const TNotifyIconData& Data) override;
  bool Delete(const TNotifyIconData& Data) override;

  // The icon as shown for a window (members merged as their flags said), or nullptr.
  const TNotifyIconData* Shown(const TTrayWindow* Wnd) const;
  // Posts the callback message of the window's shown icon with Mouse in LParam, as the
  // real shell does on a mouse action; false if no icon or no callback message is shown.
  bool Mouse(const TTrayWindow* Wnd, std::uint32_t Mouse);
  // Forgets every shown icon, as a restarted desktop shell does.
  void Restart() { m_Shown.clear(); }

  std::vector<TCall> Calls;
  bool Fail = false;

 private:
  std::map<const TTrayWindow*, TNotifyIconData> m_Shown;
};
