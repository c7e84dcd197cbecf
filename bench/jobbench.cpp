// jobbench: what a job through the agent costs, next to the least it could.
//
// Rounds of interleaved scenarios, each timed with the performance counter:
//   A  the host starts the child directly and waits for it;
//   B  a job through the agent: record written, flag file created, agent
//      started on the record, wait until it has ended and the flag file is
//      gone, record read back; the agent starts the child by its full path;
//   C  B with the shell flag set (the agent runs the child through COMSPEC);
//   D  the host runs "cmd /c child" itself;
//   E  B with the floor agent, which does only what the protocol needs.
// and, when their programs are beside this one, other builds for comparison:
//   F  E with the floor started through main() and the C runtime start-up.
// Process starts vary a lot from one to the next, so only medians, spreads
// and ratios of whole runs mean anything.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "job/job_record.h"

namespace {

struct Options {
  int rounds = 50;
  int warmup = 3;
  bool rotate = false;
  bool raw = false;
  bool inheritStd = false;
  bool ops = false;
  std::string only;         // scenario letters to run; empty for all
  std::string programs[7];  // by scenario letter; empty for the default
  std::string child;
  std::string folder;
};

// Paths and handles every scenario shares.
struct Setup {
  std::string child;
  std::string recordPath;
  std::string flagPath;
  std::string folder;
  HANDLE nul = INVALID_HANDLE_VALUE;  // the children's standard handles
  bool inheritStd = false;
  double ticksPerMs = 1.0;
};

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stdout, "jobbench: %s: %s (error %lu)\n", what, detail.c_str(),
               static_cast<unsigned long>(GetLastError()));
  std::fflush(stdout);
  std::exit(2);
}

double NowTicks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart);
}

std::string ExecutableDir() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) Fail("GetModuleFileNameA", "own path");
  std::string dir(path, length);
  return dir.substr(0, dir.find_last_of("\\/") + 1);
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) Fail("GetFullPathNameA", path);
  return std::string(full, length);
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Quoted(const std::string& path) {
  return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
}

// Starts a process with the benchmark's standard handles and waits for it.
DWORD StartAndWait(const Setup& setup, const char* application, std::string commandLine) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (!setup.inheritStd) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = setup.nul;
    startup.hStdOutput = setup.nul;
    startup.hStdError = setup.nul;
  }
  PROCESS_INFORMATION process = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(application, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    Fail("CreateProcessA", commandLine);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode;
}

void WriteBytes(const std::string& path, const void* data, DWORD size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail("create", path);
  DWORD written = 0;
  bool ok = size == 0 || (WriteFile(file, data, size, &written, nullptr) && written == size);
  CloseHandle(file);
  if (!ok) Fail("write", path);
}

bool ReadRecord(const std::string& path, JobRecord* record) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD got = 0;
  bool ok = ReadFile(file, record, sizeof *record, &got, nullptr) && got == sizeof *record;
  CloseHandle(file);
  return ok;
}

void SetText(char* field, std::size_t width, const std::string& text) {
  if (text.size() >= width) Fail("record field too long", text);
  std::memset(field, 0, width);
  std::memcpy(field, text.data(), text.size());
}

JobRecord MakeRecord(const Setup& setup, bool shell) {
  JobRecord record = {};
  SetText(record.szSig, sizeof record.szSig, kJobSignature);
  SetText(record.szVer, sizeof record.szVer, kJobVersion);
  SetText(record.szFlagFile, sizeof record.szFlagFile, setup.flagPath);
  SetText(record.szExecProg, sizeof record.szExecProg, setup.child);
  record.bUseShell = shell ? 1 : 0;
  record.lErrorCode = -1;
  record.lExitCode = -1;
  return record;
}

// One job as a host runs it; the time covers everything the host does.
double RunJob(const Setup& setup, const std::string& agent, bool shell) {
  JobRecord record = MakeRecord(setup, shell);
  std::string commandLine = Quoted(agent) + " " + Quoted(setup.recordPath);
  double start = NowTicks();
  WriteBytes(setup.recordPath, &record, sizeof record);
  WriteBytes(setup.flagPath, nullptr, 0);
  DWORD agentExit = StartAndWait(setup, agent.c_str(), commandLine);
  // The agent deletes the flag file before it ends; a flag still there once
  // it has ended is a failed job, not something to wait for.
  bool flagGone = !Exists(setup.flagPath);
  JobRecord outcome = {};
  bool readable = ReadRecord(setup.recordPath, &outcome);
  double end = NowTicks();
  if (agentExit != 0 || !flagGone || !readable || outcome.lErrorCode != AGENT_OK ||
      outcome.lExitCode != 0) {
    char detail[160];
    std::snprintf(detail, sizeof detail, "exit %lu, flag %s, lErrorCode 0x%lX, lExitCode %ld",
                  static_cast<unsigned long>(agentExit), flagGone ? "gone" : "left",
                  static_cast<unsigned long>(outcome.lErrorCode),
                  static_cast<long>(outcome.lExitCode));
    SetLastError(0);
    Fail(agent.c_str(), detail);
  }
  DeleteFileA(setup.flagPath.c_str());
  return (end - start) / setup.ticksPerMs;
}

