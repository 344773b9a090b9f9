// The HTTP layer of the package server: request limits, byte ranges, and a running server on
// 127.0.0.1 (a free port) with short limits, against slow, idle and greedy clients.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cli/HttpServer.h"

namespace {

using cli::TByteRange;
using cli::THttpRequestParser;
using TState = THttpRequestParser::TState;

std::string Lines(int n, const std::string& line) {
  std::string s;
  for (int i = 0; i < n; ++i) s += line;
  return s;
}

TEST(THttpRequestParser, LimitsAndFaultsGiveTheirStatusWhetherFedAtOnceOrByteByByte) {
  const std::string get = "GET /packages/a.vma HTTP/1.1\r\nHost: a\r\n";
  struct TCase {
    std::string Input;
    TState State;
    int Status;
  } cases[] = {
      {get + "\r\n", TState::Complete, 0},
      {"\r\n" + get + "Range: bytes=1-2\n\n", TState::Complete, 0},  // blank line before, bare LF
      {get + Lines(99, "X: y\r\n") + "\r\n", TState::Complete, 0},   // Host + 99 = the 100 allowed
      {get + Lines(100, "X: y\r\n") + "\r\n", TState::Failed, 431},
      {get + "X: " + std::string(33000, 'a') + "\r\n\r\n", TState::Failed, 431},
      {"GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n", TState::Failed, 414},
      {"GET / HTTP/2.0\r\n\r\n", TState::Failed, 505},
      {"GET / HTTP/1.1\r\n\r\n", TState::Failed, 400},  // no Host
      {"GET / HTTP/1.0\r\n\r\n", TState::Complete, 0},
      {"GET  / HTTP/1.1\r\nHost: a\r\n\r\n", TState::Failed, 400},
      {"GET http://a/ HTTP/1.1\r\nHost: a\r\n\r\n", TState::Failed, 400},
      {"GET /a%00b HTTP/1.1\r\nHost: a\r\n\r\n", TState::Failed, 400},
      {"GET /a%2 HTTP/1.1\r\nHost: a\r\n\r\n", TState::Failed, 400},
      {get + " folded\r\n\r\n", TState::Failed, 400},
      {get + "Bad Name: x\r\n\r\n", TState::Failed, 400},
      {get + "Transfer-Encoding: chunked\r\n\r\n", TState::Failed, 501},
      {get + "Content-Length: 70000\r\n\r\n", TState::Failed, 413},
      {get + "Content-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", TState::Failed, 400},
      {get + "Content-Length: -1\r\n\r\n", TState::Failed, 400},
      {get + "Content-Length: 99999999999999999999999\r\n\r\n", TState::Failed, 400},
      {get + "Content-Length: 4\r\n\r\nab", TState::NeedMore, 0},
      {"GET /a", TState::NeedMore, 0},
  };
  cli::THttpLimits limits;
  for (const TCase& c : cases) {
    for (bool byteByByte : {false, true}) {
      THttpRequestParser p(limits);
      if (byteByByte)
        for (size_t i = 0; i < c.Input.size() && p.State() == TState::NeedMore; ++i) p.Feed(&c.Input[i], 1);
      else
        p.Feed(c.Input.data(), c.Input.size());
      SCOPED_TRACE(c.Input.substr(0, 60) + (byteByByte ? " (byte by byte)" : ""));
      EXPECT_EQ(p.State(), c.State);
      EXPECT_EQ(p.FailStatus(), c.Status);
    }
  }
}

TEST(THttpRequestParser, TakesExactlyOneRequestWithItsBodyAndStopsReadingAFlood) {
  cli::THttpLimits limits;
  THttpRequestParser p(limits);
  const std::string first =
      "POST /x?ID=1 HTTP/1.1\r\nhost: a\r\nContent-Length: 5\r\nExpect: 100-continue\r\n\r\n";
  EXPECT_EQ(p.Feed(first.data(), first.size()), first.size());
  EXPECT_TRUE(p.WantsContinue());
  const std::string rest = "ID=ABGET / HTTP/1.1\r\n";
  EXPECT_EQ(p.Feed(rest.data(), rest.size()), 5u);
  ASSERT_EQ(p.State(), TState::Complete);
  EXPECT_EQ(p.Request().Body, "ID=AB");
  EXPECT_EQ(p.Request().Path, "/x");
  EXPECT_EQ(p.Request().Query, "ID=1");
  ASSERT_NE(p.Request().Header("HOST"), nullptr);
  EXPECT_EQ(*p.Request().Header("Host"), "a");
  EXPECT_FALSE(p.WantsContinue());

  // Two million header lines: the parser stops at the limit and takes no more bytes.
  p.Reset();
  const std::string head = "GET / HTTP/1.1\r\nHost: a\r\n", chunk = Lines(1000, "X-Flut: 1\r\n");
  p.Feed(head.data(), head.size());
  size_t taken = 0;
  for (int i = 0; i < 2000 && p.State() == TState::NeedMore; ++i) taken += p.Feed(chunk.data(), chunk.size());
  EXPECT_EQ(p.FailStatus(), 431);
  EXPECT_LT(taken, 2 * chunk.size());
  EXPECT_EQ(p.Feed(chunk.data(), chunk.size()), 0u);
}

TEST(ParseByteRange, SingleRangesAreHonouredAndOnesBeyondTheEndAreUnsatisfiable) {
  using K = TByteRange::TKind;
  struct TCase {
    const char* Header;
    int64_t Size;
    K Kind;
    int64_t First, Last;
  } cases[] = {
      {"", 1000, K::Whole, 0, 999},
      {"bytes=0-99", 1000, K::Part, 0, 99},
      {"Bytes=900-", 1000, K::Part, 900, 999},
      {"bytes = 900-", 1000, K::Whole, 0, 999},
      {"bytes=-100", 1000, K::Part, 900, 999},
      {"bytes=-5000", 1000, K::Part, 0, 999},
      {"bytes=990-5000", 1000, K::Part, 990, 999},
      {"bytes=999-999", 1000, K::Part, 999, 999},
      {"bytes=1000-", 1000, K::Unsatisfiable, 0, -1},
      {"bytes=5000-6000", 1000, K::Unsatisfiable, 0, -1},
      {"bytes=-0", 1000, K::Unsatisfiable, 0, -1},
      {"bytes=0-", 0, K::Unsatisfiable, 0, -1},
      {"bytes=5-1", 1000, K::Whole, 0, 999},
      {"bytes=0-1,5-6", 1000, K::Whole, 0, 999},
      {"bytes=99999999999999999999-", 1000, K::Whole, 0, 999},
      {"bytes=a-b", 1000, K::Whole, 0, 999},
      {"bytes=-", 1000, K::Whole, 0, 999},
      {"items=0-1", 1000, K::Whole, 0, 999},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Header);
    TByteRange r = cli::ParseByteRange(c.Header, c.Size);
    EXPECT_EQ(r.Kind, c.Kind);
    EXPECT_EQ(r.First, c.First);
    EXPECT_EQ(r.Last, c.Last);
  }
}

