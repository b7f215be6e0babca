// SPDX-License-Identifier: MIT
// The query window: the address box, "Go!" and the response pane, the view of the query
// flow (whois/QuerySession.h). It hands the box's text to the flow, shows the pane's text as
// it grows, keeps the drop-down list in step with the stored replies and shows the error
// boxes the flow asks for. One instance, QueryForm, lives from start-up to exit on the GUI
// thread. Closing the window only hides it; a running query goes on to its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include "net/WSocket.h"
#include "whois/PaneText.h"
#include "whois/QuerySession.h"

class QAbstractItemView;
class QComboBox;
class QPlainTextEdit;
class QPushButton;
class QWidget;
namespace Ui {
class TQueryForm;
}

class TQueryForm : public QDialog, private TQueryView {
  Q_OBJECT

 public:
  explicit TQueryForm(QWidget* parent = nullptr);
  ~TQueryForm() override;
  TQueryForm(const TQueryForm&) = delete;
  TQueryForm& operator=(const TQueryForm&) = delete;

  // Components, under the names of the layout. WHOIS and WHOIStimer belong to the flow.
  QWidget* BotPanel = nullptr;
  QComboBox* Address = nullptr;
  QPushButton* bGo = nullptr;
  TWSocket* WHOIS = nullptr;
  QPlainTextEdit* Response = nullptr;
  QTimer* WHOIStimer = nullptr;

  // The pane's 8-bit text, the model the query works on. The widget shows a decoded copy
  // that catches up from the event loop; read the text here, never from the widget.
  std::string ResponseText() const { return m_Session.ResponseText(); }
  void SetResponseText(const std::string& Text);

  // Called by FormClose; the application switches its tray icon back on here.
  std::function<void()> OnFormClosed;

  // The host and port of a registry's WHOIS server. Default: WhoisServerPrefix + lower-case
  // registry + WhoisServerSuffix, port "43". Tests point it at their loopback servers.
  // They are the flow's own (TQuerySession), under the names the window has always given them.
  using TServerLookup = TQuerySession::TServerLookup;
  static TServerLookup& WhoisServerFor;
  static std::pair<std::string, std::string> DefaultWhoisServer(const std::string& Registry)
  {
    return TQuerySession::DefaultWhoisServer(Registry);
  }
  static const std::string& WhoisServerPrefix;
  static const std::string& WhoisServerSuffix;

  // Reply bytes kept per query; past this the rest is dropped and the connection closed.
  static constexpr std::size_t ReplyCap = ::ReplyCap;
  static const std::string& ReplyCutLine;

  // Handlers, in declaration order. Those of the flow hand over to it; the socket's events and
  // the timer's tick reach the flow directly.
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
  // The pane's text rules (whois/PaneText.h).
  static std::string CleanReplyBlock(std::string_view Block) { return ::CleanReplyBlock(Block); }
  static std::string CutHeader(const std::string& PaneText) { return ::CutHeader(PaneText); }
  static std::size_t CountLines(std::string_view PaneText) { return ::CountLines(PaneText); }
  static QString FromEightBit(std::string_view Text) { return ::FromEightBit(Text); }

  // Number of stored replies (the list items of Address run parallel, newest first).
  std::size_t HistorySize() const { return m_Session.HistorySize(); }
  // True from step 4 of DoQuery until the window is Idle again.
  bool QueryRunning() const { return m_Session.QueryRunning(); }
  // The address the last query sent (for a host name, its resolved address).
  const std::string& QueriedAddress() const { return m_Session.QueriedAddress(); }

 protected:
  void done(int Result) override;
  void keyPressEvent(QKeyEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // The flow's requests (TQueryView).
  std::string AddressText() const override;
  void SetAddressText(const std::string& Text) override;
  void PaneChanged(std::size_t From, bool Reply) override;
  void ShowPaneNow() override;
  void QueryRunningChanged(bool Running) override;
  void ReplyStored(const std::string& Item) override;
  void ShowWhoisError(const std::string& Message) override;
  void ShowTopLevelError(const std::string& Message) override;

  // The widget catches up with the pane's text, a slice at a time.
  void ScheduleFlush(bool Streaming = false);
  void FlushPane();
  void ResetPaneWidget();

  std::unique_ptr<Ui::TQueryForm> m_Ui;
  TQuerySession m_Session;
  QTimer m_FlushTimer;
  QElapsedTimer m_Pending;  // since when the widget lags behind the text

  std::size_t m_Shown = 0;              // bytes of the pane's text that the widget shows
  std::size_t m_Column = 0;             // characters on the widget's last line, for the length guard
  QAbstractItemView* m_List = nullptr;  // the drop-down list of Address
  bool m_ListChoice = false;            // a click or Enter in the list is being handled
};

extern TQueryForm* QueryForm;