double RunBare(const Setup& setup) {
  double start = NowTicks();
  DWORD exitCode = StartAndWait(setup, setup.child.c_str(), Quoted(setup.child));
  double end = NowTicks();
  if (exitCode != 0) Fail("child exit code", std::to_string(exitCode));
  return (end - start) / setup.ticksPerMs;
}

double RunCmd(const Setup& setup) {
  double start = NowTicks();
  DWORD exitCode = StartAndWait(setup, nullptr, "cmd /c " + Quoted(setup.child));
  double end = NowTicks();
  if (exitCode != 0) Fail("cmd /c child exit code", std::to_string(exitCode));
  return (end - start) / setup.ticksPerMs;
}

enum class Kind { kBare, kJob, kShellJob, kCmd };

struct Scenario {
  char letter;
  Kind kind;
  const char* program;  // the agent a job goes through, beside jobbench
  const char* title;
  bool optional;  // left out when its program is not there
  std::string path;
  std::vector<double> times;
};

double RunScenario(const Setup& setup, const Scenario& scenario) {
  switch (scenario.kind) {
    case Kind::kBare:
      return RunBare(setup);
    case Kind::kCmd:
      return RunCmd(setup);
    case Kind::kJob:
      return RunJob(setup, scenario.path, false);
    case Kind::kShellJob:
      return RunJob(setup, scenario.path, true);
  }
  return 0.0;
}

// Percentile of sorted values, linear between neighbours.
double Percentile(const std::vector<double>& sorted, double fraction) {
  if (sorted.empty()) return 0.0;
  double position = fraction * static_cast<double>(sorted.size() - 1);
  auto below = static_cast<std::size_t>(position);
  std::size_t above = std::min(below + 1, sorted.size() - 1);
  double weight = position - static_cast<double>(below);
  return sorted[below] * (1.0 - weight) + sorted[above] * weight;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return Percentile(values, 0.5);
}

// A small fixed-seed generator, so a run's intervals can be reproduced.
struct Random {
  std::uint32_t state = 0x2545F491U;
  std::size_t Below(std::size_t bound) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<std::size_t>(state % static_cast<std::uint32_t>(bound));
  }
};

// The ratio of medians, the median of the per-round ratios, and a 90%
// bootstrap interval for the ratio of medians (rounds resampled as pairs).
void PrintRatio(const char* name, const std::vector<double>& top,
                const std::vector<double>& bottom) {
  std::size_t n = std::min(top.size(), bottom.size());
  if (n == 0) return;
  std::vector<double> perRound;
  for (std::size_t i = 0; i < n; ++i) perRound.push_back(top[i] / bottom[i]);
  Random random;
  std::vector<double> ratios;
  std::vector<double> sampleTop(n);
  std::vector<double> sampleBottom(n);
  for (int b = 0; b < 2000; ++b) {
    for (std::size_t i = 0; i < n; ++i) {
      std::size_t pick = random.Below(n);
      sampleTop[i] = top[pick];
      sampleBottom[i] = bottom[pick];
    }
    ratios.push_back(Median(sampleTop) / Median(sampleBottom));
  }
  std::sort(ratios.begin(), ratios.end());
  std::vector<double> sortedTop = top;
  std::vector<double> sortedBottom = bottom;
  std::sort(sortedTop.begin(), sortedTop.end());
  std::sort(sortedBottom.begin(), sortedBottom.end());
  std::printf("  %-4s %6.3f        %6.3f          %6.3f .. %6.3f      %6.3f\n", name,
              Median(top) / Median(bottom), Median(perRound), Percentile(ratios, 0.05),
              Percentile(ratios, 0.95), Percentile(sortedTop, 0.1) / Percentile(sortedBottom, 0.1));
}

