#pragma once

// Readable test failure messages for Qt texts; included into every test source.
#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
