#pragma once

#include "core/endpoints.h"
#include "core/program_dir.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace ph {

// Looks up the locations of many addresses, one after the other. The database answers within
// the walk, which hands the window's event loop a turn between slices of work; an answer from
// the web lets the walk wait with events running. So a walk over any number of addresses
// never holds the window for long.
class LocationWalk : public QObject {
  Q_OBJECT

 public:
  // The next address to look up, or nothing when the walk is over.
  using Next = std::function<std::optional<QString>()>;
  // The location of the address next() gave last.
  using Got = std::function<void(const QString& location)>;
  // Called before the walk hands over to the event loop, and at its end: the moment to show
  // what got() wrote.
  using Pause = std::function<void()>;

  LocationWalk(const ProgramDir& dir, const Endpoints& endpoints, QObject* parent = nullptr);

  // Walks until next() has nothing more, then calls done. Does the first slice before it
  // returns. One walk at a time per object.
  void Start(Next next, Got got, Pause pause, std::function<void()> done);

 private:
  void Continue();

  const ProgramDir& dir_;
  const Endpoints& endpoints_;
  Next next_;
  Got got_;
  Pause pause_;
  std::function<void()> done_;
  bool waiting_ = false;  // a lookup is out on the web
  uint64_t answers_ = 0;
};

}  // namespace ph
