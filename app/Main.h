// SPDX-License-Identifier: MIT
// The main window: never shown at start, it owns the tray icon and its menu, doubles as the
// borderless About picture, and opens the query window with the clipboard's text. Its
// closing ends the program. One instance, MainForm; GUI thread only.
#pragma once

#include <QWidget>

#include <memory>
#include <string>
#include <string_view>

class QAction;
class QIcon;
class QMenu;
class TFocusedClipboardRead;
class TImage;
class TTrayIcon;
namespace Ui {
class TMainForm;
}

enum class TCloseAction { caNone, caHide, caFree, caMinimize };

class TMainForm : public QWidget {
  Q_OBJECT

 public:
  // Sets MainForm before FormCreate runs. The tray icon uses DefaultNotifyShell().
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // Parts, in declaration order; all owned by the window.
  TImage* Image1 = nullptr;
  TTrayIcon* TrayIcon = nullptr;
  QMenu* PopupMenu = nullptr;
  QAction* QueryWHOIS1 = nullptr;
  QAction* N1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* About1 = nullptr;

  void FormCreate(QObject* Sender);
  // Switches the tray icon off; Action is left as it comes.
  void FormClose(QObject* Sender, TCloseAction& Action);
  void HideForm(QObject* Sender);
  void ShowSplashForm(QObject* Sender);
  void ShowQueryForm(QObject* Sender);
  void CloseApp(QObject* Sender);

  std::string CleanAddress(std::string_view Text) const;

  // The clipboard's text as the address box gets it: the text up to its first NUL, as
  // UTF-8, through CleanAddress, then cut to at most ClipboardAddressCap bytes on a
  // character boundary. Empty when the clipboard offers no text.
  std::string ClipboardAddress() const;
  // A host name has at most 253 characters and the resolver refuses names over 256, so a
  // cleaned text longer than this is no address whatever follows; the box shows its start
  // (a megabyte in a line edit would only slow the window down). The cap stays above the
  // resolver's limit, so a cut text is refused rather than taken for another host.
  static constexpr int ClipboardAddressCap = 1024;

  // True once the window has been closed, that is, the program is ending.
  bool Closed() const { return m_Closed; }

  // Where the clipboard is readable only with the keyboard focus (set from the platform at
  // creation), ShowQueryForm shows the box empty and FocusedClipboard fills it once the
  // query window has the focus.
  bool ReadClipboardOnFocus = false;
  TFocusedClipboardRead* FocusedClipboard = nullptr;

 public Q_SLOTS:
  // The layout's bindings; the sender is whoever raised the signal.
  void HideForm() { HideForm(sender()); }
  void ShowSplashForm() { ShowSplashForm(sender()); }
  void ShowQueryForm() { ShowQueryForm(sender()); }
  void CloseApp() { CloseApp(sender()); }

 protected:
  void closeEvent(QCloseEvent* Event) override;

 private:
  // Sets the query window's address box to Text, all of it selected.
  void PutAddress(const std::string& Text);

  std::unique_ptr<Ui::TMainForm> m_Ui;
  bool m_Placed = false;
  bool m_Closed = false;
};

extern TMainForm* MainForm;

// Registers the embedded pictures and icons (":/assets/..."); safe to call again.
void LoadAssets();

// The tray icon's image: the 16-pixel icon, and the same globe drawn at 22, 24, 32 and 48
// pixels for panels that show it larger.
QIcon TrayIconImage();
