// SPDX-License-Identifier: MIT
// The query window: the address box, "Go!", the response pane, and the road of one WHOIS
// query from the user's text to "Done.", with the per-run history of replies.
// One instance, QueryForm, lives from start-up to exit on the GUI thread. Closing the window
// only hides it; a running query goes on to its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include "net/WSocket.h"

class QAbstractItemView;
class QComboBox;
class QPlainTextEdit;
class QPushButton;
class QWidget;
namespace Ui {
class TQueryForm;
}

class TQueryForm : public QDialog {
  Q_OBJECT

 public:
  explicit TQueryForm(QWidget* parent = nullptr);
  ~TQueryForm() override;
  TQueryForm(const TQueryForm&) = delete;
  TQueryForm& operator=(const TQueryForm&) = delete;

  // Components, under the names of the layout. WHOIS and WHOIStimer are members of the form.
  QWidget* BotPanel = nullptr;
  QComboBox* Address = nullptr;
  QPushButton* bGo = nullptr;
  TWSocket* WHOIS = nullptr;
  QPlainTextEdit* Response = nullptr;
  QTimer* WHOIStimer = nullptr;

  // The pane's 8-bit text, the model the query works on. The widget shows a decoded copy
  // that catches up from the event loop; read the text here, never from the widget.
  std::string ResponseText() const { return m_Text; }
  void SetResponseText(const std::string& Text);

  // Called by FormClose; the application switches its tray icon back on here.
  std::function<void()> OnFormClosed;

  // The host and port of a registry's WHOIS server. Default: WhoisServerPrefix + lower-case
  // registry + WhoisServerSuffix, port "43". Tests point it at their loopback servers.
  using TServerLookup = std::function<std::pair<std::string, std::string>(const std::string& Registry)>;
  static TServerLookup WhoisServerFor;
  static std::pair<std::string, std::string> DefaultWhoisServer(const std::string& Registry);
  static const std::string WhoisServerPrefix;
  static const std::string WhoisServerSuffix;

  // Reply bytes kept per query; past this the rest is dropped and the connection closed.
  static constexpr std::size_t ReplyCap = std::size_t{8} << 20;
  static const std::string ReplyCutLine;

  // Handlers, in declaration order. The socket's and the timer's are bound in FormCreate.
  void FormCreate();
  void FormClose();
 public Q_SLOTS:
  void DoQuery();
 public:
  void CheckEscapeKey(QObject* Sender, char& Key);
  void HostResolved(TCustomWSocket* Sender, std::uint16_t ErrCode);
  void FlagWHOISerror(TCustomWSocket* Sender, const std::exception& E, bool& CanClose);
  void SendWHOISquery(TCustomWSocket* Sender, std::uint16_t ErrCode);
  void DisplayWHOISdata(TCustomWSocket* Sender, std::uint16_t ErrCode);
  void WHOISdone(TCustomWSocket* Sender, std::uint16_t ErrCode);
  void WHOIStimeout();
 public Q_SLOTS:
  void AddressSelect(int Index);

 public:
  // A received block as it goes into the pane: NULs removed, LF made CR LF, CR CR LF made
  // CR LF, in that order over the whole block. Nothing is carried between blocks.
  static std::string CleanReplyBlock(std::string_view Block);
  // The stored form of a pane text: the part after the registry line, trimmed, or the
  // whole text when there is no ", querying " or nothing follows the registry line.
  static std::string CutHeader(const std::string& PaneText);
  // Lines of a pane text, an empty last line not counted; CR LF, lone CR and lone LF each
  // end a line.
  static std::size_t CountLines(std::string_view PaneText);
  // Display form of 8-bit text: UTF-8 where a sequence is valid, Latin-1 byte by byte
  // elsewhere. Used for the address box, whose text is 8-bit as well.
  static QString FromEightBit(std::string_view Text);

  // Number of stored replies (the list items of Address run parallel, newest first).
  std::size_t HistorySize() const { return ResponseHistory.size(); }
  // True from step 4 of DoQuery until the window is Idle again.
  bool QueryRunning() const { return m_Running; }
  // The address the last query sent (for a host name, its resolved address).
  const std::string& QueriedAddress() const { return QueryAddress; }

 protected:
  void done(int Result) override;
  void keyPressEvent(QKeyEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void AddResponseLine(const std::string& Text, int Breaks);
  void StartWhoisQuery();
  // Idle again after a failure that no WHOISdone will follow.
  void ReturnToIdle();
  // The widget catches up with the model, a slice at a time.
  void ScheduleFlush(bool Streaming = false);
  void FlushPane();
  void ResetPaneWidget();

  std::unique_ptr<Ui::TQueryForm> m_Ui;
  TWSocket m_Socket;
  QTimer m_Timer;
  QTimer m_FlushTimer;
  QElapsedTimer m_Pending;     // since when the widget lags behind the text

  std::string QueryAddress;
  std::vector<std::string> ResponseHistory;

  std::string m_Text;          // the pane's 8-bit text
  std::size_t m_Shown = 0;     // bytes of m_Text that the widget shows
  std::size_t m_Column = 0;    // characters on the widget's last line, for the length guard
  std::size_t m_ReplyBytes = 0;
  bool m_ReplyCut = false;
  bool m_Running = false;
  bool m_Discarding = false;   // a forced abort whose OnSessionClosed ends no query
  QAbstractItemView* m_List = nullptr;  // the drop-down list of Address
  bool m_ListChoice = false;   // a click or Enter in the list is being handled
};

extern TQueryForm* QueryForm;
