#pragma once

#include "core/proxy_list.h"

#include <QString>

#include <vector>

namespace ph::test {

// A row as a validated proxy leaves it: every cell filled, the address and region given.
NewRow ValidatedRow(const QString& address, const QString& region = QStringLiteral("北京 电信"));

// count validated rows whose addresses "10.a.b.1:8080" repeat after `distinct` of them.
std::vector<NewRow> ValidatedRows(int count, int distinct, const QString& region);

}  // namespace ph::test
