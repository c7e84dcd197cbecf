// The agent's process-wide error number: POSIX-style values that file,
// directory, environment and launch operations leave behind when they fail.
#pragma once

namespace rt {

inline constexpr int kErrNoEntry = 2;       // no such file or directory
inline constexpr int kErrTooBig = 7;        // argument list too long
inline constexpr int kErrExecFormat = 8;    // bad executable format
inline constexpr int kErrBadFile = 9;       // bad file descriptor
inline constexpr int kErrNoMemory = 12;     // not enough memory
inline constexpr int kErrAccess = 13;       // permission denied
inline constexpr int kErrInvalid = 22;      // invalid argument
inline constexpr int kErrNoSpace = 28;      // no space left on device
inline constexpr int kErrRange = 34;        // result too large
inline constexpr int kErrNameTooLong = 38;  // filename too long

int ErrorNumber();
void SetErrorNumber(int value);

}  // namespace rt
