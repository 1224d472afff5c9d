#pragma once

#include <QString>

#include <optional>

namespace ph {

class ProxyList;
class ListStore;

// The database a list is kept in when no path is named: "proxyharvest.db" in the user's data
// directory (the window's --keep-list, and an installed server's default).
QString KeptListPath();

// Opens the store and reads its rows into the empty list; the reason (naming the file) when
// the store cannot be used. A file that is not ours is left as it was.
std::optional<QString> LoadList(ListStore& store, ProxyList& list);

}  // namespace ph
