// SPDX-License-Identifier: MIT
// TWSocket sessions against scripted servers on 127.0.0.1: event order, refused and reset
// connections, partial sends, re-entrance from handlers, and handler exceptions.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "WSocketTestSupport.h"
#include "tests/support/OwnNetwork.h"

namespace {

// Events without OnDataSent, runs of one event collapsed: what must hold whatever the timing.
std::string Shape(const std::vector<std::string>& Events)
{
  std::string J;
  std::string Last;
  for (const auto& E : Events) {
    if (E == "Sent0" || E == Last) continue;
    J += (J.empty() ? "" : " ") + E;
    Last = E;
  }
  return J;
}

std::string DrainInto(TCustomWSocket* S, std::string& Into)
{
  char Buf[4096];
  std::int32_t N;
  while ((N = S->Receive(Buf, sizeof Buf)) > 0) Into.append(Buf, static_cast<std::size_t>(N));
  return Into;
}

std::string Pattern(std::size_t Size)
{
  std::string P(Size, '\0');
  for (std::size_t I = 0; I < Size; ++I) P[I] = static_cast<char>((I * 7 + I / 251) % 256);
  return P;
}

TEST(WSocketSession, NormalSessionFiresEventsInOrderAndDeliversEveryByte)
{
  std::string Request;
  TWhoisServer Server(SessionOptions([&](int Fd) {
    Request = SessionIo::ReadLine(Fd);
    SessionIo::SendAll(Fd, "reply to " + Request);
  }));
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  std::string Reply;
  std::string PeerWhileConnected;
  S.OnSessionConnected = [&](TCustomWSocket* Sender, std::uint16_t E) {
    Log.Events.push_back("Connected" + std::to_string(E));
    PeerWhileConnected = Sender->PeerAddr();
    EXPECT_EQ(9, Sender->SendStr("1.2.3.4\r\n"));
  };
  S.OnDataAvailable = [&](TCustomWSocket* Sender, std::uint16_t) {
    Log.Events.push_back("Data");
    DrainInto(Sender, Reply);
  };
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  EXPECT_EQ(wsConnecting, S.State());
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsClosed; }));

  EXPECT_EQ("State8>1 State1>3 State3>5 Connected0 Data Closed0 State5>8", Shape(Log.Events));
  EXPECT_TRUE(Log.Has("Sent0"));
  EXPECT_EQ("1.2.3.4\r\n", Request);
  EXPECT_EQ("reply to 1.2.3.4\r\n", Reply);
  EXPECT_EQ("127.0.0.1", PeerWhileConnected);
  EXPECT_EQ("error", S.PeerAddr());
  EXPECT_EQ(0, S.ReadCount());  // reset by the close
}

TEST(WSocketSession, ConnectAfterCloseNeedsPortAssignedAgain)
{
  TWhoisServer Refusing(RefusingOptions());
  TWSocket S;
  S.SetAddr("127.0.0.1");
  S.SetPort(Refusing.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsClosed; }));
  EXPECT_EQ(Refusing.PortText(), S.Port());  // text still reads back

  try {
    S.Connect();
    FAIL() << "Connect without a port";
  } catch (const ESocketException& E) {
    EXPECT_STREQ("Connect: No Port Specified", E.what());
  }
  // The same texts count as assigning again.
  S.SetAddr("127.0.0.1");
  S.SetPort(Refusing.PortText());
  EXPECT_NO_THROW(S.Connect());
  EXPECT_EQ(wsConnecting, S.State());
  S.Abort();
}

TEST(WSocketSession, RefusedConnectionPassesThroughConnectedThenCloses)
{
  TWhoisServer Refusing(RefusingOptions());
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  TSocketState StateInHandler = wsInvalidState;
  S.OnSessionConnected = [&](TCustomWSocket* Sender, std::uint16_t E) {
    Log.Events.push_back("Connected" + std::to_string(E));
    StateInHandler = Sender->State();
  };
  S.SetAddr("127.0.0.1");
  S.SetPort(Refusing.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsClosed; }));
  EXPECT_EQ("State8>1 State1>3 State3>5 Connected10061 State5>8 Closed0", Log.Joined());
  EXPECT_EQ(wsConnected, StateInHandler);
}

