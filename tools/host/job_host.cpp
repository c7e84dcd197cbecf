#include "job_host.h"

#include <cstdio>
#include <cstring>

namespace host {

std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  return QuoteAlways(arg);
}

std::string QuoteAlways(const std::string& arg) {
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      // Each backslash before a quote is doubled, and the quote escaped.
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  // Backslashes before the closing quote are doubled so it still closes.
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

std::string JoinArguments(const std::vector<std::string>& args) {
  std::string out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i != 0) out += ' ';
    out += QuoteArgument(args[i]);
  }
  return out;
}

bool WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
  const BOOL closed = CloseHandle(file);
  return ok && closed && written == size;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  return WriteWholeFile(path, bytes.data(), bytes.size());
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    bytes->append(buffer, got);
  }
  CloseHandle(file);
  return ok;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CreateFlagFile(const std::string& path) {
  return WriteWholeFile(path, "", 0);
}

std::string ExecutableDir() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return ".\\";
  std::string dir(path, n);
  const std::size_t cut = dir.find_last_of("\\/");
  return cut == std::string::npos ? ".\\" : dir.substr(0, cut + 1);
}

std::string MakeTempFolder(const std::string& prefix) {
  char temp[MAX_PATH];
  const DWORD n = GetTempPathA(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) return std::string();
  std::string base(temp, n);
  if (base.back() != '\\' && base.back() != '/') base += '\\';
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%lx-%lx-%x", prefix.c_str(), GetCurrentProcessId(),
                  GetTickCount(), counter++);
    const std::string folder = base + name;
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
  }
  return std::string();
}

