// A loopback farm as a program of its own, for the benchmark scripts that time the real
// executable: ph_farm WORKING FAILING LIST TIMES
// writes LIST, one address a line: first a proxy that notes when it is connected to (one line
// of nanoseconds since the epoch appended to TIMES per connection), then WORKING proxies whose
// page holds "[127.0.0.1]" and FAILING ones whose page does not, interleaved. Serves them
// until its standard input ends.
#include "support/http_fixtures.h"
#include "support/proxy_farm.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: ph_farm WORKING FAILING LIST TIMES\n");
    return 2;
  }
  const int working = std::stoi(argv[1]);
  const int failing = std::stoi(argv[2]);
  std::mutex times_mutex;
  std::ofstream times(argv[4], std::ios::app);
  ph::test::LoopbackServer first([&](int fd) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    {
      std::lock_guard lock(times_mutex);
      times << std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() << std::endl;
    }
    ph::test::ReadHead(fd, 2000);
    ph::test::WriteAll(fd, ph::test::HttpResponse({200, "ok [127.0.0.1]", "text/html", 0}));
  });
  ph::test::ProxyFarm farm;
  const auto good = farm.Add({"ok [127.0.0.1]", 0, false, false}, working);
  const auto bad = farm.Add({"no bracket", 0, false, false}, failing);
  farm.Start();
  std::ofstream list(argv[3]);
  list << first.Address() << '\n';
  for (std::size_t i = 0; i < std::max(good.size(), bad.size()); ++i) {
    if (i < good.size()) list << good[i] << '\n';
    if (i < bad.size()) list << bad[i] << '\n';
  }
  list.close();
  std::cout << "ready" << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  return 0;
}
