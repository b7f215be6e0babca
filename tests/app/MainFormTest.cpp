// SPDX-License-Identifier: MIT
#include "app/Main.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Image.h"
#include "tests/app/FormsTest.h"
#include "tests/tray/QtTestApp.h"
#include "tray/TrayIcon.h"
#include "whois/ErrorBox.h"
#include "whois/Query.h"

namespace {

std::string Repeat(const std::string& Piece, std::size_t Times)
{
  std::string Out;
  for (std::size_t I = 0; I < Times; ++I) Out += Piece;
  return Out;
}

void SetClipboardText(const QString& Text) { QGuiApplication::clipboard()->setText(Text); }

class MainFormTest : public TFormsTest {
 protected:
  void TearDown() override
  {
    TFormsTest::TearDown();
    ApplicationErrorSink = nullptr;
  }

  // A left click on the tray icon, as the shell reports it.
  void ClickTray() { ASSERT_TRUE(Shell.Mouse(MainForm->TrayIcon->TrayWindow(), WM_LBUTTONUP)); }
};

TEST_F(MainFormTest, StartsIntoTheTrayWithNoWindowShown)
{
  EXPECT_EQ(MainForm, Forms->Main.get());
  EXPECT_EQ(QueryForm, Forms->Query.get());
  for (QWidget* W : QApplication::topLevelWidgets()) EXPECT_FALSE(W->isVisible()) << W->objectName().toStdString();
  FlushEvents();
  // The stored "Quorvex 2.0" is replaced by the title before the icon is added.
  ASSERT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD}));
  EXPECT_EQ(Shell.Calls[0].Data.Tip(), "Quorvex");
  EXPECT_FALSE(Shell.Calls[0].Data.hIcon.isNull());
  EXPECT_TRUE(MainForm->TrayIcon->Active());
  EXPECT_EQ(QueryForm->windowTitle(), "Quorvex");
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Quorvex");
  EXPECT_FALSE(QGuiApplication::quitOnLastWindowClosed());
}

TEST_F(MainFormTest, LayoutOfTheAboutWindowAndTheMenu)
{
  EXPECT_EQ(MainForm->size(), QSize(249, 125));
  EXPECT_TRUE(MainForm->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(MainForm->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(MainForm->palette().color(QPalette::Window), QColor(128, 128, 128));
  EXPECT_EQ(MainForm->Image1->geometry(), QRect(1, 1, 247, 123));
  EXPECT_EQ(MainForm->Image1->pixmap().size(), QSize(247, 123));

  std::vector<std::string> Captions;
  for (QAction* A : MainForm->PopupMenu->actions())
    Captions.push_back(A->isSeparator() ? "-" : A->text().toStdString());
  EXPECT_EQ(Captions, (std::vector<std::string>{"&About", "Query &WHOIS", "-", "Exit"}));
  EXPECT_EQ(MainForm->PopupMenu->defaultAction(), MainForm->QueryWHOIS1);
  EXPECT_TRUE(MainForm->N1->isSeparator());
  EXPECT_EQ(MainForm->TrayIcon->PopupMenu(), MainForm->PopupMenu);
  EXPECT_FALSE(MainForm->TrayIcon->Animate());
}

TEST_F(MainFormTest, ClipboardTextBecomesTheAddress)
{
  struct Row {
    QString Clipboard;
    std::string Address;
  } Rows[] = {
      {"https://Host.Example.test:8080/a/b?c=d", "Host.Example.test:8080"},
      {"  192.0.2.1  ", "192.0.2.1"},
      {"Help Desk <user@mail.example.test>", "Help"},
      {QString("192.0.2.7") + QChar(0) + "/ignored", "192.0.2.7"},
      {QString(200000, ' ') + "far.example.test", "far.example.test"},
      // The whole text is cleaned first; only the result is bounded for the box, on a
      // character boundary.
      {QString(70000, 'a') + "@host.example", "host.example"},
      {QString(300000, 'a'), std::string(TMainForm::ClipboardAddressCap, 'a')},
      {"x" + QString(2000, QChar(0xFC)) + " tail", "x" + Repeat("\xc3\xbc", (TMainForm::ClipboardAddressCap - 1) / 2)},
      {QString::fromUtf8("b\xc3\xbc"
                         "cher.example"),
       "b\xc3\xbc"
       "cher.example"},
      {"", ""},
  };
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Address.substr(0, 60));
    SetClipboardText(R.Clipboard);
    const std::string Got = MainForm->ClipboardAddress();
    EXPECT_TRUE(Got == R.Address) << "got " << Got.size() << " bytes: " << Got.substr(0, 60) << "...";
  }
  auto* Picture = new QMimeData;
  Picture->setImageData(QImage(4, 4, QImage::Format_RGB32));
  QGuiApplication::clipboard()->setMimeData(Picture);
  EXPECT_EQ(MainForm->ClipboardAddress(), "");
  EXPECT_EQ(MainForm->CleanAddress("mailto:u@h.example"), "h.example");
}

