// The seam on the real platform: thin forwards to kernel32.
#include <windows.h>

#include "platform/nt.h"

static_assert(sizeof(STARTUPINFOA) == 68, "the agent is a 32-bit program");

namespace nt {
namespace {
HANDLE ToWin(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}
Handle FromWin(HANDLE handle) {
  return reinterpret_cast<Handle>(handle);
}
}  // namespace

u32 GetLastError() {
  return ::GetLastError();
}

Handle CreateFileA(const char* path, u32 access, u32 share, u32 disposition, u32 attributes) {
  return FromWin(::CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr));
}

bool ReadFile(Handle file, void* buffer, u32 size, u32* read) {
  DWORD got = 0;
  BOOL ok = ::ReadFile(ToWin(file), buffer, size, &got, nullptr);
  *read = got;
  return ok != FALSE;
}

bool WriteFile(Handle file, const void* buffer, u32 size, u32* written) {
  DWORD put = 0;
  BOOL ok = ::WriteFile(ToWin(file), buffer, size, &put, nullptr);
  *written = put;
  return ok != FALSE;
}

bool SetFilePointer(Handle file, u32 offset) {
  return ::SetFilePointer(ToWin(file), static_cast<LONG>(offset), nullptr, FILE_BEGIN) !=
         INVALID_SET_FILE_POINTER;
}

bool SetEndOfFile(Handle file) {
  return ::SetEndOfFile(ToWin(file)) != FALSE;
}
bool CloseHandle(Handle handle) {
  return ::CloseHandle(ToWin(handle)) != FALSE;
}
bool DeleteFileA(const char* path) {
  return ::DeleteFileA(path) != FALSE;
}
u32 GetFileAttributesA(const char* path) {
  return ::GetFileAttributesA(path);
}

Handle FindFirstFileA(const char* pattern) {
  WIN32_FIND_DATAA data;
  return FromWin(::FindFirstFileA(pattern, &data));
}

bool FindClose(Handle search) {
  return ::FindClose(ToWin(search)) != FALSE;
}

u32 GetCurrentDirectoryA(u32 size, char* buffer) {
  return ::GetCurrentDirectoryA(size, buffer);
}
bool SetCurrentDirectoryA(const char* path) {
  return ::SetCurrentDirectoryA(path) != FALSE;
}

bool SetEnvironmentVariableA(const char* name, const char* value) {
  return ::SetEnvironmentVariableA(name, value) != FALSE;
}

const char* GetEnvironmentBlock() {
  return ::GetEnvironmentStrings();
}

void FreeEnvironmentBlock(const char* block) {
  ::FreeEnvironmentStringsA(const_cast<char*>(block));
}

const char* GetCommandLineA() {
  return ::GetCommandLineA();
}

void GetStartupInfoA(StartupInfo* info) {
  STARTUPINFOA startup;
  ::GetStartupInfoA(&startup);
  info->cb = startup.cb;
  info->cbReserved2 = startup.cbReserved2;
  info->lpReserved2 = startup.lpReserved2;
}

Handle GetStdHandle(u32 selector) {
  return FromWin(::GetStdHandle(selector));
}
u32 GetFileType(Handle handle) {
  return ::GetFileType(ToWin(handle));
}

bool CreateProcessA(const char* applicationName, char* commandLine, bool inheritHandles,
                    u32 creationFlags, const StartupInfo* startupInfo,
                    ProcessInformation* processInformation) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = startupInfo->cb;
  startup.cbReserved2 = startupInfo->cbReserved2;
  startup.lpReserved2 = const_cast<LPBYTE>(startupInfo->lpReserved2);
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  BOOL ok = ::CreateProcessA(applicationName, commandLine, nullptr, nullptr,
                             inheritHandles ? TRUE : FALSE, creationFlags, nullptr, nullptr,
                             &startup, &process);
  processInformation->hProcess = FromWin(process.hProcess);
  processInformation->hThread = FromWin(process.hThread);
  return ok != FALSE;
}

u32 WaitForSingleObject(Handle handle, u32 milliseconds) {
  return ::WaitForSingleObject(ToWin(handle), milliseconds);
}

bool GetExitCodeProcess(Handle process, u32* exitCode) {
  DWORD code = 0;
  BOOL ok = ::GetExitCodeProcess(ToWin(process), &code);
  *exitCode = code;
  return ok != FALSE;
}

void* HeapAlloc(std::size_t size) {
  return ::HeapAlloc(::GetProcessHeap(), 0, size);
}

void HeapFree(void* block) {
  if (block != nullptr) ::HeapFree(::GetProcessHeap(), 0, block);
}

void ExitProcess(u32 exitCode) {
  ::ExitProcess(exitCode);
}

}  // namespace nt
