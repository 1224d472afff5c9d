#include "listio/paste_import.h"

#include "core/app_state.h"
#include "core/proxy_list.h"
#include "core/window_services.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

void PasteImport(AppState& state, const Locator& locate) {
  ProxyList& list = state.List();
  QString text = state.Window().ClipboardText();
  for (const char16_t separator : {u'\t', u'@', u'|', u'#'}) text.replace(QChar(separator), u' ');

  if (text.contains(u':') && text.contains(u'.')) {
    for (QString line : text.split(u"\r\n"_s)) {
      // A line copied from a table ends with a separator: keep only its first column.
      if (line.endsWith(u' ')) line.truncate(line.indexOf(u' '));
      const qsizetype colon = line.indexOf(u':');
      if (colon < 0) continue;
      // Located before the append: the lookup lets window events run, and the new row's
      // number could change meanwhile.
      const QString region = locate(line.left(colon));
      NewRow row;
      row[kAddress - 1] = line;
      row[kRegion - 1] = region;
      row[kTestCount - 1] = u"0"_s;
      row[kSuccessCount - 1] = u"0"_s;
      list.AppendRow(row);
    }
  }
  state.Window().SetPanel(kRowCountPanel, QString::number(list.RowCount()));
}

}  // namespace ph
