#include "sysproxy/gnome_proxy.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <QFile>

#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr char kProxySchema[] = "org.gnome.system.proxy";
constexpr char kHttpSchema[] = "org.gnome.system.proxy.http";
constexpr char kHttpsSchema[] = "org.gnome.system.proxy.https";
constexpr char kSocksSchema[] = "org.gnome.system.proxy.socks";

template <auto Free>
struct Freer {
  template <typename T>
  void operator()(T* p) const {
    Free(p);
  }
};
using SourcePtr = std::unique_ptr<GSettingsSchemaSource, Freer<g_settings_schema_source_unref>>;
using SchemaPtr = std::unique_ptr<GSettingsSchema, Freer<g_settings_schema_unref>>;
using KeyPtr = std::unique_ptr<GSettingsSchemaKey, Freer<g_settings_schema_key_unref>>;
using VariantPtr = std::unique_ptr<GVariant, Freer<g_variant_unref>>;
using ErrorPtr = std::unique_ptr<GError, Freer<g_error_free>>;
template <typename T>
using ObjectPtr = std::unique_ptr<T, Freer<g_object_unref>>;

// One key to write.
struct Change {
  const char* schema;
  const char* key;
  VariantPtr value;
};

Change StringChange(const char* schema, const char* key, const QString& value) {
  return {schema, key,
          VariantPtr(g_variant_ref_sink(g_variant_new_string(value.toUtf8().constData())))};
}

Change IntChange(const char* schema, const char* key, int value) {
  return {schema, key, VariantPtr(g_variant_ref_sink(g_variant_new_int32(value)))};
}

// The changes to one schema, in one GSettings object.
struct Target {
  const char* schema_id;
  SchemaPtr schema;
  ObjectPtr<GSettings> settings;
  std::vector<const Change*> changes;
};

QString SchemaMissing(const char* schema_id) {
  return u"缺少GNOME代理设置 %1"_s.arg(QString::fromUtf8(schema_id));
}

QString KeyName(const Target& target, const Change& change) {
  return QString::fromUtf8(target.schema_id) + u' ' + QString::fromUtf8(change.key);
}

// g_settings_new and friends abort on an unknown schema, so every schema is looked up here
// first; the default source is null when no schema is installed at all.
SourcePtr OpenSource(const QString& schema_dir) {
  if (schema_dir.isEmpty()) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    return SourcePtr(source ? g_settings_schema_source_ref(source) : nullptr);
  }
  GError* error = nullptr;
  SourcePtr source(g_settings_schema_source_new_from_directory(
      QFile::encodeName(schema_dir).constData(), nullptr, TRUE, &error));
  ErrorPtr discard(error);
  return source;
}

// Checks the key exists with the value's type and range; GSettings would only log the
// mismatch and go on with the other keys.
bool KeyAccepts(GSettingsSchema* schema, const Change& change) {
  if (!g_settings_schema_has_key(schema, change.key)) return false;
  const KeyPtr key(g_settings_schema_get_key(schema, change.key));
  return g_variant_is_of_type(change.value.get(),
                              g_settings_schema_key_get_value_type(key.get())) &&
         g_settings_schema_key_range_check(key.get(), change.value.get());
}

// The memory back end, GLib's fallback without dconf, would accept everything and keep
// nothing once the program ends; so would dconf without a session bus to reach its service,
// while showing this process its own writes.
bool KeepsNothing(GSettingsBackend* backend) {
  const std::string_view type =
      g_type_name_from_instance(reinterpret_cast<GTypeInstance*>(backend));
  if (type == "GMemorySettingsBackend" || type == "GNullSettingsBackend") return true;
  if (type != "DConfSettingsBackend") return false;
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (error != nullptr) g_error_free(error);
  if (bus == nullptr) return true;
  g_object_unref(bus);
  return false;
}

std::vector<Target> Targets(const std::vector<Change>& changes) {
  std::vector<Target> targets;
  for (const Change& change : changes) {
    if (targets.empty() || std::string_view(targets.back().schema_id) != change.schema)
      targets.push_back({change.schema, nullptr, nullptr, {}});
    targets.back().changes.push_back(&change);
  }
  return targets;
}

SysProxyResult LookUpSchemas(GSettingsSchemaSource* source, std::vector<Target>& targets) {
  for (Target& target : targets) {
    target.schema.reset(g_settings_schema_source_lookup(source, target.schema_id, TRUE));
    if (!target.schema) return SysProxyFailure(SchemaMissing(target.schema_id));
    for (const Change* change : target.changes) {
      if (!KeyAccepts(target.schema.get(), *change))
        return SysProxyFailure(u"GNOME代理设置 %1 与预期不符"_s.arg(KeyName(target, *change)));
    }
  }
  return {};
}

