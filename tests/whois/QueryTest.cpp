// SPDX-License-Identifier: MIT
// The query window driven like a user would: real sockets to scripted WHOIS servers on
// 127.0.0.1, offscreen widgets, QTest input and a wait-until helper.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

#include "geo/LibOstrand.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/WhoisServer.h"
#include "tests/whois/TestRangeFile.h"
#include "whois/ErrorBox.h"
#include "whois/Query.h"

namespace {

class TQtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override
  {
    static int Argc = 1;
    static char Name[] = "QueryTest";
    static char* Argv[] = {Name, nullptr};
    m_App = std::make_unique<QApplication>(Argc, Argv);
    QGuiApplication::setApplicationDisplayName("Quorvex");
  }
  void TearDown() override { m_App.reset(); }

 private:
  std::unique_ptr<QApplication> m_App;
};
const auto* const QtEnvironment = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

// Closes every message box that comes up (with its first button) and remembers its texts.
class TBoxCloser {
 public:
  struct TBox {
    QString Title, Text;
    QStringList Buttons;
    QMessageBox::Icon Icon;
  };
  TBoxCloser()
  {
    m_Timer.setInterval(10);
    QObject::connect(&m_Timer, &QTimer::timeout, [this] {
      auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!Box || !Box->isVisible()) return;
      TBox B{Box->windowTitle(), Box->text(), {}, Box->icon()};
      for (QAbstractButton* Button : Box->buttons()) B.Buttons << Button->text();
      Boxes.push_back(B);
      Box->buttons().first()->click();
    });
    m_Timer.start();
  }
  std::vector<TBox> Boxes;

 private:
  QTimer m_Timer;
};

const std::string Global = "Address is Global, querying ARIN..\r\n\r\n";

class QueryTest : public ::testing::Test {
 protected:
  void SetUp() override
  {
    ASSERT_TRUE(m_Dir.isValid());
    m_OldDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_Dir.path()));
    RangeTable.clear();
    TQueryForm::WhoisServerFor = [this](const std::string& Registry) {
      Asked.push_back(Registry);
      return std::make_pair(ServerHost, ServerPort);
    };
    ApplicationErrorSink = [this](const std::string& M) { Errors.push_back(M); };
    Form = std::make_unique<TQueryForm>();
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }
  void TearDown() override
  {
    Form.reset();
    TQueryForm::WhoisServerFor = &TQueryForm::DefaultWhoisServer;
    ApplicationErrorSink = nullptr;
    RangeTable.clear();
    QDir::setCurrent(m_OldDir);
  }

  void Use(const TWhoisServer& Server) { ServerPort = Server.PortText(); }
  // Types Text into the address box and clicks "Go!".
  void Start(const std::string& Text)
  {
    Form->Address->setEditText(QString::fromStdString(Text));
    QTest::mouseClick(Form->bGo, Qt::LeftButton);
  }
  bool Idle() const { return Form->bGo->isEnabled() && !Form->WHOIStimer->isActive() && !Form->QueryRunning(); }
  // A whole query: true when the window is Idle again in time.
  bool Query(const std::string& Text, int TimeoutMs = 10000)
  {
    Start(Text);
    return WaitUntil([this] { return Idle(); }, TimeoutMs);
  }
  std::string Pane() const { return Form->ResponseText(); }
  // The widget's text once it has caught up with the model.
  bool Shows(const QString& Expected)
  {
    return WaitUntil([&] { return Form->Response->toPlainText() == Expected; });
  }
  // Types into the address box as a user does: select all, then key by key.
  void Type(const QString& Text)
  {
    QLineEdit* Edit = Form->Address->lineEdit();
    Edit->setFocus();
    Edit->selectAll();
    QTest::keyClicks(Edit, Text);
  }
  // Chooses the item at Row from the open drop-down list, by a click on it or by Enter.
  void Choose(int Row, bool ByMouse = false)
  {
    QComboBox* Box = Form->Address;
    Box->showPopup();
    QAbstractItemView* View = Box->view();
    ASSERT_TRUE(WaitUntil([&] { return View->isVisible(); }));
    const QModelIndex Item = Box->model()->index(Row, 0);
    if (ByMouse) {
      // The list ignores a release that follows its opening too closely (the opening
      // click's own release).
      QTest::qWait(QApplication::doubleClickInterval() + 50);
      View->scrollTo(Item);
      QTest::mouseClick(View->viewport(), Qt::LeftButton, {}, View->visualRect(Item).center());
    } else {
      View->setCurrentIndex(Item);
      QTest::keyClick(View, Qt::Key_Return);
    }
    EXPECT_TRUE(WaitUntil([&] { return !View->isVisible(); }));
  }
  QStringList Items() const
  {
    QStringList L;
    for (int I = 0; I < Form->Address->count(); ++I) L << Form->Address->itemText(I);
    return L;
  }

  std::unique_ptr<TQueryForm> Form;
  std::vector<std::string> Asked;
  std::vector<std::string> Errors;
  std::string ServerHost = "127.0.0.1";
  std::string ServerPort;

 private:
  QTemporaryDir m_Dir;
  QString m_OldDir;
};

