// Debug mode: the job, command and outcome echoed, failures explained, and
// the prompts that hold the job until a person answers.
#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

std::string JobEcho(const JobRecord& r) {
  auto field = [](const char* name, const char* value) {
    return std::string(name) + " = " + value + "\r\n";
  };
  return field("szSig       ", r.szSig) + field("szVer       ", r.szVer) +
         field("szExecProg  ", r.szExecProg) + field("szArgs      ", r.szArgs) +
         field("szWorkDir   ", r.szWorkDir) +
         field("bUseShell   ", std::to_string(r.bUseShell).c_str()) + "press enter...\r\n";
}

std::string CommandEcho(const std::string& program, const std::string& args) {
  return "Program = " + program + "\r\nArgs = " + args + "\r\n";
}

RunOptions Debug(Input input = Input::kNul, const std::string& stdinText = std::string()) {
  RunOptions options;
  options.extraArguments = {"1"};
  options.input = input;
  options.stdinText = stdinText;
  return options;
}

// The console text after the banner, checked to begin with one.
std::string AfterBanner(const std::string& text) {
  std::string rest;
  EXPECT_TRUE(SplitBanner(text, &rest)) << "no banner at the start of [" << text << "]";
  return rest;
}

struct StreamCase {
  const char* name;
  Input input;
  ErrorOutput error;
};

