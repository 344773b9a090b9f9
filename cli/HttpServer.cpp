#include "cli/HttpServer.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "engine/core/GXStrings.h"

namespace cli {

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool IsTokenChar(unsigned char c) { return std::isalnum(c) || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr; }

std::string_view TrimOws(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Digits only, at most 18 of them (no overflow); -1 otherwise.
int64_t ParseDecimal(std::string_view s) {
  if (s.empty() || s.size() > 18) return -1;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// German reasons for the faults a user can mend.
std::string BindFailure(int error) {
  switch (error) {
    case EADDRINUSE:
      return "sie wird schon verwendet";
    case EACCES:
      return "keine Berechtigung";
    case EADDRNOTAVAIL:
      return "sie gehört nicht zu diesem Rechner";
    default:
      return std::strerror(error);
  }
}

}  // namespace

const std::string* THttpRequest::Header(std::string_view name) const {
  for (const auto& [n, v] : Headers)
    if (gx::SameText(n, name)) return &v;
  return nullptr;
}

bool PercentDecode(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
    if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

TByteRange ParseByteRange(std::string_view header, int64_t size) {
  TByteRange whole;
  whole.Last = size - 1;
  std::string_view s = TrimOws(header);
  if (s.size() < 6 || !gx::SameText(s.substr(0, 6), "bytes=")) return whole;
  s = TrimOws(s.substr(6));
  if (s.find(',') != std::string_view::npos) return whole;
  size_t dash = s.find('-');
  if (dash == std::string_view::npos) return whole;
  std::string_view a = TrimOws(s.substr(0, dash)), b = TrimOws(s.substr(dash + 1));
  int64_t first = a.empty() ? -1 : ParseDecimal(a);
  int64_t last = b.empty() ? -1 : ParseDecimal(b);
  if ((!a.empty() && first < 0) || (!b.empty() && last < 0) || (a.empty() && b.empty())) return whole;
  TByteRange r;
  r.Kind = TByteRange::TKind::Part;
  if (a.empty()) {
    // The last "last" bytes.
    if (last == 0 || size == 0) return {TByteRange::TKind::Unsatisfiable, 0, -1};
    r.First = std::max<int64_t>(0, size - last);
    r.Last = size - 1;
    return r;
  }
  if (!b.empty() && last < first) return whole;  // invalid: ignored, as HTTP says
  if (first >= size) return {TByteRange::TKind::Unsatisfiable, 0, -1};
  r.First = first;
  r.Last = b.empty() ? size - 1 : std::min(last, size - 1);
  return r;
}

void THttpRequestParser::Reset() {
  FState = TState::NeedMore;
  FFailStatus = 0;
  FStarted = FWantsContinue = false;
  FInHead = true;
  FHeadBytes = 0;
  FHeaderLines = 0;
  FLine.clear();
  FBodyLeft = 0;
  FRequest = THttpRequest();
}

size_t THttpRequestParser::Feed(const char* data, size_t size) {
  size_t used = 0;
  while (used < size && FState == TState::NeedMore) {
    FStarted = true;
    if (!FInHead) {
      size_t take = std::min(FBodyLeft, size - used);
      FRequest.Body.append(data + used, take);
      used += take;
      FBodyLeft -= take;
      if (FBodyLeft == 0) {
        FWantsContinue = false;
        FState = TState::Complete;
      }
      continue;
    }
    const char* nl = static_cast<const char*>(std::memchr(data + used, '\n', size - used));
    size_t take = nl ? static_cast<size_t>(nl - (data + used)) + 1 : size - used;
    FHeadBytes += take;
    if (FRequest.Method.empty() && FLine.size() + take > FLimits.MaxRequestLine + 2) {
      Fail(414);
      return used;
    }
    if (FHeadBytes > FLimits.MaxHeaderBytes) {
      Fail(431);
      return used;
    }
    FLine.append(data + used, take);
    used += take;
    if (!nl) continue;
    FLine.pop_back();
    if (!FLine.empty() && FLine.back() == '\r') FLine.pop_back();
    std::string line;
    line.swap(FLine);
    TakeLine(line);
  }
  return used;
}

void THttpRequestParser::TakeLine(std::string_view line) {
  THttpRequest& r = FRequest;
  if (r.Method.empty()) {
    if (line.empty()) return;  // blank lines before a request are allowed
    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) return Fail(400);
    std::string_view method = line.substr(0, sp1), target = line.substr(sp1 + 1, sp2 - sp1 - 1),
                     version = line.substr(sp2 + 1);
    if (method.empty() ||
        !std::all_of(method.begin(), method.end(), [](unsigned char c) { return IsTokenChar(c); }))
      return Fail(400);
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/") return Fail(400);
    if (version.substr(5) != "1.1" && version.substr(5) != "1.0") return Fail(505);
    if (target.empty() || target.front() != '/') return Fail(400);
    for (unsigned char c : target)
      if (c <= 0x20 || c >= 0x7F) return Fail(400);
    size_t q = target.find('?');
    if (!PercentDecode(target.substr(0, q), r.Path)) return Fail(400);
    if (q != std::string_view::npos) r.Query = target.substr(q + 1);
    r.Method = method;
    r.Target = target;
    r.Minor = version[7] - '0';
    return;
  }
  if (line.empty()) return EndOfHead();
  if (line.front() == ' ' || line.front() == '\t') return Fail(400);  // obsolete line folding
  if (++FHeaderLines > FLimits.MaxHeaderLines) return Fail(431);
  size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return Fail(400);
  std::string_view name = line.substr(0, colon);
  if (!std::all_of(name.begin(), name.end(), [](unsigned char c) { return IsTokenChar(c); }))
    return Fail(400);
  std::string_view value = TrimOws(line.substr(colon + 1));
  for (unsigned char c : value)
    if ((c < 0x20 && c != '\t') || c == 0x7F) return Fail(400);
  r.Headers.emplace_back(name, value);
}

void THttpRequestParser::EndOfHead() {
  FInHead = false;
  THttpRequest& r = FRequest;
  if (r.Header("Transfer-Encoding")) return Fail(501);  // chunked bodies are not needed here
  if (r.Minor == 1 && !r.Header("Host")) return Fail(400);
  int64_t length = 0;
  bool seen = false;
  for (const auto& [n, v] : r.Headers) {
    if (!gx::SameText(n, "Content-Length")) continue;
    int64_t l = ParseDecimal(v);
    if (l < 0 || (seen && l != length)) return Fail(400);
    length = l;
    seen = true;
  }
  if (length > static_cast<int64_t>(FLimits.MaxBodyBytes)) return Fail(413);
  FBodyLeft = static_cast<size_t>(length);
  if (FBodyLeft == 0) {
    FState = TState::Complete;
    return;
  }
  r.Body.reserve(FBodyLeft);
  const std::string* expect = r.Header("Expect");
  FWantsContinue = expect && gx::SameText(*expect, "100-continue");
}

const char* HttpReason(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 206:
      return "Partial Content";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 413:
      return "Content Too Large";
    case 414:
      return "URI Too Long";
    case 416:
      return "Range Not Satisfiable";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Unknown";
  }
}

// ---- the server ---------------------------------------------------------------------------------

struct THttpServer::TConnection {
  enum class TPhase { Reading, Writing, Lingering };
  TConnection(int fd, const THttpLimits& limits) : Fd(fd), Parser(limits) {}
  int Fd;
  bool Dead = false;
  TPhase Phase = TPhase::Reading;
  uint32_t Events = 0;
  THttpRequestParser Parser;
  std::string Pending;  // bytes of a following request that came with the previous one
  std::string Out;
  size_t OutDone = 0;
  int File = -1;
  off_t FileOffset = 0;
  int64_t FileLeft = 0;
  bool CloseAfter = false;
  bool ContinueSent = false;
  int Requests = 0;
  double IdleSince = 0, RequestStart = 0, LastProgress = 0, LingerUntil = 0;
};

namespace {
constexpr uint64_t kListenTag = 1, kWakeTag = 2;
}

THttpServer::THttpServer(THandler handler, THttpLimits limits)
    : FHandler(std::move(handler)), FLimits(limits) {
  FEpoll = epoll_create1(EPOLL_CLOEXEC);
  FWake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (FEpoll >= 0 && FWake >= 0) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeTag;
    epoll_ctl(FEpoll, EPOLL_CTL_ADD, FWake, &ev);
  }
}

