#pragma once

#include <QString>

#include <functional>

namespace ph {

class AppState;

// The location text of an IPv4 address.
using Locator = std::function<QString(const QString& ip)>;

// GetgriMenu "粘贴数据": one new row per clipboard line that holds a ":", each with its
// location looked up.
void PasteImport(AppState& state, const Locator& locate);

}  // namespace ph
