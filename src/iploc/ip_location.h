#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class QObject;

namespace ph {

class Endpoints;
class ProgramDir;

// Where an IPv4 address lies: "country area" from the QQWry database when the program
// directory holds one (looked for on every call), otherwise "province city" from the 126
// service. Never fails: missing pieces read "Nothing", a failed database lookup " ".
QString LookupIpLocation(const QString& address, const ProgramDir& dir, const Endpoints& endpoints);

// The same without waiting: done gets the text at once from the database, or later (from the
// event loop, unless context is gone by then) from the web.
void LookupIpLocationAsync(const QString& address, const ProgramDir& dir,
                           const Endpoints& endpoints, const QObject* context,
                           std::function<void(const QString& location)> done);

// Asks an IP-information service about the address: 0 Taobao ("region city isp"),
// 1 Sina ("provincecity"), 2 Baidu map (the address text; coordinates gets "y,x"),
// 3 IP138 query, 4 Juhe ("area location"); any other number asks nobody and gives "".
// With an empty address it reads the machine's external address from the IP138 page
// instead, whatever the service, and puts the page's location text into location.
// Outputs a service does not produce keep their values.
QString QueryIpInfo(const QString& address, int16_t service, QString& location,
                    QString& coordinates, const Endpoints& endpoints);

// The machine's external address, as QueryIpInfo with an empty address reads it, without
// waiting: done gets it later from the event loop, unless context is gone by then.
void QueryExternalAddressAsync(const Endpoints& endpoints, const QObject* context,
                               std::function<void(const QString& address)> done);

}  // namespace ph