THttpServer::~THttpServer() {
  for (TConnection* c : FConnections) {
    if (!c->Dead) Close(*c);
    delete c;
  }
  if (FListen >= 0) close(FListen);
  if (FWake >= 0) close(FWake);
  if (FEpoll >= 0) close(FEpoll);
}

int THttpServer::Bind(const std::string& host, int port, std::string* error) {
  auto failed = [&](const std::string& why) {
    if (error) *error = why;
    return -1;
  };
  if (FEpoll < 0 || FWake < 0) return failed(std::strerror(errno));
  if (FListen >= 0) return failed("schon gebunden");
  // Each connection may hold a socket and a file: make room for the connection limit.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < rlim_t(2 * FLimits.MaxConnections + 64)) {
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 2 * FLimits.MaxConnections + 64);
    setrlimit(RLIMIT_NOFILE, &files);
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* list = nullptr;
  std::string service = std::to_string(port);
  if (int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &list); rc != 0)
    return failed(std::string("unbekannter Rechner (") + gai_strerror(rc) + ")");
  int lastError = EADDRNOTAVAIL;
  for (addrinfo* a = list; a && FListen < 0; a = a->ai_next) {
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      lastError = errno;
      continue;
    }
    // SO_REUSEADDR only allows a restart over connections in TIME_WAIT; unlike SO_REUSEPORT it
    // never lets a second server listen on the same port.
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, SOMAXCONN) != 0) {
      lastError = errno;
      close(fd);
      continue;
    }
    FListen = fd;
  }
  freeaddrinfo(list);
  if (FListen < 0) return failed(BindFailure(lastError));
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len);
  int bound = addr.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port)
                                         : ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = kListenTag;
  epoll_ctl(FEpoll, EPOLL_CTL_ADD, FListen, &ev);
  return bound;
}

