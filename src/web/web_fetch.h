#pragma once

#include <QByteArrayView>
#include <QString>

namespace ph {

enum class FetchMode {
  DeclaredCharset = 1,  // the body decoded by the charset the response declares
  GbkBytes = 3,         // the raw body read as GBK byte pairs (pages that do not say)
};

// Plain GET through the desktop's proxy settings; waits with window events running.
// Returns the body of any HTTP answer (error pages too), "" on any failure or when no answer
// comes within timeout_ms. Window's thread only.
QString FetchUrl(const QString& url, FetchMode mode, int timeout_ms = 30000);

// Returns after at least ms milliseconds. On the window's thread events keep running
// meanwhile; on any other thread it only sleeps.
void WaitMs(int ms);

}  // namespace ph
