#include "synthetic_database.h"

#include "support/qqwry_builder.h"

#include <QStringList>

#include <random>
#include <vector>

namespace ph::bench {
namespace {

using namespace Qt::StringLiterals;
using test::Gbz;
using test::Jump;

constexpr int kDatabaseBytes = 10 * 1000 * 1000;

const QStringList kProvinces{u"北京"_s,   u"上海"_s,   u"广东省"_s, u"浙江省"_s,  u"江苏省"_s,
                             u"四川省"_s, u"湖北省"_s, u"山东省"_s, u"河南省"_s,  u"福建省"_s,
                             u"美国"_s,   u"日本"_s,   u"德国"_s,   u"澳大利亚"_s};
const QStringList kOperators{u"电信"_s,   u"联通"_s,   u"移动"_s,   u"铁通"_s,
                             u"教育网"_s, u"阿里云"_s, u"腾讯云"_s, u"IDC机房"_s};

// Texts shared by many ranges, as in the real file: countries and areas, and location blocks
// that mode-1 records point at (some of them jumping on with mode 2).
struct Pools {
  std::vector<uint32_t> countries;
  std::vector<uint32_t> areas;
  std::vector<uint32_t> blocks;
};

Pools AppendPools(test::QQWryBuilder& db) {
  Pools pools;
  for (int i = 0; i < 700; ++i) {
    pools.countries.push_back(
        db.AppendText(kProvinces[i % kProvinces.size()] + u"第%1市"_s.arg(i)));
  }
  for (int i = 0; i < 3000; ++i) {
    pools.areas.push_back(
        db.AppendText(kOperators[i % kOperators.size()] + u" 数据中心%1号楼"_s.arg(i)));
  }
  for (int i = 0; i < 2000; ++i) {
    const uint32_t country = pools.countries[static_cast<std::size_t>(i) % pools.countries.size()];
    const uint32_t area = pools.areas[static_cast<std::size_t>(i * 7) % pools.areas.size()];
    pools.blocks.push_back(i % 2 == 0 ? db.Append(Jump(2, country) + Jump(2, area))
                                      : db.Append(Jump(2, country) + Gbz(u"城域网"_s)));
  }
  return pools;
}

}  // namespace

QByteArray SyntheticDatabase() {
  test::QQWryBuilder db;
  const Pools pools = AppendPools(db);
  std::mt19937 random(7);
  const auto pick = [&](const std::vector<uint32_t>& pool) { return pool[random() % pool.size()]; };
  constexpr int kBytesPerRange = 21;  // info record and index record, on average
  const int ranges = (kDatabaseBytes - static_cast<int>(db.Here())) / kBytesPerRange;
  const uint32_t span = static_cast<uint32_t>((uint64_t{1} << 32) / static_cast<uint64_t>(ranges));
  for (int i = 0; i < ranges; ++i) {
    const uint32_t start = static_cast<uint32_t>(i) * span;
    const uint32_t end = start + span - 1 - (i % 5 == 0 ? span / 4 : 0);
    const QString country = kProvinces[i % kProvinces.size()] + u"市"_s;
    QByteArray location;
    switch (i % 4) {
      case 0:
        location = Gbz(country) + Gbz(kOperators[i % kOperators.size()]);
        break;
      case 1:
        location = Jump(2, pick(pools.countries)) + Gbz(u"电信"_s);
        break;
      case 2:
        location = Jump(1, pick(pools.blocks));
        break;
      default:
        location = Gbz(country) + Jump(2, pick(pools.areas));
        break;
    }
    db.AddRange(start, end, location);
  }
  return db.Bytes();
}

}  // namespace ph::bench
