// Debug mode: echoes the job, the command and the outcome, explains failures
// and waits at prompts.
#pragma once

#include <cstdint>

// Turns debug mode on when the second argument is exactly "1".
void SwitchDebugMode(int argCount, char* const* args);
// Prints "press enter..." and takes one character from standard input.
void WaitForKey();
void EchoJob();
void EchoCommand(const char* program, const char* args);
void EchoOutcome();
// The "OS Error" line (when the error number is set), the agent code and
// detail, and a prompt.
void ExplainFailure(std::uint16_t code, std::uint16_t detail);
// The text printed for an error number.
const char* ErrorText(int errorNumber);
