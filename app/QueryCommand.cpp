// SPDX-License-Identifier: MIT
// quorvex-query ADDRESS...: the query window's flow (whois/QuerySession.h) without a
// desktop. Each address goes in as the window's address box would take it, the query runs,
// and the pane's text is printed when it ends. With --summary, --json, "-" or --file the
// answer engine (whois/AnswerRun.h) answers instead: many addresses, one query per network.
// A QtCore program: no window, no GUI library.
#include "app/AnswerOutput.h"
#include "app/ProgressLine.h"
#include "app/QueryOptions.h"
#include "app/StopSignal.h"
#include "app/TargetFeed.h"
#include "geo/LibOstrand.h"
#include "net/WSocketResolve.h"
#include "whois/AddressCleanup.h"
#include "whois/AddressRescue.h"
#include "whois/AnswerRun.h"
#include "whois/ErrorText.h"
#include "whois/Ipv6Address.h"
#include "whois/PaneText.h"
#include "whois/QuerySession.h"
#include "whois/QueryTarget.h"
#include "whois/RdapClient.h"
#include "whois/WhoisFollow.h"

#include <QCoreApplication>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

#ifndef QUORVEX_VERSION
#define QUORVEX_VERSION "unknown"
#endif

namespace {

enum TExit { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitReferralFailed = 3, ExitInterrupted = 130 };

// What went wrong in the query that runs now, told by the flow's error boxes and by
// exceptions that would reach the tray program's top-level handler.
struct TQueryTrouble {
  bool Failed = false;
  bool TimedOut = false;
};
TQueryTrouble Trouble;

void ReportError(const std::string& Message)
{
  std::fprintf(stderr, "quorvex-query: %s\n", WithFullStop(Message).c_str());
  Trouble.Failed = true;
}

// Exceptions that escape a handler are reported and the loop goes on, as in the tray program.
class TCommandApplication : public QCoreApplication {
 public:
  using QCoreApplication::QCoreApplication;
  bool notify(QObject* Receiver, QEvent* Event) override
  {
    try {
      return QCoreApplication::notify(Receiver, Event);
    } catch (const std::exception& E) {
      ReportError(E.what());
    } catch (...) {
      ReportError("Unknown error");
    }
    return false;
  }
};

// The flow's view on a terminal. The address box is a string that takes text as the
// window's box does (8-bit text decoded, UTF-8 where valid, Latin-1 elsewhere), so a query
// sends what the same text typed into the window would send. The error boxes become lines
// on stderr: nobody could press their buttons, and the flow goes on as after a click.
class TTerminalView : public TQueryView {
 public:
  std::string AddressText() const override { return m_Box; }
  void SetAddressText(const std::string& Text) override { m_Box = FromEightBit(Text).toStdString(); }
  void PaneChanged(std::size_t, bool) override {}
  void QueryRunningChanged(bool) override {}
  void ReplyStored(const std::string&) override {}
  void ShowWhoisError(const std::string& Message) override
  {
    // The box's text on one line: its own line break stays, the message's CR LFs go.
    std::string Text = std::string(TQuerySession::WhoisErrorHeading) + "\n" + FromEightBit(Message).toStdString();
    for (std::size_t P; (P = Text.find("\r\n")) != std::string::npos;) Text.replace(P, 2, " ");
    ReportError(Text);
  }
  void ShowTopLevelError(const std::string& Message) override { ReportError(Message); }