TEST_F(MainFormTest, TrayClickOpensTheQueryWindowWithTheCleanedClipboard)
{
  SetClipboardText("https://whois.example.test/path?q=1");
  QueryForm->SetResponseText("old reply\r\n");
  QueryForm->Address->setEditText("old");
  std::string Pane, Address, Selected;
  bool Focused = false, Done = false;
  When(QueryOpen, [&] {
    WaitUntil([] { return QueryForm->Address->hasFocus(); }, 1000);
    Pane = QueryForm->ResponseText();
    Address = QueryForm->Address->currentText().toStdString();
    Selected = QueryForm->Address->lineEdit()->selectedText().toStdString();
    Focused = QueryForm->Address->hasFocus();
    QueryForm->reject();
    Done = true;
  });
  ClickTray();
  ASSERT_TRUE(WaitUntil([&] { return Done; }));
  EXPECT_EQ(Pane, "");
  EXPECT_EQ(Address, "whois.example.test");
  EXPECT_EQ(Selected, "whois.example.test");
  EXPECT_TRUE(Focused);
  FlushEvents();
  EXPECT_FALSE(QueryOpen());
  // Closing switches the icon on again, which changes nothing while it is on.
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD}));
}

TEST_F(MainFormTest, ClickWhileOpenOnlyRaisesTheWindow)
{
  SetClipboardText("first.example.test");
  bool Done = false;
  std::string Pane, Address;
  When(QueryOpen, [&] {
    QueryForm->SetResponseText("a reply\r\n");
    QueryForm->Address->setEditText("typed");
    SetClipboardText("second.example.test");
    ClickTray();
    Shell.Mouse(MainForm->TrayIcon->TrayWindow(), WM_LBUTTONDBLCLK);
    ClickTray();
    MainForm->QueryWHOIS1->trigger();
    FlushEvents();
    Pane = QueryForm->ResponseText();
    Address = QueryForm->Address->currentText().toStdString();
    QueryForm->reject();
    Done = true;
  });
  ClickTray();
  ASSERT_TRUE(WaitUntil([&] { return Done; }));
  EXPECT_EQ(Pane, "a reply\r\n");
  EXPECT_EQ(Address, "typed");
}

TEST_F(MainFormTest, AboutShowsThePictureCentredAndAClickOnItHidesIt)
{
  MainForm->About1->trigger();
  ASSERT_TRUE(MainForm->isVisible());
  const QRect Screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_LE((MainForm->frameGeometry().center() - Screen.center()).manhattanLength(), 2);
  // The gray frame does not react; the picture does.
  QTest::mouseClick(MainForm, Qt::LeftButton, {}, QPoint(0, 0));
  EXPECT_TRUE(MainForm->isVisible());
  QTest::mouseClick(MainForm->Image1, Qt::RightButton, {}, QPoint(100, 60));
  EXPECT_TRUE(MainForm->isVisible());
  QTest::mouseClick(MainForm->Image1, Qt::LeftButton, {}, QPoint(100, 60));
  EXPECT_FALSE(MainForm->isVisible());
  EXPECT_TRUE(MainForm->TrayIcon->Active()) << "hiding the picture is not closing";
  // A later showing keeps the place.
  MainForm->move(MainForm->pos() + QPoint(10, 10));
  const QPoint Moved = MainForm->pos();
  MainForm->ShowSplashForm(nullptr);
  EXPECT_EQ(MainForm->pos(), Moved);
  MainForm->HideForm(nullptr);
}

