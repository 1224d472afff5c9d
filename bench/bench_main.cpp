#include "support/loopback_server.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <curl/curl.h>

#include <cstdlib>

// The list benchmarks attach a real view, so they need an application; offscreen keeps
// them headless. Like the tests, they run only where loopback is the whole network.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  curl_global_init(CURL_GLOBAL_ALL);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (!ph::test::OnlyLoopbackIsUp()) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
