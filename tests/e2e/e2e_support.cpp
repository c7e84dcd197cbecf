#include "e2e_support.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

namespace e2e {

namespace {

Programs g_paths;

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// The name of an environment entry; one beginning with '=' keeps it.
std::string EntryName(const std::string& entry) {
  const std::size_t eq = entry.find('=', 1);
  return eq == std::string::npos ? entry : entry.substr(0, eq);
}

void SetVariable(std::vector<std::string>* env, const std::string& setting) {
  const std::string name = EntryName(setting);
  std::vector<std::string> kept;
  for (const std::string& entry : *env) {
    if (!SameNameIgnoringCase(EntryName(entry), name)) kept.push_back(entry);
  }
  if (setting.size() > name.size()) kept.push_back(setting);
  *env = kept;
}

HANDLE Inheritable(HANDLE handle) {
  SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  return handle;
}

HANDLE CreateOutputFile(const std::string& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE OpenNul() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Collects the changes in one folder from the moment it starts until Stop.
// The platform queues changes on the handle between reads, so one read
// issued at the start and drained at the end loses nothing.
class FolderWatch {
 public:
  explicit FolderWatch(const std::string& folder) {
    dir_ = CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ok_ = dir_ != INVALID_HANDLE_VALUE && Issue();
  }
  ~FolderWatch() {
    if (dir_ != INVALID_HANDLE_VALUE) {
      CancelIo(dir_);
      CloseHandle(dir_);
    }
    CloseHandle(event_);
  }
  bool ok() const { return ok_; }

  std::vector<std::string> Stop() {
    std::vector<std::string> events;
    while (ok_ && WaitForSingleObject(event_, 200) == WAIT_OBJECT_0) {
      DWORD got = 0;
      if (!GetOverlappedResult(dir_, &overlapped_, &got, FALSE)) break;
      if (got == 0) events.emplace_back("overflow:");
      for (std::size_t at = 0; got != 0;) {
        const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer_ + at);
        char name[MAX_PATH * 2] = {};
        WideCharToMultiByte(CP_ACP, 0, info->FileName,
                            static_cast<int>(info->FileNameLength / sizeof(WCHAR)), name,
                            sizeof name - 1, nullptr, nullptr);
        const char* action = info->Action == FILE_ACTION_ADDED      ? "added:"
                             : info->Action == FILE_ACTION_REMOVED  ? "removed:"
                             : info->Action == FILE_ACTION_MODIFIED ? "modified:"
                                                                    : "renamed:";
        events.push_back(std::string(action) + name);
        if (info->NextEntryOffset == 0) break;
        at += info->NextEntryOffset;
      }
      if (!Issue()) break;
    }
    return events;
  }

 private:
  bool Issue() {
    ResetEvent(event_);
    std::memset(&overlapped_, 0, sizeof overlapped_);
    overlapped_.hEvent = event_;
    return ReadDirectoryChangesW(dir_, buffer_, sizeof buffer_, FALSE,
                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE |
                                     FILE_NOTIFY_CHANGE_SIZE,
                                 nullptr, &overlapped_, nullptr) != 0;
  }

  HANDLE dir_ = INVALID_HANDLE_VALUE;
  HANDLE event_ = nullptr;
  OVERLAPPED overlapped_{};
  alignas(DWORD) char buffer_[32768];
  bool ok_ = false;
};

// Reads a pipe to its end on a thread of its own, so a writer that fills
// the pipe never blocks.
class PipeDrain {
 public:
  explicit PipeDrain(HANDLE reader) : reader_(reader) {
    thread_ = CreateThread(nullptr, 0, &PipeDrain::Main, this, 0, nullptr);
  }
  ~PipeDrain() { Join(); }
  std::string Join() {
    if (thread_ != nullptr) {
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
      thread_ = nullptr;
      CloseHandle(reader_);
    }
    return text_;
  }

 private:
  static DWORD WINAPI Main(void* self) {
    auto* drain = static_cast<PipeDrain*>(self);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(drain->reader_, buffer, sizeof buffer, &got, nullptr) && got != 0) {
      drain->text_.append(buffer, got);
    }
    return 0;
  }
  HANDLE reader_;
  HANDLE thread_ = nullptr;
  std::string text_;
};

}  // namespace

const Programs& Paths() {
  return g_paths;
}

std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string out = "Z:" + path;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

void InitPaths(int* argc, char** argv) {
  const std::string here = host::ExecutableDir();
  g_paths.agent = here + "ntagent.exe";
  g_paths.probe = here + "probe.exe";
  g_paths.parent = here + "parent.exe";
  g_paths.badformat = here + "badformat.exe";
  g_paths.wdxrun = here + "wdxrun.exe";
  struct Option {
    const char* prefix;
    std::string* target;
  };
  const Option options[] = {
      {"--agent=", &g_paths.agent},   {"--probe=", &g_paths.probe},
      {"--parent=", &g_paths.parent}, {"--badformat=", &g_paths.badformat},
      {"--wdxrun=", &g_paths.wdxrun}, {"--second-drive-file=", &g_paths.secondDriveFile}};
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    bool used = false;
    for (const Option& option : options) {
      const std::size_t n = std::strlen(option.prefix);
      if (std::strncmp(argv[i], option.prefix, n) == 0) {
        *option.target = WindowsPath(argv[i] + n);
        used = true;
      }
    }
    if (!used) argv[kept++] = argv[i];
  }
  *argc = kept;
}

