// SPDX-License-Identifier: MIT
// Desktops unlike the XEmbed tray: the clipboard read once the query window has the focus
// (Wayland), and start-up with no notification area at all.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHideEvent>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/FocusedClipboard.h"
#include "app/Main.h"
#include "app/TrayWatch.h"
#include "tests/app/FormsTest.h"
#include "tests/tray/QtTestApp.h"
#include "tray/TrayIcon.h"
#include "whois/Query.h"

namespace {

void SendActivate(QWidget* Window)
{
  QEvent Activate(QEvent::WindowActivate);
  QCoreApplication::sendEvent(Window, &Activate);
}

// A clipboard offer arriving, as the platform reports it.
void OfferArrives() { Q_EMIT QGuiApplication::clipboard()->dataChanged(); }

// A window with an editable box that is never shown, so only the events the test sends
// activate it.
class FocusedClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override
  {
    Box = new QComboBox(&Window);
    Box->setEditable(true);
    Read.FallbackDelay = 60000;
    Read.GiveUpDelay = 60000;
  }
  // Fill as the main window does: the next result of Results (empty when they run out).
  void Arm()
  {
    Read.Arm(&Window, Box, [this] {
      const std::string Text = Calls < Results.size() ? Results[Calls] : std::string();
      ++Calls;
      Box->setEditText(QString::fromStdString(Text));
      return !Text.empty();
    });
  }

  QWidget Window;
  QComboBox* Box = nullptr;
  TFocusedClipboardRead Read;
  std::vector<std::string> Results;
  std::size_t Calls = 0;
};

TEST_F(FocusedClipboardTest, NeededOnWaylandOnly)
{
  for (const char* Name : {"wayland", "wayland-egl", "wayland-brcm"})
    EXPECT_TRUE(TFocusedClipboardRead::NeededOn(Name)) << Name;
  for (const char* Name : {"xcb", "offscreen", "minimal", "eglfs", ""})
    EXPECT_FALSE(TFocusedClipboardRead::NeededOn(Name)) << Name;
}

TEST_F(FocusedClipboardTest, ReadsOnActivationAndStopsAtTheFirstAddress)
{
  Results = {"host.example.test", "other.example.test"};
  Arm();
  OfferArrives();  // an offer before the focus is not ours to read yet
  FlushEvents();
  EXPECT_EQ(Calls, 0u);
  SendActivate(&Window);
  EXPECT_EQ(Calls, 1u);
  EXPECT_EQ(Box->currentText(), "host.example.test");
  EXPECT_FALSE(Read.Armed());
  OfferArrives();
  SendActivate(&Window);
  EXPECT_EQ(Calls, 1u);
  EXPECT_EQ(Box->currentText(), "host.example.test");
}

TEST_F(FocusedClipboardTest, AnOfferJustAfterTheFocusStillFillsTheBox)
{
  Results = {"", "late.example.test"};
  Arm();
  SendActivate(&Window);
  EXPECT_EQ(Calls, 1u);
  EXPECT_TRUE(Read.Armed());
  OfferArrives();
  EXPECT_EQ(Calls, 2u);
  EXPECT_EQ(Box->currentText(), "late.example.test");
  EXPECT_FALSE(Read.Armed());
}

TEST_F(FocusedClipboardTest, ALateOfferNeverReplacesWhatTheUserTyped)
{
  Results = {"", "late.example.test"};
  Arm();
  SendActivate(&Window);
  QTest::keyClicks(Box->lineEdit(), "typed");
  OfferArrives();
  SendActivate(&Window);
  Read.FallbackDelay = 0;
  FlushEvents();
  EXPECT_EQ(Calls, 1u);
  EXPECT_EQ(Box->currentText(), "typed");
  EXPECT_FALSE(Read.Armed());

  // A choice from the drop-down list counts as the user's too.
  Box->addItem("earlier.example.test");
  Calls = 0;
  Arm();
  Box->activated(0);
  SendActivate(&Window);
  EXPECT_EQ(Calls, 0u);
}

TEST_F(FocusedClipboardTest, WithoutActivationTheFallbackReadsOnce)
{
  Results = {"", "never.example.test"};
  Read.FallbackDelay = 10;
  Read.GiveUpDelay = 200;
  Arm();
  ASSERT_TRUE(WaitUntil([&] { return Calls == 1; }, 2000));
  ASSERT_TRUE(WaitUntil([&] { return !Read.Armed(); }, 2000));
  EXPECT_EQ(Calls, 1u);
}

TEST_F(FocusedClipboardTest, HidingOrGivingUpEndsTheWait)
{
  Results = {"", "x.example.test"};
  Arm();
  QHideEvent Hide;
  QCoreApplication::sendEvent(&Window, &Hide);
  EXPECT_FALSE(Read.Armed());
  SendActivate(&Window);
  OfferArrives();
  EXPECT_EQ(Calls, 0u);

  Read.GiveUpDelay = 10;
  Arm();
  ASSERT_TRUE(WaitUntil([&] { return !Read.Armed(); }, 2000));
  SendActivate(&Window);
  EXPECT_EQ(Calls, 0u);
}

