// SPDX-License-Identifier: MIT
#include "tests/hostile/QueryHarness.h"

#include "whois/ErrorBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <sstream>

namespace {

class TQtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override
  {
    static int Argc = 1;
    static char Name[] = "hostile";
    static char* Argv[] = {Name, nullptr};
    m_App = std::make_unique<QApplication>(Argc, Argv);
    QApplication::setApplicationName("Quorvex");
    QApplication::setApplicationDisplayName("Quorvex");
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void TearDown() override { m_App.reset(); }

 private:
  std::unique_ptr<QApplication> m_App;
};

[[maybe_unused]] ::testing::Environment* const QtEnvironment = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

// Closes every message box as soon as it shows and records its text.
class TBoxAnswerer : public QObject {
 public:
  explicit TBoxAnswerer(std::vector<std::string>& Sink) : m_Sink(Sink) {}

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override
  {
    if (Event->type() == QEvent::Show) {
      if (auto* Box = qobject_cast<QMessageBox*>(Watched)) {
        m_Sink.push_back(Box->text().toStdString());
        QPointer<QMessageBox> Guard(Box);
        QTimer::singleShot(0, Box, [Guard] {
          if (Guard) Guard->done(0);
        });
      }
    }
    return QObject::eventFilter(Watched, Event);
  }

 private:
  std::vector<std::string>& m_Sink;
};

}  // namespace

long ResidentKiB()
{
  std::ifstream Status("/proc/self/status");
  std::string Line;
  while (std::getline(Status, Line)) {
    if (Line.rfind("VmRSS:", 0) == 0) return std::stol(Line.substr(6));
  }
  return -1;
}

int OpenDescriptors()
{
  int Count = 0;
  if (DIR* D = ::opendir("/proc/self/fd")) {
    while (const dirent* E = ::readdir(D))
      if (E->d_name[0] != '.') ++Count;
    ::closedir(D);
    --Count;  // the directory stream itself
  }
  return Count;
}

bool EndsWith(const std::string& Text, const std::string& Tail)
{
  return Text.size() >= Tail.size() && Text.compare(Text.size() - Tail.size(), Tail.size(), Tail) == 0;
}

TQueryHarness::TQueryHarness()
{
  m_Form = std::make_unique<TQueryForm>();
  QueryForm = m_Form.get();
  ApplicationErrorSink = [this](const std::string& Message) { m_Errors.push_back(Message); };
  m_BoxAnswerer = std::make_unique<TBoxAnswerer>(m_Errors);
  qApp->installEventFilter(m_BoxAnswerer.get());
  m_Heartbeat.setInterval(10);
  QObject::connect(&m_Heartbeat, &QTimer::timeout,
                   [this] { m_LongestStall = std::max(m_LongestStall, m_SinceBeat.restart()); });
}

TQueryHarness::~TQueryHarness()
{
  qApp->removeEventFilter(m_BoxAnswerer.get());
  ApplicationErrorSink = nullptr;
  TQueryForm::WhoisServerFor = TQueryForm::DefaultWhoisServer;
  // A connection of a hostile server may still be closing; let its events run out.
  WaitUntil([this] { return !m_Form->QueryRunning(); }, 5000);
  QueryForm = nullptr;
  m_Form.reset();
  QCoreApplication::processEvents();
}

void TQueryHarness::PointAt(std::uint16_t Port)
{
  TQueryForm::WhoisServerFor = [Port](const std::string&) {
    return std::make_pair(std::string("127.0.0.1"), std::to_string(Port));
  };
}

bool TQueryHarness::Query(const std::string& Address, int TimeoutMs)
{
  m_Errors.clear();
  m_LongestStall = 0;
  m_Form->Address->setEditText(TQueryForm::FromEightBit(Address));
  m_SinceBeat.start();
  m_Heartbeat.start();
  m_Form->bGo->click();
  const bool Over = WaitUntil([this] { return !m_Form->QueryRunning() && m_Form->bGo->isEnabled(); }, TimeoutMs);
  m_LongestStall = std::max(m_LongestStall, m_SinceBeat.elapsed());
  m_Heartbeat.stop();
  return Over;
}
