// SPDX-License-Identifier: MIT
// whoisd: the scripted WHOIS server as a program, for the end-to-end test and the
// benchmarks. One process serves any number of ADDR:PORT[=NAME] listeners until SIGTERM or
// SIGINT; in reply mode each answers with a short record naming NAME, so a test sees which
// server was asked.
#include "tests/support/WhoisServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

void Usage(std::FILE* To) {
  std::fputs(
      "usage: whoisd [options] ADDR:PORT[=NAME]...\n"
      "  --mode M         reply (default), endless, drip, nulflood, garbage, hugeline,\n"
      "                   reset, silent, refuse, closeearly\n"
      "  --reply-file F   the reply text (every %q becomes the query line)\n"
      "  --flood-bytes N  size of nulflood/garbage/hugeline replies (default 4194304)\n"
      "  --drip-ms N      pause before each byte in drip mode (default 1000)\n"
      "  --log FILE       append \"NAME QUERY\" for each query received\n"
      "Prints one \"listening\" line per listener, then serves until SIGTERM or SIGINT.\n",
      To);
}

std::string DefaultReply(const std::string& Name) {
  return "% " + Name + " test server\r\n"
         "% query %q\r\n"
         "\r\n"
         "inetnum:        %q\r\n"
         "netname:        QUORVEX-TEST\r\n"
         "descr:          answered by " + Name + "\r\n"
         "source:         " + Name + "\r\n"
         "\r\n";
}

}  // namespace

int main(int Argc, char** Argv) {
  TServerOptions Base;
  std::string ReplyFile, LogFile;
  bool HaveReply = false;
  std::vector<std::string> Listeners;
  for (int I = 1; I < Argc; ++I) {
    const std::string A = Argv[I];
    auto Next = [&]() -> std::string {
      if (I + 1 >= Argc) {
        Usage(stderr);
        std::exit(2);
      }
      return Argv[++I];
    };
    if (A == "--help" || A == "-h") {
      Usage(stdout);
      return 0;
    } else if (A == "--mode") {
      if (!ParseServerMode(Next(), Base.Mode)) {
        Usage(stderr);
        return 2;
      }
    } else if (A == "--reply-file") {
      ReplyFile = Next();
    } else if (A == "--flood-bytes") {
      Base.FloodBytes = std::strtoull(Next().c_str(), nullptr, 10);
    } else if (A == "--drip-ms") {
      Base.DripIntervalMs = std::atoi(Next().c_str());
    } else if (A == "--log") {
      LogFile = Next();
    } else if (!A.empty() && A[0] == '-') {
      Usage(stderr);
      return 2;
    } else {
      Listeners.push_back(A);
    }
  }
  if (Listeners.empty()) {
    Usage(stderr);
    return 2;
  }
  if (!ReplyFile.empty()) {
    std::ifstream In(ReplyFile, std::ios::binary);
    if (!In) {
      std::fprintf(stderr, "whoisd: cannot read %s\n", ReplyFile.c_str());
      return 2;
    }
    std::ostringstream S;
    S << In.rdbuf();
    Base.Reply = S.str();
    HaveReply = true;
  }

  // Block the stop signals before any thread starts, so only sigwait below sees them.
  sigset_t Stop;
  sigemptyset(&Stop);
  sigaddset(&Stop, SIGTERM);
  sigaddset(&Stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &Stop, nullptr);

  auto LogMutex = std::make_shared<std::mutex>();
  std::vector<std::unique_ptr<TWhoisServer>> Servers;
  for (const std::string& L : Listeners) {
    const auto Eq = L.find('=');
    const std::string HostPort = L.substr(0, Eq);
    const std::string Name = Eq == std::string::npos ? HostPort : L.substr(Eq + 1);
    const auto Colon = HostPort.rfind(':');
    if (Colon == std::string::npos) {
      Usage(stderr);
      return 2;
    }
    TServerOptions O = Base;
    O.Address = HostPort.substr(0, Colon);
    O.Port = static_cast<std::uint16_t>(std::atoi(HostPort.c_str() + Colon + 1));
    if (!HaveReply) O.Reply = DefaultReply(Name);
    if (!LogFile.empty()) {
      O.OnQuery = [LogFile, Name, LogMutex](const std::string& Query) {
        std::lock_guard Lock(*LogMutex);
        std::ofstream(LogFile, std::ios::app) << Name << ' ' << Query << '\n';
      };
    }
    try {
      Servers.push_back(std::make_unique<TWhoisServer>(O));
    } catch (const std::exception& E) {
      std::fprintf(stderr, "whoisd: %s\n", E.what());
      return 1;
    }
    std::printf("whoisd: listening on %s:%u (%s)\n", O.Address.c_str(),
                static_cast<unsigned>(Servers.back()->Port()), Name.c_str());
  }
  std::fflush(stdout);
  int Sig = 0;
  sigwait(&Stop, &Sig);
  return 0;
}
