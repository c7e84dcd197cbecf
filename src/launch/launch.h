// Finding, starting and waiting for the program.
#pragma once

#include <cstddef>
#include <cstdint>

// Finds `program` (current directory, the executable extensions, then each
// PATH directory), starts it with the command line built from `args` and
// waits until it has ended. Returns 0 with its exit code in *exitCode, or -1
// with the error number set when it was not started.
int LaunchProgram(const char* program, const char* const* args, int argCount,
                  std::int32_t* exitCode);

// One name, without the PATH walk.
int LaunchCandidate(const char* name, const char* const* args, int argCount,
                    std::int32_t* exitCode);

// 0 when the platform reports attributes for `path`, else -1 with the error
// number set.
int ProbeFile(const char* path);

// The next element of a PATH value at `position` into `buffer`; returns the
// position after it, or nullptr when the walk is to end.
const char* NextPathElement(const char* position, char* buffer, std::size_t capacity);

// The command line for `args`: the first, then the others joined with
// blanks, nothing quoted. Heap text, or nullptr with the error number set.
char* BuildCommandLine(const char* const* args, int argCount);

// Starts `applicationName` with `commandLine` and waits for it.
int StartAndWait(const char* applicationName, char* commandLine, std::int32_t* exitCode);
