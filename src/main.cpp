#include "console/headless.h"
#include "ui/window_main.h"

#include <curl/curl.h>

// The window, or with --headless the console: the same application root either way.
int main(int argc, char* argv[]) {
  // Before any worker thread can exist.
  curl_global_init(CURL_GLOBAL_ALL);
  const int code =
      ph::WantsHeadless(argc, argv) ? ph::HeadlessMain(argc, argv) : ph::WindowMain(argc, argv);
  curl_global_cleanup();
  return code;
}
