// SPDX-License-Identifier: MIT
#include "app/TargetFeed.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Read at once; the scanner carries a partial address over to the next chunk.
constexpr std::size_t kChunk = 64 * 1024;
constexpr int kChunksPerTurn = 16;

}  // namespace

TTargetFeed::TTargetFeed(std::vector<TSource> Sources, TAnswerRun& Run, std::size_t Window,
                         std::function<TAnswerTarget(const std::string&)> Classify, QObject* parent)
    : QObject(parent),
      m_Sources(std::move(Sources)),
      m_Run(Run),
      m_Window(Window),
      m_Classify(std::move(Classify)),
      m_Scan([this](const std::string& Address) { m_Found.push_back(Address); })
{
}

TTargetFeed::~TTargetFeed() { CloseStream(); }

void TTargetFeed::Stop()
{
  m_Stopped = true;
  CloseStream();
  m_Next = m_Sources.size();
}

void TTargetFeed::CloseStream()
{
  m_Notifier.reset();
  if (m_Fd >= 0 && m_OwnFd) ::close(m_Fd);
  m_Fd = -1;
  m_Ready = false;
}

bool TTargetFeed::OpenNext()
{
  while (m_Next < m_Sources.size()) {
    const TSource& S = m_Sources[m_Next++];
    if (S.Kind == TSource::TKind::Argument) {
      m_Run.Add(m_Classify(S.Text));
      if (Full()) return false;
      continue;
    }
    m_Name = S.Text == "-" ? "standard input" : S.Text;
    if (S.Text == "-") {
      m_Fd = STDIN_FILENO;
      m_OwnFd = false;
    } else {
      do {
        m_Fd = ::open(S.Text.c_str(), O_RDONLY | O_CLOEXEC);
      } while (m_Fd < 0 && errno == EINTR);
      m_OwnFd = true;
      if (m_Fd < 0) {
        if (OnError) OnError(m_Name, std::strerror(errno));
        continue;
      }
    }
    struct stat St {};
    m_Regular = ::fstat(m_Fd, &St) == 0 && S_ISREG(St.st_mode);
    if (!m_Regular) {
      // A pipe or a terminal: read only when it has something, so the answers under way go
      // on while it waits.
      m_Notifier = std::make_unique<QSocketNotifier>(m_Fd, QSocketNotifier::Read);
      m_Notifier->setEnabled(false);
      QObject::connect(m_Notifier.get(), &QSocketNotifier::activated, this, [this] {
        m_Notifier->setEnabled(false);
        m_Ready = true;
        Pump();
      });
    }
    return true;
  }
  return false;
}

void TTargetFeed::AddFound()
{
  for (std::string& A : m_Found) m_Run.Add({TTargetKind::Address, std::move(A), {}});
  m_Found.clear();
}

bool TTargetFeed::ReadChunk()
{
  if (!m_Regular && !m_Ready) {
    m_Notifier->setEnabled(true);
    return false;
  }
  m_Ready = false;
  std::string Buffer(kChunk, '\0');
  ssize_t N;
  do {
    N = ::read(m_Fd, Buffer.data(), Buffer.size());
  } while (N < 0 && errno == EINTR);
  if (N <= 0) {
    if (N < 0 && OnError) OnError(m_Name, std::strerror(errno));
    m_Scan.Finish();
    AddFound();
    CloseStream();
    return true;
  }
  m_Scan.Feed(std::string_view(Buffer.data(), static_cast<std::size_t>(N)));
  AddFound();
  if (OnRead) OnRead();
  return true;
}

void TTargetFeed::Pump()
{
  // Adding a target may hand out answers, whose handler pumps again.
  if (m_Pumping || m_Stopped) return;
  m_Pumping = true;
  // A long file without addresses never fills the window: the loop gets its turn (Ctrl-C,
  // the answers under way) after every few chunks.
  int Chunks = 0;
  while (!Full()) {
    if (m_Fd < 0 && !OpenNext()) break;
    if (++Chunks > kChunksPerTurn) {
      QMetaObject::invokeMethod(
          this, [this] { Pump(); }, Qt::QueuedConnection);
      break;
    }
    if (!ReadChunk()) break;
  }
  m_Pumping = false;
}
