// Wrapping a job's command for the command interpreter.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kCommandBufferSize = 256;

// With a nonzero shell flag, rewrites the program buffer to the interpreter
// named by COMSPEC and the argument buffer to "/c PROGRAM ARGS". Returns 0, or
// the launch detail that refuses the job.
std::uint16_t PrepareShellCommand(std::int32_t shellFlag, char* program, char* args);
