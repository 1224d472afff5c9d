#include "core/command_types.h"

#include "core/numbers.h"

namespace ph {

double CommandArgs::Number(int i) const { return ReadNumber(values_.value(i)); }

}  // namespace ph
