#include "agent/agent_state.h"
#include "agent/run.h"
#include "launch/inheritance.h"
#include "platform/nt.h"
#include "rt/command_line.h"
#include "rt/console.h"
#include "rt/environment.h"
#include "rt/error_number.h"

void ProcessEntry() {
  ResetAgentState();
  rt::SetErrorNumber(0);
  rt::ArgumentList args = rt::SplitCommandLine(nt::GetCommandLineA());
  rt::InitEnvironmentTable();
  FillHandleSlots();
  rt::InitConsole();
  int result = RunAgent(g_agentState.name, args.count, args.items);
  rt::ExitAgentProcess(static_cast<nt::u32>(result));
}