void THttpServer::Stop() {
  FStopping = true;
  uint64_t one = 1;
  if (FWake >= 0) (void)!write(FWake, &one, sizeof one);
}

void THttpServer::Run() {
  if (FListen < 0 || FEpoll < 0) return;
  epoll_event events[128];
  double lastSweep = Now();
  while (!FStopping) {
    int n = epoll_wait(FEpoll, events, 128, 100);
    if (n < 0 && errno != EINTR) break;
    for (int i = 0; i < n && !FStopping; ++i) {
      uint64_t tag = events[i].data.u64;
      if (tag == kWakeTag) break;
      if (tag == kListenTag) {
        Accept();
        continue;
      }
      auto* c = static_cast<TConnection*>(events[i].data.ptr);
      if (c->Dead) continue;
      if (events[i].events & (EPOLLERR | EPOLLHUP) && !(events[i].events & EPOLLIN)) {
        Close(*c);
        continue;
      }
      if (c->Phase == TConnection::TPhase::Writing)
        OnWritable(*c);
      else
        OnReadable(*c);
    }
    double now = Now();
    if (now - lastSweep >= 0.1) {
      lastSweep = now;
      Sweep(now);
    }
    // Connections closed in this round are freed only now: later events may still name them.
    if (FLive == FConnections.size()) continue;
    auto dead = std::stable_partition(FConnections.begin(), FConnections.end(),
                                      [](TConnection* c) { return !c->Dead; });
    for (auto it = dead; it != FConnections.end(); ++it) delete *it;
    FConnections.erase(dead, FConnections.end());
  }
  for (TConnection* c : FConnections) {
    if (!c->Dead) Close(*c);
    delete c;
  }
  FConnections.clear();
}

