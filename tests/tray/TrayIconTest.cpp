// SPDX-License-Identifier: MIT
#include "tray/TrayIcon.h"

#include <QCursor>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tray/QtTestApp.h"

namespace {

QIcon Solid(Qt::GlobalColor Colour)
{
  QPixmap P(16, 16);
  P.fill(Colour);
  return QIcon(P);
}

class TrayIconTest : public ::testing::Test {
 protected:
  std::vector<std::uint32_t> Messages() const
  {
    std::vector<std::uint32_t> Out;
    for (const auto& C : Shell.Calls) Out.push_back(C.Message);
    return Out;
  }
  const TRecordingShell::TCall& Last() const { return Shell.Calls.back(); }
  std::size_t Count(std::uint32_t Message) const
  {
    std::size_t N = 0;
    for (const auto& C : Shell.Calls) N += C.Message == Message;
    return N;
  }

  TRecordingShell Shell;
};

TEST_F(TrayIconTest, CreationSendsNothingAndSetsDefaults)
{
  TTrayIcon Tray(nullptr, &Shell);
  EXPECT_TRUE(Shell.Calls.empty());
  EXPECT_FALSE(Tray.Active());
  EXPECT_EQ(Tray.AnimateInterval(), 100);
  EXPECT_EQ(Tray.AnimationTimer().interval(), 100);
  EXPECT_FALSE(Tray.AnimationTimer().isActive());
  EXPECT_TRUE(Tray.Icon().isNull());
  EXPECT_NE(Tray.TrayWindow(), nullptr);
}

TEST_F(TrayIconTest, RegisteredMessagesAreStablePerName)
{
  TTrayIcon A(nullptr, &Shell);
  const auto Tool = WM_TOOLTRAYICON;
  const auto Reset = WM_RESETTOOLTIP;
  TTrayIcon B(nullptr, &Shell);
  EXPECT_EQ(WM_TOOLTRAYICON, Tool);
  EXPECT_EQ(WM_RESETTOOLTIP, Reset);
  EXPECT_NE(Tool, Reset);
  EXPECT_GE(Tool, 0xC000u);
  EXPECT_EQ(RegisterWindowMessage("WM_TOOLTRAYICON"), Tool);
  EXPECT_NE(RegisterWindowMessage("some other name"), Tool);
  EXPECT_EQ(RegisterWindowMessage("some other name"), RegisterWindowMessage("some other name"));
  EXPECT_EQ(RegisterWindowMessage(""), 0u);
}

TEST_F(TrayIconTest, SwitchingOnAndOffSendsAddAndDeleteOnce)
{
  TTrayIcon Tray(nullptr, &Shell);
  Tray.SetToolTip("Quorvex");
  Tray.SetActive(false);  // already off
  EXPECT_TRUE(Shell.Calls.empty());
  Tray.SetActive(true);
  Tray.SetActive(true);
  Tray.SetActive(false);
  Tray.SetActive(false);
  FlushEvents();
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD, NIM_DELETE}));
  EXPECT_EQ(Shell.Shown(Tray.TrayWindow()), nullptr);
}

