// Whole runs of an ordinary job: outcome, record, flag file and their order.
#include "agent_run.h"

namespace agent_test {
namespace {

class SpineTest : public AgentRunTest {};

TEST_F(SpineTest, SuccessfulJobStoresOutcomeBeforeDeletingFlag) {
  sim::AddProgram("C:\\AGENT\\prog.exe", 3);
  Job job;
  job.args = "a b";
  EXPECT_EQ(RunJob(job), 0U);
  auto record = StoredRecord();
  ASSERT_TRUE(record);
  EXPECT_EQ(+record->lErrorCode, 0);
  EXPECT_EQ(+record->lExitCode, 3);
  // Every other byte is as the host wrote it.
  std::string expected = RecordBytes(job);
  std::string stored = *sim::ReadFile(kRecordPath);
  EXPECT_EQ(stored.substr(0, 1050), expected.substr(0, 1050));
  EXPECT_FALSE(sim::Exists(kFlagPath));
  ASSERT_EQ(sim::Launches().size(), 1U);
  EXPECT_EQ(sim::Launches()[0].applicationName, ".\\prog.exe");
  EXPECT_EQ(sim::Launches()[0].commandLine, "prog a b");
  EXPECT_TRUE(sim::Launches()[0].inheritHandles);
  EXPECT_EQ(sim::Launches()[0].creationFlags, 0U);
  EXPECT_EQ(sim::Launches()[0].startupCb, 68U);

  // One read, two writes, one search, one deletion; last write before delete.
  auto calls = sim::CallsOf({sim::Op::CreateFileA, sim::Op::FindFirstFileA,
                             sim::Op::CreateProcessA, sim::Op::DeleteFileA});
  ASSERT_EQ(calls.size(), 6U);
  EXPECT_EQ(calls[0].op, sim::Op::CreateFileA);
  EXPECT_EQ(calls[1].op, sim::Op::CreateFileA);
  EXPECT_EQ(calls[2].op, sim::Op::FindFirstFileA);
  EXPECT_EQ(calls[3].op, sim::Op::CreateProcessA);
  EXPECT_EQ(calls[4].op, sim::Op::CreateFileA);
  EXPECT_EQ(calls[5].op, sim::Op::DeleteFileA);
  EXPECT_EQ(sim::OpenHandleCount(), 0);
}

TEST_F(SpineTest, BannerAndNoArguments) {
  sim::SetCommandLine("ntagent.exe");
  WriteJob(Job{});
  CreateFlag();
  std::string before = *sim::ReadFile(kRecordPath);
  EXPECT_EQ(RunAgentProcess(), 241U);
  EXPECT_EQ(sim::StderrText(),
            "Korvane NT Agent\r\nVersion 1.0\r\n"
            "Runs one job for its host and reports the outcome.\r\n\r\n"
            "This program should not be run from the command line.\r\n");
  EXPECT_EQ(*sim::ReadFile(kRecordPath), before);
  EXPECT_TRUE(sim::Exists(kFlagPath));
  EXPECT_EQ(sim::CallCount(sim::Op::CreateFileA), 0);
  EXPECT_EQ(sim::CallCount(sim::Op::DeleteFileA), 0);
}

TEST_F(SpineTest, ExitCodeAllOnesIsAnOutcomeNotAFailure) {
  sim::AddProgram("C:\\AGENT\\prog.exe", 0xFFFFFFFFU);
  EXPECT_EQ(RunJob(Job{}), 0U);
  EXPECT_EQ(+StoredRecord()->lErrorCode, 0);
  EXPECT_EQ(+StoredRecord()->lExitCode, -1);
  EXPECT_EQ(sim::Launches().size(), 1U);
}

TEST_F(SpineTest, ExitCodeAllOnesUnderNetworkPathIsNotStartedTwice) {
  sim::AddDir("\\\\srv\\share\\bin");
  sim::AddDir("C:\\BIN2");
  sim::AddProgram("\\\\srv\\share\\bin\\prog.exe", 0xFFFFFFFFU);
  sim::AddProgram("C:\\BIN2\\prog.exe", 5);
  sim::SetEnvironment({"PATH=\\\\srv\\share\\bin;C:\\BIN2"});
  EXPECT_EQ(RunJob(Job{}), 0U);
  EXPECT_EQ(sim::Launches().size(), 1U);
  EXPECT_EQ(+StoredRecord()->lExitCode, -1);
}

struct ValidationCase {
  const char* name;
  std::string sig;
  std::string ver;
  nt::u32 exitCode;
  std::int32_t storedError;
  const char* message;
};

TEST_F(SpineTest, ValidationFailuresPromptAndEnd) {
  const ValidationCase cases[] = {
      {"lower-case signature", "!wdx", "1.0", 517, AGENT_STARTED,
       "Korvane Agent error #517 : Incorrect Signature.\r\n"},
      {"both wrong", "WDX!", "2.0", 517, AGENT_STARTED,
       "Korvane Agent error #517 : Incorrect Signature.\r\n"},
      {"version 1.00", "!WDX", "1.00", 241, 241, "Korvane Agent error #241 : Version Mismatch.\r\n"},
      {"version with blank", "!WDX", "1.0 ", 241, 241,
       "Korvane Agent error #241 : Version Mismatch.\r\n"},
      {"signature fills its field", std::string(11, 'S'), "1.0", 517, AGENT_STARTED,
       "Korvane Agent error #517 : Incorrect Signature.\r\n"},
      {"version fills its field", "!WDX", "1.0" + std::string(8, '0'), 241, 241,
       "Korvane Agent error #241 : Version Mismatch.\r\n"},
  };
  for (const ValidationCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::SetStdin(sim::Input{sim::Stream::Pipe, "xy", false, 0});
    sim::AddProgram("C:\\AGENT\\prog.exe", 0);
    Job job;
    job.sig = c.sig;
    job.ver = c.ver;
    EXPECT_EQ(RunJob(job), c.exitCode);
    auto record = StoredRecord();
    ASSERT_TRUE(record);
    EXPECT_EQ(+record->lErrorCode, c.storedError);
    EXPECT_EQ(+record->lExitCode, c.storedError == 241 ? 0 : 0x55);
    EXPECT_FALSE(sim::Exists(kFlagPath));
    EXPECT_TRUE(sim::Launches().empty());
    std::string tail = std::string(c.message) + "Press return to terminate...\r\n";
    const std::string& text = sim::StderrText();
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // The prompt waited on standard input, even without debug mode.
    EXPECT_EQ(sim::CallsOf({sim::Op::ReadFile}).back(), (sim::Call{sim::Op::ReadFile, "stdin"}));
  }
}

TEST_F(SpineTest, MissingFlagFile) {
  sim::AddProgram("C:\\AGENT\\prog.exe", 0);
  WriteJob(Job{});
  EXPECT_EQ(RunAgentProcess(), 515U);
  EXPECT_EQ(+StoredRecord()->lErrorCode, AGENT_STARTED);
  EXPECT_TRUE(sim::Launches().empty());
}

TEST_F(SpineTest, FlagFileChecks) {
  const struct {
    const char* name;
    std::string flagFile;
    nt::u32 exitCode;
  } cases[] = {
      {"empty flag path", "", 515},
      {"unterminated flag path", std::string(256, 'F'), 515},
      {"a directory passes, its deletion fails", kJobDir, 514},
      {"a wildcard that matches passes, its deletion fails", "C:\\JOBS\\*.rec", 514},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::AddProgram("C:\\AGENT\\prog.exe", 4);
    Job job;
    job.flagFile = c.flagFile;
    WriteJob(job);
    EXPECT_EQ(RunAgentProcess(), c.exitCode);
    if (c.exitCode == 514) {
      // The outcome was stored before the deletion failed.
      EXPECT_EQ(+StoredRecord()->lErrorCode, 0);
      EXPECT_EQ(+StoredRecord()->lExitCode, 4);
      EXPECT_EQ(sim::CallCount(sim::Op::DeleteFileA), 2);
    } else {
      EXPECT_EQ(+StoredRecord()->lErrorCode, AGENT_STARTED);
      EXPECT_TRUE(sim::Launches().empty());
    }
  }
  // An unterminated flag path is never handed to the platform.
  for (const sim::Call& call : sim::Calls()) {
    EXPECT_NE(call.arg, std::string(256, 'F'));
  }
}

TEST_F(SpineTest, LaunchFailuresReachTheRecordAsDetails) {
  const struct {
    const char* name;
    std::function<void(Job&)> setUp;
    std::int32_t status;
  } cases[] = {
      {"not found", [](Job&) {}, 0x01010001},
      {"bad format", [](Job&) { sim::AddFile("C:\\AGENT\\prog.exe", "MZ garbage"); }, 0x01040001},
      {"unterminated program", [](Job& j) { j.execProg = std::string(256, 'p'); }, 0x01030001},
      {"unterminated arguments",
       [](Job& j) {
         sim::AddProgram("C:\\AGENT\\prog.exe", 0);
         j.args = std::string(256, 'a');
       },
       0x01030001},
      {"access denied on start",
       [](Job&) {
         sim::AddProgram("C:\\AGENT\\prog.exe", 0);
         sim::FailCall(sim::Op::CreateProcessA, 1, nt::kErrorAccessDenied);
       },
       0x010F0001},
      {"no memory on start",
       [](Job&) {
         sim::AddProgram("C:\\AGENT\\prog.exe", 0);
         sim::FailCall(sim::Op::CreateProcessA, 1, nt::kErrorNotEnoughMemory);
       },
       0x01020001},
      {"wait fails",
       [](Job&) {
         sim::AddProgram("C:\\AGENT\\prog.exe", 0);
         sim::FailCall(sim::Op::WaitForSingleObject, 1, nt::kErrorInvalidHandle);
       },
       0x010F0001},
      {"exit code unreadable",
       [](Job&) {
         sim::AddProgram("C:\\AGENT\\prog.exe", 0);
         sim::FailCall(sim::Op::GetExitCodeProcess, 1, nt::kErrorAccessDenied);
       },
       0x010F0001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Job job;
    c.setUp(job);
    EXPECT_EQ(RunJob(job), 1U);
    auto record = StoredRecord();
    ASSERT_TRUE(record);
    EXPECT_EQ(+record->lErrorCode, c.status);
    EXPECT_EQ(+record->lExitCode, 0);
    EXPECT_FALSE(sim::Exists(kFlagPath));
    // The job's texts are written back as they were read.
    EXPECT_EQ(sim::ReadFile(kRecordPath)->substr(0, 1050), RecordBytes(job).substr(0, 1050));
    EXPECT_EQ(sim::OpenHandleCount(), 0);
  }
}

}  // namespace
}  // namespace agent_test
