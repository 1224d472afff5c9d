// Locating addresses in a QQWry database of about 10 MB, as 检查地址 and a harvest do.
#include "core/endpoints.h"
#include "core/ipv4_text.h"
#include "core/program_dir.h"
#include "iploc/database_file.h"
#include "iploc/ip_location.h"
#include "iploc/qqwry.h"
#include "support/qqwry_builder.h"
#include "synthetic_database.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <random>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
constexpr int kAddresses = 4096;

// The program directory with the database; the web service points at a closed loopback port,
// so a missing database could never send a request anywhere.
class Setting {
 public:
  Setting() : dir_(QString(dir_holder_.path())) {
    test::WriteDatabaseFile(dir_holder_.filePath(u"qqwry.dat"_s), bench::SyntheticDatabase());
    QFile ini(dir_holder_.filePath(u"endpoints.ini"_s));
    if (ini.open(QIODevice::WriteOnly)) ini.write("info_126=http://127.0.0.1:9\n");
    endpoints_ = Endpoints(dir_);
    std::mt19937 random(11);
    for (int i = 0; i < kAddresses; ++i)
      addresses_.push_back(Ipv4Text(static_cast<uint32_t>(random())));
  }

  const ProgramDir& Dir() const { return dir_; }
  const Endpoints& EndpointTable() const { return endpoints_; }
  const QString& Address(int64_t i) const {
    return addresses_[static_cast<std::size_t>(i % kAddresses)];
  }
  qint64 DatabaseSize() const { return QFile(dir_holder_.filePath(u"qqwry.dat"_s)).size(); }

 private:
  QTemporaryDir dir_holder_;
  ProgramDir dir_;
  Endpoints endpoints_;
  std::vector<QString> addresses_;
};

const Setting& SharedSetting() {
  static const Setting setting;
  return setting;
}

void BM_LookupIpLocation10MB(benchmark::State& state) {
  const Setting& setting = SharedSetting();
  if (!OpenDatabaseFile(setting.Dir())) {
    state.SkipWithError("no database in the temporary program directory");
    return;
  }
  int64_t i = 0;
  for (auto _ : state) {
    QString location;
    LookupIpLocation(setting.Address(i++), setting.Dir(), setting.EndpointTable(), nullptr,
                     [&location](const QString& found) { location = found; });
    benchmark::DoNotOptimize(location);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["db_MB"] = static_cast<double>(setting.DatabaseSize()) / 1e6;
}
BENCHMARK(BM_LookupIpLocation10MB);

// The reader alone, one object per lookup.
void BM_QQWryLookup10MB(benchmark::State& state) {
  const Setting& setting = SharedSetting();
  int64_t i = 0;
  for (auto _ : state) {
    QQWry reader(OpenDatabaseFile(setting.Dir()).value_or(DatabaseFile{}));
    benchmark::DoNotOptimize(reader.Lookup(setting.Address(i++)));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QQWryLookup10MB);

}  // namespace
}  // namespace ph