bool SplitBanner(const std::string& text, std::string* rest) {
  const std::string head = kBannerHead;
  if (text.compare(0, head.size(), head) != 0) return false;
  const std::size_t creditsEnd = text.find("\r\n", head.size());
  if (creditsEnd == std::string::npos || creditsEnd == head.size()) return false;
  const std::string credits = text.substr(head.size(), creditsEnd - head.size());
  if (credits.find('\n') != std::string::npos || credits.find('\r') != std::string::npos) {
    return false;
  }
  if (text.compare(creditsEnd + 2, 2, "\r\n") != 0) return false;
  *rest = text.substr(creditsEnd + 4);
  return true;
}

std::string ProbeReport::Get(const std::string& key) const {
  const auto it = fields.find(key);
  return it == fields.end() ? std::string("<no " + key + ">") : it->second;
}

std::vector<ProbeReport> ReadProbeReports(const std::string& path) {
  std::vector<ProbeReport> reports;
  std::string text;
  if (!host::ReadWholeFile(path, &text)) return reports;
  std::size_t at = 0;
  ProbeReport* current = nullptr;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 2;
    if (line == "--- probe") {
      reports.emplace_back();
      current = &reports.back();
      continue;
    }
    if (current == nullptr || line == "--- end") continue;
    current->lines.push_back(line);
    // An environment name may itself begin with '=' (=C:); a noenv: line is
    // a name alone.
    const std::size_t from = line.compare(0, 4, "env:") == 0 ? 5 : 0;
    const std::size_t eq =
        line.compare(0, 6, "noenv:") == 0 ? std::string::npos : line.find('=', from);
    if (eq == std::string::npos) {
      current->fields.emplace(line, std::string());
    } else {
      current->fields.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
  }
  return reports;
}

std::string Describe(const std::vector<ProbeReport>& reports) {
  std::ostringstream out;
  out << reports.size() << " probe report(s)\n";
  for (const ProbeReport& report : reports) {
    out << "  ---\n";
    for (const std::string& line : report.lines) out << "  " << line << "\n";
  }
  return out.str();
}

std::string ToHex(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    char two[4];
    std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
    out += two;
  }
  return out;
}

std::string FromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
  }
  return out;
}

std::string DescribeRecord(const JobRecord& record) {
  auto text = [](const char* field, std::size_t width) {
    return std::string(field, strnlen(field, width));
  };
  std::ostringstream out;
  out << "szSig=" << text(record.szSig, sizeof record.szSig)
      << " szVer=" << text(record.szVer, sizeof record.szVer)
      << " szFlagFile=" << text(record.szFlagFile, sizeof record.szFlagFile)
      << " szExecProg=" << text(record.szExecProg, sizeof record.szExecProg)
      << " szArgs=" << text(record.szArgs, sizeof record.szArgs)
      << " szWorkDir=" << text(record.szWorkDir, sizeof record.szWorkDir)
      << " bUseShell=" << record.bUseShell << " lErrorCode=0x" << std::hex
      << static_cast<std::uint32_t>(record.lErrorCode) << std::dec
      << " lExitCode=" << record.lExitCode;
  return out.str();
}

void JobTest::SetUp() {
  folder_ = host::MakeTempFolder("e2e");
  ASSERT_FALSE(folder_.empty()) << "cannot make a job folder, error " << GetLastError();
  record_ = folder_ + "job.rec";
  flag_ = folder_ + "job.flg";
  probeOut_ = folder_ + "probe.txt";
  stderr_ = folder_ + "stderr.txt";
  stdout_ = folder_ + "stdout.txt";
  ASSERT_TRUE(host::PathExists(Paths().agent)) << "no agent at " << Paths().agent;
  ASSERT_TRUE(host::PathExists(Paths().probe)) << "no probe at " << Paths().probe;
}

void JobTest::TearDown() {
  if (HasFailure()) {
    std::string text;
    if (host::ReadWholeFile(stderr_, &text)) {
      std::printf("agent stderr: [%s]\n", text.c_str());
    }
  }
  host::RemoveFolder(folder_);
}

JobRecord JobTest::ProbeRecord(const std::string& args) const {
  JobRecord record = host::NewRecord();
  host::SetField(record.szFlagFile, flag_);
  host::SetField(record.szExecProg, Paths().probe);
  host::SetField(record.szArgs, args);
  return record;
}

void JobTest::WriteJob(const JobRecord& record, bool withFlag) {
  ASSERT_TRUE(host::WriteWholeFile(record_, &record, sizeof record));
  if (withFlag) {
    ASSERT_TRUE(host::CreateFlagFile(flag_));
  }
}

void JobTest::WriteRecordBytes(const std::string& bytes) {
  ASSERT_TRUE(host::WriteWholeFile(record_, bytes));
}

