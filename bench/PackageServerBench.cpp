// The package server under load on 127.0.0.1: 200 clients on kept-alive connections ask for
// package information and download a 64 KiB package for 20 s, once alone (the baseline) and once
// with 16 slow clients that send one byte a second. A probe opens a fresh connection every 50 ms
// and asks for package information; its 95th-percentile answer time is the figure (goal with the
// slow clients: under 0.5 s).

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "app/RRAssetDownloader.h"
#include "app/RRDatabase.h"
#include "cli/PackageServerCommand.h"
#include "engine/core/GXFileSystem.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kClients = 200;
constexpr double kSeconds = 20;
const char* kId = "0A000000-1111-2222-3333-444444444444";

int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
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

// Sends request and reads one whole answer on a kept-alive connection; false when the
// connection ended (the server closes after its per-connection limit) or failed.
bool Exchange(int fd, const std::string& request, std::string& buffer, bool& closing) {
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
    return false;
  char chunk[16384];
  size_t headEnd;
  while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
  }
  size_t lengthAt = buffer.find("Content-Length: ");
  if (lengthAt == std::string::npos || lengthAt > headEnd) return false;
  size_t length = std::stoul(buffer.substr(lengthAt + 16));
  closing = buffer.find("Connection: close") < headEnd;
  size_t total = headEnd + 4 + length;
  while (buffer.size() < total) {
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
  }
  buffer.erase(0, total);
  return true;
}

std::string InfoRequest() {
  std::string body = std::string("ID=") + kId;
  return "POST " + std::string(rr::RRPackageInfoPath) +
         " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
         "application/x-www-form-urlencoded\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct TServedFolder {
  std::string Dir;
  TServedFolder() {
    Dir = (fs::temp_directory_path() / "velmora-serverbench-XXXXXX").string();
    if (!mkdtemp(Dir.data())) std::abort();
    gx::TGXFileSystem fileSystem;
    rr::TRRDatabase db(fileSystem, {});
    rr::TRRAsset a(&db);
    a.SetIdentifier(gx::TGXGuid::Parse(std::string("{") + kId + "}"));
    a.Name().SetUserText("Paket");
    const std::string readme = Dir + "/readme";
    // 64 KiB that do not compress: the download is a real transfer.
    std::string bytes(64 << 10, '\0');
    std::mt19937 random(7);
    for (char& c : bytes) c = static_cast<char>(random());
    std::ofstream(readme, std::ios::binary) << bytes;
    a.AdditionalFiles().push_back({readme, "Readme.txt"});
    a.WritePackage(Dir + "/Paket.vma", false);
    fs::remove(readme);
  }
  ~TServedFolder() { fs::remove_all(Dir); }
};

void BM_PackageServerUnderLoad(benchmark::State& state) {
  const int slowClients = static_cast<int>(state.range(0));
  TServedFolder folder;
  cli::TPackageServer server(folder.Dir);
  int port = server.Bind("127.0.0.1", 0);
  if (port <= 0 || server.Offers().empty()) {
    state.SkipWithError("Server nicht gestartet");
    return;
  }
  std::thread serving([&] { server.Run(); });
  const std::string info = InfoRequest();
  const std::string get = "GET /packages/Paket.vma HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

  for (auto _ : state) {
    std::atomic<bool> stop{false};
    std::atomic<int64_t> answered{0}, failed{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i)
      threads.emplace_back([&, i] {
        int fd = -1;
        std::string buffer;
        for (int n = 0; !stop; ++n) {
          if (fd < 0) {
            fd = Connect(port);
            buffer.clear();
            if (fd < 0) {
              ++failed;
              std::this_thread::sleep_for(std::chrono::milliseconds(10));
              continue;
            }
          }
          bool closing = false;
          // Mostly information requests, every fourth a download.
          if (Exchange(fd, (n + i) % 4 ? info : get, buffer, closing))
            ++answered;
          else
            ++failed, closing = true;
          if (closing) close(fd), fd = -1;
        }
        if (fd >= 0) close(fd);
      });
    for (int i = 0; i < slowClients; ++i)
      threads.emplace_back([&] {
        while (!stop) {
          int fd = Connect(port);
          if (fd < 0) break;
          for (size_t k = 0; !stop && k < info.size(); ++k) {
            if (send(fd, &info[k], 1, MSG_NOSIGNAL) != 1) break;
            for (int t = 0; t < 10 && !stop; ++t) std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
          close(fd);
        }
      });
    std::vector<double> probes;
    int probeFailures = 0;
    const auto start = Clock::now();
    while (std::chrono::duration<double>(Clock::now() - start).count() < kSeconds) {
      auto t = Clock::now();
      int fd = Connect(port);
      std::string buffer;
      bool closing = false;
      if (fd >= 0 && Exchange(fd, info, buffer, closing))
        probes.push_back(std::chrono::duration<double>(Clock::now() - t).count());
      else
        ++probeFailures;
      if (fd >= 0) close(fd);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    stop = true;
    for (auto& t : threads) t.join();
    std::sort(probes.begin(), probes.end());
    auto percentile = [&](double p) {
      return probes.empty() ? 0.0
                            : probes[std::min(probes.size() - 1, static_cast<size_t>(p * probes.size()))];
    };
    state.counters["requests_per_s"] = static_cast<double>(answered) / elapsed;
    state.counters["failed"] = static_cast<double>(failed);
    state.counters["probe_p50_ms"] = percentile(0.50) * 1000;
    state.counters["probe_p95_ms"] = percentile(0.95) * 1000;
    state.counters["probe_max_ms"] = probes.empty() ? 0 : probes.back() * 1000;
    state.counters["probe_failures"] = probeFailures;
    state.counters["probes"] = static_cast<double>(probes.size());
    state.counters["package_bytes"] = static_cast<double>(fs::file_size(folder.Dir + "/Paket.vma"));
  }
  server.Stop();
  serving.join();
}
BENCHMARK(BM_PackageServerUnderLoad)
    ->ArgName("slow_clients")
    ->Arg(0)
    ->Arg(16)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
