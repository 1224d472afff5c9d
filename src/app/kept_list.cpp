#include "app/kept_list.h"

#include "core/program_dir.h"
#include "core/proxy_list.h"
#include "store/list_store.h"

#include <QDir>

namespace ph {

using namespace Qt::StringLiterals;

QString KeptListPath() {
  QDir().mkpath(UserDataDir());
  return QDir(UserDataDir()).filePath(u"proxyharvest.db"_s);
}

std::optional<QString> LoadList(ListStore& store, ProxyList& list) {
  std::optional<QString> failure = store.Open();
  if (!failure) failure = store.Load(list);
  if (!failure) return std::nullopt;
  return u"数据库无法使用: "_s + *failure;
}

}  // namespace ph