void THttpServer::Watch(TConnection& c, uint32_t events) {
  if (c.Events == events) return;
  epoll_event ev{};
  ev.events = events;
  ev.data.ptr = &c;
  epoll_ctl(FEpoll, c.Events == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, c.Fd, &ev);
  c.Events = events;
}

bool THttpServer::EvictIdle() {
  TConnection* oldest = nullptr;
  for (TConnection* c : FConnections)
    if (!c->Dead && c->Phase == TConnection::TPhase::Reading && !c->Parser.Started() &&
        (!oldest || c->IdleSince < oldest->IdleSince))
      oldest = c;
  if (!oldest) return false;
  Close(*oldest);
  return true;
}

void THttpServer::Accept() {
  for (;;) {
    int fd = accept4(FListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // EAGAIN, or out of descriptors until connections end
    if (FLive >= static_cast<size_t>(FLimits.MaxConnections) && !EvictIdle()) {
      static const char busy[] =
          "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      (void)!send(fd, busy, sizeof busy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      close(fd);
      continue;
    }
    auto* c = new TConnection(fd, FLimits);
    c->IdleSince = Now();
    FConnections.push_back(c);
    ++FLive;
    Watch(*c, EPOLLIN);
  }
}

void THttpServer::OnReadable(TConnection& c) {
  char buf[16384];
  // A bounded number of reads per call, so one fast sender cannot hold the loop.
  for (int round = 0; round < 64 && !c.Dead; ++round) {
    ssize_t n = recv(c.Fd, buf, sizeof buf, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Close(c);
    if (c.Phase == TConnection::TPhase::Lingering) continue;  // the answer is out; input is dropped
    bool started = c.Parser.Started();
    size_t used = c.Parser.Feed(buf, static_cast<size_t>(n));
    if (!started) c.RequestStart = Now();
    switch (c.Parser.State()) {
      case THttpRequestParser::TState::Complete:
        c.Pending.assign(buf + used, static_cast<size_t>(n) - used);
        return Dispatch(c);
      case THttpRequestParser::TState::Failed: {
        THttpResponse r;
        r.Status = c.Parser.FailStatus();
        r.Body = std::string(HttpReason(r.Status)) + "\n";
        return StartAnswer(c, std::move(r), false, true);
      }
      case THttpRequestParser::TState::NeedMore:
        if (c.Parser.WantsContinue() && !c.ContinueSent) {
          static const char cont[] = "HTTP/1.1 100 Continue\r\n\r\n";
          c.ContinueSent = true;
          (void)!send(c.Fd, cont, sizeof cont - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        break;
    }
  }
}

void THttpServer::Dispatch(TConnection& c) {
  const THttpRequest& req = c.Parser.Request();
  ++c.Requests;
  THttpResponse response;
  try {
    response = FHandler(req);
  } catch (...) {
    if (response.File >= 0) close(response.File);
    response = THttpResponse();
    response.Status = 500;
    response.Body = "Internal Server Error\n";
  }
  const std::string* connection = req.Header("Connection");
  bool closeAfter = req.Minor == 0 || (connection && gx::SameText(*connection, "close")) ||
                    c.Requests >= FLimits.MaxRequestsPerConnection || FStopping;
  StartAnswer(c, std::move(response), req.Method == "HEAD", closeAfter);
}

void THttpServer::StartAnswer(TConnection& c, THttpResponse response, bool headOnly, bool closeAfter) {
  int64_t length = response.File >= 0 ? response.FileLength : static_cast<int64_t>(response.Body.size());
  std::string& out = c.Out;
  out = "HTTP/1.1 " + std::to_string(response.Status) + " " + HttpReason(response.Status) + "\r\n";
  for (const auto& [n, v] : response.Headers) out += n + ": " + v + "\r\n";
  out += "Content-Length: " + std::to_string(length) + "\r\n";
  if (closeAfter) out += "Connection: close\r\n";
  out += "\r\n";
  if (!headOnly) out += response.Body;
  c.OutDone = 0;
  c.CloseAfter = closeAfter;
  if (response.File >= 0 && (headOnly || length <= 0)) {
    close(response.File);
    response.File = -1;
  }
  c.File = response.File;
  c.FileOffset = static_cast<off_t>(response.FileOffset);
  c.FileLeft = c.File >= 0 ? length : 0;
  c.Phase = TConnection::TPhase::Writing;
  c.LastProgress = Now();
  OnWritable(c);
  if (!c.Dead && c.Phase == TConnection::TPhase::Writing) Watch(c, EPOLLOUT);
}

void THttpServer::OnWritable(TConnection& c) {
  while (c.OutDone < c.Out.size()) {
    ssize_t n = send(c.Fd, c.Out.data() + c.OutDone, c.Out.size() - c.OutDone, MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Close(c);
    c.OutDone += static_cast<size_t>(n);
    c.LastProgress = Now();
  }
  while (c.FileLeft > 0) {
    ssize_t n =
        sendfile(c.Fd, c.File, &c.FileOffset, static_cast<size_t>(std::min<int64_t>(c.FileLeft, 1 << 20)));
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n < 0 && errno == EINTR) continue;
    // The file got shorter than announced: the client must see a cut answer, not a wrong one.
    if (n <= 0) return Close(c);
    c.FileLeft -= n;
    c.LastProgress = Now();
  }
  FinishAnswer(c);
}

void THttpServer::FinishAnswer(TConnection& c) {
  if (c.File >= 0) close(c.File);
  c.File = -1;
  c.Out.clear();
  c.OutDone = 0;
  if (c.CloseAfter) return Linger(c);
  c.Phase = TConnection::TPhase::Reading;
  c.Parser.Reset();
  c.ContinueSent = false;
  c.IdleSince = Now();
  Watch(c, EPOLLIN);
  if (c.Pending.empty()) return;
  // A request sent right behind the previous one (pipelining); at most a read's worth.
  std::string pending;
  pending.swap(c.Pending);
  size_t used = c.Parser.Feed(pending.data(), pending.size());
  c.RequestStart = Now();
  if (c.Parser.State() == THttpRequestParser::TState::Complete) {
    c.Pending = pending.substr(used);
    Dispatch(c);
  } else if (c.Parser.State() == THttpRequestParser::TState::Failed) {
    THttpResponse r;
    r.Status = c.Parser.FailStatus();
    r.Body = std::string(HttpReason(r.Status)) + "\n";
    StartAnswer(c, std::move(r), false, true);
  }
}

void THttpServer::Linger(TConnection& c) {
  // Closing at once with unread input would reset the connection and could destroy the answer
  // before the client read it; so the writing side ends and input is dropped for a moment.
  shutdown(c.Fd, SHUT_WR);
  c.Phase = TConnection::TPhase::Lingering;
  c.LingerUntil = Now() + 2;
  Watch(c, EPOLLIN);
}

void THttpServer::Close(TConnection& c) {
  if (c.Dead) return;
  epoll_ctl(FEpoll, EPOLL_CTL_DEL, c.Fd, nullptr);
  close(c.Fd);
  if (c.File >= 0) close(c.File);
  c.File = -1;
  c.Dead = true;
  --FLive;
}

void THttpServer::Sweep(double now) {
  for (size_t i = 0; i < FConnections.size(); ++i) {
    TConnection& c = *FConnections[i];
    if (c.Dead) continue;
    switch (c.Phase) {
      case TConnection::TPhase::Reading:
        if (c.Parser.Started() && now > c.RequestStart + FLimits.RequestDeadline) {
          THttpResponse r;
          r.Status = 408;
          r.Body = "Request Timeout\n";
          StartAnswer(c, std::move(r), false, true);
        } else if (!c.Parser.Started() && now > c.IdleSince + FLimits.IdleTimeout) {
          Close(c);
        }
        break;
      case TConnection::TPhase::Writing:
        if (now > c.LastProgress + FLimits.SendStallTimeout) Close(c);
        break;
      case TConnection::TPhase::Lingering:
        if (now > c.LingerUntil) Close(c);
        break;
    }
  }
}

}  // namespace cli