void Usage() {
  std::printf(
      "usage: jobbench [--rounds N] [--warmup N] [--rotate] [--only LETTERS] [--raw]\n"
      "                [--inherit-std] [--agent EXE] [--floor EXE] [--program LETTER EXE]\n"
      "                [--child EXE] [--dir FOLDER]\n"
      "       jobbench --ops [--rounds N]   (a job's platform operations, one by one)\n"
      "  A bare start, B job, C shell job, D cmd /c child, E floor job;\n"
      "  F floor with the C runtime start-up, G agent linked without msvcrt.dll\n");
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        Usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--rounds") {
      options.rounds = std::atoi(value().c_str());
    } else if (arg == "--warmup") {
      options.warmup = std::atoi(value().c_str());
    } else if (arg == "--rotate") {
      options.rotate = true;
    } else if (arg == "--only") {
      options.only = value();
    } else if (arg == "--raw") {
      options.raw = true;
    } else if (arg == "--inherit-std") {
      options.inheritStd = true;
    } else if (arg == "--agent") {
      options.programs['B' - 'A'] = value();
      options.programs['C' - 'A'] = options.programs['B' - 'A'];
    } else if (arg == "--floor") {
      options.programs['E' - 'A'] = value();
    } else if (arg == "--program") {
      std::string letter = value();
      std::string program = value();
      if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'F') {
        Usage();
        std::exit(2);
      }
      options.programs[letter[0] - 'A'] = program;
    } else if (arg == "--child") {
      options.child = value();
    } else if (arg == "--ops") {
      options.ops = true;
    } else if (arg == "--dir") {
      options.folder = value();
    } else {
      Usage();
      std::exit(arg == "--help" ? 0 : 2);
    }
  }
  if (options.rounds < 1 || options.warmup < 0) {
    Usage();
    std::exit(2);
  }
  return options;
}

Setup MakeSetup(const Options& options) {
  Setup setup;
  std::string here = ExecutableDir();
  setup.child = FullPath(options.child.empty() ? here + "bench_child.exe" : options.child);
  if (!Exists(setup.child)) Fail("missing", setup.child);
  if (options.folder.empty()) {
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) Fail("GetTempPathA", "temporary folder");
    setup.folder = std::string(temp, length) + "jobbench-" + std::to_string(GetCurrentProcessId());
  } else {
    setup.folder = FullPath(options.folder);
  }
  if (!CreateDirectoryA(setup.folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    Fail("CreateDirectoryA", setup.folder);
  }
  if (setup.folder.back() != '\\') setup.folder += '\\';
  setup.recordPath = setup.folder + "job.rec";
  setup.flagPath = setup.folder + "job.flag";

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  setup.inheritStd = options.inheritStd;
  setup.nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          &inherit, OPEN_EXISTING, 0, nullptr);
  if (setup.nul == INVALID_HANDLE_VALUE) Fail("CreateFileA", "NUL");

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  setup.ticksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;
  return setup;
}

// --- The platform operations of a job, one at a time --------------------
//
// Process starts are too noisy to show a few calls more or less, so --ops
// times each operation the agent or the floor makes inside this process:
// every round runs each operation once, in turn, and each is timed on its
// own, so a slow patch of the machine hits all of them alike. Medians.

struct Operation {
  const char* name;
  std::function<void()> body;
  std::vector<double> microseconds;
};