TEST_F(TrayIconTest, AddFillsTheWholeRecord)
{
  TTrayIcon Tray(nullptr, &Shell);
  const QIcon Red = Solid(Qt::red);
  Tray.SetIcon(Red);
  Tray.SetToolTip("Quorvex");
  EXPECT_TRUE(Shell.Calls.empty()) << "inactive: values are only stored";
  Tray.SetActive(true);
  ASSERT_EQ(Shell.Calls.size(), 1u);
  const TNotifyIconData& D = Last().Data;
  EXPECT_EQ(Last().Message, NIM_ADD);
  EXPECT_EQ(D.cbSize, 88u);
  EXPECT_EQ(D.Wnd, Tray.TrayWindow());
  EXPECT_EQ(D.uID, 0u);
  EXPECT_EQ(D.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  EXPECT_EQ(D.uCallbackMessage, WM_TOOLTRAYICON);
  EXPECT_EQ(D.hIcon.cacheKey(), Red.cacheKey());
  EXPECT_EQ(D.Tip(), "Quorvex");
}

TEST_F(TrayIconTest, ToolTipIsCutAtTheLimit)
{
  struct Row {
    std::size_t Length;
    std::size_t Kept;
  } Rows[] = {{0, 0}, {1, 1}, {61, 61}, {62, 62}, {63, 62}, {70, 62}, {200, 62}};
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Length);
    std::string Text;
    for (std::size_t I = 0; I < R.Length; ++I) Text += static_cast<char>('a' + I % 26);
    TRecordingShell Local;
    TTrayIcon Tray(nullptr, &Local);
    Tray.SetActive(true);
    Tray.SetToolTip(Text);
    EXPECT_EQ(Tray.ToolTip(), Text.substr(0, R.Kept));
    ASSERT_FALSE(Local.Calls.empty());
    EXPECT_EQ(Local.Calls.back().Message, NIM_MODIFY);
    EXPECT_EQ(Local.Calls.back().Data.uFlags, NIF_ICON | NIF_TIP);
    EXPECT_EQ(Local.Calls.back().Data.Tip(), Text.substr(0, R.Kept));
    EXPECT_EQ(Local.Shown(Tray.TrayWindow())->Tip(), Text.substr(0, R.Kept));
  }
}

TEST_F(TrayIconTest, EmptyToolTipIsAppliedAgainAfterAdd)
{
  TTrayIcon Tray(nullptr, &Shell);
  Tray.SetActive(true);
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD}));
  ASSERT_TRUE(WaitUntil([&] { return Shell.Calls.size() >= 2; }));
  FlushEvents();
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD, NIM_MODIFY}));
  EXPECT_EQ(Last().Data.uFlags, NIF_ICON | NIF_TIP);
}

TEST_F(TrayIconTest, NonEmptyToolTipPostsNoReset)
{
  TTrayIcon Tray(nullptr, &Shell);
  Tray.SetToolTip("Quorvex");
  Tray.SetActive(true);
  FlushEvents();
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD}));
}

TEST_F(TrayIconTest, ResetPostedBeforeSwitchOffSendsNothing)
{
  TTrayIcon Tray(nullptr, &Shell);
  Tray.SetActive(true);
  Tray.SetActive(false);
  FlushEvents();
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD, NIM_DELETE}));
}

TEST_F(TrayIconTest, IconAssignmentModifiesOnlyTheIconPart)
{
  TTrayIcon Tray(nullptr, &Shell);
  Tray.SetToolTip("tip");
  Tray.SetActive(true);
  const QIcon Blue = Solid(Qt::blue);
  Tray.SetIcon(Blue);
  ASSERT_EQ(Shell.Calls.size(), 2u);
  EXPECT_EQ(Last().Message, NIM_MODIFY);
  EXPECT_EQ(Last().Data.uFlags, NIF_ICON);
  EXPECT_EQ(Last().Data.hIcon.cacheKey(), Blue.cacheKey());
  // The component's own object: nothing to copy, nothing sent.
  Tray.SetIcon(Tray.Icon());
  EXPECT_EQ(Shell.Calls.size(), 2u);
}

TEST_F(TrayIconTest, DeleteSendsTheRecordAsLastFilled)
{
  TTrayIcon Tray(nullptr, &Shell);
  Tray.SetToolTip("tip");
  Tray.SetActive(true);
  Tray.SetIcon(Solid(Qt::green));
  Tray.SetActive(false);
  EXPECT_EQ(Last().Message, NIM_DELETE);
  EXPECT_EQ(Last().Data.uFlags, NIF_ICON);
  EXPECT_EQ(Last().Data.Wnd, Tray.TrayWindow());
}

TEST_F(TrayIconTest, DestructionRemovesAnActiveIconOnly)
{
  {
    TTrayIcon Tray(nullptr, &Shell);
    Tray.SetToolTip("tip");
  }
  EXPECT_TRUE(Shell.Calls.empty());
  {
    TTrayIcon Tray(nullptr, &Shell);
    Tray.SetToolTip("tip");
    Tray.SetActive(true);
  }
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{NIM_ADD, NIM_DELETE}));
}

