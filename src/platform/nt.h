// The one seam between the agent and the operating system.
//
// Every OS call the agent makes is declared here, with NT semantics: NT error
// codes through GetLastError, NT paths, 8-bit ANSI texts. nt_win32.cpp forwards
// to kernel32; tests/sim provides an in-memory NT behind the same names.
// Nothing here decides anything: the agent's rules live above the seam.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nt {

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
// A platform handle. 32 bits wide in the product; the handle-inheritance
// block carries handles as 32-bit values.
using Handle = std::uintptr_t;

inline constexpr Handle kInvalidHandle = static_cast<Handle>(-1);

// CreateFileA
inline constexpr u32 kGenericRead = 0x80000000U;
inline constexpr u32 kGenericWrite = 0x40000000U;
inline constexpr u32 kShareRead = 0x1;
inline constexpr u32 kShareWrite = 0x2;
inline constexpr u32 kCreateAlways = 2;
inline constexpr u32 kOpenExisting = 3;
inline constexpr u32 kOpenAlways = 4;
inline constexpr u32 kAttributeNormal = 0x80;
inline constexpr u32 kAttributeDirectory = 0x10;
inline constexpr u32 kAttributeReadOnly = 0x01;
inline constexpr u32 kInvalidFileAttributes = 0xFFFFFFFFU;

// GetStdHandle selectors
inline constexpr u32 kStdInputHandle = static_cast<u32>(-10);
inline constexpr u32 kStdOutputHandle = static_cast<u32>(-11);
inline constexpr u32 kStdErrorHandle = static_cast<u32>(-12);

// GetFileType results
inline constexpr u32 kFileTypeUnknown = 0;
inline constexpr u32 kFileTypeDisk = 1;
inline constexpr u32 kFileTypeChar = 2;
inline constexpr u32 kFileTypePipe = 3;

// WaitForSingleObject
inline constexpr u32 kInfinite = 0xFFFFFFFFU;
inline constexpr u32 kWaitObject0 = 0;
inline constexpr u32 kWaitFailed = 0xFFFFFFFFU;

// NT error codes the agent names itself.
inline constexpr u32 kErrorSuccess = 0;
inline constexpr u32 kErrorFileNotFound = 2;
inline constexpr u32 kErrorPathNotFound = 3;
inline constexpr u32 kErrorAccessDenied = 5;
inline constexpr u32 kErrorInvalidHandle = 6;
inline constexpr u32 kErrorNotEnoughMemory = 8;
inline constexpr u32 kErrorNoMoreFiles = 18;
inline constexpr u32 kErrorNotReady = 21;
inline constexpr u32 kErrorSharingViolation = 32;
inline constexpr u32 kErrorHandleEof = 38;
inline constexpr u32 kErrorBrokenPipe = 109;
inline constexpr u32 kErrorDiskFull = 112;
inline constexpr u32 kErrorBadExeFormat = 193;

// The start-up information the agent reads and hands on: only the fields it
// uses. cb is the size of the platform record (68 bytes for 32-bit programs).
struct StartupInfo {
  u32 cb = 0;
  u16 cbReserved2 = 0;
  const u8* lpReserved2 = nullptr;
};

struct ProcessInformation {
  Handle hProcess = kInvalidHandle;
  Handle hThread = kInvalidHandle;
};

u32 GetLastError();

// Files. CreateFileA returns kInvalidHandle on failure.
Handle CreateFileA(const char* path, u32 access, u32 share, u32 disposition, u32 attributes);
bool ReadFile(Handle file, void* buffer, u32 size, u32* read);
bool WriteFile(Handle file, const void* buffer, u32 size, u32* written);
// Moves the file pointer to `offset` bytes from the start.
bool SetFilePointer(Handle file, u32 offset);
bool SetEndOfFile(Handle file);
bool CloseHandle(Handle handle);
bool DeleteFileA(const char* path);
u32 GetFileAttributesA(const char* path);
// Returns a search handle, or kInvalidHandle when nothing matches.
Handle FindFirstFileA(const char* pattern);
bool FindClose(Handle search);

// Directory and environment.
u32 GetCurrentDirectoryA(u32 size, char* buffer);
bool SetCurrentDirectoryA(const char* path);
bool SetEnvironmentVariableA(const char* name, const char* value);
// The process environment as the process received it: NUL-separated
// name=value texts, ended by an empty text. Release with FreeEnvironmentBlock.
const char* GetEnvironmentBlock();
void FreeEnvironmentBlock(const char* block);

// Start-up.
const char* GetCommandLineA();
void GetStartupInfoA(StartupInfo* info);
Handle GetStdHandle(u32 selector);
u32 GetFileType(Handle handle);

// Processes.
bool CreateProcessA(const char* applicationName, char* commandLine, bool inheritHandles,
                    u32 creationFlags, const StartupInfo* startupInfo,
                    ProcessInformation* processInformation);
u32 WaitForSingleObject(Handle handle, u32 milliseconds);
bool GetExitCodeProcess(Handle process, u32* exitCode);

// Process heap. HeapAlloc returns nullptr when no memory is available.
void* HeapAlloc(std::size_t size);
void HeapFree(void* block);

[[noreturn]] void ExitProcess(u32 exitCode);

}  // namespace nt