// "Network is unreachable" at once, as Linux reports it when no route exists, is an outcome
// of the attempt like a refusal: it comes as the connect notification, and the session ends
// quietly instead of Connect raising.
TEST(WSocketSession, UnreachableNetworkPassesThroughConnectedThenCloses)
{
  const TOwnNetwork Isolated;
  if (!Isolated.Entered()) GTEST_SKIP() << "no network namespace of its own here (needs root)";
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  S.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t E) {
    Log.Events.push_back("Connected" + std::to_string(E));
  };
  S.SetAddr("192.0.2.1");
  S.SetPort("43");
  ASSERT_NO_THROW(S.Connect());
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsClosed; }));
  EXPECT_EQ("State8>1 State1>3 State3>5 Connected10051 State5>8 Closed0", Log.Joined());
}

TEST(WSocketSession, SendStrInsideFailedConnectClosesWithNotConnected)
{
  TWhoisServer Refusing(RefusingOptions());
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  std::int32_t Result = -2;
  S.OnSessionConnected = [&](TCustomWSocket* Sender, std::uint16_t E) {
    Log.Events.push_back("Connected" + std::to_string(E));
    Result = Sender->SendStr("query\r\n");
    Log.Events.push_back("Returned");
  };
  S.SetAddr("127.0.0.1");
  S.SetPort(Refusing.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsClosed; }));
  QTest::qWait(50);  // let any wrongly posted notification show up
  EXPECT_EQ(7, Result);
  EXPECT_EQ("State8>1 State1>3 State3>5 Connected10061 State5>8 Closed10057 Returned", Log.Joined());
}

TEST(WSocketSession, PeerCloseDeliversWaitingDataBeforeSessionClosed)
{
  const std::string Payload = Pattern(300 * 1024);
  struct TCase {
    const char* Name;
    TWSocketOptions Options;
  };
  for (const TCase& C : {TCase{"receive loop", 0}, TCase{"no receive loop", wsoNoReceiveLoop}}) {
    SCOPED_TRACE(C.Name);
    TWhoisServer Server(SessionOptions([&](int Fd) { SessionIo::SendAll(Fd, Payload); }));
    TWSocket S;
    S.SetComponentOptions(C.Options);
    std::string Got;
    std::size_t AtClose = 0;
    int ClosedCode = -1;
    // Reads at most one small block per call, so data is still waiting at the close.
    S.OnDataAvailable = [&](TCustomWSocket* Sender, std::uint16_t) {
      char Buf[1000];
      const auto N = Sender->Receive(Buf, sizeof Buf);
      if (N > 0) Got.append(Buf, static_cast<std::size_t>(N));
    };
    S.OnSessionClosed = [&](TCustomWSocket*, std::uint16_t E) {
      AtClose = Got.size();
      ClosedCode = E;
    };
    S.SetAddr("127.0.0.1");
    S.SetPort(Server.PortText());
    S.Connect();
    ASSERT_TRUE(WaitUntil([&] { return S.State() == wsClosed; }));
    EXPECT_EQ(0, ClosedCode);
    EXPECT_EQ(Payload.size(), AtClose);
    EXPECT_TRUE(Got == Payload);
  }
}

TEST(WSocketSession, ResetByPeerClosesWith10054)
{
  TWhoisServer Server(SessionOptions([&](int Fd) {
    SessionIo::ReadLine(Fd);
    SessionIo::ResetClose(Fd);
  }));
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  S.OnSessionConnected = [&](TCustomWSocket* Sender, std::uint16_t) { Sender->SendStr("go\n"); };
  S.OnDataAvailable = [&](TCustomWSocket* Sender, std::uint16_t) {
    char Buf[100];
    Sender->Receive(Buf, sizeof Buf);
  };
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsClosed; }));
  EXPECT_EQ("State8>1 State1>3 State3>5 Closed10054 State5>8", Shape(Log.Events));
}

TEST(WSocketSession, LargeSendIsPartialThenDrainsIntactAndInOrder)
{
  const std::string Payload = Pattern(24 * 1024 * 1024);
  std::atomic<bool> StartReading{false};
  std::string Received;
  TWhoisServer Server(SessionOptions([&](int Fd) {
    while (!StartReading) std::this_thread::yield();
    Received = SessionIo::ReadAll(Fd);
  }));
  TWSocket S;
  std::int64_t SentBytes = 0;
  std::vector<bool> AllSentAtDataSent;
  std::vector<std::int64_t> BytesAtDataSent;
  S.OnSendData = [&](TCustomWSocket*, std::int32_t N) { SentBytes += N; };
  S.OnDataSent = [&](TCustomWSocket* Sender, std::uint16_t) {
    AllSentAtDataSent.push_back(Sender->AllSent());
    BytesAtDataSent.push_back(SentBytes);
  };
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsConnected && !BytesAtDataSent.empty(); }));
  BytesAtDataSent.clear();
  AllSentAtDataSent.clear();

  EXPECT_EQ(static_cast<std::int32_t>(Payload.size()), S.SendStr(Payload));
  EXPECT_FALSE(S.AllSent());  // the kernel cannot take 24 MiB at once
  EXPECT_LT(SentBytes, static_cast<std::int64_t>(Payload.size()));
  StartReading = true;
  ASSERT_TRUE(S.WaitUntilSent(20000));
  ASSERT_TRUE(WaitUntil([&] { return !BytesAtDataSent.empty(); }));
  for (std::size_t I = 0; I < BytesAtDataSent.size(); ++I) {
    EXPECT_TRUE(AllSentAtDataSent[I]);
    EXPECT_EQ(static_cast<std::int64_t>(Payload.size()), BytesAtDataSent[I]);
  }
  // Abort's linger-off close lets the kernel finish delivering what it holds.
  S.Abort();
  ASSERT_TRUE(WaitUntil([&] { return Server.Accepted() == 1 && Received.size() >= Payload.size(); }, 20000));
  EXPECT_TRUE(Received == Payload);
}

