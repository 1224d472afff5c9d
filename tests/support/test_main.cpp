#include "support/loopback_server.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <curl/curl.h>

#include <cstdlib>

// One application object for every test; the window tests need a QApplication, and the
// offscreen platform keeps them headless. Listing the tests, as the build does, needs no
// network; running them needs loopback alone.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  curl_global_init(CURL_GLOBAL_ALL);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  if (!GTEST_FLAG_GET(list_tests) && !ph::test::OnlyLoopbackIsUp()) return 1;
  return RUN_ALL_TESTS();
}
