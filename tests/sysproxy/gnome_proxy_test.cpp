#include "sysproxy/gnome_proxy.h"

#include "sysproxy/browser_proxy.h"
#include "sysproxy/set_address.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr char kProxy[] = "org.gnome.system.proxy";
constexpr char kHttp[] = "org.gnome.system.proxy.http";
constexpr char kHttps[] = "org.gnome.system.proxy.https";
constexpr char kSocks[] = "org.gnome.system.proxy.socks";
constexpr GLogLevelFlags kMisuse = GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING);

// A private GSettings key file in the place where GSETTINGS_BACKEND=keyfile looks with
// XDG_CONFIG_HOME set to the temporary directory, so the gsettings tool can read it too.
class GnomeProxyTest : public testing::Test {
 protected:
  // GLib only logs a misuse, such as a key of the wrong type, and goes on.
  void SetUp() override { g_log_set_always_fatal(kMisuse); }

  QString Keyfile() const { return dir_.filePath(u"glib-2.0/settings/keyfile"_s); }
  GnomeProxy Proxy() const { return GnomeProxy({{}, Keyfile()}); }

  // Read through a fresh back end, so the values come from the file.
  template <typename Read>
  auto WithSettings(const char* schema_id, Read read) const {
    GSettingsSchema* schema =
        g_settings_schema_source_lookup(g_settings_schema_source_get_default(), schema_id, TRUE);
    GSettingsBackend* backend =
        g_keyfile_settings_backend_new(QFile::encodeName(Keyfile()).constData(), "/", nullptr);
    GSettings* settings = g_settings_new_full(schema, backend, nullptr);
    const auto value = read(settings);
    g_object_unref(settings);
    g_object_unref(backend);
    g_settings_schema_unref(schema);
    return value;
  }
  QString Mode() const {
    return WithSettings(kProxy, [](GSettings* settings) {
      gchar* mode = g_settings_get_string(settings, "mode");
      const QString text = QString::fromUtf8(mode);
      g_free(mode);
      return text;
    });
  }
  QString HostPort(const char* schema_id) const {
    return WithSettings(schema_id, [](GSettings* settings) {
      gchar* host = g_settings_get_string(settings, "host");
      const QString text =
          QString::fromUtf8(host) + u':' + QString::number(g_settings_get_int(settings, "port"));
      g_free(host);
      return text;
    });
  }

  // What a user sees typing "gsettings get ..." in this store.
  QString GsettingsGet(const QString& schema_id, const QString& key) const {
    QProcess gsettings;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"GSETTINGS_BACKEND"_s, u"keyfile"_s);
    env.insert(u"XDG_CONFIG_HOME"_s, dir_.path());
    gsettings.setProcessEnvironment(env);
    gsettings.start(u"gsettings"_s, {u"get"_s, schema_id, key});
    if (!gsettings.waitForFinished(30000) || gsettings.exitCode() != 0)
      return u"gsettings failed: "_s + gsettings.errorString();
    return QString::fromUtf8(gsettings.readAllStandardOutput()).trimmed();
  }

  QTemporaryDir dir_;
};

TEST_F(GnomeProxyTest, SetAndSwitchOnReadBack) {
  GnomeProxy proxy = Proxy();
  ASSERT_TRUE(test::SetAddress(proxy, u"1.2.3.4:8080"_s).ok);
  const SysProxyResult on = proxy.SwitchOn(true);
  ASSERT_TRUE(on.ok) << on.reason.toStdString();
  EXPECT_EQ(Mode(), u"manual"_s);
  EXPECT_EQ(HostPort(kHttp), u"1.2.3.4:8080"_s);
  EXPECT_EQ(HostPort(kHttps), u"1.2.3.4:8080"_s);
  EXPECT_EQ(HostPort(kSocks), u":0"_s);
  EXPECT_EQ(GsettingsGet(u"org.gnome.system.proxy"_s, u"mode"_s), u"'manual'"_s);
  EXPECT_EQ(GsettingsGet(u"org.gnome.system.proxy.https"_s, u"port"_s), u"8080"_s);
}

TEST_F(GnomeProxyTest, SwitchingOffKeepsTheAddress) {
  GnomeProxy proxy = Proxy();
  ASSERT_TRUE(test::SetAddress(proxy, u"1.2.3.4:8080"_s).ok);
  ASSERT_TRUE(proxy.SwitchOn(true).ok);
  ASSERT_TRUE(proxy.SwitchOn(false).ok);
  EXPECT_EQ(Mode(), u"none"_s);
  EXPECT_EQ(HostPort(kHttp), u"1.2.3.4:8080"_s);
  EXPECT_EQ(HostPort(kHttps), u"1.2.3.4:8080"_s);
}