void RemoveFolder(const std::string& folder) {
  if (folder.empty()) return;
  std::string dir = folder;
  if (dir.back() != '\\') dir += '\\';
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = dir + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolder(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(dir.c_str());
}

bool SetField(char* field, std::size_t width, const std::string& text) {
  std::memset(field, 0, width);
  const bool fits = text.size() < width;
  std::memcpy(field, text.data(), fits ? text.size() : width - 1);
  return fits;
}

JobRecord NewRecord() {
  JobRecord record;
  std::memset(&record, 0, sizeof record);
  SetField(record.szSig, kJobSignature);
  SetField(record.szVer, kJobVersion);
  return record;
}

std::string RecordBytes(const JobRecord& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

bool RecordFromBytes(const std::string& bytes, JobRecord* record) {
  if (bytes.size() < sizeof(JobRecord)) return false;
  std::memcpy(record, bytes.data(), sizeof(JobRecord));
  return true;
}

std::string AgentCommandLine(const AgentLaunch& launch) {
  std::string line = QuoteAlways(launch.agentPath);
  if (launch.useRawArguments) {
    if (!launch.rawArguments.empty()) line += " " + launch.rawArguments;
    return line;
  }
  line += " " + QuoteAlways(launch.recordPath);
  for (const std::string& arg : launch.extraArguments) line += " " + QuoteArgument(arg);
  return line;
}

std::string EnvironmentBlock(const std::vector<std::string>& entries) {
  std::string block;
  for (const std::string& entry : entries) {
    block += entry;
    block += '\0';
  }
  if (entries.empty()) block += '\0';
  block += '\0';
  return block;
}

std::vector<std::string> CurrentEnvironment() {
  std::vector<std::string> entries;
  char* block = GetEnvironmentStringsA();
  if (block == nullptr) return entries;
  for (const char* p = block; *p != '\0'; p += std::strlen(p) + 1) entries.emplace_back(p);
  FreeEnvironmentStringsA(block);
  return entries;
}

bool StartAgent(const AgentLaunch& launch, PROCESS_INFORMATION* process, DWORD* error) {
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (launch.stdKind == StdKind::kHandle) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = launch.stdInput;
    startup.hStdOutput = launch.stdOutput;
    startup.hStdError = launch.stdError;
  }
  std::vector<unsigned char> reserved2 = launch.reserved2;
  if (!reserved2.empty()) {
    startup.cbReserved2 = static_cast<WORD>(reserved2.size());
    startup.lpReserved2 = reserved2.data();
  }
  std::string commandLine = AgentCommandLine(launch);
  std::string environment;
  if (launch.useEnvironment) environment = EnvironmentBlock(launch.environment);
  std::memset(process, 0, sizeof *process);
  const BOOL ok =
      CreateProcessA(launch.agentPath.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                     launch.creationFlags, launch.useEnvironment ? &environment[0] : nullptr,
                     launch.currentDirectory.empty() ? nullptr : launch.currentDirectory.c_str(),
                     &startup, process);
  *error = ok ? 0 : GetLastError();
  return ok != 0;
}

JobOutcome RunAgent(const AgentLaunch& launch, const std::string& flagPath,
                    const std::function<void(HANDLE)>& onStarted) {
  JobOutcome outcome;
  PROCESS_INFORMATION process;
  outcome.agentStarted = StartAgent(launch, &process, &outcome.startError);
  if (!outcome.agentStarted) return outcome;
  CloseHandle(process.hThread);
  if (onStarted) onStarted(process.hProcess);

  // Poll the flag file while the agent runs: the first moment it is seen gone,
  // the record is read at once, so a record completed after the deletion shows.
  const bool watch = !flagPath.empty();
  for (;;) {
    if (watch && !outcome.snapshotTaken && !PathExists(flagPath)) {
      ReadWholeFile(launch.recordPath, &outcome.recordAtFlagGone);
      outcome.snapshotTaken = true;
    }
    const DWORD wait =
        WaitForSingleObject(process.hProcess, watch && !outcome.snapshotTaken ? 1 : INFINITE);
    if (wait != WAIT_TIMEOUT) break;
  }
  GetExitCodeProcess(process.hProcess, &outcome.agentExitCode);
  CloseHandle(process.hProcess);

  outcome.flagDeleted = watch && !PathExists(flagPath);
  if (outcome.flagDeleted && !outcome.snapshotTaken) {
    ReadWholeFile(launch.recordPath, &outcome.recordAtFlagGone);
    outcome.snapshotTaken = true;
  }
  outcome.recordReadable = ReadWholeFile(launch.recordPath, &outcome.recordAtEnd);
  RecordFromBytes(outcome.recordAtEnd, &outcome.record);
  return outcome;
}

namespace {

std::string Hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

const char* LaunchDetailWords(std::uint16_t detail) {
  switch (detail) {
    case LAUNCH_ERR_NOT_FOUND:
      return "program not found";
    case LAUNCH_ERR_NO_MEMORY:
      return "not enough memory to start it";
    case LAUNCH_ERR_TOO_LONG:
      return "argument text too long";
    case LAUNCH_ERR_BAD_FORMAT:
      return "not an executable the system can run";
    case LAUNCH_ERR_OTHER:
      return "could not be started";
    default:
      return "unknown launch detail";
  }
}

const char* AgentCodeWords(std::uint32_t code) {
  switch (code) {
    case AGENT_ERR_VERSION:
      return "version mismatch or no record path";
    case AGENT_ERR_RECORD_IO:
      return "record file could not be read or written";
    case AGENT_ERR_FLAG_DELETE:
      return "flag file could not be deleted";
    case AGENT_ERR_FLAG_MISSING:
      return "flag file missing";
    case AGENT_ERR_WORKDIR:
      return "working directory could not be entered or left";
    case AGENT_ERR_SIGNATURE:
      return "incorrect signature";
    default:
      return "unexpected exit code";
  }
}

}  // namespace

OutcomeReport DescribeOutcome(const JobOutcome& outcome) {
  OutcomeReport report;
  if (!outcome.agentStarted) {
    report.line =
        "agent failed: could not be started (error " + std::to_string(outcome.startError) + ")";
    return report;
  }
  const std::uint32_t code = outcome.agentExitCode;
  const bool whole = outcome.recordAtEnd.size() >= sizeof(JobRecord);
  const std::int32_t status = outcome.record.lErrorCode;
  const std::string leftBehind =
      outcome.flagDeleted ? std::string() : std::string("; flag file left in place");

  if (code == AGENT_OK && whole && status == AGENT_OK) {
    report.exitCode = static_cast<std::uint32_t>(outcome.record.lExitCode);
    report.line = "ran: exit code " + std::to_string(outcome.record.lExitCode) + leftBehind;
    return report;
  }
  if (code == AGENT_ERR_LAUNCH && whole &&
      (static_cast<std::uint32_t>(status) & 0xFFFFU) == AGENT_ERR_LAUNCH) {
    const auto detail = static_cast<std::uint16_t>(static_cast<std::uint32_t>(status) >> 16);
    report.exitCode = detail == LAUNCH_ERR_NOT_FOUND ? 127 : 126;
    report.line = std::string("launch failed: ") + LaunchDetailWords(detail) + " (status " +
                  Hex32(static_cast<std::uint32_t>(status)) + ")" + leftBehind;
    return report;
  }
  report.exitCode = 125;
  report.line =
      std::string("agent failed: ") + AgentCodeWords(code) + " (exit code " + std::to_string(code);
  if (whole) report.line += ", status " + Hex32(static_cast<std::uint32_t>(status));
  report.line += ")" + leftBehind;
  return report;
}

}  // namespace host