TEST(WSocketSession, IdleConnectedSocketDoesNotRepeatWriteNotifications)
{
  TWhoisServer Server(SessionOptions([&](int Fd) { SessionIo::WaitPeerClose(Fd); }));
  TWSocket S;
  int DataSent = 0;
  S.OnDataSent = [&](TCustomWSocket*, std::uint16_t) { ++DataSent; };
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return DataSent > 0; }));
  QTest::qWait(200);
  EXPECT_EQ(1, DataSent);
  S.Close();
}

TEST(WSocketSession, CloseAndAbortAreReentrantAndIdempotent)
{
  TWhoisServer Server(SessionOptions([&](int Fd) { SessionIo::SendAll(Fd, "bye"); }));
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  S.OnSessionClosed = [&](TCustomWSocket* Sender, std::uint16_t E) {
    Log.Events.push_back("Closed" + std::to_string(E));
    Sender->Close();  // finds the session ending: no second close
    Sender->Abort();
  };
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsConnected; }));
  S.Close();
  EXPECT_EQ(wsClosed, S.State());
  const auto AfterClose = Log.Events.size();
  EXPECT_EQ("State5>8", Log.Events[AfterClose - 2]);
  EXPECT_EQ("Closed0", Log.Events[AfterClose - 1]);
  S.Close();
  S.Abort();
  QTest::qWait(50);
  EXPECT_EQ(AfterClose, Log.Events.size());
}

TEST(WSocketSession, SendWhileConnectingEndsSessionAndRaises)
{
  TWhoisServer Server(SessionOptions([&](int Fd) { SessionIo::WaitPeerClose(Fd); }));
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  ASSERT_EQ(wsConnecting, S.State());
  try {
    S.SendStr("early");
    FAIL() << "Send while connecting";
  } catch (const ESocketException& E) {
    EXPECT_EQ("Error 10057 in function Send\r\nSocket is not connected", std::string(E.what()));
  }
  EXPECT_EQ("State8>1 State1>3 Closed10057 State3>8", Log.Joined());
  EXPECT_EQ(kWsaENotConn, S.LastError());
  // With OnError assigned the failure is reported there and Send returns -1.
  int Errors = 0;
  S.OnError = [&](TCustomWSocket*) { ++Errors; };
  EXPECT_EQ(-1, S.SendStr("x"));
  EXPECT_EQ(1, Errors);
  EXPECT_EQ(0, S.SendStr(""));  // empty text: nothing at all
  EXPECT_EQ(1, Errors);
}

TEST(WSocketSession, ReceiveReportsWouldBlockThenOrderlyClose)
{
  std::atomic<bool> SendNow{false};
  TWhoisServer Server(SessionOptions([&](int) {
    while (!SendNow) std::this_thread::yield();
  }));
  TWSocket S;
  std::vector<std::int32_t> Results;
  S.OnDataAvailable = [&](TCustomWSocket* Sender, std::uint16_t) {
    char Buf[16];
    Results.push_back(Sender->Receive(Buf, sizeof Buf));
  };
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsConnected; }));
  char Buf[16];
  EXPECT_EQ(-1, S.Receive(Buf, sizeof Buf));
  EXPECT_EQ(kWsaEWouldBlock, S.LastError());
  SendNow = true;
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsClosed; }));
  ASSERT_FALSE(Results.empty());
  EXPECT_EQ(0, Results.back());  // the close's OnDataAvailable finds the orderly end
}

