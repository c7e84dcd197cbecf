#include "agent/agent_state.h"
#include "agent/debug.h"
#include "agent/run.h"
#include "job/job_files.h"
#include "launch/work_dir.h"
#include "rt/console.h"
#include "rt/error_number.h"

std::uint16_t ClassifyLaunchError(int errorNumber) {
  switch (errorNumber) {
    case rt::kErrNoEntry:
      return LAUNCH_ERR_NOT_FOUND;
    case rt::kErrNoMemory:
      return LAUNCH_ERR_NO_MEMORY;
    case rt::kErrTooBig:
      return LAUNCH_ERR_TOO_LONG;
    case rt::kErrExecFormat:
      return LAUNCH_ERR_BAD_FORMAT;
    default:
      return LAUNCH_ERR_OTHER;
  }
}

void TerminateAgent(std::uint16_t code, std::uint16_t detail) {
  // A store or deletion failing inside a termination comes back here.
  if (g_agentState.terminating != 0) return;
  g_agentState.terminating = 1;
  if (g_debugFlag != 0) ExplainFailure(code, detail);
  // Relative record and flag paths name files in the agent's own directory,
  // so a termination in the job's directory goes back there first.
  if (g_agentState.savedDir != nullptr) {
    const char* savedDir = g_agentState.savedDir;
    g_agentState.savedDir = nullptr;
    (void)ChangeDirectory(savedDir);
  }
  if (code == AGENT_ERR_VERSION || code == AGENT_ERR_LAUNCH) {
    g_jobRecord.lErrorCode = PackStatusWord(code, detail);
    g_jobRecord.lExitCode = 0;
    StoreJobRecord();
  }
  DeleteFlagFile();
  rt::ExitAgentProcess(code);
}
