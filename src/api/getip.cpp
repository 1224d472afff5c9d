#include "api/getip.h"

#include "api/url_codec.h"
#include "core/numbers.h"
#include "core/proxy_list.h"

#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

void AppendLine(QString& body, const ProxyList& list, int row, bool with_area) {
  body += list.CellText(row, kAddress);
  if (with_area) {
    body += u'|';
    AppendUrlEncoded(body, list.CellText(row, kRegion));
  }
  body += u"<br/>"_s;
}

bool ReachesRatio(const ProxyList& list, int row, int min_ratio) {
  return ReadNumber(list.CellText(row, kSuccessRatio)) >= min_ratio;
}

}  // namespace

int RandomIndex(int max, int lo, int hi, std::mt19937& random) {
  if (max <= 0) return 0;
  std::uniform_int_distribution<int> draw(0, max - 1);
  if (hi < lo || hi <= 0) return draw(random);
  // A range that floor(r * max) can never reach would draw for ever.
  if (lo > max - 1 || hi < 0) return std::max(lo, 0);
  for (;;) {
    const int value = draw(random);
    if (value >= lo && value <= hi) return value;
  }
}

QString BuildGetIpBody(const ProxyList& list, int32_t row, int16_t count, int16_t min_ratio,
                       bool with_area, std::mt19937& random) {
  const int rows = list.RowCount();
  QString body;
  if (row > 0 && row < rows) {
    AppendLine(body, list, row, with_area);
    return body;
  }
  int draws = count;
  if (draws < 1 || draws > rows) draws = rows;
  if (draws == rows) {
    body.reserve(rows * 24);
    for (int r = 1; r <= rows; ++r)
      if (ReachesRatio(list, r, min_ratio)) AppendLine(body, list, r, with_area);
    return body;
  }
  std::vector<bool> drawn(static_cast<std::size_t>(rows) + 1);
  for (int i = 0; i < draws; ++i) {
    const int k = RandomIndex(rows + 1, 1, rows, random);
    if (drawn[static_cast<std::size_t>(k)]) continue;
    drawn[static_cast<std::size_t>(k)] = true;
    if (ReachesRatio(list, k, min_ratio)) AppendLine(body, list, k, with_area);
  }
  return body;
}

}  // namespace ph
