#include "agent/run.h"

#include <cstring>

#include "agent/agent_state.h"
#include "agent/debug.h"
#include "job/job_files.h"
#include "launch/launch.h"
#include "launch/shell.h"
#include "launch/work_dir.h"
#include "rt/console.h"
#include "rt/error_number.h"

namespace {

constexpr std::size_t kSavedDirRequest = 255;

std::uint16_t CurrentErrorDetail() {
  return static_cast<std::uint16_t>(rt::ErrorNumber());
}

template <std::size_t N>
bool IsTerminated(const char (&field)[N]) {
  return FieldTextLength(field) < N;
}

// Exact, case-sensitive, and never past the field.
template <std::size_t N>
bool FieldEquals(const char (&field)[N], const char* text) {
  std::size_t length = std::strlen(text);
  return length < N && std::memcmp(field, text, length + 1) == 0;
}

void PrintBanner(const char* name) {
  rt::PrintError("Korvane %s\n", name);
  rt::PrintError("Version %s\n", kJobVersion);
  rt::PrintError("Runs one job for its host and reports the outcome.\n");
  rt::PrintError("\n");
}

void RejectJob(std::uint16_t code, const char* reason) {
  rt::PrintError("Korvane Agent error #%d : ", static_cast<int>(code));
  rt::PrintError("%s", reason);
  rt::PrintError("Press return to terminate...");
  (void)rt::ReadInputChar();
  rt::PrintError("\n");
  TerminateAgent(code, 0);
}

void ValidateJob() {
  if (!FieldEquals(g_jobRecord.szSig, kJobSignature)) {
    RejectJob(AGENT_ERR_SIGNATURE, "Incorrect Signature.\n");
  } else if (!FieldEquals(g_jobRecord.szVer, kJobVersion)) {
    RejectJob(AGENT_ERR_VERSION, "Version Mismatch.\n");
  }
}

// The flag path is registered only when it is a text inside its field.
void RegisterFlagPath() {
  if (IsTerminated(g_jobRecord.szFlagFile)) g_agentState.flagPath = g_jobRecord.szFlagFile;
}

void CheckFlagFile() {
  if (g_agentState.flagPath == nullptr) {
    rt::SetErrorNumber(rt::kErrNameTooLong);
    TerminateAgent(AGENT_ERR_FLAG_MISSING, CurrentErrorDetail());
  } else if (!FlagFileExists(g_agentState.flagPath)) {
    TerminateAgent(AGENT_ERR_FLAG_MISSING, CurrentErrorDetail());
  }
}

bool HasWorkDir() {
  return g_jobRecord.szWorkDir[0] != '\0';
}

void EnterWorkDir(char* savedDir) {
  if (!HasWorkDir()) return;
  if (!IsTerminated(g_jobRecord.szWorkDir)) {
    rt::SetErrorNumber(rt::kErrNameTooLong);
    TerminateAgent(AGENT_ERR_WORKDIR, CurrentErrorDetail());
    return;
  }
  // Without the saved directory the agent could not switch back.
  if (GetCurrentDir(savedDir, kSavedDirRequest) == nullptr ||
      ChangeDirectory(g_jobRecord.szWorkDir) != 0) {
    TerminateAgent(AGENT_ERR_WORKDIR, CurrentErrorDetail());
    return;
  }
  g_agentState.savedDir = savedDir;
}

void LeaveWorkDir() {
  const char* savedDir = g_agentState.savedDir;
  if (savedDir == nullptr) return;
  // A failed switch back is not tried again by the termination.
  g_agentState.savedDir = nullptr;
  if (ChangeDirectory(savedDir) != 0) TerminateAgent(AGENT_ERR_WORKDIR, CurrentErrorDetail());
}

// A text that does not end inside its field is too long to launch.
template <std::size_t N>
void CopyCommandField(char* buffer, const char (&field)[N]) {
  if (!IsTerminated(field)) {
    rt::SetErrorNumber(rt::kErrTooBig);
    TerminateAgent(AGENT_ERR_LAUNCH, ClassifyLaunchError(rt::ErrorNumber()));
    return;
  }
  std::memcpy(buffer, field, std::strlen(field) + 1);
}

}  // namespace

int RunAgent(const char* name, int argCount, char* const* args) {
  // 1. Banner.
  PrintBanner(name);
  // 2. Argument check.
  if (argCount < 2) {
    rt::PrintError("This program should not be run from the command line.\n");
    TerminateAgent(AGENT_ERR_VERSION, 0);
    return 0;
  }
  // 3. Record path; debug switch.
  g_agentState.recordPath = args[1];
  SwitchDebugMode(argCount, args);
  // 4. Load.
  LoadJobRecord();
  // 5. Started marker.
  g_jobRecord.lErrorCode = AGENT_STARTED;
  StoreJobRecord();
  // 6. Flag path; every termination from here on deletes the flag file.
  RegisterFlagPath();
  if (g_debugFlag != 0) EchoJob();
  // 7. Validation.
  ValidateJob();
  // 8. Flag check.
  CheckFlagFile();
  // 9. Working directory.
  char savedDir[kDirectoryBufferSize] = {};
  EnterWorkDir(savedDir);
  // 10. Command.
  char program[kCommandBufferSize];
  char arguments[kCommandBufferSize];
  CopyCommandField(program, g_jobRecord.szExecProg);
  CopyCommandField(arguments, g_jobRecord.szArgs);
  // 11. Shell mode.
  std::uint16_t refusal = PrepareShellCommand(g_jobRecord.bUseShell, program, arguments);
  if (refusal != 0) TerminateAgent(AGENT_ERR_LAUNCH, refusal);
  // 12. Command echo.
  if (g_debugFlag != 0) EchoCommand(program, arguments);
  // 13. Launch.
  const char* launchArgs[] = {program, arguments};
  std::int32_t exitCode = 0;
  if (LaunchProgram(program, launchArgs, 2, &exitCode) != 0) {
    TerminateAgent(AGENT_ERR_LAUNCH, ClassifyLaunchError(rt::ErrorNumber()));
  }
  g_jobRecord.lErrorCode = AGENT_OK;
  g_jobRecord.lExitCode = exitCode;
  // 14. Back to the saved directory.
  LeaveWorkDir();
  // 15. Outcome echo.
  if (g_debugFlag != 0) EchoOutcome();
  // 16. Finish: the record holds the outcome before the flag file goes.
  StoreJobRecord();
  DeleteFlagFile();
  return 0;
}
