#pragma once
// A small HTTP/1.1 server for untrusted clients: one thread, non-blocking sockets, epoll.
//
// Every limit is the server's, never the client's:
// - a request (line, headers and body) must arrive whole within RequestDeadline seconds of its
//   first byte; sending slowly does not extend it (408, then the connection is closed);
// - the request line is at most MaxRequestLine bytes (414), the head at most MaxHeaderLines
//   lines and MaxHeaderBytes bytes (431), a body at most MaxBodyBytes (413); bytes beyond are
//   never buffered, so a flood of header lines costs no memory;
// - a kept-alive connection serves at most MaxRequestsPerConnection requests and waits at most
//   IdleTimeout seconds for the next one; at MaxConnections, an idle kept-alive connection is
//   closed to make room, else the newcomer gets 503;
// - an answer whose client takes no byte for SendStallTimeout seconds is abandoned.
// File bodies go out with sendfile from a descriptor the handler opened, so the server holds
// only a small buffer per connection.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cli {

struct THttpLimits {
  double RequestDeadline = 10;
  double IdleTimeout = 5;
  double SendStallTimeout = 30;
  size_t MaxRequestLine = 8 * 1024;
  int MaxHeaderLines = 100;
  size_t MaxHeaderBytes = 32 * 1024;
  size_t MaxBodyBytes = 64 * 1024;
  int MaxRequestsPerConnection = 100;
  int MaxConnections = 512;
};

struct THttpRequest {
  std::string Method;
  std::string Target;  // as sent: path and query
  std::string Path;    // percent-decoded, without the query
  std::string Query;
  int Minor = 1;  // HTTP/1.<Minor>
  std::vector<std::pair<std::string, std::string>> Headers;
  std::string Body;
  // The first header of that name (case-insensitive), or nullptr.
  const std::string* Header(std::string_view name) const;
};

// Reads one request from bytes arriving in pieces; stops at the first fault.
class THttpRequestParser {
 public:
  enum class TState { NeedMore, Complete, Failed };
  explicit THttpRequestParser(const THttpLimits& limits) : FLimits(limits) {}

  // Takes bytes up to the end of the request; returns how many were used (the rest belongs to
  // the next request).
  size_t Feed(const char* data, size_t size);
  TState State() const { return FState; }
  // The status to answer a failed request with (400, 413, 414, 431, 501).
  int FailStatus() const { return FFailStatus; }
  // True once the head is complete and a body is still expected ("Expect: 100-continue").
  bool WantsContinue() const { return FWantsContinue; }
  bool Started() const { return FStarted; }
  const THttpRequest& Request() const { return FRequest; }
  void Reset();

 private:
  void Fail(int status) {
    FState = TState::Failed;
    FFailStatus = status;
  }
  void TakeLine(std::string_view line);
  void EndOfHead();

  const THttpLimits& FLimits;
  TState FState = TState::NeedMore;
  int FFailStatus = 0;
  bool FStarted = false;
  bool FInHead = true;
  bool FWantsContinue = false;
  size_t FHeadBytes = 0;
  int FHeaderLines = 0;
  std::string FLine;
  size_t FBodyLeft = 0;
  THttpRequest FRequest;
};

struct TByteRange {
  enum class TKind { Whole, Part, Unsatisfiable };
  TKind Kind = TKind::Whole;
  int64_t First = 0;
  int64_t Last = -1;  // inclusive
};
// A "Range" header for a body of size bytes. Only one "bytes=" range is honoured; anything
// malformed, or several ranges, means the whole body (which HTTP allows a server to send).
TByteRange ParseByteRange(std::string_view header, int64_t size);

// "%XX" decoding of a request path; false for a malformed escape or an encoded NUL.
bool PercentDecode(std::string_view text, std::string& out);

struct THttpResponse {
  int Status = 200;
  std::vector<std::pair<std::string, std::string>> Headers;
  std::string Body;
  // A file body instead of Body: the server sends FileLength bytes from FileOffset and closes
  // the descriptor.
  int File = -1;
  int64_t FileOffset = 0;
  int64_t FileLength = 0;
};

const char* HttpReason(int status);

class THttpServer {
 public:
  using THandler = std::function<THttpResponse(const THttpRequest&)>;
  THttpServer(THandler handler, THttpLimits limits = {});
  ~THttpServer();
  THttpServer(const THttpServer&) = delete;
  THttpServer& operator=(const THttpServer&) = delete;

  // Binds host:port (0: a free port) without sharing the port with another process; the port
  // bound, or -1 with the reason in error.
  int Bind(const std::string& host, int port, std::string* error = nullptr);
  // Serves until Stop; returns at once when nothing is bound.
  void Run();
  // From any thread or a signal-waiting thread.
  void Stop();
  const THttpLimits& Limits() const { return FLimits; }

 private:
  struct TConnection;
  void Accept();
  void OnReadable(TConnection& c);
  void OnWritable(TConnection& c);
  void Dispatch(TConnection& c);
  void StartAnswer(TConnection& c, THttpResponse response, bool headOnly, bool close);
  void FinishAnswer(TConnection& c);
  void Linger(TConnection& c);
  void Close(TConnection& c);
  void Watch(TConnection& c, uint32_t events);
  void Sweep(double now);
  bool EvictIdle();

  THandler FHandler;
  THttpLimits FLimits;
  int FListen = -1;
  int FEpoll = -1;
  int FWake = -1;
  std::atomic<bool> FStopping{false};
  std::vector<TConnection*> FConnections;  // closed ones until the end of a round
  size_t FLive = 0;
};

}  // namespace cli
