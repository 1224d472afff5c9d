#pragma once

#include "core/proxy_list.h"
#include "validate/run_state.h"

#include <memory>
#include <vector>

namespace ph {

// Validation runs shared with other instances of the program through a common store. While
// one is set, a run's entries do not go to the engine at once: the sharing hands them out in
// batches, to this instance and to the others, and tells the run what the others validated.
// Window's thread only.
class RunSharing {
 public:
  virtual ~RunSharing() = default;

  // The run is to go over these rows, or over the whole pool when whole. False when it cannot
  // be shared now: the run then goes on here alone.
  virtual bool Share(const std::shared_ptr<RunState>& run, const std::vector<RowId>& ids,
                     bool whole) = 0;
  // The run was stopped here: it stops everywhere.
  virtual void Stopped(const std::shared_ptr<RunState>& run) = 0;
  // Results have reached these rows.
  virtual void Applied(const std::vector<RowId>& ids) = 0;
};

}  // namespace ph
