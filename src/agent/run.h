// The agent's one run: read the job, run it, report it.
#pragma once

#include <cstdint>

// Runs the job named on the command line. Returns 0 after a successful job;
// every failure ends the process inside TerminateAgent.
int RunAgent(const char* name, int argCount, char* const* args);

// The launch detail for the error number a failed launch left.
std::uint16_t ClassifyLaunchError(int errorNumber);

// The process entry: start-up (handle slots, console, environment table,
// arguments), RunAgent, and the process exit with its result.
[[noreturn]] void ProcessEntry();
