// The agent's process-wide state and its termination. This is the one header
// the lower rooms include from the agent: a record or flag-file failure ends
// the agent through TerminateAgent.
#pragma once

#include <cstdint>

#include "job/job_record.h"

struct AgentState {
  char name[12];
  const char* recordPath;  // the first argument; nullptr until it is known
  const char* flagPath;    // the record's szFlagFile; nullptr until registered
  std::int32_t terminating;
  // The agent's own directory while it runs in the job's: relative record and
  // flag paths name files there.
  const char* savedDir;
};

extern AgentState g_agentState;
extern JobRecord g_jobRecord;
extern std::int32_t g_debugFlag;

// Restores the start-up values of the state above.
void ResetAgentState();

// Ends the agent with `code` as exit code, storing the outcome in the record
// when the code calls for it and deleting the flag file. Returns only when a
// termination is already under way.
void TerminateAgent(std::uint16_t code, std::uint16_t detail);
