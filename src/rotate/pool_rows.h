#pragma once

#include "core/proxy_list.h"
#include "rotate/pool.h"

#include <QStringView>

#include <optional>

namespace ph {

// "ip:port" (an HTTP proxy), "http://ip:port", "socks4://ip:port" or "socks5://ip:port";
// anything else is no upstream. The row and the cells other than the address stay empty.
std::optional<Upstream> ReadUpstreamAddress(QStringView address);

// 高匿, 普通匿名, 透明 (also as harvested, "透明(普通)"); unknown otherwise.
Anonymity ReadAnonymity(QStringView cell);

// Whether the row belongs in the pool: its last validation succeeded and its success ratio
// (成功率, e.g. "67%") is at least min_percent.
bool PoolWorthy(const ProxyEntry& entry, double min_percent);

// The pool of a list's rows, in list order. Window's thread, as the list is.
Pool PoolFromList(const ProxyList& list, double min_percent);

}  // namespace ph
