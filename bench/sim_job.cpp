// One whole job of the agent against the simulated NT, for figures that do
// not depend on the machine's load: run under callgrind for the instruction
// count, and on its own for the platform calls and the heap the job takes.
//
// The job is the benchmark's B job (C with --shell): a record naming the
// child by its full path, a flag file, a Windows-sized environment, standard
// error a console. Between the start and the exit only ProcessEntry runs,
// so callgrind --toggle-collect=ProcessEntry* counts the agent's job alone.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "agent/run.h"
#include "job/job_record.h"
#include "sim.h"

namespace {

constexpr const char* kRecordPath = "C:\\jobs\\job.rec";
constexpr const char* kFlagPath = "C:\\jobs\\job.flag";
constexpr const char* kChildPath = "C:\\bench\\bench_child.exe";

// What a freshly logged-on Windows session hands a console program.
const std::vector<std::string> kEnvironment = {
    "=C:=C:\\jobs",
    "ALLUSERSPROFILE=C:\\ProgramData",
    "APPDATA=C:\\Users\\host\\AppData\\Roaming",
    "CommonProgramFiles=C:\\Program Files\\Common Files",
    "COMPUTERNAME=BUILD01",
    "ComSpec=C:\\windows\\system32\\cmd.exe",
    "HOMEDRIVE=C:",
    "HOMEPATH=\\Users\\host",
    "LOCALAPPDATA=C:\\Users\\host\\AppData\\Local",
    "LOGONSERVER=\\\\BUILD01",
    "NUMBER_OF_PROCESSORS=2",
    "OS=Windows_NT",
    "PATH=C:\\windows\\system32;C:\\windows;C:\\windows\\system32\\wbem",
    "PATHEXT=.COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH",
    "PROCESSOR_ARCHITECTURE=x86",
    "PROCESSOR_IDENTIFIER=x86 Family 25 Model 17 Stepping 1, AuthenticAMD",
    "PROCESSOR_LEVEL=25",
    "PROCESSOR_REVISION=1101",
    "ProgramData=C:\\ProgramData",
    "ProgramFiles=C:\\Program Files",
    "PROMPT=$P$G",
    "PUBLIC=C:\\Users\\Public",
    "SystemDrive=C:",
    "SystemRoot=C:\\windows",
    "TEMP=C:\\Users\\host\\AppData\\Local\\Temp",
    "TMP=C:\\Users\\host\\AppData\\Local\\Temp",
    "USERDOMAIN=BUILD01",
    "USERNAME=host",
    "USERPROFILE=C:\\Users\\host",
    "windir=C:\\windows",
};

void SetText(char* field, std::size_t width, const char* text) {
  std::memset(field, 0, width);
  std::strncpy(field, text, width - 1);
}

std::string RecordBytes(bool shell) {
  JobRecord record = {};
  SetText(record.szSig, sizeof record.szSig, kJobSignature);
  SetText(record.szVer, sizeof record.szVer, kJobVersion);
  SetText(record.szFlagFile, sizeof record.szFlagFile, kFlagPath);
  SetText(record.szExecProg, sizeof record.szExecProg, kChildPath);
  record.bUseShell = shell ? 1 : 0;
  record.lErrorCode = -1;
  record.lExitCode = -1;
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

void SetUpMachine(bool shell) {
  sim::Reset();
  sim::AddDir("C:\\jobs");
  sim::AddDir("C:\\windows\\system32");
  sim::AddProgram(kChildPath, 0);
  sim::AddProgram("C:\\windows\\system32\\cmd.exe", 0);
  sim::AddFile(kRecordPath, RecordBytes(shell));
  sim::AddFile(kFlagPath, "");
  sim::SetCurrentDir("C:\\jobs");
  sim::SetEnvironment(kEnvironment);
  sim::SetCommandLine(std::string("ntagent.exe ") + kRecordPath);
}

// Kept out of line so callgrind can toggle on exactly the agent's run.
__attribute__((noinline)) unsigned RunOneJob() {
  try {
    ProcessEntry();
  } catch (const sim::ProcessExit& exit) {
    return exit.code;
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool shell = argc > 1 && std::strcmp(argv[1], "--shell") == 0;
  SetUpMachine(shell);
  unsigned exitCode = RunOneJob();

  JobRecord outcome = {};
  std::string bytes = sim::ReadFile(kRecordPath).value_or("");
  if (bytes.size() == sizeof outcome) std::memcpy(&outcome, bytes.data(), sizeof outcome);
  bool flagGone = !sim::Exists(kFlagPath);
  bool ok = exitCode == 0 && flagGone && bytes.size() == sizeof outcome &&
            outcome.lErrorCode == AGENT_OK && outcome.lExitCode == 0 && sim::Launches().size() == 1;
  std::printf("simulated %s job: agent exit %u, lErrorCode %ld, lExitCode %ld, flag %s, %s\n",
              shell ? "shell" : "plain", exitCode, static_cast<long>(outcome.lErrorCode),
              static_cast<long>(outcome.lExitCode), flagGone ? "deleted" : "left",
              ok ? "ok" : "FAILED");
  if (!sim::Launches().empty()) {
    std::printf("  started %s, command line \"%s\"\n",
                sim::Launches().front().applicationName.c_str(),
                sim::Launches().front().commandLine.c_str());
  }

  std::printf("  platform calls:");
  int total = 0;
  for (int i = 0; i <= static_cast<int>(sim::Op::ExitProcess); ++i) {
    auto op = static_cast<sim::Op>(i);
    int count = sim::CallCount(op);
    if (count == 0) continue;
    total += count;
    std::printf(" %s %d,", sim::OpName(op), count);
  }
  std::printf(" total %d\n", total);

  int recordOpens = 0;
  int recordWrites = 0;
  for (const sim::Call& call : sim::Calls()) {
    if (call.arg != kRecordPath) continue;
    if (call.op == sim::Op::CreateFileA) ++recordOpens;
    if (call.op == sim::Op::WriteFile) ++recordWrites;
  }
  std::printf("  record file: %d opens, %d writes; console writes %zu\n", recordOpens, recordWrites,
              sim::StderrChunks().size());

  sim::HeapCounters heap = sim::HeapStats();
  std::printf("  heap: %zu allocations, %zu bytes asked for, peak %zu bytes, %zu frees\n",
              heap.allocations, heap.totalBytes, heap.peakBytes, heap.frees);
  return ok ? 0 : 1;
}
