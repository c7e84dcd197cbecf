// wdxrun: run one program through ntagent, the way a host would.
//
//   wdxrun [--shell] [--dir DIR] [--debug] [--agent PATH] -- PROGRAM [ARG ...]
//
// Writes a job record into a fresh temporary folder, creates the flag file,
// starts the agent (by default the ntagent.exe beside this program) with this
// console, waits until the flag file is gone, and prints the outcome on
// standard output. Exits with the program's exit code when it ran; otherwise
// 127 when the program was not found, 126 when it was found but could not be
// started, and 125 when the agent itself failed or wdxrun was misused.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/job_host.h"

namespace {

constexpr UINT kExitMisuse = 125;

void Usage(const char* problem) {
  std::fprintf(stderr, "wdxrun: %s\n", problem);
  std::fprintf(stderr,
               "usage: wdxrun [--shell] [--dir DIR] [--debug] [--agent PATH] -- PROGRAM [ARG "
               "...]\n");
}

struct Options {
  bool shell = false;
  bool debug = false;
  std::string dir;
  std::string agent;
  std::string program;
  std::vector<std::string> args;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg == "--shell") {
      options->shell = true;
    } else if (arg == "--debug") {
      options->debug = true;
    } else if (arg == "--dir" || arg == "--agent") {
      if (i + 1 >= argc) {
        Usage((arg + " needs a value").c_str());
        return false;
      }
      (arg == "--dir" ? options->dir : options->agent) = argv[++i];
    } else {
      Usage(("unknown option " + arg + " (put the program after --)").c_str());
      return false;
    }
  }
  if (i >= argc) {
    Usage("no program given");
    return false;
  }
  options->program = argv[i++];
  for (; i < argc; ++i) options->args.emplace_back(argv[i]);
  return true;
}

bool FillRecord(const Options& options, const std::string& flagPath, JobRecord* record) {
  *record = host::NewRecord();
  const std::string argText = host::JoinArguments(options.args);
  struct Field {
    char* field;
    std::size_t width;
    const std::string& text;
    const char* what;
  };
  const Field fields[] = {
      {record->szFlagFile, sizeof record->szFlagFile, flagPath, "flag file path"},
      {record->szExecProg, sizeof record->szExecProg, options.program, "program"},
      {record->szArgs, sizeof record->szArgs, argText, "argument text"},
      {record->szWorkDir, sizeof record->szWorkDir, options.dir, "working directory"},
  };
  for (const Field& f : fields) {
    if (!host::SetField(f.field, f.width, f.text)) {
      std::fprintf(stderr, "wdxrun: the %s is %u characters; a record holds at most %u\n", f.what,
                   static_cast<unsigned>(f.text.size()), static_cast<unsigned>(f.width - 1));
      return false;
    }
  }
  record->bUseShell = options.shell ? 1 : 0;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) return kExitMisuse;
  if (options.agent.empty()) options.agent = host::ExecutableDir() + "ntagent.exe";

  const std::string folder = host::MakeTempFolder("wdx");
  if (folder.empty()) {
    std::fprintf(stderr, "wdxrun: cannot make a temporary folder (error %lu)\n", GetLastError());
    return kExitMisuse;
  }
  const std::string recordPath = folder + "job.rec";
  const std::string flagPath = folder + "job.flg";

  JobRecord record;
  if (!FillRecord(options, flagPath, &record)) {
    host::RemoveFolder(folder);
    return kExitMisuse;
  }
  if (!host::WriteWholeFile(recordPath, &record, sizeof record) ||
      !host::CreateFlagFile(flagPath)) {
    std::fprintf(stderr, "wdxrun: cannot write the job files in %s (error %lu)\n", folder.c_str(),
                 GetLastError());
    host::RemoveFolder(folder);
    return kExitMisuse;
  }

  host::AgentLaunch launch;
  launch.agentPath = options.agent;
  launch.recordPath = recordPath;
  if (options.debug) launch.extraArguments.emplace_back("1");

  std::fflush(stdout);
  const host::JobOutcome outcome = host::RunAgent(launch, flagPath);
  const host::OutcomeReport report = host::DescribeOutcome(outcome);
  std::printf("%s\n", report.line.c_str());
  std::fflush(stdout);

  host::RemoveFolder(folder);
  ExitProcess(report.exitCode);
}
