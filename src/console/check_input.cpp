#include "console/check_input.h"

#include "core/bounded_read.h"
#include "harvest/list_addresses.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <csignal>

namespace ph {

using namespace Qt::StringLiterals;

CheckInput AddressesIn(QByteArrayView text, bool text_cut) {
  CheckInput input;
  ListExtract found = ExtractListAddresses(text_cut ? WithoutLastWord(text) : text,
                                           ListProtocol::Http, kMostCheckAddresses);
  SeenAddresses seen;
  DropSeen(found.addresses, seen);
  input.addresses.reserve(found.addresses.size());
  for (const ListAddress& address : found.addresses) input.addresses.push_back(address.Cell());
  if (found.cut) {
    input.note = u"输入超过 %1 个地址, 只验证前 %1 个"_s.arg(kMostCheckAddresses);
  } else if (text_cut) {
    input.note = u"输入超过 %1 MiB, 只读取前 %1 MiB"_s.arg(kMostCheckBytes / (1024 * 1024));
  }
  return input;
}

CheckInput ReadCheckInput(const QString& path) {
  if (QFileInfo(path).isDir()) return {{}, u"输入是目录: "_s + path, {}};
  // A pipe is read as a file is, "<(proxyharvest harvest)" included: nothing else runs yet.
  QFile in(path);
  const bool opened =
      path == u"-"_s ? in.open(STDIN_FILENO, QIODevice::ReadOnly) : in.open(QIODevice::ReadOnly);
  if (!opened) return {{}, u"无法读取输入文件: "_s + path, {}};
  // The read blocks until the writer ends; only what is safe in a signal may end it early.
  std::signal(SIGINT, [](int) { _exit(130); });
  const BoundedBytes read = ReadAtMost(in, kMostCheckBytes);
  std::signal(SIGINT, SIG_DFL);
  return AddressesIn(read.bytes, read.cut);
}

}  // namespace ph