TEST_F(MainFormTest, AboutPictureIgnoresClicksWhileTheQueryWindowIsOpen)
{
  MainForm->ShowSplashForm(nullptr);
  bool Done = false, EnabledDuring = true, VisibleAfterClick = false;
  When(QueryOpen, [&] {
    EnabledDuring = MainForm->isEnabled();
    QTest::mouseClick(MainForm->Image1, Qt::LeftButton, {}, QPoint(100, 60));
    VisibleAfterClick = MainForm->isVisible();
    QueryForm->reject();
    Done = true;
  });
  ClickTray();
  ASSERT_TRUE(WaitUntil([&] { return Done; }));
  EXPECT_FALSE(EnabledDuring);
  EXPECT_TRUE(VisibleAfterClick);
  EXPECT_TRUE(MainForm->isEnabled());
  MainForm->HideForm(nullptr);
}

TEST_F(MainFormTest, ExitWhileTheQueryWindowIsOpenEndsTheProgramForGood)
{
  bool ClosedHandlerRan = false;
  const auto Original = QueryForm->OnFormClosed;
  QueryForm->OnFormClosed = [&, Original] {
    ClosedHandlerRan = true;
    Original();
  };
  QTimer::singleShot(0, [&] { ClickTray(); });
  When(QueryOpen, [] { MainForm->Exit1->trigger(); });
  QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
  const int Result = QApplication::exec();
  EXPECT_EQ(Result, 0);
  EXPECT_TRUE(MainForm->Closed());
  EXPECT_FALSE(MainForm->TrayIcon->Active());
  EXPECT_FALSE(ClosedHandlerRan);
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD, NIM_DELETE}));
  Forms.reset();
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD, NIM_DELETE})) << "tear-down must not bring the icon back";
}

TEST_F(MainFormTest, CloseRequestOnTheAboutPictureEndsTheProgram)
{
  MainForm->ShowSplashForm(nullptr);
  QTimer::singleShot(0, [] { MainForm->close(); });
  QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(MainForm->isVisible());
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD, NIM_DELETE}));
}

class TThrower : public QObject {
 public:
  explicit TThrower(std::string Text) : m_Text(std::move(Text)) {}
  bool event(QEvent* E) override
  {
    if (E->type() == QEvent::User) throw std::runtime_error(m_Text);
    return QObject::event(E);
  }

 private:
  std::string m_Text;
};

TEST_F(MainFormTest, EscapingExceptionsAreShownWithTheFullStopRuleAndTheLoopGoesOn)
{
  std::vector<std::string> Shown;
  ApplicationErrorSink = [&](const std::string& Text) { Shown.push_back(Text); };
  struct Row {
    std::string Message, Shown;
  } Rows[] = {
      {"Cannot open clipboard", "Cannot open clipboard."},
      {"Done.", "Done."},
      {"Stop!", "Stop!"},
      {"a/", "a/."},
      {"(x)", "(x)"},
      {"", ""},
  };
  for (const Row& R : Rows) {
    TThrower T(R.Message);
    QCoreApplication::postEvent(&T, new QEvent(QEvent::User));
    FlushEvents();
  }
  ASSERT_EQ(Shown.size(), std::size(Rows));
  for (std::size_t I = 0; I < Shown.size(); ++I) EXPECT_EQ(Shown[I], Rows[I].Shown);

  // A throwing slot behind a timer reaches the same handler; later events still run.
  Shown.clear();
  QTimer Timer;
  Timer.setSingleShot(true);
  QObject::connect(&Timer, &QTimer::timeout, [] { throw std::logic_error("Handler failed"); });
  Timer.start(0);
  bool Later = false;
  QTimer::singleShot(5, [&] { Later = true; });
  ASSERT_TRUE(WaitUntil([&] { return Later; }));
  EXPECT_EQ(Shown, (std::vector<std::string>{"Handler failed."}));
}

}  // namespace