TEST(WSocketSession, SettersRefuseWhileNotClosed)
{
  TWhoisServer Server(SessionOptions([&](int Fd) { SessionIo::WaitPeerClose(Fd); }));
  TWSocket S;
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  const std::vector<std::pair<std::function<void()>, std::string>> Rows = {
      {[&] { S.SetAddr("10.0.0.1"); }, "Cannot change Addr if not closed"},
      {[&] { S.SetPort("44"); }, "Cannot change Port if not closed"},
      {[&] { S.SetProto("udp"); }, "Cannot change Proto if not closed"},
      {[&] { S.SetLocalAddr("127.0.0.1"); }, "Cannot change LocalAddr if not closed"},
      {[&] { S.SetLocalPort("5000"); }, "Cannot change LocalPort if not closed"},
      {[&] { S.Connect(); }, "Connect: Socket already in use"},
      {[&] { S.SetSendFlags(static_cast<TSocketSendFlags>(7)); }, "Invalid SendFlags"},
  };
  for (const auto& [Call, Text] : Rows) {
    try {
      Call();
      ADD_FAILURE() << "no exception for " << Text;
    } catch (const ESocketException& E) {
      EXPECT_EQ(Text, E.what());
    }
  }
  S.SetAddr("127.0.0.1");  // the same text while assigned: nothing happens
  S.Abort();
  EXPECT_EQ("127.0.0.1", S.Addr());
}

TEST(WSocketSession, ConnectResolutionFailureIsPrefixedAndLeavesSocketClosed)
{
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  const std::string Long(257, 'a');
  S.SetAddr(Long);
  S.SetPort("43");
  try {
    S.Connect();
    FAIL();
  } catch (const ESocketException& E) {
    EXPECT_EQ("connect: WSocketResolveHost: '" + Long + "' Invalid Hostname.", E.what());
  }
  EXPECT_EQ(wsClosed, S.State());
  EXPECT_TRUE(Log.Events.empty());
}

TEST(WSocketSession, HandlerExceptionReachesBgExceptionThenAbort)
{
  for (const bool CanCloseValue : {true, false}) {
    SCOPED_TRACE(CanCloseValue);
    TWhoisServer Server(SessionOptions([&](int Fd) { SessionIo::WaitPeerClose(Fd); }));
    TWSocket S;
    TEventLog Log;
    Log.Attach(S);
    std::string Message;
    S.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t) { throw std::runtime_error("boom"); };
    S.OnBgException = [&](TCustomWSocket* Sender, const std::exception& E, bool& CanClose) {
      Message = E.what();
      CanClose = CanCloseValue;
      if (CanCloseValue) Sender->Abort();  // the dispatcher's Abort after this one changes nothing
    };
    S.SetAddr("127.0.0.1");
    S.SetPort(Server.PortText());
    S.Connect();
    ASSERT_TRUE(WaitUntil([&] { return !Message.empty(); }));
    EXPECT_EQ("boom", Message);
    if (CanCloseValue) {
      EXPECT_EQ(wsClosed, S.State());
      EXPECT_EQ("State8>1 State1>3 State3>5 State5>8 Closed0", Shape(Log.Events));
    } else {
      EXPECT_EQ(wsConnected, S.State());
      S.Close();
    }
  }
}

TEST(WSocketSession, ExceptionsInsideReceiveLoopAreDiscarded)
{
  TWhoisServer Server(SessionOptions([&](int Fd) { SessionIo::SendAll(Fd, "data"); }));
  TWSocket S;
  int Calls = 0;
  bool BgException = false;
  S.OnDataAvailable = [&](TCustomWSocket* Sender, std::uint16_t) {
    ++Calls;
    char Buf[16];
    Sender->Receive(Buf, sizeof Buf);
    throw std::runtime_error("ignored");
  };
  S.OnBgException = [&](TCustomWSocket*, const std::exception&, bool&) { BgException = true; };
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsClosed; }));
  EXPECT_GE(Calls, 2);  // data, then the close's final call
  EXPECT_FALSE(BgException);
}

TEST(WSocketSession, TestExceptionMessageGoesToBgException)
{
  TWSocket S;
  std::string Message;
  S.OnBgException = [&](TCustomWSocket*, const std::exception& E, bool&) { Message = E.what(); };
  S.PostSocketMessage(MsgTestException, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !Message.empty(); }));
  EXPECT_EQ("Test exception in WSocket", Message);
}

