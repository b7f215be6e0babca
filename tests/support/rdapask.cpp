// SPDX-License-Identifier: MIT
// rdapask [--timeout SECONDS] [--at BASE] [--together] QUERY...: asks TRdapClient about each
// QUERY (one after the other, or all at once with --together) and prints each result as
// "key: value" lines and a blank line, for the end-to-end test of the RDAP client. Exit
// status 0 when every query was answered, 1 otherwise.
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "whois/RdapClient.h"

namespace {

const char* OutcomeName(TRdapOutcome O)
{
  switch (O) {
    case TRdapOutcome::Answered: return "answered";
    case TRdapOutcome::NoRecord: return "no record";
    case TRdapOutcome::RateLimited: return "rate limited";
    case TRdapOutcome::Refused: return "refused";
    case TRdapOutcome::Failed: return "failed";
  }
  return "?";
}

void Print(const TRdapResult& R)
{
  const TWhoisAnswer& A = R.Answer;
  std::string Out = "query: " + A.Query + "\noutcome: " + OutcomeName(R.Outcome) + "\nserver: " + A.Server + "\n";
  std::string Asked;
  for (const std::string& S : A.Asked) Asked += (Asked.empty() ? "" : " ") + S;
  Out += "asked: " + Asked + "\n";
  if (A.Network) {
    Out += "network: " + A.Network->First + " - " + A.Network->Last + "\n";
    std::string Cidrs;
    for (const std::string& C : A.Network->Cidrs) Cidrs += (Cidrs.empty() ? "" : " ") + C;
    Out += "cidrs: " + Cidrs + "\nname: " + A.Network->Name + "\nhandle: " + A.Network->Handle + "\n";
  }
  if (!A.AsNumber.empty()) Out += "as: " + A.AsNumber + " " + A.AsName + "\n";
  if (!A.HolderName.empty() || !A.HolderHandle.empty()) Out += "holder: " + A.HolderName + " (" + A.HolderHandle + ")\n";
  if (!A.Country.empty()) Out += "country: " + A.Country + "\n";
  if (!A.Registry.empty()) Out += "registry: " + A.Registry + "\n";
  for (const TAbuseContact& C : A.Abuse) Out += "abuse: " + C.Email + " (" + C.Object + ")\n";
  for (const std::string& N : R.Notes) Out += "note: " + N + "\n";
  if (R.Outcome == TRdapOutcome::RateLimited)
    Out += "retry-after: " + std::to_string(R.RetryAfterSeconds) + " " + R.RetryServer + "\n";
  if (!A.Error.empty()) Out += "error: " + A.Error + "\n";
  std::fputs((Out + "\n").c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace

int main(int Argc, char** Argv)
{
  QCoreApplication App(Argc, Argv);
  TRdapSettings Settings;
  std::string Base;
  bool Together = false;
  std::vector<std::string> Queries;
  for (int I = 1; I < Argc; ++I) {
    const std::string A = Argv[I];
    if (A == "--timeout" && I + 1 < Argc) Settings.TimeoutMs = std::atoi(Argv[++I]) * 1000;
    else if (A == "--at" && I + 1 < Argc) Base = Argv[++I];
    else if (A == "--together") Together = true;
    else Queries.push_back(A);
  }
  TRdapClient Client(Settings);
  int Status = 0;
  std::size_t Next = 0;
  std::size_t Left = Queries.size();
  std::function<void()> AskNext;
  auto Done = [&](const TRdapResult& R) {
    Print(R);
    if (R.Outcome != TRdapOutcome::Answered) Status = 1;
    if (--Left == 0) QCoreApplication::quit();
    else if (!Together) AskNext();
  };
  AskNext = [&] {
    const std::string& Q = Queries[Next++];
    if (Base.empty()) Client.Ask(Q, Done);
    else Client.AskAt(Q, Base, Done);
  };
  if (Queries.empty()) return 2;
  if (Together)
    while (Next < Queries.size()) AskNext();
  else
    AskNext();
  App.exec();
  return Status;
}
