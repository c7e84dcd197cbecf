#include "launch/launch.h"

#include <cstring>

#include "launch/inheritance.h"
#include "platform/nt.h"
#include "rt/environment.h"
#include "rt/error_number.h"
#include "rt/os_error.h"

namespace {

constexpr const char* kExtensions[] = {".com", ".exe", ".bat", ".cmd"};
constexpr std::size_t kExtensionLength = 4;
constexpr std::size_t kCandidateSize = 260;
constexpr nt::u32 kStartupInfoSize = 68;

bool IsSlash(char c) {
  return c == '\\' || c == '/';
}

char* TakeText(std::size_t size) {
  auto* text = static_cast<char*>(nt::HeapAlloc(size));
  if (text == nullptr) rt::SetErrorNumber(rt::kErrNoMemory);
  return text;
}

// Where the last component of `name` begins (at its separator or drive
// colon), or nullptr for a bare name.
const char* LastComponent(const char* name) {
  const char* backslash = std::strrchr(name, '\\');
  const char* slash = std::strrchr(name, '/');
  const char* separator = backslash > slash ? backslash : slash;
  if (separator != nullptr) return separator;
  return std::strchr(name, ':');
}

int StartResolved(const char* resolved, const char* const* args, int argCount,
                  std::int32_t* exitCode) {
  char* commandLine = BuildCommandLine(args, argCount);
  if (commandLine == nullptr) return -1;
  int result = StartAndWait(resolved, commandLine, exitCode);
  nt::HeapFree(commandLine);
  return result;
}

// Tries the extensions in their fixed order; the first that exists is started.
int LaunchWithExtensions(const char* working, const char* const* args, int argCount,
                         std::int32_t* exitCode) {
  std::size_t length = std::strlen(working);
  char* candidate = TakeText(length + kExtensionLength + 1);
  if (candidate == nullptr) return -1;
  std::memcpy(candidate, working, length);
  int result = -1;
  for (const char* extension : kExtensions) {
    std::memcpy(candidate + length, extension, kExtensionLength + 1);
    if (ProbeFile(candidate) == 0) {
      result = StartResolved(candidate, args, argCount, exitCode);
      break;
    }
  }
  nt::HeapFree(candidate);
  return result;
}

}  // namespace

int ProbeFile(const char* path) {
  if (nt::GetFileAttributesA(path) != nt::kInvalidFileAttributes) return 0;
  rt::MapOsError(nt::GetLastError());
  return -1;
}

int LaunchCandidate(const char* name, const char* const* args, int argCount,
                    std::int32_t* exitCode) {
  const char* last = LastComponent(name);
  char* prefixed = nullptr;
  const char* working = name;
  if (last == nullptr) {
    // A bare name is looked for in the current directory.
    std::size_t length = std::strlen(name);
    prefixed = TakeText(length + 3);
    if (prefixed == nullptr) return -1;
    prefixed[0] = '.';
    prefixed[1] = '\\';
    std::memcpy(prefixed + 2, name, length + 1);
    working = prefixed;
    last = name;
  }
  int result = -1;
  if (std::strchr(last, '.') != nullptr) {
    if (ProbeFile(working) == 0) result = StartResolved(working, args, argCount, exitCode);
  } else {
    result = LaunchWithExtensions(working, args, argCount, exitCode);
  }
  nt::HeapFree(prefixed);
  return result;
}

int LaunchProgram(const char* program, const char* const* args, int argCount,
                  std::int32_t* exitCode) {
  int result = LaunchCandidate(program, args, argCount, exitCode);
  if (result == 0 || rt::ErrorNumber() != rt::kErrNoEntry) return result;
  if (std::strchr(program, '/') != nullptr) return -1;
  const char* position = rt::GetEnvironmentValue("PATH");
  if (position == nullptr) return -1;
  char* candidate = TakeText(kCandidateSize);
  if (candidate == nullptr) return -1;
  std::size_t programLength = std::strlen(program);
  for (;;) {
    position = NextPathElement(position, candidate, kCandidateSize - 1);
    if (position == nullptr || candidate[0] == '\0') break;
    std::size_t length = std::strlen(candidate);
    if (!IsSlash(candidate[length - 1])) candidate[length++] = '\\';
    if (length + programLength >= kCandidateSize) break;
    std::memcpy(candidate + length, program, programLength + 1);
    result = LaunchCandidate(candidate, args, argCount, exitCode);
    // A program that was started ends the walk, whatever its exit code.
    if (result == 0) break;
    if (rt::ErrorNumber() == rt::kErrNoEntry) continue;
    // Other failures end the walk, except under a network path.
    if (!(IsSlash(candidate[0]) && IsSlash(candidate[1]))) break;
  }
  nt::HeapFree(candidate);
  return result;
}

int StartAndWait(const char* applicationName, char* commandLine, std::int32_t* exitCode) {
  nt::StartupInfo startup;
  startup.cb = kStartupInfoSize;
  std::uint16_t blockLength = 0;
  std::uint8_t* block = BuildInheritanceBlock(&blockLength);
  if (block != nullptr) {
    startup.cbReserved2 = blockLength;
    startup.lpReserved2 = block;
  }
  rt::SetErrorNumber(0);
  nt::ProcessInformation process;
  bool started = nt::CreateProcessA(applicationName, commandLine, true, 0, &startup, &process);
  nt::u32 code = nt::GetLastError();
  nt::HeapFree(block);
  if (!started) {
    rt::MapOsError(code);
    return -1;
  }
  // Without a finished wait and an exit code there is no outcome to report.
  nt::u32 status = 0;
  bool finished = nt::WaitForSingleObject(process.hProcess, nt::kInfinite) != nt::kWaitFailed &&
                  nt::GetExitCodeProcess(process.hProcess, &status);
  nt::u32 failure = finished ? nt::kErrorSuccess : nt::GetLastError();
  (void)nt::CloseHandle(process.hProcess);
  (void)nt::CloseHandle(process.hThread);
  if (!finished) {
    rt::MapOsError(failure);
    return -1;
  }
  *exitCode = static_cast<std::int32_t>(status);
  return 0;
}