TEST(WSocketSession, NotificationForClosedHandleIsDroppedEvenIfTheNumberIsReused)
{
  TWhoisServer Server(SessionOptions([&](int Fd) { SessionIo::WaitPeerClose(Fd); }, 2));
  TWSocket S;
  std::vector<TSocketState> StatesAtDataSent;
  S.OnDataSent = [&](TCustomWSocket* Sender, std::uint16_t) { StatesAtDataSent.push_back(Sender->State()); };
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return !StatesAtDataSent.empty(); }));
  StatesAtDataSent.clear();

  const TSocket Old = S.HSocket();
  S.SendStr("x");  // posts a write notification for the current handle
  S.Close();
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();  // typically gets the same descriptor number back
  EXPECT_EQ(Old, S.HSocket()) << "descriptor not reused; the test is weaker";
  ASSERT_EQ(wsConnecting, S.State());
  ASSERT_TRUE(WaitUntil([&] { return !StatesAtDataSent.empty(); }));
  for (const TSocketState St : StatesAtDataSent) EXPECT_EQ(wsConnected, St);
  S.Close();
}

TEST(WSocketSession, ReconnectFromSessionClosedKeepsTheNewSession)
{
  TWhoisServer Server(SessionOptions(
      [&](int Fd) {
        SessionIo::SendAll(Fd, "one");
        SessionIo::WaitPeerClose(Fd);
      },
      2));
  TWSocket S;
  int Connected = 0;
  int Closed = 0;
  S.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t) { ++Connected; };
  S.OnDataAvailable = [&](TCustomWSocket* Sender, std::uint16_t) {
    char Buf[16];
    if (Sender->Receive(Buf, sizeof Buf) > 0) Sender->Close();
  };
  S.OnSessionClosed = [&](TCustomWSocket* Sender, std::uint16_t) {
    // Inside Close's event Addr and Port are still assigned.
    if (++Closed == 1) Sender->Connect();
  };
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return Closed == 2; })) << Connected << " " << Closed << " " << S.State();
  EXPECT_EQ(2, Connected);
  EXPECT_EQ(wsClosed, S.State());
  EXPECT_EQ(InvalidSocket, S.HSocket());
}

TEST(WSocketSession, NestedEventLoopInsideDataHandlerDoesNotReenterIt)
{
  const std::string Payload = Pattern(200000);
  TWhoisServer Server(SessionOptions([&](int Fd) {
    SessionIo::SendAll(Fd, Payload.substr(0, 1000));
    SessionIo::ReadLine(Fd);  // the rest once the client is inside its nested loop
    SessionIo::SendAll(Fd, Payload.substr(1000));
  }));
  TWSocket S;
  int Depth = 0;
  int MaxDepth = 0;
  bool Nested = false;
  std::string Got;
  S.OnDataAvailable = [&](TCustomWSocket* Sender, std::uint16_t) {
    MaxDepth = std::max(MaxDepth, ++Depth);
    DrainInto(Sender, Got);
    if (!Nested && !Got.empty()) {
      // As a message box shown from the handler would.
      Nested = true;
      Sender->SendStr("more\n");
      QTest::qWait(100);
    }
    --Depth;
  };
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsClosed; }));
  EXPECT_EQ(1, MaxDepth);
  EXPECT_TRUE(Got == Payload);
}

TEST(WSocketSession, SocketWithoutDataHandlerDiscardsDataAndCloses)
{
  TWhoisServer Server(SessionOptions([&](int Fd) { SessionIo::SendAll(Fd, Pattern(100000)); }));
  TWSocket S;
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsClosed; }));
}

TEST(WSocketSession, DestroyingAnOpenSocketFiresStateChangeButNotSessionClosed)
{
  TWhoisServer Server(SessionOptions([&](int Fd) { SessionIo::WaitPeerClose(Fd); }));
  TEventLog Log;
  const auto Users = SocketUserCount.load();
  {
    TWSocket S;
    EXPECT_EQ(Users + 1, SocketUserCount.load());
    Log.Attach(S);
    S.SetAddr("127.0.0.1");
    S.SetPort(Server.PortText());
    S.Connect();
    ASSERT_TRUE(WaitUntil([&] { return S.State() == wsConnected; }));
    Log.Events.clear();
  }
  EXPECT_EQ("State5>8", Log.Joined());
  EXPECT_EQ(Users, SocketUserCount.load());
}

TEST(WSocketSession, UnusedFeaturesRefuseClearly)
{
  TWSocket S;
  EXPECT_THROW(S.SetLineMode(true), ESocketException);
  EXPECT_THROW(S.SetSocksServer("proxy"), ESocketException);
  EXPECT_THROW(S.Listen(), ESocketException);
  EXPECT_NO_THROW(S.SetLineMode(false));
  EXPECT_FALSE(S.LineMode());
}

}  // namespace

int main(int argc, char** argv)
{
  QCoreApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
