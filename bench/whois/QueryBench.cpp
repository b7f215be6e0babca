// SPDX-License-Identifier: MIT
// The query window's speed on long replies: time from DoQuery to "Done." for replies of
// 4 KiB, 256 KiB and 4 MiB from a loopback server, against a plain blocking client that
// fetches the same bytes into a string. Goal: the 4 MiB reply within 3x the plain client.
// QueryWindow stops at "Done." in the pane's text; QueryWindowShown waits until the widget
// shows it as well (the display catches up from the event loop in slices).
//
// usage: query-bench [benchmark options]; runs offscreen unless QT_QPA_PLATFORM is set.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include "tests/support/WhoisServer.h"
#include "whois/Query.h"

namespace {

std::string MakeReply(std::size_t Size)
{
  std::string Reply;
  Reply.reserve(Size);
  for (int Line = 0; Reply.size() < Size; ++Line)
    Reply += "descr:          example network line " + std::to_string(Line) + " of a long reply\r\n";
  Reply.resize(Size - 2);
  return Reply + "\r\n";
}

std::unique_ptr<TQueryForm> Form;

void RunQuery(benchmark::State& State, bool WaitForDisplay)
{
  const std::size_t Size = static_cast<std::size_t>(State.range(0));
  TWhoisServer Server(ScriptOptions({SendStep(MakeReply(Size))}));
  const std::string Port = Server.PortText();
  TQueryForm::WhoisServerFor = [&](const std::string&) { return std::make_pair(std::string("127.0.0.1"), Port); };
  for (auto _ : State) {
    // Each round starts from the pane a user finds when the window opens: emptied, as the
    // application empties it before showing the window. Dropping the last round's megabytes
    // from the text document is that earlier reply's cost, not this one's.
    Form->SetResponseText("");
    Form->Address->setEditText("192.0.2.1");
    const auto Start = std::chrono::steady_clock::now();
    Form->DoQuery();
    while (Form->QueryRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (WaitForDisplay)
      while (Form->Response->document()->lastBlock().text() != "Done.")
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const std::chrono::duration<double> Elapsed = std::chrono::steady_clock::now() - Start;
    State.SetIterationTime(Elapsed.count());
    if (Form->ResponseText().size() < Size) State.SkipWithError("reply incomplete");
    // Let the display finish outside the timing, so the next round starts from a quiet pane.
    while (Form->Response->document()->lastBlock().text() != "Done.")
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * static_cast<std::int64_t>(Size));
}

void BM_QueryWindow(benchmark::State& State) { RunQuery(State, false); }
void BM_QueryWindowShown(benchmark::State& State) { RunQuery(State, true); }

void BM_PlainClient(benchmark::State& State)
{
  const std::size_t Size = static_cast<std::size_t>(State.range(0));
  TWhoisServer Server(ScriptOptions({SendStep(MakeReply(Size))}));
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_port = htons(static_cast<std::uint16_t>(std::stoi(Server.PortText())));
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (auto _ : State) {
    const auto Start = std::chrono::steady_clock::now();
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0) {
      State.SkipWithError("connect failed");
      ::close(Fd);
      break;
    }
    const char Query[] = "192.0.2.1\r\n";
    ::send(Fd, Query, sizeof Query - 1, MSG_NOSIGNAL);
    std::string Reply;
    char Buffer[4096];
    for (ssize_t N; (N = ::recv(Fd, Buffer, sizeof Buffer, 0)) > 0;) Reply.append(Buffer, static_cast<std::size_t>(N));
    ::close(Fd);
    const std::chrono::duration<double> Elapsed = std::chrono::steady_clock::now() - Start;
    State.SetIterationTime(Elapsed.count());
    benchmark::DoNotOptimize(Reply.data());
    if (Reply.size() != Size) State.SkipWithError("reply incomplete");
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * static_cast<std::int64_t>(Size));
}

void Sizes(benchmark::internal::Benchmark* B)
{
  B->Arg(4 << 10)->Arg(256 << 10)->Arg(4 << 20)->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_PlainClient)->Apply(Sizes);
BENCHMARK(BM_QueryWindow)->Apply(Sizes);
BENCHMARK(BM_QueryWindowShown)->Apply(Sizes);

}  // namespace

int main(int argc, char** argv)
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  Form = std::make_unique<TQueryForm>();
  Form->show();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Form.reset();
  return 0;
}