TEST_F(TrayIconTest, FailedShellCallKeepsTheAssignedState)
{
  Shell.Fail = true;
  TTrayIcon Tray(nullptr, &Shell);
  Tray.SetToolTip("tip");
  Tray.SetActive(true);
  EXPECT_TRUE(Tray.Active());
  EXPECT_EQ(Count(NIM_ADD), 1u);
}

// The component itself never adds its icon again: after a shell that forgets its icons (the
// recording shell's Restart) only switching off and on brings the icon back. The real shells
// do better on their own: QSystemTrayIcon docks into a restarted XEmbed tray, and the
// StatusNotifierItem registers with a restarted watcher (tray-clicks-e2e.sh and
// StatusNotifierTest check those).
TEST_F(TrayIconTest, ComponentDoesNotAddItsIconAgainAfterAShellForgetsIt)
{
  TTrayIcon Tray(nullptr, &Shell);
  Tray.SetToolTip("tip");
  Tray.SetActive(true);
  Shell.Restart();
  Tray.SetToolTip("other");
  Tray.SetActive(true);
  EXPECT_EQ(Shell.Shown(Tray.TrayWindow()), nullptr);
  Tray.SetActive(false);
  Tray.SetActive(true);
  ASSERT_NE(Shell.Shown(Tray.TrayWindow()), nullptr);
  EXPECT_EQ(Shell.Shown(Tray.TrayWindow())->Tip(), "other");
}

TEST_F(TrayIconTest, MouseMessagesBecomeEventsInOrder)
{
  TTrayIcon Tray(nullptr, &Shell);
  Tray.SetToolTip("tip");
  Tray.SetActive(true);
  std::vector<std::string> Log;
  Tray.OnClick = [&](QObject* Sender) {
    EXPECT_EQ(Sender, &Tray);
    Log.push_back("click");
  };
  Tray.OnDblClick = [&](QObject* Sender) {
    EXPECT_EQ(Sender, &Tray);
    Log.push_back("dblclick");
  };
  Tray.OnRightClick = [&](QObject*, TMouseButton, TShiftState, int, int) { Log.push_back("right"); };
  // A double click as the shell reports it, with the messages that must change nothing.
  for (std::uint32_t M :
       {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MBUTTONUP})
    ASSERT_TRUE(Shell.Mouse(Tray.TrayWindow(), M));
  FlushEvents();
  EXPECT_EQ(Log, (std::vector<std::string>{"click", "dblclick", "click"}));
}

TEST_F(TrayIconTest, OtherMessagesGoToTheDefaultProcedure)
{
  TTrayIcon Tray(nullptr, &Shell);
  bool Clicked = false;
  Tray.OnClick = [&](QObject*) { Clicked = true; };
  EXPECT_EQ(Tray.TrayWindow()->SendMessage(0x0400, 1, WM_LBUTTONUP), 0);
  EXPECT_FALSE(Clicked);
  Tray.TrayWindow()->SendMessage(WM_TOOLTRAYICON, 0, WM_LBUTTONUP);
  EXPECT_TRUE(Clicked);
}

TEST_F(TrayIconTest, UnsetEventsAreSkipped)
{
  TTrayIcon Tray(nullptr, &Shell);
  for (std::uint32_t M : {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP})
    Tray.TrayWindow()->SendMessage(WM_TOOLTRAYICON, 0, M);
  SUCCEED();
}

TEST_F(TrayIconTest, HandlerMayReplaceItsOwnEvent)
{
  TTrayIcon Tray(nullptr, &Shell);
  int Calls = 0;
  Tray.OnClick = [&](QObject*) {
    Tray.OnClick = nullptr;
    ++Calls;
  };
  Tray.TrayWindow()->SendMessage(WM_TOOLTRAYICON, 0, WM_LBUTTONUP);
  Tray.TrayWindow()->SendMessage(WM_TOOLTRAYICON, 0, WM_LBUTTONUP);
  EXPECT_EQ(Calls, 1);
}

