// Requests from untrusted clients reach the package server's request parser in pieces of any
// size: every input must end in a complete request, a fault with its status, or a wish for more
// bytes, within the limits (never a crash, a hang or memory beyond them). The first byte sets
// the piece size; the bytes also go through the byte-range and percent decoding.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/HttpServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = data[0] % 64 + 1;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;
  cli::THttpLimits limits;
  limits.MaxHeaderLines = 8;
  limits.MaxHeaderBytes = 512;
  limits.MaxRequestLine = 128;
  limits.MaxBodyBytes = 256;
  cli::THttpRequestParser parser(limits);
  size_t at = 0;
  while (at < length) {
    size_t n = std::min(piece, length - at);
    size_t used = parser.Feed(text + at, n);
    if (used > n) std::abort();
    at += used;
    if (parser.State() == cli::THttpRequestParser::TState::Complete) {
      const cli::THttpRequest& r = parser.Request();
      if (r.Body.size() > limits.MaxBodyBytes ||
          r.Headers.size() > static_cast<size_t>(limits.MaxHeaderLines) || r.Method.empty() ||
          r.Path.empty() || r.Path[0] != '/')
        std::abort();
      parser.Reset();  // the next request of the connection
    } else if (parser.State() == cli::THttpRequestParser::TState::Failed) {
      break;
    } else if (used < n) {
      std::abort();  // wanting more bytes means having taken all it was given
    }
  }
  std::string_view all(text, length);
  for (int64_t total : {int64_t(0), int64_t(1), int64_t(1000), INT64_MAX / 2}) {
    cli::TByteRange r = cli::ParseByteRange(all, total);
    if (r.Kind == cli::TByteRange::TKind::Part && (r.First < 0 || r.First > r.Last || r.Last >= total))
      std::abort();
  }
  std::string decoded;
  if (cli::PercentDecode(all, decoded) && decoded.size() > all.size()) std::abort();
  return 0;
}