void JobTest::CopyProbe(const std::string& path) const {
  ASSERT_TRUE(CopyFileA(Paths().probe.c_str(), path.c_str(), FALSE))
      << "copy to " << path << ": error " << GetLastError();
}

void JobTest::MakeDir(const std::string& path) const {
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr))
      << "mkdir " << path << ": error " << GetLastError();
}

std::string JobTest::ReadFile(const std::string& path) const {
  std::string bytes;
  host::ReadWholeFile(path, &bytes);
  return bytes;
}

std::vector<std::string> JobTest::AgentEnvironment(const std::vector<std::string>& extra,
                                                   bool exact) const {
  std::vector<std::string> env;
  if (exact) {
    // Wine's own variables keep the started process in the same wine.
    for (const std::string& entry : host::CurrentEnvironment()) {
      if (entry.compare(0, 4, "WINE") == 0) env.push_back(entry);
    }
  } else {
    env = host::CurrentEnvironment();
  }
  SetVariable(&env, "NTPROBE_OUT=" + probeOut_);
  SetVariable(&env, "NTPROBE_EXIT=" + probeExit_);
  SetVariable(&env, probeEnv_.empty() ? "NTPROBE_ENV" : "NTPROBE_ENV=" + probeEnv_);
  SetVariable(&env, probeFile_.empty() ? "NTPROBE_FILE" : "NTPROBE_FILE=" + probeFile_);
  for (const std::string& setting : extra) SetVariable(&env, setting);
  return env;
}

RunResult JobTest::Run(const RunOptions& options) {
  RunResult result;
  HANDLE errFile = nullptr;
  std::unique_ptr<PipeDrain> errDrain;
  if (options.errorOutput == ErrorOutput::kFile) {
    errFile = CreateOutputFile(stderr_);
  } else {
    HANDLE reader = nullptr;
    CreatePipe(&reader, &errFile, nullptr, 0);
    Inheritable(errFile);
    errDrain.reset(new PipeDrain(reader));
  }
  HANDLE outFile = CreateOutputFile(stdout_);
  HANDLE input = nullptr;
  HANDLE writer = nullptr;
  if (options.input == Input::kNul) {
    input = OpenNul();
  } else if (options.input == Input::kUnreadable) {
    input = CreateOutputFile(folder_ + "stdin.txt");
  } else if (options.input == Input::kFile) {
    const std::string path = folder_ + "stdin.txt";
    host::WriteWholeFile(path, options.stdinText);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    input = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  } else {
    CreatePipe(&input, &writer, nullptr, 0);
    Inheritable(input);
    if (!options.stdinText.empty()) {
      DWORD written = 0;
      WriteFile(writer, options.stdinText.data(), static_cast<DWORD>(options.stdinText.size()),
                &written, nullptr);
    }
    if (options.input == Input::kClosedPipe) {
      CloseHandle(writer);
      writer = nullptr;
    }
  }

  host::AgentLaunch launch;
  launch.recordPath = record_;
  launch.stdKind = host::StdKind::kHandle;
  launch.stdInput = input;
  launch.stdOutput = outFile;
  launch.stdError = errFile;
  launch.useEnvironment = true;
  launch.environment = AgentEnvironment(options.environment, options.exactEnvironment);
  launch.currentDirectory = options.currentDirectory;
  launch.reserved2 = options.reserved2;
  if (options.throughParent) {
    std::vector<std::string> args = options.parentOptions;
    args.emplace_back("--");
    args.push_back(Paths().agent);
    launch.agentPath = Paths().parent;
    launch.useRawArguments = true;
    launch.rawArguments = host::JoinArguments(args) + " ";
    if (options.useRawArguments) {
      launch.rawArguments += options.rawArguments;
    } else {
      launch.rawArguments += host::QuoteAlways(record_);
      for (const std::string& arg : options.extraArguments) {
        launch.rawArguments += " " + host::QuoteArgument(arg);
      }
    }
  } else {
    launch.agentPath = Paths().agent;
    launch.useRawArguments = options.useRawArguments;
    launch.rawArguments = options.rawArguments;
    launch.extraArguments = options.extraArguments;
  }

  std::unique_ptr<FolderWatch> watch;
  if (options.watchFolder) {
    watch.reset(new FolderWatch(folder_));
    EXPECT_TRUE(watch->ok()) << "cannot watch " << folder_;
  }
  result.outcome = host::RunAgent(launch, flag_, [&](HANDLE process) {
    if (writer != nullptr) {
      if (onStarted_) onStarted_(writer, process);
      CloseHandle(writer);
      writer = nullptr;
    }
  });
  if (watch) result.folderEvents = watch->Stop();
  if (writer != nullptr) CloseHandle(writer);
  CloseHandle(input);
  CloseHandle(outFile);
  CloseHandle(errFile);
  EXPECT_TRUE(result.outcome.agentStarted)
      << "cannot start " << launch.agentPath << ": error " << result.outcome.startError;
  result.stderrText = errDrain ? errDrain->Join() : ReadFile(stderr_);
  result.stdoutText = ReadFile(stdout_);
  result.probes = ReadProbeReports(probeOut_);
  return result;
}

}  // namespace e2e
