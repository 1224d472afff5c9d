#include "harvest/sources.h"

#include "core/address_text.h"
#include "core/literals.h"
#include "core/numbers.h"
#include "web/text_helpers.h"

#include <array>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr std::array<XiciCategory, 4> kCategories{{
    {&SettingsPanel::Check1, u"/nn/", u"西刺高匿代理", false, u"高匿"},
    {&SettingsPanel::Check2, u"/nt/", u"西刺普通代理", false, u"透明(普通)"},
    {&SettingsPanel::Check6, u"/wn/", u"西刺国外高匿代理", true, u"高匿"},
    {&SettingsPanel::Check7, u"/wt/", u"西刺国外普通代理", true, u"透明(普通)"},
}};

// Reply lines beyond this are dropped: the API is asked for 800.
constexpr int kMost66ipLines = 10000;

void RemoveFirst(QString& text, QStringView what) {
  const qsizetype at = text.indexOf(what);
  if (at >= 0) text.remove(at, what.size());
}

// A region from the page stands when it has at least two characters, does not begin with a
// positive number ("3天" is an age, not a place) and is there at all.
bool RegionStands(const QString& region) {
  return region.size() >= 2 && ReadNumber(region) <= 0 && region != kNothing;
}

}  // namespace

std::span<const XiciCategory> XiciCategories() { return kCategories; }

QString XiciStatusText(const XiciCategory& category, int page) {
  return u"正在采集"_s + QString::fromUtf16(category.name) + u"的第 "_s + QString::number(page) +
         u" 页数据..."_s;
}

std::vector<QStringView> XiciRowPieces(QStringView page) {
  static const QString kRowStart = u"<tr class="_s;
  std::vector<QStringView> pieces;
  qsizetype at = page.indexOf(kRowStart);
  while (at >= 0 && static_cast<int>(pieces.size()) < kMostRowsPerPage) {
    const qsizetype begin = at + kRowStart.size();
    at = page.indexOf(kRowStart, begin);
    pieces.push_back(page.mid(begin, at < 0 ? -1 : at - begin));
  }
  return pieces;
}

HarvestedRow ParseXiciRow(QString piece, const XiciCategory& category) {
  const QString ip = TextBetween(piece, u"<td>", u"</td>");
  RemoveFirst(piece, u"<td>");
  if (category.foreign) {
    piece.remove(u"\r\n"_s);
    piece.remove(u'\t');
    piece.remove(u' ');
  }
  const QString port = TextBetween(piece, u"<td>", u"</td>");
  QString region;
  if (category.foreign) {
    RemoveFirst(piece, u"<td>");
    region = TextBetween(piece, u"<td>", u"</td>");
  } else {
    region = TextBetweenAfter(piece, u"<a href=", u">", u"<");
  }
  HarvestedRow row{ip + u':' + port, region, QString::fromUtf16(category.type), {}};
  if (!RegionStands(region)) {
    row.region.clear();
    row.locate = ip;
  }
  return row;
}

std::vector<HarvestedRow> ParseXiciPage(QStringView page, const XiciCategory& category) {
  std::vector<HarvestedRow> rows;
  for (const QStringView piece : XiciRowPieces(page))
    rows.push_back(ParseXiciRow(piece.toString(), category));
  return rows;
}

Ip66Reply Parse66ipReply(const QString& reply) {
  QString text = TextBetween(reply, u"></script>", u"</div>");
  text.remove(u' ');
  text.replace(u"<br/>"_s, u"\r\n"_s);
  Ip66Reply parsed;
  if (!text.contains(u'.') && !text.contains(u':')) {
    parsed.no_data_text = text.contains(u"服务器开小差"_s)
                              ? u"66ip的服务器懵逼了,暂时没数据,请稍后再试!"_s
                              : u"66ip 没有任何数据返回.."_s;
    return parsed;
  }
  parsed.has_data = true;
  parsed.lines = text.split(u"\r\n"_s);
  if (parsed.lines.size() > kMost66ipLines) parsed.lines.resize(kMost66ipLines);
  return parsed;
}

HarvestedRow Ip66Row(const QString& line) { return {line, {}, {}, AddressHost(line).toString()}; }

QString Ip66PathAndQuery() {
  return u"/nmtq.php?getnum=800&isp=0&anonymoustype=0&start=&ports=&export=&ipaddress=&area=1"
         u"&proxytype=1&api=66ip"_s;
}

}  // namespace ph
