#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <optional>
#include <string>

namespace ph {

// What a judge page (a page that echoes the request's headers and the address it came from)
// tells about a proxy, as the proxy type cell shows it.
inline constexpr char kTransparentLevel[] = "透明";
inline constexpr char kAnonymousLevel[] = "普通匿名";
inline constexpr char kEliteLevel[] = "高匿";

// The machine's own address in the judge's answer to a request without a proxy: the first
// IPv4 address after "origin" when the answer names one, otherwise its first IPv4 address.
std::optional<uint32_t> OwnAddress(QByteArrayView direct_answer);

// The level of a proxy from what the judge echoed through it: transparent when the own
// address is anywhere in it; anonymous when a header that gives a proxy away shows that the
// direct answer did not show (a judge behind a load balancer adds some itself); elite
// otherwise. Empty when the echo holds no address at all: no judge answered that.
std::string AnonymityLevel(QByteArrayView echo, uint32_t own_address, QByteArrayView direct_answer);

}  // namespace ph
