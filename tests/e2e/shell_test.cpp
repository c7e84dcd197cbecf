// Jobs run through the command interpreter named by COMSPEC: what the
// interpreter receives, its limits, and wine's own cmd.exe doing real work.
#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

constexpr std::int32_t kNotFound = PackStatusWord(AGENT_ERR_LAUNCH, LAUNCH_ERR_NOT_FOUND);
constexpr std::int32_t kTooLong = PackStatusWord(AGENT_ERR_LAUNCH, LAUNCH_ERR_TOO_LONG);

std::string SystemCmd() {
  char dir[MAX_PATH];
  const UINT n = GetSystemDirectoryA(dir, MAX_PATH);
  return std::string(dir, n) + "\\cmd.exe";
}

// With the probe standing in for the interpreter, its command line is
// exactly what the interpreter would get.
struct ComposeCase {
  const char* name;
  std::int32_t shellFlag;
  std::string program;
  std::string args;
  std::int32_t status;  // 0: runs and receives "/c program args"
};

class ShellComposeTest : public JobTest, public ::testing::WithParamInterface<ComposeCase> {};

TEST_P(ShellComposeTest, InterpreterReceivesOneSlashCCommand) {
  const ComposeCase& c = GetParam();
  JobRecord record = ProbeRecord(c.args);
  host::SetField(record.szExecProg, c.program);
  record.bUseShell = c.shellFlag;
  WriteJob(record);
  probeExit_ = "6";
  RunOptions options;
  options.environment = {"COMSPEC=" + Paths().probe};
  const RunResult run = Run(options);

  EXPECT_TRUE(run.outcome.flagDeleted);
  if (c.status != 0) {
    EXPECT_EQ(run.outcome.agentExitCode, 1U);
    EXPECT_EQ(run.outcome.record.lErrorCode, c.status);
    EXPECT_EQ(run.outcome.record.lExitCode, 0);
    EXPECT_TRUE(run.probes.empty()) << Describe(run.probes);
    return;
  }
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  EXPECT_EQ(run.outcome.record.lErrorCode, AGENT_OK);
  EXPECT_EQ(run.outcome.record.lExitCode, 6);
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  EXPECT_EQ(run.probes[0].Get("cmdline"), Paths().probe + " /c " + c.program + " " + c.args);
}

// "/c " + program + " " + arguments: 4 + 124 + 127 = 255 characters fit.
INSTANTIATE_TEST_SUITE_P(
    Shell, ShellComposeTest,
    ::testing::Values(
        ComposeCase{"ProgramAndArguments", 1, "dir", "/w", 0},
        ComposeCase{"EmptyArgumentsKeepTrailingBlank", 1, "dir", "", 0},
        ComposeCase{"FlagTwo", 2, "dir", "/w", 0}, ComposeCase{"FlagMinusOne", -1, "dir", "/w", 0},
        ComposeCase{"Arguments127", 1, "x", std::string(127, 'a'), 0},
        ComposeCase{"Arguments128", 1, "x", std::string(128, 'a'), kTooLong},
        ComposeCase{"Composed255", 1, std::string(124, 'p'), std::string(127, 'a'), 0},
        ComposeCase{"Composed256", 1, std::string(125, 'p'), std::string(127, 'a'), kTooLong},
        // The blank before empty arguments counts: 3 + 252 + 1 = 256.
        ComposeCase{"LongProgramEmptyArguments", 1, std::string(252, 'p'), "", kTooLong}),
    CaseName());

TEST_F(JobTest, ShellWithoutComspecIsNotFoundAndNothingRuns) {
  JobRecord record = ProbeRecord(std::string(200, 'a'));  // the lookup comes first
  record.bUseShell = 1;
  WriteJob(record);
  RunOptions options;
  options.environment = {"COMSPEC"};
  const RunResult run = Run(options);
  EXPECT_EQ(run.outcome.agentExitCode, 1U);
  EXPECT_EQ(run.outcome.record.lErrorCode, kNotFound);
  EXPECT_TRUE(run.probes.empty()) << Describe(run.probes);
  EXPECT_TRUE(run.outcome.flagDeleted);
}

TEST_F(JobTest, ComspecSpelledInAnyCase) {
  JobRecord record = ProbeRecord("x");
  host::SetField(record.szExecProg, "prog");
  record.bUseShell = 1;
  WriteJob(record);
  RunOptions options;
  options.environment = {"comSpec=" + Paths().probe};
  const RunResult run = Run(options);
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  EXPECT_EQ(run.probes[0].Get("cmdline"), Paths().probe + " /c prog x");
}

TEST_F(JobTest, LongArgumentsWithoutShellGoStraightToTheProgram) {
  const std::string args(200, 'a');
  JobRecord record = ProbeRecord(args);
  WriteJob(record);
  RunOptions options;
  options.environment = {"COMSPEC"};
  const RunResult run = Run(options);
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  EXPECT_EQ(run.probes[0].Get("cmdline"), Paths().probe + " " + args);
}

// --- wine's cmd.exe ------------------------------------------------------

struct CmdCase {
  const char* name;
  std::string program;  // "<f>" stands for the job folder
  std::string args;
  std::int32_t exitCode;
  std::string outputFile;  // relative to the job folder; empty: none
  std::string output;
};

class ShellCmdTest : public JobTest, public ::testing::WithParamInterface<CmdCase> {
 protected:
  std::string Expand(std::string text) const {
    for (std::size_t at; (at = text.find("<f>")) != std::string::npos;) {
      text.replace(at, 3, folder_);
    }
    return text;
  }
};

TEST_P(ShellCmdTest, RunsThroughTheInterpreter) {
  const CmdCase& c = GetParam();
  ASSERT_TRUE(host::WriteWholeFile(
      folder_ + "four.bat", "@echo off\r\necho bat got %1>\"%~dp0bat.txt\"\r\nexit /b 4\r\n"));
  JobRecord record = ProbeRecord(Expand(c.args));
  host::SetField(record.szExecProg, Expand(c.program));
  record.bUseShell = 1;
  WriteJob(record);
  RunOptions options;
  options.environment = {"COMSPEC=" + SystemCmd()};
  const RunResult run = Run(options);
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  EXPECT_EQ(run.outcome.record.lErrorCode, AGENT_OK);
  EXPECT_EQ(run.outcome.record.lExitCode, c.exitCode);
  if (!c.outputFile.empty()) {
    EXPECT_EQ(ReadFile(folder_ + c.outputFile), c.output);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shell, ShellCmdTest,
    ::testing::Values(CmdCase{"BatchFile", "<f>four.bat", "hello", 4, "bat.txt",
                              "bat got hello\r\n"},
                      CmdCase{"BuiltInEcho", "echo", "shell-said-hi><f>echo.txt", 0, "echo.txt",
                              "shell-said-hi\r\n"},
                      CmdCase{"ExitCodeOfInterpreter", "exit", "/b 4", 4, "", ""}),
    CaseName());

}  // namespace
}  // namespace e2e
