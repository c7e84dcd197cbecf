#include "agent/agent_state.h"

#include <cstring>

AgentState g_agentState = {"NT Agent", nullptr, nullptr, 0, nullptr};
JobRecord g_jobRecord = {};
std::int32_t g_debugFlag = 0;

void ResetAgentState() {
  g_agentState = AgentState{"NT Agent", nullptr, nullptr, 0, nullptr};
  std::memset(&g_jobRecord, 0, sizeof g_jobRecord);
  g_debugFlag = 0;
}
