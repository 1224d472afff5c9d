#include "sysproxy/kde_proxy.h"

#include "support/sandbox.h"
#include "sysproxy/set_address.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

SysProxyResult SetHttp(KdeProxy& proxy) { return test::SetAddress(proxy, u"1.2.3.4:8080"_s); }
SysProxyResult SetSocks(KdeProxy& proxy) {
  return test::SetAddress(proxy, u"socks5://5.6.7.8:1080"_s);
}
SysProxyResult On(KdeProxy& proxy) { return proxy.SwitchOn(true); }
SysProxyResult Off(KdeProxy& proxy) { return proxy.SwitchOn(false); }

// A file as people and KDE leave it: a key before any group, comments, other groups with
// the same key names, a spaced entry, no httpsProxy yet.
constexpr char kLivedIn[] =
    "# by hand\n"
    "httpProxy=top level\n"
    "\n"
    "[General]\n"
    "httpProxy=not ours\n"
    "\n"
    "[Proxy Settings]\n"
    "# keep me\n"
    "NoProxyFor=localhost,127.0.0.1\n"
    "httpProxy = http://9.9.9.9 3128\n"
    "ProxyType=1\n"
    "socksProxy=socks://8.8.8.8 1080\n"
    "\n"
    "# about Other\n"
    "[Other][Proxy Settings]\n"
    "ProxyType=2\n";

TEST(KdeProxy, ChangesOnlyItsKeysAndKeepsEveryOtherByte) {
  struct Case {
    const char* name;
    QByteArray before;
    std::function<SysProxyResult(KdeProxy&)> change;
    QByteArray after;
  };
  const Case cases[] = {
      {"http address", kLivedIn, SetHttp,
       "# by hand\nhttpProxy=top level\n\n[General]\nhttpProxy=not ours\n\n"
       "[Proxy Settings]\n# keep me\nNoProxyFor=localhost,127.0.0.1\n"
       "httpProxy=http://1.2.3.4 8080\nProxyType=1\nsocksProxy=\n"
       "httpsProxy=http://1.2.3.4 8080\n"
       "\n# about Other\n[Other][Proxy Settings]\nProxyType=2\n"},
      {"socks address", kLivedIn, SetSocks,
       "# by hand\nhttpProxy=top level\n\n[General]\nhttpProxy=not ours\n\n"
       "[Proxy Settings]\n# keep me\nNoProxyFor=localhost,127.0.0.1\n"
       "httpProxy=\nProxyType=1\nsocksProxy=socks://5.6.7.8 1080\nhttpsProxy=\n"
       "\n# about Other\n[Other][Proxy Settings]\nProxyType=2\n"},
      {"off", kLivedIn, Off,
       "# by hand\nhttpProxy=top level\n\n[General]\nhttpProxy=not ours\n\n"
       "[Proxy Settings]\n# keep me\nNoProxyFor=localhost,127.0.0.1\n"
       "httpProxy = http://9.9.9.9 3128\nProxyType=0\nsocksProxy=socks://8.8.8.8 1080\n"
       "\n# about Other\n[Other][Proxy Settings]\nProxyType=2\n"},
      {"no group, CR LF, no final newline", "[General]\r\nA=b", On,
       "[General]\r\nA=b\r\n\r\n[Proxy Settings]\r\nProxyType=1\r\n"},
      {"empty group before another", "[Proxy Settings]\n\n[Other]\nx=1", On,
       "[Proxy Settings]\nProxyType=1\n\n[Other]\nx=1"},
      {"group twice", "[Proxy Settings]\nProxyType=1\n[A]\n[Proxy Settings]\nProxyType=1", Off,
       "[Proxy Settings]\nProxyType=0\n[A]\n[Proxy Settings]\nProxyType=0"},
      {"empty file", "", On, "[Proxy Settings]\nProxyType=1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempProgramDir dir;
    dir.Write(u"kioslaverc"_s, c.before);
    KdeProxy proxy(dir.Path(), false);
    const SysProxyResult result = c.change(proxy);
    EXPECT_TRUE(result.ok) << result.reason.toStdString();
    EXPECT_EQ(dir.Read(u"kioslaverc"_s), c.after);
  }
}

TEST(KdeProxy, CreatesTheFileAndItsDirectory) {
  test::TempProgramDir dir;
  KdeProxy proxy(dir.File(u"home/.config"_s), false);
  ASSERT_TRUE(SetHttp(proxy).ok);
  ASSERT_TRUE(On(proxy).ok);
  EXPECT_EQ(dir.Read(u"home/.config/kioslaverc"_s),
            "[Proxy Settings]\nhttpProxy=http://1.2.3.4 8080\nhttpsProxy=http://1.2.3.4 8080\n"
            "socksProxy=\nProxyType=1\n");
}

TEST(KdeProxy, AKioslavercThatIsNoRegularFileOrTooLargeIsRefusedAndLeftAlone) {
  const struct {
    const char* name;
    std::function<void(const QString& path)> make;
    QString reason;
  } cases[] = {
      {"a link to a device without end",
       [](const QString& path) { QFile::link(u"/dev/zero"_s, path); }, u"不是普通文件"_s},
      {"a directory", [](const QString& path) { QDir().mkpath(path); }, u"不是普通文件"_s},
      {"a file over 1 MiB",
       [](const QString& path) {
         QFile file(path);
         if (file.open(QIODevice::WriteOnly)) file.write(QByteArray(2 * 1024 * 1024, '#'));
       },
       u"文件超过 1 MiB"_s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempProgramDir dir;
    const QString path = dir.File(u"kioslaverc"_s);
    c.make(path);
    const QFileInfo before(path);
    KdeProxy proxy(dir.Path(), false);
    const SysProxyResult result = On(proxy);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.reason.contains(c.reason)) << result.reason.toStdString();
    const QFileInfo after(path);
    EXPECT_EQ(after.isSymLink(), before.isSymLink());
    EXPECT_EQ(after.isDir(), before.isDir());
    EXPECT_EQ(after.size(), before.size());
  }
  // A FIFO: refused at once, not waited on.
  test::TempProgramDir dir;
  const test::Fifo fifo(dir.File(u"kioslaverc"_s));
  ASSERT_TRUE(fifo.Made());
  KdeProxy proxy(dir.Path(), false);
  const SysProxyResult result = On(proxy);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.reason.contains(u"不是普通文件"_s)) << result.reason.toStdString();
  EXPECT_FALSE(QFileInfo(dir.File(u"kioslaverc"_s)).isFile());
}

TEST(KdeProxy, AnUnwritableDirectoryFailsAndKeepsTheOldFile) {
  test::TempProgramDir dir;
  const QString config = dir.File(u"config"_s);
  const QString path = dir.File(u"config/kioslaverc"_s);
  ASSERT_TRUE(QDir().mkpath(config));
  dir.Write(u"config/kioslaverc"_s, kLivedIn);
  const auto read_write =
      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
  const auto listable = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                        QFile::ReadOther | QFile::ExeOther;
  ASSERT_TRUE(QFile::setPermissions(dir.Path(), listable | QFile::WriteOwner));
  ASSERT_TRUE(QFile::setPermissions(path, read_write));
  ASSERT_TRUE(QFile::setPermissions(config, listable));
  SysProxyResult result;
  {
    test::AsNobody nobody;
    KdeProxy proxy(config, false);
    result = On(proxy);
  }
  QFile::setPermissions(config, listable | QFile::WriteOwner);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.reason.contains(path)) << result.reason.toStdString();
  EXPECT_EQ(dir.Read(u"config/kioslaverc"_s), kLivedIn);
}

}  // namespace
}  // namespace ph