class DesktopStartTest : public TFormsTest {};

TEST_F(DesktopStartTest, FocusedReadLeavesTheBoxAsTheDirectReadDoes)
{
  MainForm->ReadClipboardOnFocus = true;
  QGuiApplication::clipboard()->setText("https://late.example.test/x?y");
  QueryForm->SetResponseText("old\r\n");
  QueryForm->Address->setEditText("old");
  std::string Pane, Selected;
  bool Focused = false, Done = false;
  When([] { return QueryOpen() && QueryForm->Address->currentText() == "late.example.test"; },
       [&] {
         WaitUntil([] { return QueryForm->Address->hasFocus(); }, 1000);
         Pane = QueryForm->ResponseText();
         Selected = QueryForm->Address->lineEdit()->selectedText().toStdString();
         Focused = QueryForm->Address->hasFocus();
         QueryForm->reject();
         Done = true;
       });
  QTimer::singleShot(0, [] { MainForm->ShowQueryForm(nullptr); });
  ASSERT_TRUE(WaitUntil([&] { return Done && !QueryOpen(); }));
  EXPECT_EQ(Pane, "");
  EXPECT_EQ(Selected, "late.example.test");
  EXPECT_TRUE(Focused);
}

TEST_F(DesktopStartTest, ATrayAtStartOrAMomentLaterChangesNothing)
{
  for (const bool AtStart : {true, false}) {
    SCOPED_TRACE(AtStart);
    int Looks = 0;
    std::vector<std::string> Said;
    TTrayWatch Watch([&] { return ++Looks > (AtStart ? 0 : 1); },
                     [&](const std::string& Text) { Said.push_back(Text); });
    Watch.GraceDelay = 10;
    Watch.Start();
    QTest::qWait(100);
    EXPECT_EQ(Looks, AtStart ? 1 : 2);
    EXPECT_TRUE(Said.empty());
    EXPECT_FALSE(QueryOpen());
    EXPECT_FALSE(Watch.WindowOnly());
  }
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD}));
}

TEST_F(DesktopStartTest, NoTrayOpensTheWindowAndClosingItEndsTheProgram)
{
  QGuiApplication::clipboard()->setText("mailto:someone@mail.example.test");
  std::vector<std::string> Said;
  TTrayWatch Watch([] { return false; }, [&](const std::string& Text) { Said.push_back(Text); });
  Watch.GraceDelay = 10;
  Watch.PollInterval = 10;
  std::string Address;
  Watch.Start();
  EXPECT_FALSE(QueryOpen()) << "a tray may still come";
  When(QueryOpen, [&] {
    Address = QueryForm->Address->currentText().toStdString();
    QTest::qWait(50);  // a few more looks: still one sentence
    QueryForm->reject();
  });
  QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_EQ(Said, (std::vector<std::string>{TTrayWatch::NoTrayText}));
  EXPECT_EQ(Address, "mail.example.test");
  EXPECT_TRUE(MainForm->Closed());
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD, NIM_DELETE}));
}

TEST_F(DesktopStartTest, ATrayThatComesLaterGetsTheIconAndClosingNoLongerEnds)
{
  bool TrayUp = false;
  std::vector<std::string> Said;
  TTrayWatch Watch([&] { return TrayUp; }, [&](const std::string& Text) { Said.push_back(Text); });
  Watch.GraceDelay = 10;
  Watch.PollInterval = 10;
  Watch.Start();
  bool Done = false;
  bool WasWindowOnly = false;
  When(QueryOpen, [&] {
    WasWindowOnly = Watch.WindowOnly();
    TrayUp = true;
    WaitUntil([&] { return !Watch.WindowOnly(); });
    QueryForm->reject();
    Done = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return Done; }, 10000));
  FlushEvents();
  EXPECT_TRUE(WasWindowOnly);
  EXPECT_FALSE(Watch.WindowOnly());
  EXPECT_FALSE(QueryOpen());
  EXPECT_FALSE(MainForm->Closed());
  EXPECT_TRUE(MainForm->TrayIcon->Active());
  EXPECT_EQ(Said.size(), 1u);
  // Added afresh for the host that came.
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD, NIM_DELETE, NIM_ADD}));
}

TEST_F(DesktopStartTest, ATrayThatCameJustBeforeTheWindowClosesKeepsTheProgram)
{
  bool TrayUp = false;
  TTrayWatch Watch([&] { return TrayUp; }, [](const std::string&) {});
  Watch.GraceDelay = 10;
  Watch.PollInterval = 60000;  // the close itself must look again
  Watch.Start();
  bool Done = false;
  When(QueryOpen, [&] {
    TrayUp = true;
    QueryForm->reject();
    Done = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return Done; }, 10000));
  FlushEvents();
  EXPECT_FALSE(MainForm->Closed());
  EXPECT_FALSE(Watch.WindowOnly());
  EXPECT_TRUE(MainForm->TrayIcon->Active());
}

}  // namespace