TEST_F(GnomeProxyTest, TheLastAddressWinsAndClearsTheOtherKind) {
  struct Case {
    QString address;
    QString http;  // and https
    QString socks;
  };
  const Case cases[] = {
      {u"1.2.3.4:8080"_s, u"1.2.3.4:8080"_s, u":0"_s},
      {u"5.6.7.8:3128"_s, u"5.6.7.8:3128"_s, u":0"_s},
      {u"socks5://9.9.9.9:1080"_s, u":0"_s, u"9.9.9.9:1080"_s},
      {u"socks4://8.8.4.4:1081"_s, u":0"_s, u"8.8.4.4:1081"_s},
      {u"1.1.1.1:80"_s, u"1.1.1.1:80"_s, u":0"_s},
  };
  GnomeProxy proxy = Proxy();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address.toStdString());
    ASSERT_TRUE(test::SetAddress(proxy, c.address).ok);
    EXPECT_EQ(HostPort(kHttp), c.http);
    EXPECT_EQ(HostPort(kHttps), c.http);
    EXPECT_EQ(HostPort(kSocks), c.socks);
  }
}

TEST_F(GnomeProxyTest, ARefusedAddressWritesNothing) {
  GnomeProxy proxy = Proxy();
  EXPECT_FALSE(test::SetAddress(proxy, u"1.2.3.4:0"_s).ok);
  EXPECT_FALSE(QFile::exists(Keyfile()));
  ASSERT_TRUE(test::SetAddress(proxy, u"1.2.3.4:8080"_s).ok);
  QFile file(Keyfile());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray before = file.readAll();
  file.close();
  for (const QString& text :
       {u"socks5://1.2.3.4"_s, u"1.2.3.4:80\n[x]"_s, u"http://5.6.7.8:80"_s}) {
    SCOPED_TRACE(text.toStdString());
    EXPECT_FALSE(test::SetAddress(proxy, text).ok);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    file.close();
  }
}

TEST_F(GnomeProxyTest, AMissingSchemaIsAFailureNotACrash) {
  QTemporaryDir no_schemas;
  GnomeProxy proxy({no_schemas.path(), Keyfile()});
  const SysProxyResult result = proxy.SwitchOn(true);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.reason.contains("org.gnome.system.proxy"_L1)) << result.reason.toStdString();
  EXPECT_FALSE(QFile::exists(Keyfile()));
}

// Runs in a death test's child, since GLib reads where its schemas are once per process:
// switches the proxy on in a GNOME session without D-Bus, so nothing reaches a real desktop,
// and exits with 0 when that fails with a reason.
[[noreturn]] void SwitchOnInABareSession(bool with_schemas) {
  g_log_set_always_fatal(G_LOG_LEVEL_CRITICAL);
  QTemporaryDir empty;
  const QByteArray dir = QFile::encodeName(empty.path());
  setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
  setenv("XDG_CONFIG_HOME", dir.constData(), 1);
  setenv("XDG_RUNTIME_DIR", dir.constData(), 1);
  for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "GSETTINGS_BACKEND"})
    unsetenv(name);
  if (!with_schemas) {
    setenv("XDG_DATA_DIRS", dir.constData(), 1);
    setenv("XDG_DATA_HOME", dir.constData(), 1);
    unsetenv("GSETTINGS_SCHEMA_DIR");
  }
  const SysProxyResult result = EnableBrowserProxy();
  std::fprintf(stderr, "reason: %s\n", result.reason.toUtf8().constData());
  empty.remove();
  std::_Exit(result.ok ? 1 : 0);
}

TEST(GnomeProxyDeathTest, WithoutAnySchemaTheSessionHasNoProxySettings) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(SwitchOnInABareSession(false), testing::ExitedWithCode(0), "reason: .+");
}

// Neither dconf without its bus nor GLib's memory fallback keeps a value.
TEST(GnomeProxyDeathTest, ASettingsStoreThatKeepsNothingIsAFailure) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(SwitchOnInABareSession(true), testing::ExitedWithCode(0), "reason: .+");
}

}  // namespace
}  // namespace ph
