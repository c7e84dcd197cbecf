// The agent's console streams: standard error for every message (text mode,
// buffered when it is a file or a pipe), standard input for prompts.
#pragma once

#include "platform/nt.h"

namespace rt {

inline constexpr int kStreamBufferSize = 4096;

// Resets both streams; standard error is written through at the end of each
// message when slot 2 is a character device, else collected in the buffer.
void InitConsole();

// Formats like printf and writes to standard error in text mode.
void PrintError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes `text` in text mode straight to the standard-error handle, past the
// stream buffer.
void WriteErrorDirect(const char* text);
// Writes out what the standard-error buffer holds.
void FlushConsole();

// One character from standard input in text mode (CR LF read as "\n"), or -1
// at end of input. Input that cannot be read gives -1 and error number 9.
int ReadInputChar();

// Flushes pending output and ends the process.
[[noreturn]] void ExitAgentProcess(nt::u32 exitCode);

}  // namespace rt