 private:
  std::string m_Box;
};

constexpr std::string_view kDoneTail = "\r\n\r\nDone.";
constexpr std::string_view kRegistryMark = ", querying ";

// True when the pane holds a finished query with something from the server between the
// header lines and "Done.".
bool GotReply(const std::string& Pane)
{
  if (Pane.size() < kDoneTail.size() || Pane.compare(Pane.size() - kDoneTail.size(), kDoneTail.size(), kDoneTail) != 0)
    return false;
  const std::size_t Mark = Pane.find(kRegistryMark);
  if (Mark == std::string::npos) return false;
  std::size_t P = Pane.find("\r\n", Mark);
  if (P == std::string::npos) return false;
  const std::size_t End = Pane.size() - kDoneTail.size();
  for (P += 2; P < End; ++P)
    if (static_cast<unsigned char>(Pane[P]) > 32) return true;
  return false;
}

// Qt's own chatter is no concern of a terminal user; its warnings go to stderr like ours,
// except complaints about a missing XDG_RUNTIME_DIR.
void QuietMessages(QtMsgType Type, const QMessageLogContext&, const QString& Message)
{
  if (Type == QtDebugMsg || Type == QtInfoMsg) return;
  if (Message.startsWith(QLatin1String("QStandardPaths: "))) return;
  std::fprintf(stderr, "quorvex-query: %s\n", Message.toLocal8Bit().constData());
}

// An argument as a target of the answer engine: an AS number or a prefix as it is written,
// anything else cleaned as the address box cleans it (an address, the form a pasted text
// stands for, else a host name).
TAnswerTarget ClassifyArgument(const std::string& Argument)
{
  if (const auto As = ParseAsNumber(Argument)) return {TTargetKind::AsNumber, As->Text, {}};
  if (const auto Prefix = ParseQueryPrefix(Argument)) return {TTargetKind::Prefix, Prefix->Text, Prefix->Address};
  std::string Cleaned = CleanAddress(Argument);
  if (!IsDottedAddress(Cleaned) && !ParseIpv6Address(Cleaned))
    if (std::string Rescued = RescueAddress(Argument); !Rescued.empty()) Cleaned = std::move(Rescued);
  if (IsDottedAddress(Cleaned)) return {TTargetKind::Address, Cleaned, {}};
  if (const auto Ipv6 = ParseIpv6Address(Cleaned))
    return {TTargetKind::Address, Ipv6->MappedIpv4.empty() ? Ipv6->Text : Ipv6->MappedIpv4, {}};
  return {TTargetKind::Host, Cleaned, {}};
}

void Print(const std::string& Text)
{
  std::fwrite(Text.data(), 1, Text.size(), stdout);
  std::fflush(stdout);
}

TAnswerSettings EngineSettings(const TQueryOptions& Options)
{
  TAnswerSettings S;
  S.TimeoutMs = Options.TimeoutSeconds * 1000;
  S.PaceMs = Options.PaceMs;
  return S;
}

// One AS number or prefix among the arguments of a plain run: its panes, as the engine
// makes them, without a cache. Returns its exit status.
int RunOneAnswer(const TQueryOptions& Options, const TAnswerTarget& Target, bool Terminal)
{
  TAnswerSettings S = EngineSettings(Options);
  S.Follow = Options.Follow;
  S.Cache = false;
  S.Blocks = true;
  TAnswerRun Run(S);
  bool Done = false;
  int Status = ExitOk;
  Run.OnAnswer = [&](const TAnswerOutcome& O) {
    for (const std::string& Block : O.Blocks) Print(ForOutput(Block, Terminal));
    Status = O.Failed ? ExitFailed : O.ReferralFailed ? ExitReferralFailed : ExitOk;
    Done = true;
  };
  Run.Add(Target);
  while (!Done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  return Status;
}

// Each argument through the query window's flow, its pane printed when it ends.
int RunQueries(const TQueryOptions& Options)
{
  int Status = ExitOk;
  TTerminalView View;
  TQuerySession Session(View);
  Session.WHOIStimer->setInterval(Options.TimeoutSeconds * 1000);
  QObject::connect(Session.WHOIStimer, &QTimer::timeout, [] { Trouble.TimedOut = true; });

  // --follow starts from the server the flow chose; note it as the flow asks for it.
  std::pair<std::string, std::string> FirstServer;
  const TQuerySession::TServerLookup Chosen =
      TQuerySession::WhoisServerFor ? TQuerySession::WhoisServerFor : &TQuerySession::DefaultWhoisServer;
  if (Options.Follow) {
    TQuerySession::WhoisServerFor = [Chosen, &FirstServer](const std::string& Registry) {
      FirstServer = Chosen(Registry);
      return FirstServer;
    };
  }
  bool ReferralFailed = false;

  const bool Terminal = ::isatty(STDOUT_FILENO) == 1;
  for (const std::string& Address : Options.Arguments) {
    if (const TAnswerTarget Target = ClassifyArgument(Address);
        Target.Kind == TTargetKind::AsNumber || Target.Kind == TTargetKind::Prefix) {
      const TQuerySession::TServerLookup Flow = TQuerySession::WhoisServerFor;
      TQuerySession::WhoisServerFor = Chosen;
      const int One = RunOneAnswer(Options, Target, Terminal);
      TQuerySession::WhoisServerFor = Flow;
      if (One == ExitFailed) Status = ExitFailed;
      if (One == ExitReferralFailed) ReferralFailed = true;
      continue;
    }
    Trouble = {};
    FirstServer = {};
    View.SetAddressText(Address);
    try {
      Session.DoQuery();
    } catch (const std::exception& E) {
      ReportError(E.what());
    } catch (...) {
      ReportError("Unknown error");
    }
    // Every path of the flow ends in Idle: WHOISdone at the end of a connection, or the
    // flow's own return after a failure that no connection will end.
    while (Session.QueryRunning())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    const std::string& Pane = Session.ResponseText();
    Print(ForOutput(Pane, Terminal));
    if (Trouble.Failed || Trouble.TimedOut || !GotReply(Pane)) {
      Status = ExitFailed;
      continue;
    }
    if (!Options.Follow || FirstServer.first.empty()) continue;
    char* End = nullptr;
    const unsigned long Port = std::strtoul(FirstServer.second.c_str(), &End, 10);
    if (*End != '\0' || Port < 1 || Port > 65535) continue;
    TFollowSettings Settings;
    Settings.TimeoutMs = Options.TimeoutSeconds * 1000;
    // The registry's server as connected to, so its kind is not looked up again by name.
    Settings.FirstAddress = Session.ConnectedAddress();
    const TFollowResult Followed =
        FollowReferrals(Session.QueriedAddress(), FirstServer.first, static_cast<std::uint16_t>(Port), CutHeader(Pane),
                        Settings, [Terminal](const std::string& Block) { Print(ForOutput(Block, Terminal)); });
    if (Followed.Failed) ReferralFailed = true;
  }
  TQuerySession::WhoisServerFor = Chosen;
  if (Status == ExitOk && ReferralFailed) Status = ExitReferralFailed;
  return Status;
}

// A 429 without Retry-After: the pause before the question is asked again.
constexpr int kRateLimitPauseMs = 30000;

// The engine's answers from the registries' RDAP services through Client.
TAnswerSource RdapSource(TRdapClient& Client)
{
  TAnswerSource Source;
  Source.FirstServer = [](const std::string& Query) { return TRdapClient::FirstServerOf(Query); };
  Source.Ask = [&Client](const std::string& Query, std::function<void(const TSourceReply&)> Done) {
    Client.Ask(Query, [Done = std::move(Done)](const TRdapResult& R) {
      TSourceReply Reply;
      Reply.Answer = R.Answer;
      Reply.Failed = R.Outcome != TRdapOutcome::Answered;
      if (R.Outcome == TRdapOutcome::RateLimited) {
        Reply.RetryAfterMs = R.RetryAfterSeconds >= 0 ? R.RetryAfterSeconds * 1000 : kRateLimitPauseMs;
        Reply.RetryServer = R.RetryServer;
      }
      Done(Reply);
    });
  };
  return Source;
}

// Targets waiting to be handed out at most: the input is read no further ahead.
constexpr std::size_t kWindow = 4096;

// The answer engine over every argument, standard input and file, printed as asked.
int RunAnswers(const TQueryOptions& Options)
{
  TAnswerSettings S = EngineSettings(Options);
  // RDAP answers have no pane: they come in the --summary form unless --json is asked for.
  const bool Plain = !Options.Summary && !Options.Json && !Options.Rdap;
  // The plain output shows what a query of each address would show: it follows only with
  // --follow. The answers follow always.
  S.Follow = !Plain || Options.Follow;
  S.Blocks = Plain;
  // Made before the run and gone after it: the run's questions are the client's until then.
  std::unique_ptr<TRdapClient> Rdap;
  if (Options.Rdap) {
    TRdapSettings R;
    R.TimeoutMs = Options.TimeoutSeconds * 1000;
    R.UserAgent = "quorvex-query/" QUORVEX_VERSION;
    Rdap = std::make_unique<TRdapClient>(R);
    S.Source = RdapSource(*Rdap);
  }
  TAnswerRun Run(S);

  std::vector<TTargetFeed::TSource> Sources;
  for (const std::string& F : Options.Files) Sources.push_back({TTargetFeed::TSource::TKind::Stream, F});
  for (const std::string& A : Options.Arguments)
    Sources.push_back({A == "-" ? TTargetFeed::TSource::TKind::Stream : TTargetFeed::TSource::TKind::Argument, A});
  TTargetFeed Feed(std::move(Sources), Run, kWindow, ClassifyArgument);

  const bool Terminal = ::isatty(STDOUT_FILENO) == 1;
  TProgressLine Progress;
  // Both on one terminal: the progress line goes before an answer is printed.
  const bool SameTerminal = Progress.Shown() && Terminal;
  bool Failed = false, ReferralFailed = false, InputFailed = false, Interrupted = false;
  const auto ShowProgress = [&](bool Force) {
    const TAnswerCounts& C = Run.Counts();
    Progress.Update(C.HandedOut, C.Added, C.Queries, C.FromCache, Force);
  };
  Run.OnAnswer = [&](const TAnswerOutcome& O) {
    if (SameTerminal) Progress.Clear();
    if (Options.Json)
      Print(AnswerJson(O) + "\n");
    else if (!Plain)
      Print(AnswerSummary(O));
    else
      for (const std::string& Block : O.Blocks) Print(ForOutput(Block, Terminal));
    if (O.Failed) Failed = true;
    if (O.ReferralFailed) ReferralFailed = true;
  };
  Run.OnChange = [&] { ShowProgress(false); };
  Feed.OnError = [&](const std::string& Name, const std::string& Reason) {
    Progress.Clear();
    std::fprintf(stderr, "quorvex-query: cannot read %s: %s\n", Name.c_str(), Reason.c_str());
    InputFailed = true;
  };
  TStopSignal Stop;
  Stop.OnStop = [&] { Interrupted = true; };

  Feed.Pump();
  while (!Interrupted && !(Feed.Ended() && Run.Waiting() == 0)) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    Feed.Pump();
  }
  if (Interrupted) {
    Feed.Stop();
    const std::size_t Known = Run.Counts().Added;
    Run.Stop();
    Progress.Clear();
    std::fprintf(stderr, "quorvex-query: interrupted: %zu of %zu answered.\n", Run.Counts().HandedOut, Known);
    return ExitInterrupted;
  }
  Progress.Clear();
  if (Failed || InputFailed) return ExitFailed;
  return ReferralFailed ? ExitReferralFailed : ExitOk;
}

}  // namespace

int main(int Argc, char** Argv)
{
  TQueryOptions Options;
  if (const int Status = ParseQueryOptions(Argc, Argv, Options); Status >= 0) return Status;

  qInstallMessageHandler(QuietMessages);
  // As in the tray program: the range files before the application and the flow. A few
  // queries search the files where they lie rather than fill tables of 3 and 5 MiB first.
  LibOstrandStartup(TRangeAccess::InPlace);
  if (const std::string Notice = RangeFileNotice(); !Notice.empty())
    std::fprintf(stderr, "quorvex-query: %s\n", Notice.c_str());
  int Status = ExitOk;
  {
    TCommandApplication App(Argc, Argv);
    App.setApplicationName("Quorvex");
    Status = Options.Answers() ? RunAnswers(Options) : RunQueries(Options);
  }
  LibOstrandShutdown();
  return Status;
}
