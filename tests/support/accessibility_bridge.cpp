#include "support/accessibility_bridge.h"

#include <QAccessibleBridge>
#include <QAccessibleBridgePlugin>
#include <QtPlugin>

#include <utility>

namespace ph::test {
namespace {

struct BridgedEvent {
  QObject* object;  // compared only: it may be gone
  QAccessible::Event type;
};

std::vector<BridgedEvent>& Events() {
  static std::vector<BridgedEvent> events;
  return events;
}

class RecordingBridge : public QAccessibleBridge {
 public:
  void setRootObject(QAccessibleInterface* /*object*/) override {}
  void notifyAccessibilityUpdate(QAccessibleEvent* event) override {
    Events().push_back({event->object(), event->type()});
  }
};

}  // namespace

// Qt finds bridges among its plugins; this one is built in.
class RecordingBridgePlugin : public QAccessibleBridgePlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QAccessibleBridgeFactoryInterface_iid FILE "accessibility_bridge.json")

 public:
  QAccessibleBridge* create(const QString& /*key*/) override { return new RecordingBridge; }
};

std::vector<QObject*> TakeBridgedEvents(QAccessible::Event type) {
  std::vector<QObject*> objects;
  for (const BridgedEvent& event : std::exchange(Events(), {}))
    if (event.type == type) objects.push_back(event.object);
  return objects;
}

}  // namespace ph::test

Q_IMPORT_PLUGIN(RecordingBridgePlugin)

#include "accessibility_bridge.moc"
