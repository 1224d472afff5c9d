#pragma once

#include "core/settings.h"

#include <QString>
#include <QStringView>

#include <span>
#include <vector>

namespace ph {

// A row a harvest found: its cells as they go into the list. locate is the address whose
// location is still to be looked up into region; empty when the region found stands.
struct HarvestedRow {
  QString address;
  QString region;
  QString type;
  QString locate;
};

// One category of the Xicidaili list site.
struct XiciCategory {
  CheckField check;      // the source switch of the settings panel
  const char16_t* path;  // the path of page N is this + N
  const char16_t* name;  // in the status text
  bool foreign;          // blanks inside the cells; the region is the third plain cell
  const char16_t* type;  // what goes into the proxy type cell
};

// The four categories, in the order a harvest takes them.
std::span<const XiciCategory> XiciCategories();

// "正在采集西刺高匿代理的第 N 页数据..." and its kin.
QString XiciStatusText(const XiciCategory& category, int page);

// Pages hold a hundred rows; a page claiming more is cut here.
inline constexpr int kMostRowsPerPage = 2000;

// The table rows of a page: the pieces after each "<tr class=". Nothing when the page has
// none.
std::vector<QStringView> XiciRowPieces(QStringView page);

// One table row of the category.
HarvestedRow ParseXiciRow(QString piece, const XiciCategory& category);

// Every table row of a page of the category.
std::vector<HarvestedRow> ParseXiciPage(QStringView page, const XiciCategory& category);

// What the 66ip API answered: either lines of addresses, or the text that says why not.
struct Ip66Reply {
  bool has_data = false;
  QString no_data_text;  // the status text when there is no data
  QStringList lines;     // the reply's lines, empty ones included
};
Ip66Reply Parse66ipReply(const QString& reply);

// A reply line holding ":" as a row: the whole line is the address, located by the text
// before the first ":".
HarvestedRow Ip66Row(const QString& line);

// The 66ip request's path and query.
QString Ip66PathAndQuery();

}  // namespace ph
