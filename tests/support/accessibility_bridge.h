#pragma once

#include <QAccessible>

#include <vector>

class QObject;

namespace ph::test {

// The accessibility events that a bridge to assistive technology (AT-SPI on Linux) is handed:
// Qt gives every event to its bridges, whether or not a client listens, so this records what
// a screen reader would be told. Linking this file installs the recording bridge.

// The objects of the events of that type since the last call; forgets all events so far.
std::vector<QObject*> TakeBridgedEvents(QAccessible::Event type);

}  // namespace ph::test