HANDLE OpenRecord(const Setup& setup, DWORD access, DWORD disposition) {
  HANDLE file = CreateFileA(setup.recordPath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail("open", setup.recordPath);
  return file;
}

void StoreRecord(const Setup& setup, const JobRecord& record, DWORD disposition, bool setEnd) {
  HANDLE file = OpenRecord(setup, GENERIC_WRITE, disposition);
  DWORD written = 0;
  WriteFile(file, &record, sizeof record, &written, nullptr);
  if (setEnd) SetEndOfFile(file);
  CloseHandle(file);
}

int RunOps(const Setup& setup, int rounds) {
  JobRecord record = MakeRecord(setup, false);
  WriteBytes(setup.recordPath, &record, sizeof record);
  WriteBytes(setup.flagPath, nullptr, 0);
  const std::string deletable = setup.folder + "gone.flag";

  enum {
    kLoad,
    kStoreExisting,
    kStoreTruncate,
    kStoreSetEnd,
    kSearch,
    kProbe,
    kDelete,
    kLine,
    kStdSlot,
    kEnvironment,
    kGccProbe,
    kCount
  };
  std::vector<Operation> ops(kCount);
  ops[kLoad] = {"load: open, read 1058, close",
                [&] {
                  HANDLE file = OpenRecord(setup, GENERIC_READ, OPEN_EXISTING);
                  DWORD got = 0;
                  ReadFile(file, &record, sizeof record, &got, nullptr);
                  CloseHandle(file);
                },
                {}};
  ops[kStoreExisting] = {"store: open existing, write, close",
                         [&] { StoreRecord(setup, record, OPEN_EXISTING, false); },
                         {}};
  ops[kStoreTruncate] = {"store: create always, write, close",
                         [&] { StoreRecord(setup, record, CREATE_ALWAYS, false); },
                         {}};
  ops[kStoreSetEnd] = {"store: open always, write, set end, close",
                       [&] { StoreRecord(setup, record, OPEN_ALWAYS, true); },
                       {}};
  ops[kSearch] = {"flag check: FindFirstFileA + FindClose",
                  [&] {
                    WIN32_FIND_DATAA data;
                    HANDLE found = FindFirstFileA(setup.flagPath.c_str(), &data);
                    if (found != INVALID_HANDLE_VALUE) FindClose(found);
                  },
                  {}};
  ops[kProbe] = {"flag or program probe: GetFileAttributesA",
                 [&] { (void)GetFileAttributesA(setup.flagPath.c_str()); },
                 {}};
  ops[kDelete] = {"flag: create, close, DeleteFileA",
                  [&] {
                    HANDLE file = CreateFileA(deletable.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
                    CloseHandle(file);
                    DeleteFileA(deletable.c_str());
                  },
                  {}};
  ops[kLine] = {"banner line: WriteFile to NUL",
                [&] {
                  DWORD written = 0;
                  WriteFile(setup.nul, "Korvane NT Agent\r\n", 18, &written, nullptr);
                },
                {}};
  ops[kStdSlot] = {"standard slot: GetStdHandle + GetFileType",
                   [&] { (void)GetFileType(GetStdHandle(STD_ERROR_HANDLE)); },
                   {}};
  ops[kEnvironment] = {"environment: GetEnvironmentStrings + free",
                       [&] {
                         char* block = GetEnvironmentStringsA();
                         FreeEnvironmentStringsA(block);
                       },
                       {}};
  ops[kGccProbe] = {"C runtime start-up: GetModuleHandleA(libgcc)",
                    [&] { (void)GetModuleHandleA("libgcc_s_dw2-1.dll"); },
                    {}};

  for (int round = 0; round < rounds; ++round) {
    for (Operation& op : ops) {
      double start = NowTicks();
      op.body();
      op.microseconds.push_back((NowTicks() - start) / setup.ticksPerMs * 1000.0);
    }
  }
  std::vector<double> us(kCount);
  std::printf("%-48s %10s %10s   (%d rounds)\n", "operation", "median us", "p10 us", rounds);
  for (std::size_t i = 0; i < ops.size(); ++i) {
    std::vector<double> sorted = ops[i].microseconds;
    std::sort(sorted.begin(), sorted.end());
    us[i] = Percentile(sorted, 0.5);
    std::printf("%-48s %10.1f %10.1f\n", ops[i].name, us[i], Percentile(sorted, 0.1));
  }

  // What ntagent does for a job beyond the floor, from its call sequence:
  // two stores that also set the end of file, the flag check, the program
  // probe, the four banner lines and the three standard slots.
  double setEnd = us[kStoreSetEnd] - us[kStoreExisting];
  double extra =
      2 * setEnd + us[kSearch] + us[kProbe] + 4 * us[kLine] + 3 * us[kStdSlot] + us[kEnvironment];
  std::printf("\nntagent's platform work beyond the floor, per job: %.0f us\n", extra);
  std::printf("  end of file set by each store    2 x %7.1f\n", setEnd);
  std::printf("  flag check                           %7.1f\n", us[kSearch]);
  std::printf("  program probe                        %7.1f\n", us[kProbe]);
  std::printf("  banner, written line by line     4 x %7.1f\n", us[kLine]);
  std::printf("  standard slots                   3 x %7.1f\n", us[kStdSlot]);
  std::printf("  environment block                    %7.1f\n", us[kEnvironment]);
  std::printf("a flag check by GetFileAttributesA instead: %+.1f us\n", us[kProbe] - us[kSearch]);
  std::printf("a truncating store instead of setting the end: %+.1f us per store\n",
              us[kStoreTruncate] - us[kStoreSetEnd]);
  std::printf("the C runtime start-up's look-up of libgcc (floor_crt pays it): %.1f us\n",
              us[kGccProbe]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = ParseOptions(argc, argv);
  std::vector<Scenario> scenarios = {
      {'A', Kind::kBare, nullptr, "bare start of the child", false, {}, {}},
      {'B', Kind::kJob, "ntagent.exe", "job through ntagent", false, {}, {}},
      {'C', Kind::kShellJob, "ntagent.exe", "shell job through ntagent", false, {}, {}},
      {'D', Kind::kCmd, nullptr, "cmd /c child", false, {}, {}},
      {'E', Kind::kJob, "floor_agent.exe", "job through the floor agent", false, {}, {}},
      {'F', Kind::kJob, "floor_crt.exe", "floor with the C runtime start-up", true, {}, {}},
  };
  std::string here = ExecutableDir();
  std::vector<Scenario*> active;
  for (Scenario& scenario : scenarios) {
    if (!options.only.empty() && options.only.find(scenario.letter) == std::string::npos) continue;
    if (scenario.program != nullptr) {
      const std::string& chosen = options.programs[scenario.letter - 'A'];
      scenario.path = FullPath(chosen.empty() ? here + scenario.program : chosen);
      if (!Exists(scenario.path)) {
        if (scenario.optional && options.only.empty()) continue;
        Fail("missing", scenario.path);
      }
    }
    active.push_back(&scenario);
  }
  if (active.empty()) Fail("no scenario selected", options.only);

  // The job folder is made only once every program has been found.
  Setup setup = MakeSetup(options);
  if (options.ops) {
    int result = RunOps(setup, std::max(options.rounds, 200));
    DeleteFileA(setup.recordPath.c_str());
    DeleteFileA(setup.flagPath.c_str());
    if (options.folder.empty()) RemoveDirectoryA(setup.folder.c_str());
    return result;
  }

  std::printf("jobbench: %d rounds (+%d warm-up), order %s, child standard handles %s\n",
              options.rounds, options.warmup, options.rotate ? "rotating" : "fixed",
              options.inheritStd ? "inherited" : "NUL");
  std::printf("  child  %s\n  jobs   %s\n", setup.child.c_str(), setup.folder.c_str());
  for (Scenario* scenario : active) {
    if (scenario->kind == Kind::kJob) {
      std::printf("  %c      %s\n", scenario->letter, scenario->path.c_str());
    }
  }
  std::printf("\n");
  std::fflush(stdout);

  std::size_t count = active.size();
  for (int round = -options.warmup; round < options.rounds; ++round) {
    std::size_t shift = options.rotate && round > 0 ? static_cast<std::size_t>(round) % count : 0;
    for (std::size_t k = 0; k < count; ++k) {
      Scenario& scenario = *active[(k + shift) % count];
      double ms = RunScenario(setup, scenario);
      if (round >= 0) scenario.times.push_back(ms);
    }
    if (options.raw && round >= 0) {
      std::printf("round %3d:", round);
      for (Scenario* scenario : active)
        std::printf("  %c %7.2f", scenario->letter, scenario->times.back());
      std::printf("\n");
    }
  }

  std::printf("%-40s %4s %8s %8s %8s %8s %8s %8s   (ms)\n", "scenario", "n", "median", "p10", "p25",
              "p75", "p90", "min");
  for (Scenario* scenario : active) {
    std::vector<double> sorted = scenario->times;
    std::sort(sorted.begin(), sorted.end());
    std::printf("%c %-38s %4zu %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f\n", scenario->letter,
                scenario->title, sorted.size(), Percentile(sorted, 0.5), Percentile(sorted, 0.1),
                Percentile(sorted, 0.25), Percentile(sorted, 0.75), Percentile(sorted, 0.9),
                sorted.front());
  }

  auto times = [&](char letter) -> const std::vector<double>& {
    return scenarios[static_cast<std::size_t>(letter - 'A')].times;
  };
  std::printf("\nratio  of medians  median per round  90%% bootstrap interval  of p10s\n");
  const char* pairs[][2] = {{"B/E", "BE"}, {"C/B", "CB"}, {"B/A", "BA"},
                            {"D/A", "DA"}, {"E/A", "EA"}, {"F/E", "FE"}};
  for (const auto& pair : pairs) {
    const std::vector<double>& top = times(pair[1][0]);
    const std::vector<double>& bottom = times(pair[1][1]);
    if (!top.empty() && !bottom.empty()) PrintRatio(pair[0], top, bottom);
  }

  DeleteFileA(setup.recordPath.c_str());
  DeleteFileA(setup.flagPath.c_str());
  if (options.folder.empty()) RemoveDirectoryA(setup.folder.c_str());
  CloseHandle(setup.nul);
  return 0;
}