TEST_F(TrayIconTest, RightClickWithoutMenuRaisesOnlyOnRightClick)
{
  TTrayIcon Tray(nullptr, &Shell);
  QCursor::setPos(123, 45);
  const QPoint At = QCursor::pos();
  int Calls = 0;
  Tray.OnRightClick = [&](QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
    ++Calls;
    EXPECT_EQ(Sender, &Tray);
    EXPECT_EQ(Button, TMouseButton::mbRight);
    EXPECT_EQ(Shift, 0u);
    EXPECT_EQ(QPoint(X, Y), At);
  };
  Tray.TrayWindow()->SendMessage(WM_TOOLTRAYICON, 0, WM_RBUTTONUP);
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(TrayIconTest, RightClickShowsTheMenuAtTheCursorThenRaisesOnRightClick)
{
  TTrayIcon Tray(nullptr, &Shell);
  QMenu Menu;
  QAction* First = Menu.addAction("&First");
  QAction* Default = Menu.addAction("&Default");
  Menu.setDefaultAction(Default);
  Tray.SetPopupMenu(&Menu);
  QCursor::setPos(200, 150);
  const QPoint At = QCursor::pos();
  std::vector<std::string> Log;
  QObject::connect(First, &QAction::triggered, [&] { Log.push_back("first"); });
  QObject::connect(Default, &QAction::triggered, [&] { Log.push_back("default"); });
  Tray.OnRightClick = [&](QObject*, TMouseButton, TShiftState, int X, int Y) {
    EXPECT_EQ(QPoint(X, Y), At);
    Log.push_back("right");
  };
  QPoint ShownAt;
  bool SawMenu = false;
  // Polls, as the pending-events step before the menu opens would run a one-shot early.
  QTimer Poll;
  Poll.setInterval(5);
  QObject::connect(&Poll, &QTimer::timeout, [&] {
    if (QApplication::activePopupWidget() != &Menu) return;
    Poll.stop();
    SawMenu = true;
    ShownAt = Menu.pos();
    Default->trigger();
    Menu.close();
  });
  Poll.start();
  Tray.TrayWindow()->SendMessage(WM_TOOLTRAYICON, 0, WM_RBUTTONUP);
  EXPECT_TRUE(SawMenu);
  EXPECT_EQ(ShownAt, At);
  EXPECT_EQ(Log, (std::vector<std::string>{"default", "right"}));
}

// A host that drew the menu itself reports its closing: only OnRightClick remains to do.
TEST_F(TrayIconTest, HostDrawnMenuClosingRaisesOnlyOnRightClick)
{
  TTrayIcon Tray(nullptr, &Shell);
  QMenu Menu;
  QAction* Item = Menu.addAction("&Item");
  Tray.SetPopupMenu(&Menu);
  Tray.SetActive(true);
  std::vector<std::string> Log;
  QObject::connect(Item, &QAction::triggered, [&] { Log.push_back("item"); });
  Tray.OnClick = [&](QObject*) { Log.push_back("click"); };
  Tray.OnRightClick = [&](QObject*, TMouseButton Button, TShiftState, int, int) {
    EXPECT_EQ(Button, TMouseButton::mbRight);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "no menu of its own";
    Log.push_back("right");
  };
  ASSERT_TRUE(Shell.Mouse(Tray.TrayWindow(), WM_CONTEXTMENU));
  FlushEvents();
  EXPECT_EQ(Log, (std::vector<std::string>{"right"}));
  Tray.OnRightClick = nullptr;
  Tray.TrayWindow()->SendMessage(WM_TOOLTRAYICON, 0, WM_CONTEXTMENU);
  EXPECT_EQ(Log, (std::vector<std::string>{"right"})) << "unset: nothing";
}

TEST_F(TrayIconTest, DestroyedMenuReadsAsNoMenu)
{
  TTrayIcon Tray(nullptr, &Shell);
  auto* Menu = new QMenu;
  Menu->addAction("x");
  Tray.SetPopupMenu(Menu);
  delete Menu;
  EXPECT_EQ(Tray.PopupMenu(), nullptr);
  int Calls = 0;
  Tray.OnRightClick = [&](QObject*, TMouseButton, TShiftState, int, int) { ++Calls; };
  Tray.TrayWindow()->SendMessage(WM_TOOLTRAYICON, 0, WM_RBUTTONUP);
  EXPECT_EQ(Calls, 1);
}

class AnimationTest : public TrayIconTest {
 protected:
  void SetUp() override
  {
    for (Qt::GlobalColor C : {Qt::red, Qt::green, Qt::blue}) Frames.Add(Solid(C));
    Tray.SetToolTip("tip");
    Tray.SetIcon(Original);
  }
  // The frame each icon modify showed, by index in Frames; -1 for any other image.
  std::vector<int> Shown() const
  {
    std::vector<int> Out;
    for (const auto& C : Shell.Calls) {
      if (C.Message != NIM_MODIFY || C.Data.uFlags != NIF_ICON) continue;
      int Index = -1;
      for (int I = 0; I < Frames.Count(); ++I)
        if (Frames.GetIcon(I).cacheKey() == C.Data.hIcon.cacheKey()) Index = I;
      Out.push_back(Index);
    }
    return Out;
  }

  TImageList Frames;
  QIcon Original = Solid(Qt::yellow);
  TTrayIcon Tray{nullptr, &Shell};
};

TEST_F(AnimationTest, IsRefusedWhileInactiveOrWithoutImages)
{
  Tray.SetImages(&Frames);
  Tray.SetAnimate(true);  // inactive
  EXPECT_FALSE(Tray.Animate());
  EXPECT_FALSE(Tray.AnimationTimer().isActive());

  Tray.SetActive(true);
  TImageList Empty;
  Tray.SetImages(&Empty);
  Tray.SetAnimate(true);
  EXPECT_FALSE(Tray.Animate());
  Tray.SetImages(nullptr);
  Tray.SetAnimate(true);
  EXPECT_FALSE(Tray.Animate());
  EXPECT_FALSE(Tray.AnimationTimer().isActive());
}

TEST_F(AnimationTest, CyclesFromImageOneAndRestoresTheIcon)
{
  Tray.SetImages(&Frames);
  Tray.SetActive(true);
  Tray.SetAnimateInterval(1);
  Tray.SetAnimate(true);
  EXPECT_TRUE(Tray.AnimationTimer().isActive());
  ASSERT_TRUE(WaitUntil([&] { return Shown().size() >= 5; }));
  Tray.SetAnimate(false);
  std::vector<int> Seen = Shown();
  ASSERT_GE(Seen.size(), 6u);
  EXPECT_EQ(std::vector<int>(Seen.begin(), Seen.begin() + 5), (std::vector<int>{1, 2, 0, 1, 2}));
  EXPECT_EQ(Seen.back(), -1);
  EXPECT_EQ(Last().Data.hIcon.cacheKey(), Original.cacheKey());
  EXPECT_EQ(Tray.Icon().cacheKey(), Original.cacheKey());
  EXPECT_FALSE(Tray.AnimationTimer().isActive());
}

TEST_F(AnimationTest, SingleImageShowsImageZero)
{
  TImageList One;
  One.Add(Frames.GetIcon(2));
  Tray.SetImages(&One);
  Tray.SetActive(true);
  Tray.SetAnimateInterval(1);
  Tray.SetAnimate(true);
  ASSERT_TRUE(WaitUntil([&] { return Shown().size() >= 2; }));
  EXPECT_EQ(Shown()[0], 2);
  EXPECT_EQ(Tray.FrameIndex(), 0);
}

TEST_F(AnimationTest, SecondStartKeepsTheIconToRestore)
{
  Tray.SetImages(&Frames);
  Tray.SetActive(true);
  Tray.SetAnimateInterval(1);
  Tray.SetAnimate(true);
  ASSERT_TRUE(WaitUntil([&] { return !Shown().empty(); }));
  Tray.SetAnimate(true);
  Tray.SetAnimate(false);
  EXPECT_EQ(Tray.Icon().cacheKey(), Original.cacheKey());
}

TEST_F(AnimationTest, NonPositiveIntervalIsIgnored)
{
  for (int V : {0, -5}) {
    Tray.SetAnimateInterval(V);
    EXPECT_EQ(Tray.AnimateInterval(), 100);
  }
  Tray.SetAnimateInterval(250);
  EXPECT_EQ(Tray.AnimationTimer().interval(), 250);
}

TEST_F(AnimationTest, SetTrayIconStopsTheAnimationAndShowsTheImage)
{
  Tray.SetImages(&Frames);
  Tray.SetActive(true);
  Tray.SetAnimate(true);
  const std::size_t Before = Shell.Calls.size();
  Tray.SetTrayIcon(nullptr, 3);
  Tray.SetTrayIcon(nullptr, -1);
  EXPECT_TRUE(Tray.Animate()) << "out of range: nothing happens";
  EXPECT_EQ(Shell.Calls.size(), Before);
  Tray.SetTrayIcon(nullptr, 2);
  EXPECT_FALSE(Tray.Animate());
  EXPECT_EQ(Tray.FrameIndex(), 2);
  EXPECT_EQ(Tray.Icon().cacheKey(), Frames.GetIcon(2).cacheKey());
  EXPECT_EQ(Last().Data.hIcon.cacheKey(), Frames.GetIcon(2).cacheKey());
}

TEST_F(AnimationTest, RemovedImageListStopsTheAnimation)
{
  auto* Owned = new TImageList;
  Owned->Add(Solid(Qt::cyan));
  Owned->Add(Solid(Qt::magenta));
  Tray.SetImages(Owned);
  Tray.SetActive(true);
  Tray.SetAnimate(true);
  delete Owned;
  EXPECT_EQ(Tray.Images(), nullptr);
  EXPECT_FALSE(Tray.Animate());
  EXPECT_EQ(Tray.Icon().cacheKey(), Original.cacheKey());
  // Removal of something else is ignored.
  Tray.SetImages(&Frames);
  QObject Other;
  Tray.Notification(&Other, TOperation::opRemove);
  EXPECT_EQ(Tray.Images(), &Frames);
}

TEST_F(AnimationTest, EmptiedListStopsTheAnimationAtTheNextTick)
{
  Tray.SetImages(&Frames);
  Tray.SetActive(true);
  Tray.SetAnimateInterval(1);
  Tray.SetAnimate(true);
  Frames.Clear();
  ASSERT_TRUE(WaitUntil([&] { return !Tray.Animate(); }));
  EXPECT_EQ(Tray.Icon().cacheKey(), Original.cacheKey());
}

// The real adapter on the offscreen platform: no tray is shown, but the icon object, its
// tip and the mapping of activations onto mouse messages are all there.
TEST(QtNotifyShellTest, MapsActivationsOntoMouseMessages)
{
  TQtNotifyShell Qt;
  TTrayIcon Tray(nullptr, &Qt);
  Tray.SetToolTip("Quorvex");
  Tray.SetIcon(Solid(Qt::red));
  Tray.SetActive(true);
  QSystemTrayIcon* Icon = Qt.IconOf(Tray.TrayWindow());
  ASSERT_NE(Icon, nullptr);
  EXPECT_EQ(Icon->toolTip(), "Quorvex");
  EXPECT_EQ(Icon->contextMenu(), nullptr);

  std::vector<std::string> Log;
  Tray.OnClick = [&](QObject*) { Log.push_back("click"); };
  Tray.OnDblClick = [&](QObject*) { Log.push_back("dblclick"); };
  Tray.OnRightClick = [&](QObject*, TMouseButton, TShiftState, int, int) { Log.push_back("right"); };
  // Reports that come with no button down (no press behind them) are posted at once; a
  // double click also stands for its second release.
  emit Icon->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(Log.empty()) << "posted, not called from inside the signal";
  emit Icon->activated(QSystemTrayIcon::DoubleClick);
  emit Icon->activated(QSystemTrayIcon::Context);
  emit Icon->activated(QSystemTrayIcon::MiddleClick);
  emit Icon->activated(QSystemTrayIcon::Unknown);
  FlushEvents();
  EXPECT_EQ(Log, (std::vector<std::string>{"click", "dblclick", "click", "right"}));

  Tray.SetToolTip(std::string(70, 'x'));
  EXPECT_EQ(Icon->toolTip(), QString(62, 'x'));
  Tray.SetActive(false);
  EXPECT_EQ(Qt.IconOf(Tray.TrayWindow()), nullptr);
  TNotifyIconData Unknown;
  EXPECT_FALSE(Qt.Modify(Unknown));
  EXPECT_FALSE(Qt.Delete(Unknown));
  EXPECT_FALSE(ShellNotifyIcon(Qt, 7, Unknown));
}

// Qt reports tray clicks at the press; the shell waits for the button's release, which the
// icon's window receives through the implicit grab (a plain window stands in for it here).
TEST(QtNotifyShellTest, PressReportsWaitForTheRelease)
{
  TQtNotifyShell Qt;
  TTrayIcon Tray(nullptr, &Qt);
  Tray.SetActive(true);
  QSystemTrayIcon* Icon = Qt.IconOf(Tray.TrayWindow());
  ASSERT_NE(Icon, nullptr);
  std::vector<std::string> Log;
  Tray.OnClick = [&](QObject*) { Log.push_back("click"); };
  Tray.OnDblClick = [&](QObject*) { Log.push_back("dblclick"); };
  Tray.OnRightClick = [&](QObject*, TMouseButton, TShiftState, int, int) { Log.push_back("right"); };
  QWidget Grab;
  Grab.resize(20, 20);
  Grab.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Grab));
  const QPoint At(10, 10);
  auto Steps = [&](Qt::MouseButton Button, QSystemTrayIcon::ActivationReason Reason) {
    QTest::mousePress(&Grab, Button, {}, At);
    emit Icon->activated(Reason);
    QTest::qWait(120);
    const std::size_t AtPress = Log.size();
    QTest::mouseRelease(&Grab, Button, {}, At);
    FlushEvents();
    return AtPress;
  };
  // A double click as Qt reports it: Trigger at the first press, DoubleClick at the second.
  EXPECT_EQ(Steps(Qt::LeftButton, QSystemTrayIcon::Trigger), 0u);
  EXPECT_EQ(Log, (std::vector<std::string>{"click"}));
  EXPECT_EQ(Steps(Qt::LeftButton, QSystemTrayIcon::DoubleClick), 2u);
  EXPECT_EQ(Log, (std::vector<std::string>{"click", "dblclick", "click"}));
  EXPECT_EQ(Steps(Qt::RightButton, QSystemTrayIcon::Context), 3u);
  EXPECT_EQ(Log, (std::vector<std::string>{"click", "dblclick", "click", "right"}));

  // A release never seen: the next report delivers it first.
  Log.clear();
  QTest::mousePress(&Grab, Qt::LeftButton, {}, At);
  emit Icon->activated(QSystemTrayIcon::Trigger);
  emit Icon->activated(QSystemTrayIcon::Trigger);
  FlushEvents();
  EXPECT_EQ(Log, (std::vector<std::string>{"click"}));
  QTest::mouseRelease(&Grab, Qt::LeftButton, {}, At);
  FlushEvents();
  EXPECT_EQ(Log, (std::vector<std::string>{"click", "click"}));

  // Nor is it lost when the button is simply pressed again.
  Log.clear();
  QTest::mousePress(&Grab, Qt::RightButton, {}, At);
  emit Icon->activated(QSystemTrayIcon::Context);
  FlushEvents();
  EXPECT_TRUE(Log.empty());
  QTest::mousePress(&Grab, Qt::RightButton, {}, At);
  FlushEvents();
  EXPECT_EQ(Log, (std::vector<std::string>{"right"}));
  QTest::mouseRelease(&Grab, Qt::RightButton, {}, At);
  FlushEvents();
  EXPECT_EQ(Log, (std::vector<std::string>{"right"})) << "nothing awaited any more";
}

}  // namespace
