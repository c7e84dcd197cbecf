#include "agent/run.h"

// The process starts here without the C runtime's start-up: the agent splits
// its own command line and copies its own environment, so the runtime's
// copies would be work the job does not need. Link with this as the entry
// point (MinGW: -nostartfiles -Wl,--entry=_AgentStartup; MSVC: /ENTRY:AgentStartup).
extern "C" __attribute__((force_align_arg_pointer)) void AgentStartup() {
  ProcessEntry();
}
