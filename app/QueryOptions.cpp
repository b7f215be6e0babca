// SPDX-License-Identifier: MIT
#include "app/QueryOptions.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#ifndef QUORVEX_VERSION
#define QUORVEX_VERSION "unknown"
#endif

namespace {

// QTimer takes milliseconds as an int.
constexpr long kMaxTimeoutSeconds = 2147483;
constexpr double kMaxPaceSeconds = 86400;
constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage: quorvex-query [OPTION]... ADDRESS|AS|PREFIX|-...\n"
    "Asks the regional registry's WHOIS server who holds each ADDRESS (an IPv4 or IPv6\n"
    "address, a host name, a URL or an e-mail address) and prints what the Quorvex query\n"
    "window would show, followed by a blank line. Ostrand.dat and Ostrand6.dat name the\n"
    "country, read from the working directory or else from the installed data folder.\n"
    "An AS number (AS15169) is asked of whois.iana.org and followed to its registry; a prefix\n"
    "(193.0.0.0/21) asks about its network. \"-\" reads standard input, and --file a file: any\n"
    "text, a log or mail headers, whose IPv4 and IPv6 addresses are each answered once, in\n"
    "the order they first appear.\n"
    "\n"
    "  --summary          a few aligned lines per answer: network, holder, country, abuse\n"
    "                     contacts, where the answer came from\n"
    "  --json             one JSON object per answer, one per line\n"
    "                     (answers follow referrals, and an address inside a network answered\n"
    "                     before in the run is answered from it without a query)\n"
    "  --rdap             ask the registries' RDAP services (HTTPS, certificates checked)\n"
    "                     instead of port 43; answers in the --summary form unless --json.\n"
    "                     IANA's bootstrap files (built in) name the service of an address,\n"
    "                     whois.iana.org the registry of an AS number; a registry's redirect\n"
    "                     is followed (https only, at most 3, never to this machine or its\n"
    "                     network from a server outside it), and an answer that is another\n"
    "                     registry's is asked of that registry\n"
    "  --file FILE        read addresses from FILE, as from standard input with \"-\"\n"
    "  --pace SECONDS     pause between two queries to one server (0: none); by default each\n"
    "                     registry's own: RIPE 64, AFRINIC 18, LACNIC 6, ARIN and APNIC 2,\n"
    "                     IANA 1, others 2\n"
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
    "ignored, a loop or the hop limit only ends the following: exit status 0. 130 when\n"
    "interrupted (Ctrl-C): what was answered by then is printed.\n";

// Arguments as bytes: Latin-1 maps each byte to one character and back, so an address or a
// file name reaches the program unchanged whatever its encoding.
QString Chars(const char* Bytes) { return QString::fromLatin1(Bytes); }
std::string Bytes(const QString& Chars) { return Chars.toLatin1().toStdString(); }

}  // namespace

bool TQueryOptions::Answers() const
{
  if (Summary || Json || Rdap || !Files.empty()) return true;
  for (const std::string& A : Arguments)
    if (A == "-") return true;
  return false;
}

int ParseQueryOptions(int Argc, char** Argv, TQueryOptions& Options)
{
  QStringList Args;
  for (int I = 0; I < Argc; ++I) Args << Chars(Argv[I]);
  // "--timeout" last, without its number: the message of old, not the parser's.
  if (Argc >= 2 && std::string(Argv[Argc - 1]) == "--timeout") {
    bool Ended = false;
    for (int I = 1; I < Argc - 1; ++I) Ended = Ended || std::string(Argv[I]) == "--";
    if (!Ended) {
      std::fputs("quorvex-query: --timeout needs a number of seconds\n", stderr);
      return kExitUsage;
    }
  }

  QCommandLineParser P;
  P.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption Help(QStringList{"h", "help"});
  const QCommandLineOption Version("version");
  const QCommandLineOption Follow("follow");
  const QCommandLineOption Summary("summary");
  const QCommandLineOption Json("json");
  const QCommandLineOption Rdap("rdap");
  const QCommandLineOption Timeout("timeout", "", "seconds");
  const QCommandLineOption Pace("pace", "", "seconds");
  const QCommandLineOption File("file", "", "file");
  P.addOptions({Help, Version, Follow, Summary, Json, Rdap, Timeout, Pace, File});
  if (!P.parse(Args)) {
    const QStringList Unknown = P.unknownOptionNames();
    if (!Unknown.isEmpty()) {
      const std::string Name = Bytes(Unknown.front());
      std::fprintf(stderr, "quorvex-query: unknown option %s%s\n%s", Name.size() == 1 ? "-" : "--", Name.c_str(),
                   kUsage);
    } else {
      std::fprintf(stderr, "quorvex-query: %s\n%s", Bytes(P.errorText()).c_str(), kUsage);
    }
    return kExitUsage;
  }
  if (P.isSet(Help)) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (P.isSet(Version)) {
    std::printf("quorvex-query %s\n", QUORVEX_VERSION);
    return kExitOk;
  }
  Options.Follow = P.isSet(Follow);
  Options.Summary = P.isSet(Summary);
  Options.Json = P.isSet(Json);
  Options.Rdap = P.isSet(Rdap);
  if (Options.Summary && Options.Json) {
    std::fputs("quorvex-query: --summary and --json exclude each other\n", stderr);
    return kExitUsage;
  }
  if (P.isSet(Timeout)) {
    const std::string Value = Bytes(P.value(Timeout));
    char* End = nullptr;
    errno = 0;
    const long Seconds = std::strtol(Value.c_str(), &End, 10);
    if (Value.empty() || *End != '\0' || errno != 0 || Seconds < 1 || Seconds > kMaxTimeoutSeconds) {
      std::fprintf(stderr, "quorvex-query: --timeout wants whole seconds from 1 to %ld, not \"%s\"\n",
                   kMaxTimeoutSeconds, Value.c_str());
      return kExitUsage;
    }
    Options.TimeoutSeconds = static_cast<int>(Seconds);
  }
  if (P.isSet(Pace)) {
    const std::string Value = Bytes(P.value(Pace));
    bool Ok = false;
    // Read in the C locale whatever the user's: "1.5", never "1,5".
    const double Seconds = QString::fromStdString(Value).toDouble(&Ok);
    if (!Ok || Value.empty() || !std::isfinite(Seconds) || Seconds < 0 || Seconds > kMaxPaceSeconds ||
        Value.find_first_not_of("0123456789.") != std::string::npos) {
      std::fprintf(stderr, "quorvex-query: --pace wants seconds from 0 to %.0f, such as 0, 2 or 0.5, not \"%s\"\n",
                   kMaxPaceSeconds, Value.c_str());
      return kExitUsage;
    }
    Options.PaceMs = static_cast<int>(std::lround(Seconds * 1000));
  }
  for (const QString& F : P.values(File)) Options.Files.push_back(Bytes(F));
  for (const QString& A : P.positionalArguments()) Options.Arguments.push_back(Bytes(A));
  if (Options.Arguments.empty() && Options.Files.empty()) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  return -1;
}
