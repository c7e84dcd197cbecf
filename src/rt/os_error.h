// Platform error codes turned into the agent's error numbers.
#pragma once

#include "platform/nt.h"

namespace rt {

// The error number for a platform error code, as MapOsError sets it.
int OsErrorToErrorNumber(nt::u32 code);
// Sets the error number from a platform error code.
void MapOsError(nt::u32 code);

}  // namespace rt
