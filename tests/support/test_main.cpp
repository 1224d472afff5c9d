#include <gtest/gtest.h>

#include <QApplication>

#include <curl/curl.h>

#include <cstdlib>

// One application object for every test; the window tests need a QApplication, and the
// offscreen platform keeps them headless.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  curl_global_init(CURL_GLOBAL_ALL);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
