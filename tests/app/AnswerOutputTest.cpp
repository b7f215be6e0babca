// SPDX-License-Identifier: MIT
// quorvex-query's writers: JSON that stays valid whatever bytes a reply held, with the
// documented fields present by their rules, and the --summary lines of a full, a cached, an
// AS number's and an unanswered answer.
#include <gtest/gtest.h>

#include <string>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "app/AnswerOutput.h"

namespace {

TAnswerOutcome Full()
{
  TAnswerOutcome O;
  O.Target = O.Address = "193.0.6.139";
  O.Located = "the Netherlands";
  TWhoisAnswer& A = O.Answer;
  A.Query = O.Target;
  A.Network = TWhoisNetwork{"193.0.0.0", "193.0.7.255", {"193.0.0.0/21"}, "RIPE-NCC", ""};
  A.HolderName = "Reseaux IP Europeens Network Coordination Centre (RIPE NCC)";
  A.HolderHandle = "ORG-RIEN1-RIPE";
  A.Country = "NL";
  A.Abuse = {{"abuse@ripe.net", "role AR40377-RIPE"}};
  A.AbuseState = TAbuseState::Found;
  A.Registry = "RIPE";
  A.Server = "whois.ripe.net";
  A.Asked = {"whois.arin.net", "whois.ripe.net"};
  return O;
}

QJsonObject Parse(const std::string& Line)
{
  QJsonParseError Error{};
  const QJsonDocument D = QJsonDocument::fromJson(QByteArray::fromStdString(Line), &Error);
  EXPECT_EQ(Error.error, QJsonParseError::NoError) << Line;
  EXPECT_TRUE(D.isObject());
  return D.object();
}

TEST(AnswerOutput, JsonFieldsByTheirRules)
{
  const std::string Line = AnswerJson(Full());
  EXPECT_EQ(Line.find('\n'), std::string::npos);
  const QJsonObject J = Parse(Line);
  EXPECT_EQ(J["query"].toString(), "193.0.6.139");
  EXPECT_EQ(J["network"]["cidr"].toArray().first().toString(), "193.0.0.0/21");
  EXPECT_TRUE(J["network"]["handle"].isNull());
  EXPECT_EQ(J["holder"]["handle"].toString(), "ORG-RIEN1-RIPE");
  EXPECT_EQ(J["abuse"].toArray().first()["object"].toString(), "role AR40377-RIPE");
  EXPECT_EQ(J["abuse_status"].toString(), "found");
  EXPECT_EQ(J["asked"].toArray().size(), 2);
  EXPECT_EQ(J["source"].toString(), "whois");
  EXPECT_EQ(J["located"].toString(), "the Netherlands");
  EXPECT_FALSE(J["cached"].toBool());
  for (const char* Absent : {"cached_from", "details_at", "error", "asn"}) EXPECT_FALSE(J.contains(Absent)) << Absent;

  TAnswerOutcome Cached = Full();
  Cached.Answer.Cached = true;
  Cached.Answer.CachedFrom = "193.0.6.1";
  Cached.Answer.Asked.clear();
  Cached.Answer.DetailsAt = "whois.nic.example";
  EXPECT_EQ(Parse(AnswerJson(Cached))["cached_from"].toString(), "193.0.6.1");
  EXPECT_EQ(Parse(AnswerJson(Cached))["details_at"].toString(), "whois.nic.example");

  TAnswerOutcome Local;
  Local.Target = Local.Address = "10.1.2.3";
  Local.Answer.Error = "10.1.2.3 is a private network address, which no registry holds";
  const QJsonObject L = Parse(AnswerJson(Local));
  for (const char* Null : {"network", "holder", "country", "registry", "server"}) EXPECT_TRUE(L[Null].isNull()) << Null;
  EXPECT_EQ(L["abuse_status"].toString(), "not stated");
  EXPECT_EQ(L["error"].toString(), QString::fromStdString(Local.Answer.Error));

  TAnswerOutcome As;
  As.Target = "AS15169";
  As.Kind = TTargetKind::AsNumber;
  As.Answer.AsNumber = "AS15169";
  As.Answer.AsName = "GOOGLE";
  const QJsonObject AJ = Parse(AnswerJson(As));
  EXPECT_TRUE(AJ["address"].isNull());
  EXPECT_EQ(AJ["asn"]["number"].toString(), "AS15169");
  EXPECT_EQ(AJ["asn"]["name"].toString(), "GOOGLE");
}

TEST(AnswerOutput, JsonStaysValidWhateverBytesAReplyHeld)
{
  // Every control byte, DEL, C1 controls as Latin-1 bytes and as UTF-8, cut and overlong
  // sequences, an encoded surrogate, a NUL, quotes and backslashes.
  std::string Hostile;
  for (int C = 0; C < 32; ++C) Hostile += static_cast<char>(C);
  Hostile += "\x7f\x9b\x85\xc2\x9b\xc2\x80 \xe2\x82 \xc0\xaf \xed\xa0\x80 \xff\xfe \"q\" \\ \xc3\xa9";
  TAnswerOutcome O = Full();
  O.Target = Hostile;
  O.Answer.Network->Name = Hostile;
  O.Answer.HolderName = Hostile;
  O.Answer.Abuse[0].Email = Hostile;
  O.Answer.Error = Hostile;
  const std::string Line = AnswerJson(O);
  for (std::size_t I = 0; I < Line.size(); ++I) {
    const unsigned char C = static_cast<unsigned char>(Line[I]);
    ASSERT_FALSE(C < 32 || C == 0x7f) << "raw control byte " << int(C) << " at " << I;
    if (C == 0xc2 && I + 1 < Line.size()) {
      ASSERT_FALSE(static_cast<unsigned char>(Line[I + 1]) >= 0x80 && static_cast<unsigned char>(Line[I + 1]) <= 0x9f)
          << "raw C1 control at " << I;
    }
  }
  const QJsonObject J = Parse(Line);
  const QString Name = J["network"]["name"].toString();
  EXPECT_EQ(J["query"].toString(), Name);
  EXPECT_EQ(J["error"].toString(), Name);
  // Bytes kept as characters: the controls escaped, valid UTF-8 as it is, other bytes Latin-1.
  EXPECT_EQ(Name.left(32).size(), 32);
  EXPECT_EQ(Name[0], QChar(0));
  EXPECT_EQ(Name[31], QChar(31));
  EXPECT_TRUE(Name.contains(QChar(0x9b)));
  EXPECT_TRUE(Name.contains(QString::fromUtf8("\xc3\xa9")));
  EXPECT_TRUE(Name.contains(QChar(0xff)));
  EXPECT_TRUE(Name.contains("\"q\" \\"));
}

TEST(AnswerOutput, SummaryLines)
{
  EXPECT_EQ(AnswerSummary(Full()),
            "193.0.6.139\n"
            "  network   193.0.0.0 - 193.0.7.255 (193.0.0.0/21) RIPE-NCC\n"
            "  holder    Reseaux IP Europeens Network Coordination Centre (RIPE NCC) (ORG-RIEN1-RIPE)\n"
            "  country   NL; the range file: the Netherlands\n"
            "  abuse     abuse@ripe.net (role AR40377-RIPE)\n"
            "  source    RIPE, whois.ripe.net (asked whois.arin.net, whois.ripe.net)\n"
            "\n");
  TAnswerOutcome Cached = Full();
  Cached.Target = Cached.Address = "193.0.6.140";
  Cached.Located.clear();
  Cached.Answer.Cached = true;
  Cached.Answer.CachedFrom = "193.0.6.139";
  Cached.Answer.Abuse.clear();
  Cached.Answer.AbuseState = TAbuseState::NoneRegistered;
  Cached.Answer.HolderHandle.clear();
  Cached.Answer.HolderName = "bell\a and\r\nline";
  const std::string S = AnswerSummary(Cached);
  EXPECT_NE(S.find("\n  holder    bell? and??line\n"), std::string::npos) << S;
  EXPECT_NE(S.find("\n  abuse     none registered\n"), std::string::npos) << S;
  EXPECT_NE(S.find("\n  source    RIPE, whois.ripe.net (from the answer for 193.0.6.139)\n"), std::string::npos) << S;

  TAnswerOutcome Host;
  Host.Target = "www.example.net";
  Host.Answer.Error = "No such host";
  EXPECT_EQ(AnswerSummary(Host), "www.example.net\n  error     No such host\n\n");
  TAnswerOutcome Failed;
  Failed.Target = Failed.Address = "192.0.2.1";
  Failed.Answer.Registry = "ARIN";
  Failed.Answer.Server = "whois.arin.net";
  Failed.Answer.Asked = {"whois.arin.net"};
  Failed.Answer.Error = "whois.arin.net port 43: connection refused";
  EXPECT_EQ(AnswerSummary(Failed),
            "192.0.2.1\n  source    ARIN, whois.arin.net (asked whois.arin.net)\n"
            "  error     whois.arin.net port 43: connection refused\n\n");
  TAnswerOutcome As;
  As.Target = "AS15169";
  As.Kind = TTargetKind::AsNumber;
  As.Answer.AsNumber = "AS15169";
  As.Answer.AsName = "GOOGLE";
  As.Answer.HolderName = "Google LLC";
  EXPECT_EQ(AnswerSummary(As),
            "AS15169\n  as        AS15169 GOOGLE\n  holder    Google LLC\n  country   not stated\n"
            "  abuse     not stated\n\n");
}

TEST(AnswerOutput, PaneForATerminalOrAPipe)
{
  const std::string Pane = "a\r\nb\x1b[31m\tc\r\x7f\r\n\r\nDone.";
  EXPECT_EQ(ForOutput(Pane, false), "a\nb\x1b[31m\tc\r\x7f\n\nDone.\n\n");
  EXPECT_EQ(ForOutput(Pane, true), "a\nb?[31m\tc??\n\nDone.\n\n");
  EXPECT_EQ(ForOutput("", false), "\n");
}

}  // namespace
