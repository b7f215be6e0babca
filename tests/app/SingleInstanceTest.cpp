// SPDX-License-Identifier: MIT
// One program per user: a later start hands over to the first over the socket or the bus, waits
// for a first that is ending, refuses a folder others could reach, and never waits for ever (a
// socket left by a crash is taken over in tests/e2e/instance-e2e.sh). The later start runs on
// a thread of its own (it blocks, as a real second process does) while the first serves from
// this thread's loop.
#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/tray/PrivateBus.h"
#include "tests/tray/QtTestApp.h"
#include "tray/NotifyShell.h"

namespace {

using TRole = TSingleInstance::TRole;

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override
  {
    ASSERT_TRUE(Temp.isValid());
    Folder = QDir(Temp.path()).filePath(QStringLiteral("q"));
  }

  // An instance of this test's folder, on the socket alone or with the private bus.
  void Place(TSingleInstance& I) const
  {
    I.Folder = Folder;
    I.NoBus = !Bus;
    I.BusAddress = Bus ? PrivateBus() : QString();
  }
  std::unique_ptr<TSingleInstance> First()
  {
    auto I = std::make_unique<TSingleInstance>();
    Place(*I);
    I->OnActivate = [this](const QString& Token) {
      Tokens.push_back(Token.toStdString());
      return Serving;
    };
    EXPECT_EQ(I->Start(), TRole::First);
    return I;
  }
  // A later start, as another process would make it, with Token as its launch's token; the
  // loop runs here meanwhile, so the first can answer.
  TRole Later(const char* Token = nullptr, int Wait = 10000)
  {
    if (Token) qputenv("XDG_ACTIVATION_TOKEN", Token);
    TRole Role = TRole::None;
    std::unique_ptr<QThread> Thread(QThread::create([&] {
      TSingleInstance I;
      Place(I);
      I.HandOverWait = Wait;
      Role = I.Start();
    }));
    Thread->start();
    WaitUntil([&] { return Thread->isFinished(); }, Wait + 15000);
    Thread->wait();
    qunsetenv("XDG_ACTIVATION_TOKEN");
    return Role;
  }

  QTemporaryDir Temp;
  QString Folder;
  bool Bus = false;
  std::vector<std::string> Tokens;
  bool Serving = true;
};

// The same over the socket and over the bus.
class SingleInstanceTransportTest : public SingleInstanceTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override
  {
    SingleInstanceTest::SetUp();
    Bus = GetParam();
    if (Bus && PrivateBus().isEmpty()) GTEST_SKIP() << "no dbus-daemon to run a private bus on";
  }
};

TEST_P(SingleInstanceTransportTest, LaterStartsHandOverWithTheirToken)
{
  const auto Running = First();
  EXPECT_EQ(Later("launch-token_1"), TRole::HandedOver);
  EXPECT_EQ(Later(), TRole::HandedOver);
  EXPECT_EQ(Tokens, (std::vector<std::string>{"launch-token_1", ""}));
  struct stat St {};
  ASSERT_EQ(::lstat(QFile::encodeName(Folder).constData(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0700u) << "the folder is the user's alone";
}

TEST_P(SingleInstanceTransportTest, AFirstThatIsEndingIsWaitedForAndReplaced)
{
  auto Running = First();
  Serving = false;
  // The first ends a moment after the later start first asked it.
  QTimer::singleShot(300, [&] { Running.reset(); });
  EXPECT_EQ(Later(), TRole::First);
  EXPECT_FALSE(Tokens.empty()) << "the ending first was asked";
}

INSTANTIATE_TEST_SUITE_P(Transports, SingleInstanceTransportTest, ::testing::Values(false, true),
                         [](const auto& Info) { return Info.param ? "Bus" : "Socket"; });

TEST_F(SingleInstanceTest, RequestsOtherThanOneShortLineAreDroppedAndTheFirstServesOn)
{
  const auto Running = First();
  auto Ask = [&](const QByteArray& Bytes) {
    QLocalSocket S;
    S.connectToServer(Running->SocketPath());
    EXPECT_TRUE(S.waitForConnected(2000));
    S.write(Bytes);
    S.flush();
    QByteArray Reply;
    WaitUntil(
        [&] {
          Reply += S.readAll();
          return Reply.contains('\n') || S.state() != QLocalSocket::ConnectedState;
        },
        8000);
    return Reply + S.readAll();
  };
  EXPECT_EQ(Ask("hello\n"), "error\n");
  EXPECT_EQ(Ask(QByteArray(5000, 'a')), "") << "an endless line is cut off";
  QLocalSocket Silent;  // says nothing at all, and stays
  Silent.connectToServer(Running->SocketPath());
  ASSERT_TRUE(Silent.waitForConnected(2000));
  EXPECT_TRUE(Tokens.empty());
  EXPECT_EQ(Later("t"), TRole::HandedOver);
  EXPECT_EQ(Tokens, std::vector<std::string>{"t"});
}

TEST_F(SingleInstanceTest, AHolderThatNeverAnswersIsGivenUpOn)
{
  ASSERT_EQ(::mkdir(QFile::encodeName(Folder).constData(), 0700), 0);
  const int Held = ::open(QFile::encodeName(Folder).constData(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(Held, LOCK_EX), 0);
  EXPECT_EQ(Later(nullptr, 300), TRole::Alone);
  ::close(Held);
}

TEST_F(SingleInstanceTest, AFolderOthersCouldReachIsNotUsed)
{
  const QString Private = QDir(Temp.path()).filePath(QStringLiteral("private"));
  ASSERT_EQ(::mkdir(QFile::encodeName(Private).constData(), 0700), 0);
  const QByteArray F = QFile::encodeName(Folder);
  std::vector<std::pair<const char*, std::function<void()>>> Cases = {
      {"open to others", [&] { EXPECT_EQ(::mkdir(F.constData(), 0755) | ::chmod(F.constData(), 0755), 0); }},
      {"a symbolic link", [&] { EXPECT_EQ(::symlink(QFile::encodeName(Private).constData(), F.constData()), 0); }},
      {"a plain file", [&] { EXPECT_TRUE(QFile(Folder).open(QIODevice::WriteOnly)); }},
  };
  if (::geteuid() == 0)
    Cases.push_back(
        {"another user's", [&] { EXPECT_EQ(::mkdir(F.constData(), 0700) | ::chown(F.constData(), 65534, 65534), 0); }});
  for (const auto& [What, Make] : Cases) {
    ::rmdir(F.constData());
    ::unlink(F.constData());
    Make();
    TSingleInstance I;
    Place(I);
    EXPECT_EQ(I.Start(), TRole::Alone) << What;
  }
}

TEST(ActivationTokenTest, OnlyPrintableTokensOfReasonableLengthAreKept)
{
  const std::pair<QString, QString> Cases[] = {
      {QStringLiteral("kwin-42_a.b"), QStringLiteral("kwin-42_a.b")},
      {QString(1024, 'x'), QString(1024, 'x')},
      {QString(1025, 'x'), QString()},
      {QStringLiteral("two words"), QString()},
      {QStringLiteral("line\nbreak"), QString()},
      {QStringLiteral("nul") + QChar(0), QString()},
      {QStringLiteral("caf\u00e9"), QString()},
  };
  for (const auto& [In, Kept] : Cases) {
    ProvideActivationToken(In);
    EXPECT_EQ(TakeActivationToken(), Kept) << In.toStdString();
    EXPECT_EQ(TakeActivationToken(), QString()) << "taken once";
  }
}

}  // namespace
