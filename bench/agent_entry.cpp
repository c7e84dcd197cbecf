// The entry point of the benchmark's own link of the agent (ntagent_ntdll,
// no C runtime at all), so that it carries no main() and nothing main()
// pulls in.
#include "agent/run.h"

extern "C" void __stdcall AgentEntry() {
  ProcessEntry();
}