class DebugStreamsTest : public JobTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(DebugStreamsTest, SuccessfulJobEchoesJobCommandAndOutcome) {
  JobRecord record = ProbeRecord("a b");
  WriteJob(record);
  probeExit_ = "3";
  RunOptions options = Debug(GetParam().input, "\n\n");
  options.errorOutput = GetParam().error;
  const RunResult run = Run(options);
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  EXPECT_TRUE(run.outcome.flagDeleted);
  EXPECT_EQ(run.outcome.record.lExitCode, 3);
  EXPECT_EQ(AfterBanner(run.stderrText),
            JobEcho(record) + CommandEcho(Paths().probe, "a b") +
                "After Exec : Error Code = 0, Exit Code = 3.\r\npress enter...\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Debug, DebugStreamsTest,
    ::testing::Values(StreamCase{"PipeInFileErr", Input::kClosedPipe, ErrorOutput::kFile},
                      StreamCase{"PipeInPipeErr", Input::kClosedPipe, ErrorOutput::kPipe},
                      StreamCase{"FileInFileErr", Input::kFile, ErrorOutput::kFile},
                      StreamCase{"FileInPipeErr", Input::kFile, ErrorOutput::kPipe},
                      // At end of input every prompt returns at once.
                      StreamCase{"NulInFileErr", Input::kNul, ErrorOutput::kFile}),
    CaseName());

TEST_F(JobTest, DebugFlagFileStaysUntilTheSecondPromptIsAnswered) {
  WriteJob(ProbeRecord());
  bool probeRan = false;
  bool flagHeld = false;
  bool ended = false;
  onStarted_ = [&](HANDLE input, HANDLE agent) {
    DWORD written = 0;
    WriteFile(input, "\n", 1, &written, nullptr);
    for (int i = 0; i < 200 && !probeRan; ++i) {
      probeRan = ReadFile(probeOut_).find("--- end") != std::string::npos;
      if (!probeRan) Sleep(50);
    }
    flagHeld = WaitForSingleObject(agent, 500) == WAIT_TIMEOUT && host::PathExists(flag_);
    WriteFile(input, "\n", 1, &written, nullptr);
    ended = WaitForSingleObject(agent, 20000) == WAIT_OBJECT_0;
  };
  RunOptions options = Debug(Input::kHeldPipe);
  const RunResult run = Run(options);
  EXPECT_TRUE(probeRan) << "the program did not run after the first prompt";
  EXPECT_TRUE(flagHeld) << "the flag file went before the second prompt was answered";
  EXPECT_TRUE(ended);
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  EXPECT_TRUE(run.outcome.flagDeleted);
}

// The "OS Error" line skips the stream buffer, so in a file it comes first.
struct FailureCase {
  const char* name;
  bool withFlag;
  std::string program;
  std::string osError;
  std::string agentError;
  std::uint32_t exitCode;
};

class DebugFailureTest : public JobTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DebugFailureTest, ExplainsTheFailureAndPrompts) {
  const FailureCase& c = GetParam();
  JobRecord record = ProbeRecord();
  if (!c.program.empty()) host::SetField(record.szExecProg, c.program);
  WriteJob(record, c.withFlag);
  const RunResult run = Run(Debug());
  EXPECT_EQ(run.outcome.agentExitCode, c.exitCode);
  const std::string osLine = "OS Error: " + c.osError + "\r\n";
  ASSERT_EQ(run.stderrText.compare(0, osLine.size(), osLine), 0) << run.stderrText;
  std::string expected = JobEcho(record);
  if (c.withFlag) expected += CommandEcho(record.szExecProg, "");
  expected += "Agent Error : " + c.agentError + "\r\npress enter...\r\n";
  EXPECT_EQ(AfterBanner(run.stderrText.substr(osLine.size())), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Debug, DebugFailureTest,
    ::testing::Values(FailureCase{"NotFound", true, "ntagent-e2e-no-such-program",
                                  "No such file or directory", "#1,101", AGENT_ERR_LAUNCH},
                      FailureCase{"FlagMissing", false, "", "No such file or directory", "#203,2",
                                  AGENT_ERR_FLAG_MISSING}),
    CaseName());

TEST_F(JobTest, DebugNotFoundLeavesRecordAsWithoutDebug) {
  JobRecord record = ProbeRecord();
  host::SetField(record.szExecProg, "ntagent-e2e-no-such-program");
  WriteJob(record);
  const RunResult run = Run(Debug());
  EXPECT_EQ(run.outcome.record.lErrorCode, PackStatusWord(AGENT_ERR_LAUNCH, LAUNCH_ERR_NOT_FOUND));
  EXPECT_EQ(run.outcome.record.lExitCode, 0);
  EXPECT_TRUE(run.outcome.flagDeleted);
}

// Echo prompt, the validation prompt, and the termination prompt: three
// characters, each read on its own.
TEST_F(JobTest, DebugValidationFailurePromptsAfterTheValidationPromptToo) {
  JobRecord record = ProbeRecord();
  host::SetField(record.szSig, "!wdx");
  WriteJob(record);
  bool heldAfterTwo = false;
  bool endedAfterThree = false;
  onStarted_ = [&](HANDLE input, HANDLE agent) {
    DWORD written = 0;
    WriteFile(input, "ab", 2, &written, nullptr);
    heldAfterTwo = WaitForSingleObject(agent, 1500) == WAIT_TIMEOUT;
    WriteFile(input, "c", 1, &written, nullptr);
    endedAfterThree = WaitForSingleObject(agent, 20000) == WAIT_OBJECT_0;
  };
  const RunResult run = Run(Debug(Input::kHeldPipe));
  EXPECT_TRUE(heldAfterTwo) << "fewer than three prompts";
  EXPECT_TRUE(endedAfterThree);
  EXPECT_EQ(run.outcome.agentExitCode, AGENT_ERR_SIGNATURE);
  EXPECT_EQ(AfterBanner(run.stderrText),
            JobEcho(record) +
                "Korvane Agent error #517 : Incorrect Signature.\r\nPress return to "
                "terminate...\r\n" +
                "Agent Error : #205,0\r\npress enter...\r\n");
}

TEST_F(JobTest, DebugUnreadableInputShowsBadFileDescriptor) {
  JobRecord record = ProbeRecord();
  host::SetField(record.szVer, "2.0");
  WriteJob(record);
  const RunResult run = Run(Debug(Input::kUnreadable));
  EXPECT_EQ(run.outcome.agentExitCode, AGENT_ERR_VERSION);
  const std::string osLine = "OS Error: Bad file descriptor\r\n";
  ASSERT_EQ(run.stderrText.compare(0, osLine.size(), osLine), 0) << run.stderrText;
  EXPECT_EQ(AfterBanner(run.stderrText.substr(osLine.size())),
            JobEcho(record) +
                "Korvane Agent error #241 : Version Mismatch.\r\nPress return to "
                "terminate...\r\n" +
                "Agent Error : #F1,0\r\npress enter...\r\n");
}

struct SwitchCase {
  const char* name;
  std::vector<std::string> args;
  bool debug;
};

class DebugSwitchTest : public JobTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(DebugSwitchTest, OnlyASecondArgumentOfExactlyOneSwitchesItOn) {
  JobRecord record = ProbeRecord();
  WriteJob(record);
  RunOptions options;
  options.extraArguments = GetParam().args;
  const RunResult run = Run(options);
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  const std::string rest = AfterBanner(run.stderrText);
  if (GetParam().debug) {
    EXPECT_EQ(rest.compare(0, std::string(JobEcho(record)).size(), JobEcho(record)), 0) << rest;
  } else {
    EXPECT_EQ(rest, "");
  }
}

INSTANTIATE_TEST_SUITE_P(Debug, DebugSwitchTest,
                         ::testing::Values(SwitchCase{"LeadingZero", {"01"}, false},
                                           SwitchCase{"Word", {"true"}, false},
                                           SwitchCase{"BlankBefore", {" 1"}, false},
                                           SwitchCase{"BlankAfter", {"1 "}, false},
                                           SwitchCase{"OneAsThird", {"0", "1"}, false},
                                           SwitchCase{"ThirdIgnored", {"1", "extra"}, true}),
                         CaseName());

}  // namespace
}  // namespace e2e