TEST_F(QueryTest, WindowLayoutAndInitialTexts)
{
  EXPECT_EQ(Form->windowTitle(), "Quorvex");
  EXPECT_EQ(Form->ResponseText(), "Response");
  EXPECT_EQ(Form->Address->currentText(), "Address");
  EXPECT_TRUE(Form->Address->isEditable());
  EXPECT_EQ(Form->bGo->text(), "Go!");
  EXPECT_TRUE(Form->bGo->isDefault());
  EXPECT_TRUE(Form->Response->isReadOnly());
  EXPECT_EQ(Form->Response->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_TRUE(QFontInfo(Form->Response->font()).fixedPitch());
  EXPECT_EQ(Form->WHOIStimer->interval(), 90000);
  EXPECT_FALSE(Form->WHOIStimer->isSingleShot());
  EXPECT_FALSE(Form->WHOIStimer->isActive());
  EXPECT_EQ(QueryForm, Form.get());
  EXPECT_EQ(Form->WHOIS->LingerOnOff(), wsLingerOn);
  EXPECT_EQ(Form->WHOIS->LingerTimeout(), 0);
  EXPECT_FALSE(Form->WHOIS->LineMode());
  // The address box grows with the window; the button keeps its size at the right edge.
  const int AddressWidth = Form->Address->width();
  Form->resize(Form->width() + 100, Form->height() + 50);
  EXPECT_TRUE(WaitUntil([&] { return Form->Address->width() == AddressWidth + 100; }));
  EXPECT_EQ(Form->bGo->width(), 51);
  EXPECT_EQ(Form->bGo->geometry().right(), Form->BotPanel->width() - 1);
  EXPECT_EQ(Form->BotPanel->height(), 39);
  // Tab order: address box, button, pane.
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  Form->Address->setFocus();
  EXPECT_TRUE(WaitUntil([&] { return Form->Address->hasFocus(); }));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_TRUE(Form->bGo->hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_TRUE(Form->Response->hasFocus());
}

TEST_F(QueryTest, DottedAddressWorkedExample)
{
  WriteRangeFile({{0, NoCountry}, {IpNumber(192, 0, 2, 0), 225}, {IpNumber(192, 0, 3, 0), NoCountry}});
  TWhoisServer Server(ScriptOptions(
      {SendStep("% reply for %q\r\nNetRange: 192.0.2.0 - 192.0.2.255\nOrgName: Example\r\n\r\n  \r\n\n")}));
  Use(Server);
  ASSERT_TRUE(Query(" 192.0.2.1 "));
  EXPECT_EQ(Pane(),
            "192.0.2.1 is based in the United States\r\n"
            "\r\n"
            "Address is North American, querying ARIN..\r\n"
            "\r\n"
            "% reply for 192.0.2.1\r\n"
            "NetRange: 192.0.2.0 - 192.0.2.255\r\n"
            "OrgName: Example\r\n"
            "\r\n"
            "Done.");
  EXPECT_EQ(Server.Queries(), std::vector<std::string>{"192.0.2.1"});
  EXPECT_EQ(Asked, std::vector<std::string>{"ARIN"});
  EXPECT_EQ(Form->Address->currentText(), "192.0.2.1");  // the cleaned text written back
  EXPECT_TRUE(
      Shows("192.0.2.1 is based in the United States\n\nAddress is North American, querying ARIN..\n\n"
            "% reply for 192.0.2.1\nNetRange: 192.0.2.0 - 192.0.2.255\nOrgName: Example\n\nDone."));
  EXPECT_TRUE(Errors.empty());
}

TEST_F(QueryTest, PastedFormsNoResolverReadsRunAsTheAddressTheyStandFor)
{
  TWhoisServer Server(ScriptOptions({SendStep("% reply for %q\r\n")}));
  Use(Server);
  for (const char* Text : {"[192.0.2.1]:53", "192.0.2[.]1", "(192.0.2.1),"}) {
    SCOPED_TRACE(Text);
    ASSERT_TRUE(Query(Text));
    EXPECT_EQ(Form->Address->currentText(), "192.0.2.1");
    EXPECT_EQ(Pane(), "Address is Global, querying ARIN..\r\n\r\n% reply for 192.0.2.1\r\n\r\nDone.");
  }
  EXPECT_EQ(Server.Queries(), std::vector<std::string>(3, "192.0.2.1"));
}

TEST_F(QueryTest, UnknownHostAndEmptyText)
{
  // All digits and dots but no address: the resolver answers without asking the network.
  ASSERT_TRUE(Query("1.2.3.4.5"));
  EXPECT_EQ(Pane(), "Resolving 1.2.3.4.5..\r\nNo such host\r\n");
  EXPECT_TRUE(Shows("Resolving 1.2.3.4.5..\nNo such host\n"));

  ASSERT_TRUE(Query("  <> "));
  EXPECT_EQ(Pane(), "");
  EXPECT_EQ(Form->Address->currentText(), "");
  EXPECT_TRUE(Shows(""));
  EXPECT_TRUE(Asked.empty());
  EXPECT_TRUE(Errors.empty());
}

TEST_F(QueryTest, TimeOutWithNothingElseIsStoredAsConnectionTimeout)
{
  WriteRangeFile({{0, CountryOf("de")}});
  TWhoisServer Server(ScriptOptions({HoldStep()}));
  Use(Server);
  Form->WHOIStimer->setInterval(200);
  ASSERT_TRUE(Query("192.0.2.1"));
  ASSERT_EQ(Form->HistorySize(), 1u);
  Choose(0);
  EXPECT_EQ(Pane(), "Connection timeout");
}

TEST_F(QueryTest, HistoryRulesAndRecallOrder)
{
  TWhoisServer Server(ScriptOptions({SendStep("reply %q\r\nline 2\r\nline 3\r\nline 4\r\n")}));
  Use(Server);
  for (const char* A : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) ASSERT_TRUE(Query(A));
  EXPECT_EQ(Items(), (QStringList{"10.0.0.3", "10.0.0.2", "10.0.0.1"}));
  ASSERT_EQ(Form->HistorySize(), 3u);

  // The same address again stores nothing, and the earlier reply stays the one recalled.
  TWhoisServer Other(ScriptOptions({SendStep("another reply %q\r\n2\r\n3\r\n4\r\n")}));
  Use(Other);
  ASSERT_TRUE(Query("10.0.0.2"));
  EXPECT_EQ(Items().size(), 3);
  Choose(1, true);
  EXPECT_EQ(Pane(), "reply 10.0.0.2\r\nline 2\r\nline 3\r\nline 4");
  EXPECT_EQ(Form->Address->currentText(), "10.0.0.2");
  EXPECT_TRUE(Shows("reply 10.0.0.2\nline 2\nline 3\nline 4"));
  Choose(2);
  EXPECT_EQ(Pane(), "reply 10.0.0.1\r\nline 2\r\nline 3\r\nline 4");

  // Five lines in the pane, header included, are not enough; six are.
  TWhoisServer Short(ScriptOptions({SendStep("1\r\n2\r\n3\r\n")}));
  Use(Short);
  ASSERT_TRUE(Query("10.0.0.9"));
  EXPECT_EQ(Items().size(), 3);
  EXPECT_EQ(Form->HistorySize(), 3u);
}

TEST_F(QueryTest, HistoryOfHostNamesComparesTheResolvedAddress)
{
  TWhoisServer Server(ScriptOptions({SendStep("r %q\r\n2\r\n3\r\n4\r\n")}));
  Use(Server);
  ASSERT_TRUE(Query("localhost"));
  ASSERT_TRUE(Query("localhost"));  // 127.0.0.1 is no item: stored again
  EXPECT_EQ(Items(), (QStringList{"localhost", "localhost"}));
  ASSERT_TRUE(Query("127.0.0.1"));
  EXPECT_EQ(Items(), (QStringList{"127.0.0.1", "localhost", "localhost"}));
  ASSERT_TRUE(Query("LOCALHOST"));  // now its address is an item
  EXPECT_EQ(Items().size(), 3);
  EXPECT_EQ(Form->HistorySize(), 3u);
}

TEST_F(QueryTest, ChoiceInTheListWhileAQueryRuns)
{
  TWhoisServer First(ScriptOptions({SendStep("stored %q\r\n2\r\n3\r\n4\r\n")}));
  Use(First);
  ASSERT_TRUE(Query("10.0.0.1"));
  TWhoisServer Second(ScriptOptions({SendStep("early\r\n"), GateStep(1), SendStep("late\r\n\r\n")}));
  Use(Second);
  Start("10.0.0.2");
  ASSERT_TRUE(WaitUntil([&] { return Pane().find("early") != std::string::npos; }));
  Choose(0);
  EXPECT_EQ(Pane(), "stored 10.0.0.1\r\n2\r\n3\r\n4");
  Second.Open(1);
  ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
  EXPECT_EQ(Pane(), "stored 10.0.0.1\r\n2\r\n3\r\n4late\r\n\r\nDone.");
  EXPECT_TRUE(Shows("stored 10.0.0.1\n2\n3\n4late\n\nDone."));
}

// The box queries what was typed: an earlier, longer address in the list does not complete
// a typed prefix of it, neither by "Go!" nor by Enter, and letter case is not borrowed.
TEST_F(QueryTest, TypedPrefixOfAnEarlierAddressIsQueriedAsTyped)
{
  TWhoisServer Server(ScriptOptions({SendStep("r %q\r\n2\r\n3\r\n4\r\n")}));
  Use(Server);
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  ASSERT_TRUE(Query("localHost"));
  ASSERT_TRUE(Query("192.0.2.11"));
  ASSERT_EQ(Items(), (QStringList{"192.0.2.11", "localHost"}));

  Type("local");
  EXPECT_EQ(Form->Address->currentText(), "local");

  Type("192.0.2.1");
  EXPECT_EQ(Form->Address->currentText(), "192.0.2.1");
  QTest::mouseClick(Form->bGo, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
  EXPECT_EQ(Server.Queries().back(), "192.0.2.1");

  Type("192.0.2.1");
  QTest::keyClick(Form->Address->lineEdit(), Qt::Key_Return);  // one Enter queries
  ASSERT_TRUE(WaitUntil([&] { return Idle() && Server.Queries().size() == 4; }));
  EXPECT_EQ(Server.Queries().back(), "192.0.2.1");
  EXPECT_EQ(Form->Address->currentText(), "192.0.2.1");
}

// Only a choice in the drop-down list recalls a reply. Text that equals an item (in any
// letter case) recalls nothing when the focus leaves the box, and keeps its spelling.
TEST_F(QueryTest, EditingToTheTextOfAnItemIsNoChoice)
{
  TWhoisServer Server(ScriptOptions({SendStep("stored %q\r\n2\r\n3\r\n4\r\n")}));
  Use(Server);
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  ASSERT_TRUE(Query("localhost"));
  ASSERT_TRUE(Query("10.0.0.1"));
  ASSERT_TRUE(Query("10.0.0.2"));
  const std::string Last = Pane();
  ASSERT_EQ(Items(), (QStringList{"10.0.0.2", "10.0.0.1", "localhost"}));

  for (const QString& Text : {QString("10.0.0.1"), QString("LOCALHOST")}) {
    SCOPED_TRACE(Text.toStdString());
    Type(Text);
    Form->Response->setFocus();  // a click into the pane, to copy from it
    ASSERT_TRUE(WaitUntil([&] { return Form->Response->hasFocus(); }));
    QTest::qWait(20);
    EXPECT_EQ(Pane(), Last);
    EXPECT_EQ(Form->Address->currentText(), Text);
  }

  // "Go!" takes the focus as well; the query runs with the text as the user spelled it.
  QTest::mouseClick(Form->bGo, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
  EXPECT_EQ(Form->Address->currentText(), "LOCALHOST");
  EXPECT_EQ(Pane(), "Resolving LOCALHOST..\r\n" + Global + "stored 127.0.0.1\r\n2\r\n3\r\n4\r\n\r\nDone.");
  EXPECT_EQ(Items(), (QStringList{"LOCALHOST", "10.0.0.2", "10.0.0.1", "localhost"}));
  Choose(3);
  EXPECT_EQ(Pane(), "stored 127.0.0.1\r\n2\r\n3\r\n4");
  EXPECT_EQ(Form->Address->currentText(), "localhost");
}

// The "Unhandled WHOIS error:" box takes the focus from the address box while a query runs:
// text in the box that equals an item must not put that item's reply over the query's pane.
TEST_F(QueryTest, ErrorBoxTakingTheFocusLeavesTheRunningQueryItsPane)
{
  TWhoisServer First(ScriptOptions({SendStep("stored %q\r\n2\r\n3\r\n4\r\n")}));
  Use(First);
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  ASSERT_TRUE(Query("10.0.0.1"));
  ASSERT_TRUE(Query("10.0.0.3"));
  TWhoisServer Second(ScriptOptions({SendStep("early\r\n"), GateStep(1), SendStep("late\r\n")}));
  Use(Second);
  Start("10.0.0.2");
  ASSERT_TRUE(WaitUntil([&] { return Pane().find("early") != std::string::npos; }));
  Type("10.0.0.1");
  ASSERT_TRUE(Form->Address->lineEdit()->hasFocus());
  TBoxCloser Closer;
  bool Raised = false;
  QTimer::singleShot(0, [&] {
    bool CanClose = true;
    Form->FlagWHOISerror(Form->WHOIS, std::runtime_error("send failed"), CanClose);
    Raised = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return Raised && Idle(); }));
  ASSERT_EQ(Closer.Boxes.size(), 1u);
  EXPECT_EQ(Pane(), Global + "early\r\n\r\nDone.");
  EXPECT_EQ(Form->Address->currentText(), "10.0.0.1");
  Second.Open(1);
}

TEST_F(QueryTest, EscapeClosesFromAddressAndButtonOnly)
{
  int Closed = 0;
  Form->OnFormClosed = [&] { ++Closed; };
  Form->Response->setFocus();
  QTest::keyClick(Form->Response, Qt::Key_Escape);
  EXPECT_TRUE(Form->isVisible());
  QTest::keyClick(Form->Response, Qt::Key_Return);  // Enter in the pane starts nothing
  EXPECT_EQ(Pane(), "Response");

  QTest::keyClick(Form->Address->lineEdit(), Qt::Key_Escape);
  EXPECT_FALSE(Form->isVisible());
  EXPECT_EQ(Closed, 1);

  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  QTest::keyClick(Form->bGo, Qt::Key_A);
  EXPECT_TRUE(Form->isVisible());
  QTest::keyClick(Form->bGo, Qt::Key_Escape);
  EXPECT_FALSE(Form->isVisible());
  EXPECT_EQ(Closed, 2);
}

TEST_F(QueryTest, EnterInTheAddressBoxStartsTheQuery)
{
  TWhoisServer Server(ScriptOptions({SendStep("x\r\n")}));
  Use(Server);
  Form->Address->setEditText("192.0.2.7");
  Form->Address->lineEdit()->setFocus();
  QTest::keyClick(Form->Address->lineEdit(), Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([&] { return Idle() && Pane().find("Done.") != std::string::npos; }));
  EXPECT_EQ(Server.Queries(), std::vector<std::string>{"192.0.2.7"});
  EXPECT_EQ(Items().size(), 0);  // the box itself adds nothing to its list
}

TEST_F(QueryTest, ClosingTheWindowDoesNotStopTheQuery)
{
  TWhoisServer Server(ScriptOptions({SendStep("before\r\n"), GateStep(1), SendStep("after\r\n")}));
  Use(Server);
  Start("192.0.2.1");
  ASSERT_TRUE(WaitUntil([&] { return Pane().find("before") != std::string::npos; }));
  QTest::keyClick(Form->Address->lineEdit(), Qt::Key_Escape);
  EXPECT_FALSE(Form->isVisible());
  EXPECT_FALSE(Form->bGo->isEnabled());
  Server.Open(1);
  ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
  EXPECT_EQ(Pane(), Global + "before\r\nafter\r\n\r\nDone.");
}

TEST_F(QueryTest, AppendsMoveNeitherCaretNorView)
{
  std::string Lines;
  for (int I = 0; I < 300; ++I) Lines += "line " + std::to_string(I) + "\r\n";
  TWhoisServer Server(ScriptOptions({SendStep(Lines), GateStep(1), SendStep(Lines)}));
  Use(Server);
  Start("192.0.2.1");
  ASSERT_TRUE(WaitUntil([&] { return Form->Response->toPlainText().contains("line 299"); }));
  QTextCursor C = Form->Response->textCursor();
  C.setPosition(40);
  Form->Response->setTextCursor(C);
  Form->Response->verticalScrollBar()->setValue(25);
  Server.Open(1);
  ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
  ASSERT_TRUE(WaitUntil([&] { return Form->Response->toPlainText().endsWith("Done."); }));
  EXPECT_EQ(Form->Response->textCursor().position(), 40);
  EXPECT_EQ(Form->Response->verticalScrollBar()->value(), 25);
}

TEST_F(QueryTest, DisplayDecodesAndKeepsEveryByte)
{
  // UTF-8 split over two blocks, Latin-1 bytes, a lone CR, controls and a paragraph
  // separator: the text keeps the bytes, the widget shows one character for each.
  const std::string Reply = std::string(4095, 'x') + "\xc3" + "\xa9 caf\xe9 a\rb \x01 \xe2\x80\xa9.\r\n";
  TWhoisServer Server(ScriptOptions({SendStep(Reply)}));
  Use(Server);
  ASSERT_TRUE(Query("192.0.2.1"));
  EXPECT_EQ(Pane(), Global + Reply.substr(0, Reply.size() - 2) + "\r\n\r\nDone.");
  const QString Expected = QString::fromStdString("Address is Global, querying ARIN..\n\n") + QString(1024, 'x') +
                           "\n" + QString(1024, 'x') + "\n" + QString(1024, 'x') + "\n" + QString(1023, 'x') +
                           QChar(0xE9) + "\n caf" + QChar(0xE9) + " a\nb " + QChar(0xFFFD) + " " + QChar(0xFFFD) +
                           ".\n\nDone.";
  EXPECT_TRUE(Shows(Expected)) << Form->Response->toPlainText().right(40).toStdString();
}

TEST_F(QueryTest, HostileRepliesStayBoundedAndResponsive)
{
  const struct {
    const char* Name;
    TScriptStep Step;
    bool Cut;
  } Rows[] = {
      {"one long line", FloodStep("abcdefgh", 20u << 20), true},
      {"NUL flood", FloodStep(std::string(4096, '\0') + "word", 20u << 20), true},
      {"high bytes", FloodStep("\x80\xff\xc3\xe2\x82\n\r\xfe", 3u << 20), false},
  };
  for (const auto& R : Rows) {
    TWhoisServer Server(ScriptOptions({R.Step}));
    Use(Server);
    // The event loop keeps turning while megabytes arrive and are shown.
    QElapsedTimer Clock;
    qint64 Last = 0, WorstGap = 0;
    QTimer Tick;
    QObject::connect(&Tick, &QTimer::timeout, [&] {
      WorstGap = std::max(WorstGap, Clock.elapsed() - Last);
      Last = Clock.elapsed();
    });
    Clock.start();
    Tick.start(10);
    ASSERT_TRUE(Query("192.0.2.1", 60000)) << R.Name;
    ASSERT_TRUE(WaitUntil([&] { return Form->Response->toPlainText().endsWith("Done."); }, 60000)) << R.Name;
    Tick.stop();
    const std::string P = Pane();
    EXPECT_LE(P.size(), TQueryForm::ReplyCap * 2 + 200) << R.Name;
    EXPECT_EQ(P.find('\0'), std::string::npos) << R.Name;
    EXPECT_EQ(P.find(TQueryForm::ReplyCutLine) != std::string::npos, R.Cut) << R.Name;
    EXPECT_EQ(P.substr(P.size() - 5), "Done.") << R.Name;
    if (R.Cut) {
      EXPECT_LT(Server.BytesSent(), std::uint64_t{20} << 20) << R.Name;  // the connection was closed
    }
    EXPECT_LT(WorstGap, 3000) << R.Name;
    EXPECT_LT(Form->Response->document()->characterCount(), int(TQueryForm::ReplyCap * 2)) << R.Name;
  }
}

TEST_F(QueryTest, ExceptionsLeavingDoQueryReturnToIdle)
{
  // A name over 256 characters.
  ASSERT_TRUE(Query(std::string(300, 'a') + ".example"));
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "WSocketGetHostByName: Invalid Hostname.");
  // Connect refusing at once, for a dotted address.
  ServerPort = "";
  ASSERT_TRUE(Query("192.0.2.1"));
  ASSERT_EQ(Errors.size(), 2u);
  EXPECT_EQ(Errors[1], "Connect: No Port Specified.");
  EXPECT_EQ(Pane(), Global);
  EXPECT_EQ(Form->WHOIS->State(), wsClosed);
  // And the window works again afterwards.
  TWhoisServer Server(ScriptOptions({SendStep("fine\r\n")}));
  Use(Server);
  ASSERT_TRUE(Query("192.0.2.1"));
  EXPECT_EQ(Pane(), Global + "fine\r\n\r\nDone.");
}

TEST_F(QueryTest, ConnectFailureAfterTheLookupShowsTheWhoisBoxAndReturnsToIdle)
{
  ServerPort = "";
  TBoxCloser Closer;
  ASSERT_TRUE(Query("localhost"));
  ASSERT_EQ(Closer.Boxes.size(), 1u);
  EXPECT_EQ(Closer.Boxes[0].Title, "Error");
  EXPECT_EQ(Closer.Boxes[0].Text, "Unhandled WHOIS error:\nConnect: No Port Specified");
  EXPECT_EQ(Closer.Boxes[0].Buttons, QStringList{"&Abort"});
  EXPECT_EQ(Closer.Boxes[0].Icon, QMessageBox::Critical);
  EXPECT_EQ(Pane(), "Resolving localhost..\r\n" + Global);
  EXPECT_TRUE(Errors.empty());
}

}  // namespace
