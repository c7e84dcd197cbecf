// The floor: the least an agent can do for one job and still keep the
// record/flag protocol. It reads the record, marks it started, starts the
// program named in it with its argument text, waits, writes the outcome and
// deletes the flag file. No banner, no checks, no search, no runtime: its
// own entry point, kernel32 only.
//
// FLOOR_CRT builds floor_crt, the same job started through main() and the
// C runtime's start-up, which shows what that start-up costs a job.
#include <windows.h>

#include "job/job_record.h"

namespace {

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Plain loops: there is no C library to call.
std::size_t FieldLength(const char* field, std::size_t width) {
  std::size_t length = 0;
  while (length + 1 < width && field[length] != '\0') ++length;
  return length;
}

void CopyBytes(char* to, const char* from, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) to[i] = from[i];
}

bool WriteRecord(const char* path, const JobRecord& record) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, kShareReadWrite, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, &record, sizeof record, &written, nullptr);
  return (CloseHandle(file) != FALSE) && ok != FALSE && written == sizeof record;
}

DWORD RunFloor(const char* recordPath) {
  JobRecord record;
  HANDLE file = CreateFileA(recordPath, GENERIC_READ, kShareReadWrite, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return AGENT_ERR_RECORD_IO;
  DWORD got = 0;
  BOOL read = ReadFile(file, &record, sizeof record, &got, nullptr);
  CloseHandle(file);
  if (read == FALSE || got != sizeof record) return AGENT_ERR_RECORD_IO;

  record.lErrorCode = AGENT_STARTED;
  if (!WriteRecord(recordPath, record)) return AGENT_ERR_RECORD_IO;

  // "program args", or the program alone when there is no argument text.
  char commandLine[sizeof record.szExecProg + 1 + sizeof record.szArgs];
  std::size_t programLength = FieldLength(record.szExecProg, sizeof record.szExecProg);
  std::size_t argsLength = FieldLength(record.szArgs, sizeof record.szArgs);
  CopyBytes(commandLine, record.szExecProg, programLength);
  std::size_t length = programLength;
  if (argsLength != 0) {
    commandLine[length++] = ' ';
    CopyBytes(commandLine + length, record.szArgs, argsLength);
    length += argsLength;
  }
  commandLine[length] = '\0';
  record.szExecProg[programLength] = '\0';
  record.szFlagFile[FieldLength(record.szFlagFile, sizeof record.szFlagFile)] = '\0';

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  DWORD exitCode = 0;
  if (CreateProcessA(record.szExecProg, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &process) == FALSE) {
    record.lErrorCode = PackStatusWord(AGENT_ERR_LAUNCH, LAUNCH_ERR_OTHER);
  } else {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    record.lErrorCode = AGENT_OK;
  }
  record.lExitCode = static_cast<std::int32_t>(exitCode);

  if (!WriteRecord(recordPath, record)) return AGENT_ERR_RECORD_IO;
  if (DeleteFileA(record.szFlagFile) == FALSE) return AGENT_ERR_FLAG_DELETE;
  return record.lErrorCode == AGENT_OK ? AGENT_OK : AGENT_ERR_LAUNCH;
}

}  // namespace

#if !defined(FLOOR_CRT)

namespace {

// The second word of the command line, quotes dropped (the host quotes the
// record path, never escapes inside it).
const char* RecordPathArgument(char* line) {
  char* p = line;
  bool quoted = false;
  while (*p != '\0' && (quoted || (*p != ' ' && *p != '\t'))) {
    if (*p == '"') quoted = !quoted;
    ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '\0') return nullptr;
  char* start = p;
  char* out = p;
  quoted = false;
  while (*p != '\0' && (quoted || (*p != ' ' && *p != '\t'))) {
    if (*p == '"') {
      quoted = !quoted;
    } else {
      *out++ = *p;
    }
    ++p;
  }
  *out = '\0';
  return start;
}

}  // namespace

extern "C" void __stdcall FloorEntry() {
  const char* recordPath = RecordPathArgument(GetCommandLineA());
  ExitProcess(recordPath == nullptr ? AGENT_ERR_VERSION : RunFloor(recordPath));
}

#else

// Ends through ExitProcess as the product does: returning from main would
// run the C runtime's exit steps, which the product never pays.
int main(int argc, char** argv) {
  ExitProcess(argc < 2 ? AGENT_ERR_VERSION : RunFloor(argv[1]));
}

#endif
