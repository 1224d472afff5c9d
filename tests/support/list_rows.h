#pragma once

#include "core/proxy_list.h"

#include <QColor>
#include <QString>

#include <vector>

namespace ph::test {

// A row as a validated proxy leaves it: every cell filled, the address and region given.
NewRow ValidatedRow(const QString& address, const QString& region = QStringLiteral("北京 电信"));

// Writes one cell of a row as a result or a command would, with its notification.
void SetCell(ProxyList& list, int row, int cell, const QString& text);

// Removes one row as the list commands do; later rows move up.
void RemoveRow(ProxyList& list, int row);
// The result cell's colour as the view shows it; invalid for the default colour.
QColor ResultColour(const ProxyList& list, int row);
void SetResultColour(ProxyList& list, int row, const QColor& colour);

// count validated rows whose addresses "10.a.b.1:8080" repeat after `distinct` of them.
std::vector<NewRow> ValidatedRows(int count, int distinct, const QString& region);

}  // namespace ph::test
