// The headless settings file: any bytes are read, and only values the panel takes reach it.
#include "app/config_file.h"
#include "core/endpoints.h"
#include "core/settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ph::Endpoints endpoints;
  const ph::ConfigFile config = ph::ParseConfig(ph::ConfigFileText(
      QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))));
  ph::Settings settings(endpoints);
  ph::ApplyConfig(config, settings);
  // Whatever was taken applies as a user's panel would.
  if (!config.values.empty() && config.problems.isEmpty()) settings.Apply();
  return 0;
}
