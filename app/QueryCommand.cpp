// SPDX-License-Identifier: MIT
// quorvex-query ADDRESS...: the query window's flow (whois/QuerySession.h) without a
// desktop. Each address goes in as the window's address box would take it, the query runs,
// and the pane's text is printed when it ends. A QtCore program: no window, no GUI library.
#include "geo/LibOstrand.h"
#include "whois/ErrorText.h"
#include "whois/PaneText.h"
#include "whois/QuerySession.h"
#include "whois/WhoisFollow.h"

#include <QCoreApplication>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

#ifndef QUORVEX_VERSION
#define QUORVEX_VERSION "unknown"
#endif

namespace {

constexpr int kDefaultTimeoutSeconds = 90;
// QTimer takes milliseconds as an int.
constexpr long kMaxTimeoutSeconds = 2147483;

enum TExit { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitReferralFailed = 3 };

const char* const kUsage =
    "usage: quorvex-query [--follow] [--timeout SECONDS] ADDRESS...\n"
    "Asks the regional registry's WHOIS server who holds each ADDRESS (an IPv4 or IPv6\n"
    "address, a host name, a URL or an e-mail address) and prints what the Quorvex query\n"
    "window would show, followed by a blank line. Ostrand.dat and Ostrand6.dat name the\n"
    "country, read from the working directory or else from the installed data folder.\n"
    "\n"
    "  --follow           after the registry's reply, follow its referral to the server that\n"
    "                     holds the address (ARIN's ReferralServer or ResourceLink, IANA's\n"
    "                     refer:); after a \"not managed by this registry\" stub ask\n"
    "                     whois.iana.org, then the server it names. Each further reply follows\n"
    "                     a line naming the server asked. At most 3 more servers, none twice,\n"
    "                     each under the same time-out; referrals that are not whois:// or\n"
    "                     rwhois://, or name a bad host or port, are ignored with a note line\n"
    "  --timeout SECONDS  end a query whose connection is still open after SECONDS (default 90)\n"
    "  --help             show this text\n"
    "  --version          show the version\n"
    "  --                 the remaining arguments are addresses\n"
    "\n"
    "The registries' servers are whois.arin.net, whois.ripe.net, whois.apnic.net and\n"
    "whois.lacnic.net, port 43, found through the system's resolver (so /etc/hosts can send\n"
    "them elsewhere, as the tests do in a private namespace).\n"
    "On a terminal, control characters of a reply other than tab and line ends are shown as '?'.\n"
    "\n"
    "Exit status: 0 when every query got a reply and reached \"Done.\", 1 when any failed (the\n"
    "address cleaned to nothing, no such host, could not resolve, refused, no reply, time-out,\n"
    "an error), 2 for bad usage, 3 when every query got a reply but --follow could not get\n"
    "one from a server it was referred to (refused, unknown, no reply, time-out; the line\n"
    "\"Referral failed: ...\" or \"Connection timeout\" says which). A referral that is\n"
    "ignored, a loop or the hop limit only ends the following: exit status 0.\n";

struct TOptions {
  int TimeoutSeconds = kDefaultTimeoutSeconds;
  bool Follow = false;
  std::vector<std::string> Addresses;
};

// Parses the command line; returns -1 to go on, otherwise the exit status.
int ParseArguments(int Argc, char** Argv, TOptions& Options) {
  bool OptionsDone = false;
  for (int I = 1; I < Argc; ++I) {
    const std::string_view A = Argv[I];
    if (OptionsDone || A.empty() || A[0] != '-' || A == "-") {
      Options.Addresses.emplace_back(A);
    } else if (A == "--") {
      OptionsDone = true;
    } else if (A == "--help" || A == "-h") {
      std::fputs(kUsage, stdout);
      return ExitOk;
    } else if (A == "--follow") {
      Options.Follow = true;
    } else if (A == "--version") {
      std::printf("quorvex-query %s\n", QUORVEX_VERSION);
      return ExitOk;
    } else if (A == "--timeout" || A.starts_with("--timeout=")) {
      std::string Value;
      if (A == "--timeout") {
        if (I + 1 >= Argc) {
          std::fputs("quorvex-query: --timeout needs a number of seconds\n", stderr);
          return ExitUsage;
        }
        Value = Argv[++I];
      } else {
        Value = std::string(A.substr(std::strlen("--timeout=")));
      }
      char* End = nullptr;
      errno = 0;
      const long Seconds = std::strtol(Value.c_str(), &End, 10);
      if (Value.empty() || *End != '\0' || errno != 0 || Seconds < 1 || Seconds > kMaxTimeoutSeconds) {
        std::fprintf(stderr, "quorvex-query: --timeout wants whole seconds from 1 to %ld, not \"%s\"\n",
                     kMaxTimeoutSeconds, Value.c_str());
        return ExitUsage;
      }
      Options.TimeoutSeconds = static_cast<int>(Seconds);
    } else {
      std::fprintf(stderr, "quorvex-query: unknown option %s\n%s", std::string(A).c_str(), kUsage);
      return ExitUsage;
    }
  }
  if (Options.Addresses.empty()) {
    std::fputs(kUsage, stderr);
    return ExitUsage;
  }
  return -1;
}

// What went wrong in the query that runs now, told by the flow's error boxes and by
// exceptions that would reach the tray program's top-level handler.
struct TQueryTrouble {
  bool Failed = false;
  bool TimedOut = false;
};
TQueryTrouble Trouble;

void ReportError(const std::string& Message) {
  std::fprintf(stderr, "quorvex-query: %s\n", WithFullStop(Message).c_str());
  Trouble.Failed = true;
}

// Exceptions that escape a handler are reported and the loop goes on, as in the tray program.
class TCommandApplication : public QCoreApplication {
 public:
  using QCoreApplication::QCoreApplication;
  bool notify(QObject* Receiver, QEvent* Event) override {
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
  void ShowWhoisError(const std::string& Message) override {
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
bool GotReply(const std::string& Pane) {
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

// The pane's text for a terminal or a pipe: CR LF becomes the line end. On a terminal a
// hostile reply must not drive it (escape sequences, lone CRs overwriting lines), so other
// control characters become '?'; into a pipe the bytes go unchanged.
std::string ForOutput(const std::string& Pane, bool Terminal) {
  std::string Out;
  Out.reserve(Pane.size() + 2);
  for (std::size_t I = 0; I < Pane.size(); ++I) {
    const unsigned char C = static_cast<unsigned char>(Pane[I]);
    if (C == '\r' && I + 1 < Pane.size() && Pane[I + 1] == '\n') continue;
    if (Terminal && (C < 32 || C == 127) && C != '\n' && C != '\t')
      Out += '?';
    else
      Out += static_cast<char>(C);
  }
  if (!Out.empty() && Out.back() != '\n') Out += '\n';
  Out += '\n';
  return Out;
}

// Qt's own chatter is no concern of a terminal user; its warnings go to stderr like ours,
// except complaints about a missing XDG_RUNTIME_DIR.
void QuietMessages(QtMsgType Type, const QMessageLogContext&, const QString& Message) {
  if (Type == QtDebugMsg || Type == QtInfoMsg) return;
  if (Message.startsWith(QLatin1String("QStandardPaths: "))) return;
  std::fprintf(stderr, "quorvex-query: %s\n", Message.toLocal8Bit().constData());
}

}  // namespace

int main(int Argc, char** Argv) {
  TOptions Options;
  if (const int Status = ParseArguments(Argc, Argv, Options); Status >= 0) return Status;

  qInstallMessageHandler(QuietMessages);
  // As in the tray program: the range files before the application and the flow. A few
  // queries search the files where they lie rather than fill tables of 3 and 5 MiB first.
  LibOstrandStartup(TRangeAccess::InPlace);
  if (const std::string Notice = RangeFileNotice(); !Notice.empty()) std::fprintf(stderr, "quorvex-query: %s\n", Notice.c_str());
  int Status = ExitOk;
  {
    TCommandApplication App(Argc, Argv);
    App.setApplicationName("Quorvex");
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
    for (const std::string& Address : Options.Addresses) {
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
      while (Session.QueryRunning()) App.processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
      const std::string& Pane = Session.ResponseText();
      const std::string Text = ForOutput(Pane, Terminal);
      std::fwrite(Text.data(), 1, Text.size(), stdout);
      std::fflush(stdout);
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
          FollowReferrals(Session.QueriedAddress(), FirstServer.first, static_cast<std::uint16_t>(Port),
                          CutHeader(Pane), Settings, [Terminal](const std::string& Block) {
                            const std::string Out = ForOutput(Block, Terminal);
                            std::fwrite(Out.data(), 1, Out.size(), stdout);
                            std::fflush(stdout);
                          });
      if (Followed.Failed) ReferralFailed = true;
    }
    TQuerySession::WhoisServerFor = Chosen;
    if (Status == ExitOk && ReferralFailed) Status = ExitReferralFailed;
  }
  LibOstrandShutdown();
  return Status;
}
