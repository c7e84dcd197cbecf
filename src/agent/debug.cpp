#include "agent/debug.h"

#include <cstring>

#include "agent/agent_state.h"
#include "rt/console.h"
#include "rt/error_number.h"
#include "rt/format.h"

namespace {

constexpr const char* kErrorTexts[] = {
    "No error",
    "Operation not permitted",
    "No such file or directory",
    "No such process",
    "Interrupted function call",
    "Input/output error",
    "No such device or address",
    "Arg list too long",
    "Exec format error",
    "Bad file descriptor",
    "No child processes",
    "Resource temporarily unavailable",
    "Not enough space",
    "Permission denied",
    "Bad address",
    "Unknown error",
    "Resource device",
    "File exists",
    "Improper link",
    "No such device",
    "Not a directory",
    "Is a directory",
    "Invalid argument",
    "Too many open files in system",
    "Too many open files",
    "Inappropriate I/O control operation",
    "Unknown error",
    "File too large",
    "No space left on device",
    "Invalid seek",
    "Read-only file system",
    "Too many links",
    "Broken pipe",
    "Domain error",
    "Result too large",
    "Unknown error",
    "Resource deadlock avoided",
    "Unknown error",
    "Filename too long",
    "No locks available",
    "Function not implemented",
    "Directory not empty",
    "Illegal byte sequence",
    "Unknown error",
};
constexpr int kKnownErrors = 43;

// Field texts are printed within their field, terminated or not.
template <std::size_t N>
int FieldWidth(const char (&field)[N]) {
  return static_cast<int>(FieldTextLength(field));
}

}  // namespace

const char* ErrorText(int errorNumber) {
  if (errorNumber < 0 || errorNumber >= kKnownErrors) return kErrorTexts[kKnownErrors];
  return kErrorTexts[errorNumber];
}

void SwitchDebugMode(int argCount, char* const* args) {
  if (argCount > 2 && std::strcmp(args[2], "1") == 0) g_debugFlag = 1;
}

void WaitForKey() {
  rt::PrintError("press enter...\n");
  (void)rt::ReadInputChar();
}

void EchoJob() {
  const JobRecord& job = g_jobRecord;
  rt::PrintError("szSig        = %.*s\n", FieldWidth(job.szSig), job.szSig);
  rt::PrintError("szVer        = %.*s\n", FieldWidth(job.szVer), job.szVer);
  rt::PrintError("szExecProg   = %.*s\n", FieldWidth(job.szExecProg), job.szExecProg);
  rt::PrintError("szArgs       = %.*s\n", FieldWidth(job.szArgs), job.szArgs);
  rt::PrintError("szWorkDir    = %.*s\n", FieldWidth(job.szWorkDir), job.szWorkDir);
  rt::PrintError("bUseShell    = %ld\n", static_cast<long>(job.bUseShell));
  WaitForKey();
}

void EchoCommand(const char* program, const char* args) {
  rt::PrintError("Program = %s\nArgs = %s\n", program, args);
}

void EchoOutcome() {
  rt::PrintError("After Exec : Error Code = %ld, Exit Code = %ld.\n",
                 static_cast<long>(g_jobRecord.lErrorCode),
                 static_cast<long>(g_jobRecord.lExitCode));
  WaitForKey();
}

void ExplainFailure(std::uint16_t code, std::uint16_t detail) {
  int errorNumber = rt::ErrorNumber();
  if (errorNumber != 0) {
    char line[128];
    rt::FormatText(line, sizeof line, "OS Error: %s\n", ErrorText(errorNumber));
    rt::WriteErrorDirect(line);
  }
  rt::PrintError("Agent Error : #%X,%X\n", static_cast<unsigned>(code),
                 static_cast<unsigned>(detail));
  WaitForKey();
}
