#pragma once

#include <QString>

#include <functional>
#include <optional>

class QObject;

namespace ph {

class Endpoints;
class ProgramDir;

// Where an IPv4 address lies: "country area" from the QQWry database when the program
// directory holds one (looked for on every call), otherwise "province city" from the 126
// service. Never fails: missing pieces read "Nothing", a failed database lookup " ". done gets
// the text at once from the database, or later (from the event loop, unless context is gone by
// then) from the web.
void LookupIpLocation(const QString& address, const ProgramDir& dir, const Endpoints& endpoints,
                      const QObject* context, std::function<void(const QString& location)> done);

// The location from the QQWry database alone, at once; nothing without a database.
std::optional<QString> LocationFromDatabase(const QString& address, const ProgramDir& dir);

// The machine's external address, read from the IP138 page, without waiting: done gets it
// later from the event loop, unless context is gone by then.
void QueryExternalAddress(const Endpoints& endpoints, const QObject* context,
                          std::function<void(const QString& address)> done);

// What the Taobao IP service says of an address, "region city isp", without waiting: done
// gets it later from the event loop, unless context is gone by then.
void QueryIpInfo(const QString& address, const Endpoints& endpoints, const QObject* context,
                 std::function<void(const QString& info)> done);

}  // namespace ph