ObjectPtr<GSettingsBackend> OpenBackend(const QString& keyfile) {
  if (keyfile.isEmpty()) return ObjectPtr<GSettingsBackend>(g_settings_backend_get_default());
  return ObjectPtr<GSettingsBackend>(
      g_keyfile_settings_backend_new(QFile::encodeName(keyfile).constData(), "/", nullptr));
}

SysProxyResult OpenSettings(GSettingsBackend* backend, std::vector<Target>& targets) {
  for (Target& target : targets) {
    target.settings.reset(g_settings_new_full(target.schema.get(), backend, nullptr));
    for (const Change* change : target.changes) {
      if (!g_settings_is_writable(target.settings.get(), change->key))
        return SysProxyFailure(u"GNOME代理设置 %1 被锁定"_s.arg(KeyName(target, *change)));
    }
  }
  return {};
}

// Each schema's keys are applied together; delayed objects dropped before g_settings_apply write
// nothing.
SysProxyResult SetAll(const std::vector<Target>& targets) {
  for (const Target& target : targets) {
    g_settings_delay(target.settings.get());
    for (const Change* change : target.changes) {
      if (!g_settings_set_value(target.settings.get(), change->key, change->value.get()))
        return SysProxyFailure(u"无法写入GNOME代理设置 %1"_s.arg(KeyName(target, *change)));
    }
  }
  for (const Target& target : targets) g_settings_apply(target.settings.get());
  return {};
}

// dconf without a session bus only logs that it kept nothing; the values read back tell.
SysProxyResult ReadBack(const std::vector<Target>& targets) {
  for (const Target& target : targets) {
    for (const Change* change : target.changes) {
      const VariantPtr now(g_settings_get_value(target.settings.get(), change->key));
      if (!g_variant_equal(now.get(), change->value.get()))
        return SysProxyFailure(
            u"GNOME代理设置 %1 未能保存(dconf服务不可用?)"_s.arg(KeyName(target, *change)));
    }
  }
  return {};
}

// Checks everything before writing anything, so a refusal writes nothing.
SysProxyResult Write(const GnomeStore& store, const std::vector<Change>& changes) {
  const SourcePtr source = OpenSource(store.schema_dir);
  if (!source) return SysProxyFailure(SchemaMissing(kProxySchema));
  std::vector<Target> targets = Targets(changes);
  if (SysProxyResult found = LookUpSchemas(source.get(), targets); !found.ok) return found;
  const ObjectPtr<GSettingsBackend> backend = OpenBackend(store.keyfile);
  if (KeepsNothing(backend.get()))
    return SysProxyFailure(u"GSettings无法保存设置(缺少dconf或会话总线)"_s);
  if (SysProxyResult opened = OpenSettings(backend.get(), targets); !opened.ok) return opened;
  if (SysProxyResult set = SetAll(targets); !set.ok) return set;
  // Only the session's back end queues writes (dconf); a key file is written at once.
  if (store.keyfile.isEmpty()) g_settings_sync();
  return ReadBack(targets);
}

}  // namespace

GnomeProxy::GnomeProxy(GnomeStore store) : store_(std::move(store)) {}

SysProxyResult GnomeProxy::SetAddress(const ProxyAddress& address) {
  // Manual mode uses every host that is set, so the other kind is cleared.
  const bool http = address.kind == ProxyAddress::Kind::Http;
  const QString http_host = http ? address.host : QString();
  const int http_port = http ? address.port : 0;
  const QString socks_host = http ? QString() : address.host;
  const int socks_port = http ? 0 : address.port;
  std::vector<Change> changes;
  changes.push_back(StringChange(kHttpSchema, "host", http_host));
  changes.push_back(IntChange(kHttpSchema, "port", http_port));
  changes.push_back(StringChange(kHttpsSchema, "host", http_host));
  changes.push_back(IntChange(kHttpsSchema, "port", http_port));
  changes.push_back(StringChange(kSocksSchema, "host", socks_host));
  changes.push_back(IntChange(kSocksSchema, "port", socks_port));
  return Write(store_, changes);
}

SysProxyResult GnomeProxy::SwitchOn(bool on) {
  std::vector<Change> changes;
  changes.push_back(StringChange(kProxySchema, "mode", on ? u"manual"_s : u"none"_s));
  return Write(store_, changes);
}

bool GnomeSchemaInstalled() {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return false;
  const SchemaPtr schema(g_settings_schema_source_lookup(source, kProxySchema, TRUE));
  return schema != nullptr;
}

}  // namespace ph
