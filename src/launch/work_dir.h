// The process's current directory and the per-drive directory variables.
#pragma once

#include <cstddef>

inline constexpr std::size_t kDirectoryBufferSize = 256;

// Copies the current directory into `buffer` (at most `size` bytes with the
// terminator). Returns the buffer, or nullptr with the error number set.
char* GetCurrentDir(char* buffer, std::size_t size);

// Makes `path` the current directory and records the per-drive variable
// ("=D:" and the full directory) in the environment table and the process
// environment. Returns 0, or -1 with the error number set.
int ChangeDirectory(const char* path);