// ---- a running server ---------------------------------------------------------------------------

int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void Send(int fd, const std::string& s) { (void)!send(fd, s.data(), s.size(), MSG_NOSIGNAL); }

// Reads until the peer closes (or 5 s pass), or until want bytes arrived.
std::string Receive(int fd, size_t want = SIZE_MAX) {
  std::string out;
  char buf[4096];
  while (out.size() < want) {
    ssize_t n = recv(fd, buf, std::min(sizeof buf, want - out.size()), 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

const std::string kGet = "GET /x HTTP/1.1\r\nHost: a\r\n\r\n";
const std::string kAnswer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

class THttpServerFixture : public ::testing::Test {
 protected:
  void Start(cli::THttpLimits limits) {
    FServer = std::make_unique<cli::THttpServer>(
        [](const cli::THttpRequest&) {
          cli::THttpResponse r;
          r.Body = "ok";
          return r;
        },
        limits);
    FPort = FServer->Bind("127.0.0.1", 0);
    ASSERT_GT(FPort, 0);
    FThread = std::thread([this] { FServer->Run(); });
  }
  void TearDown() override {
    if (FServer) FServer->Stop();
    if (FThread.joinable()) FThread.join();
  }
  std::unique_ptr<cli::THttpServer> FServer;
  std::thread FThread;
  int FPort = -1;
};

TEST_F(THttpServerFixture, SlowSendersGet408AtTheirDeadlineAndNeverHoldUpOthers) {
  cli::THttpLimits limits;
  limits.RequestDeadline = 1;
  Start(limits);
  auto t0 = std::chrono::steady_clock::now();
  std::vector<int> slow;
  for (int i = 0; i < 12; ++i) slow.push_back(Connect(FPort));
  // One byte every 100 ms each, for 1.5 s: more than the deadline allows.
  for (int step = 0; step < 15; ++step) {
    for (int fd : slow) Send(fd, std::string(1, kGet[step]));
    if (step % 5 == 0) {
      auto t = std::chrono::steady_clock::now();
      int fd = Connect(FPort);
      Send(fd, kGet);
      EXPECT_EQ(Receive(fd, kAnswer.size()), kAnswer);
      EXPECT_LT(Seconds(t), 0.5);
      close(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (int fd : slow) {
    EXPECT_EQ(Receive(fd, 12), "HTTP/1.1 408");
    close(fd);
  }
  EXPECT_LT(Seconds(t0), 3.0);
}

TEST_F(THttpServerFixture, KeepAliveEndsAfterTheRequestLimitAndIdleConnectionsMakeRoom) {
  cli::THttpLimits limits;
  limits.MaxRequestsPerConnection = 3;
  limits.MaxConnections = 4;
  Start(limits);
  // Three pipelined requests are answered, the third with "Connection: close"; the fourth is not.
  int fd = Connect(FPort);
  Send(fd, kGet + kGet + kGet + kGet);
  std::string all = Receive(fd);
  close(fd);
  EXPECT_EQ(all.substr(0, 2 * kAnswer.size()), kAnswer + kAnswer);
  const std::string last = "Connection: close\r\n\r\nok";
  size_t end = all.find(last, 2 * kAnswer.size());
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(all.size(), end + last.size());

  // Four kept-alive connections, all idle: a fifth client is still served.
  std::vector<int> idle;
  for (int i = 0; i < 4; ++i) {
    idle.push_back(Connect(FPort));
    Send(idle.back(), kGet);
    EXPECT_EQ(Receive(idle.back(), kAnswer.size()), kAnswer);
  }
  fd = Connect(FPort);
  Send(fd, kGet);
  EXPECT_EQ(Receive(fd, kAnswer.size()), kAnswer);
  close(fd);
  for (int i : idle) close(i);

  // Four connections in the middle of a request are not evicted: the newcomer gets 503.
  std::vector<int> busy;
  for (int i = 0; i < 4; ++i) {
    busy.push_back(Connect(FPort));
    Send(busy.back(), "GET /");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  fd = Connect(FPort);
  EXPECT_EQ(Receive(fd, 12), "HTTP/1.1 503");
  close(fd);
  for (int b : busy) close(b);
}

TEST_F(THttpServerFixture, APortInUseIsRefused) {
  Start({});
  cli::THttpServer second([](const cli::THttpRequest&) { return cli::THttpResponse(); });
  std::string why;
  EXPECT_EQ(second.Bind("127.0.0.1", FPort, &why), -1);
  EXPECT_EQ(why, "sie wird schon verwendet");
}

}  // namespace
