// Whole runs with the record file and the flag file under faults: the exit
// code, what the host finds in the record, and whether the flag file went.
#include <functional>
#include <string>

#include "agent_run.h"

namespace agent_test {
namespace {

constexpr const char* kBanner =
    "Korvane NT Agent\r\nVersion 1.0\r\n"
    "Runs one job for its host and reports the outcome.\r\n\r\n";
// The status fields a default Job carries from its host.
constexpr std::int32_t kHostError = 0x1234;
constexpr std::int32_t kHostExit = 0x55;
constexpr nt::u32 kProgramExit = 3;
constexpr std::int32_t kNotFound = 0x01010001;

// One injected fault: a failing call, or a write that takes only `accepted`
// bytes and reports success.
struct Fault {
  sim::Op op;
  nt::u32 error;
  int accepted = -1;
};

void Arm(const Fault& fault, int nth) {
  if (fault.accepted >= 0) {
    sim::ShortWrite(nth, static_cast<nt::u32>(fault.accepted));
  } else {
    sim::FailCall(fault.op, nth, fault.error);
  }
}

int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// The "Agent Error" line of debug mode without its line break; "" when none.
std::string AgentErrorLine() {
  const std::string& text = sim::StderrText();
  std::size_t at = text.find("Agent Error : ");
  if (at == std::string::npos) return "";
  return text.substr(at, text.find("\r\n", at) - at);
}

// The record file is exactly the host's job with these two status fields.
void ExpectRecord(const Job& job, std::int32_t errorCode, std::int32_t exitCode) {
  Job expected = job;
  expected.errorCode = errorCode;
  expected.exitCode = exitCode;
  std::optional<std::string> bytes = sim::ReadFile(kRecordPath);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), sizeof(JobRecord));
  EXPECT_TRUE(*bytes == RecordBytes(expected))
      << "record holds lErrorCode/lExitCode other than " << errorCode << "/" << exitCode
      << " or other bytes changed";
}

// What a run without debug mode may print: its own messages, never the
// failure explanation.
void ExpectNoExplanation() {
  EXPECT_EQ(sim::StderrText().find("OS Error"), std::string::npos) << sim::StderrText();
  EXPECT_EQ(sim::StderrText().find("Agent Error"), std::string::npos) << sim::StderrText();
}

// The number of the call of `op` on the record file made by the given store
// of the run just finished (1: the started marker, 2: the store after it).
// The load's open and close come before the first store's.
int StoreCallNumber(sim::Op op, int store) {
  int occurrence = store + (op == sim::Op::CreateFileA || op == sim::Op::CloseHandle ? 1 : 0);
  int number = 0;
  int seen = 0;
  for (const sim::Call& call : sim::CallsOf({op})) {
    ++number;
    if (call.arg == kRecordPath && ++seen == occurrence) return number;
  }
  ADD_FAILURE() << "no " << op << " on the record for store " << store;
  return 1;
}

class RecordIoTest : public AgentRunTest {
 protected:
  void SetUp() override {
    AgentRunTest::SetUp();
    // Buffered, as under a host that captures standard error: the record
    // stores are then the only writes before the exit.
    sim::SetStderr(sim::Output{sim::Stream::Pipe, "", 0});
    sim::AddProgram("C:\\AGENT\\prog.exe", kProgramExit);
  }

  // A fresh machine holding the job and the flag file.
  void Prepare(const Job& job) {
    SetUp();
    WriteJob(job);
    CreateFlag();
  }

  nt::u32 Run(bool debug, const std::string& recordPath = kRecordPath) {
    sim::SetCommandLine("ntagent.exe " + recordPath + (debug ? " 1" : ""));
    return RunAgentProcess();
  }
};

const bool kModes[] = {false, true};

const char* ModeName(bool debug) {
  return debug ? "debug mode" : "normal mode";
}

TEST_F(RecordIoTest, LoadFailuresTouchNothing) {
  const struct {
    const char* name;
    std::function<void()> arrange;  // after the job and flag are in place
    std::string recordPath;
    const char* agentError;
  } cases[] = {
      {"record missing", [] { sim::RemovePath(kRecordPath); }, kRecordPath, "Agent Error : #201,2"},
      {"record folder missing", [] {}, "C:\\NOPE\\job.rec", "Agent Error : #201,2"},
      {"record path names a folder", [] {}, kJobDir, "Agent Error : #201,D"},
      {"sharing violation on open",
       [] { sim::FailCall(sim::Op::CreateFileA, 1, nt::kErrorSharingViolation); }, kRecordPath,
       "Agent Error : #201,D"},
      {"access denied on open",
       [] { sim::FailCall(sim::Op::CreateFileA, 1, nt::kErrorAccessDenied); }, kRecordPath,
       "Agent Error : #201,D"},
      {"1057 bytes: short, no error number",
       [] { sim::AddFile(kRecordPath, RecordBytes(Job{}).substr(0, 1057)); }, kRecordPath,
       "Agent Error : #201,0"},
      {"empty record file", [] { sim::AddFile(kRecordPath, ""); }, kRecordPath,
       "Agent Error : #201,0"},
      {"read denied", [] { sim::FailCall(sim::Op::ReadFile, 1, nt::kErrorAccessDenied); },
       kRecordPath, "Agent Error : #201,D"},
      {"read fails with an unlisted code",
       [] { sim::FailCall(sim::Op::ReadFile, 1, nt::kErrorHandleEof); }, kRecordPath,
       "Agent Error : #201,16"},
  };
  for (const auto& c : cases) {
    for (bool debug : kModes) {
      SCOPED_TRACE(std::string(c.name) + ", " + ModeName(debug));
      Prepare(Job{});
      c.arrange();
      std::optional<std::string> before = sim::ReadFile(kRecordPath);
      EXPECT_EQ(Run(debug, c.recordPath), 513U);
      // Nothing written or created, the flag file left for the host.
      EXPECT_EQ(sim::ReadFile(kRecordPath), before);
      EXPECT_FALSE(sim::Exists("C:\\NOPE"));
      EXPECT_EQ(sim::CallCount(sim::Op::CreateFileA), 1);
      EXPECT_TRUE(sim::Exists(kFlagPath));
      EXPECT_EQ(sim::CallCount(sim::Op::DeleteFileA), 0);
      EXPECT_TRUE(sim::Launches().empty());
      EXPECT_EQ(sim::OpenHandleCount(), 0);
      if (debug) {
        EXPECT_EQ(AgentErrorLine(), c.agentError);
      } else {
        EXPECT_EQ(sim::StderrText(), kBanner);
      }
    }
  }
}

TEST_F(RecordIoTest, StartedMarkerReplacesHostStatusAndCutsALongerFile) {
  const struct {
    const char* name;
    std::string trailer;  // bytes after the job
  } cases[] = {
      {"one record", ""},
      {"a record and more", std::string(3000, 'T')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Job job;
    job.args = "x";
    sim::AddFile(kRecordPath, RecordBytes(job) + c.trailer);
    CreateFlag();
    std::optional<std::string> whileRunning;
    sim::AddProgram("C:\\AGENT\\prog.exe", [&](const sim::Launch&) {
      whileRunning = sim::ReadFile(kRecordPath);
      return 9U;
    });
    EXPECT_EQ(Run(false), 0U);
    // While the program runs the host sees the started marker, its own exit
    // code value and its own texts, in exactly one record.
    Job started = job;
    started.errorCode = AGENT_STARTED;
    ASSERT_TRUE(whileRunning);
    EXPECT_TRUE(*whileRunning == RecordBytes(started)) << whileRunning->size() << " bytes";
    ExpectRecord(job, AGENT_OK, 9);
    ASSERT_EQ(sim::Launches().size(), 1U);
    EXPECT_EQ(sim::Launches()[0].commandLine, "prog x");
    EXPECT_FALSE(sim::Exists(kFlagPath));
  }
}

// Where a store fault strikes and what the run must then leave behind.
struct Stage {
  const char* name;
  std::function<void(Job&)> makeJob;
  int store;  // which store of the run the fault hits
  nt::u32 exitCode;
  bool flagDeleted;  // the flag path was registered before the fault
  bool launched;
  std::int32_t writtenError, writtenExit;  // the record when the bytes went out
  std::int32_t keptError, keptExit;        // the record when they did not
  std::string agentError;                  // debug mode's line; "" for the fault's own
  bool onlyBanner;                         // without debug mode nothing but the banner is printed
};

struct StoreFault {
  const char* name;
  Fault fault;
  bool bytesWritten;
  const char* agentError;  // when the store fault is what ends the agent
};

TEST_F(RecordIoTest, StoreFaultsNeverWipeTheRecord) {
  const Stage stages[] = {
      {"started marker", [](Job&) {}, 1, 513, false, false, AGENT_STARTED, kHostExit, kHostError,
       kHostExit, "", true},
      {"final store", [](Job&) {}, 2, 513, true, true, AGENT_OK, kProgramExit, AGENT_STARTED,
       kHostExit, "", true},
      // Inside a termination the store fault is ignored.
      {"launch failure's store", [](Job& j) { j.execProg = "absent"; }, 2, 1, true, false,
       kNotFound, 0, AGENT_STARTED, kHostExit, "Agent Error : #1,101", true},
      {"version mismatch's store", [](Job& j) { j.ver = "2.0"; }, 2, 241, true, false,
       AGENT_ERR_VERSION, 0, AGENT_STARTED, kHostExit, "Agent Error : #F1,0", false},
  };
  const StoreFault faults[] = {
      {"open: sharing violation",
       {sim::Op::CreateFileA, nt::kErrorSharingViolation},
       false,
       "Agent Error : #201,D"},
      {"open: access denied",
       {sim::Op::CreateFileA, nt::kErrorAccessDenied},
       false,
       "Agent Error : #201,D"},
      {"write: disk full",
       {sim::Op::WriteFile, nt::kErrorDiskFull},
       false,
       "Agent Error : #201,1C"},
      {"write takes nothing", {sim::Op::WriteFile, 0, 0}, false, "Agent Error : #201,1C"},
      {"write takes part", {sim::Op::WriteFile, 0, 100}, false, "Agent Error : #201,0"},
      {"end of file not set",
       {sim::Op::SetEndOfFile, nt::kErrorAccessDenied},
       true,
       "Agent Error : #201,D"},
      {"close fails", {sim::Op::CloseHandle, nt::kErrorDiskFull}, true, "Agent Error : #201,1C"},
  };
  for (const Stage& stage : stages) {
    for (const StoreFault& f : faults) {
      for (bool debug : kModes) {
        SCOPED_TRACE(std::string(stage.name) + ", " + f.name + ", " + ModeName(debug));
        Job job;
        stage.makeJob(job);
        // A clean run of the same job shows which call the fault must hit.
        Prepare(job);
        Run(debug);
        int nth = StoreCallNumber(f.fault.op, stage.store);
        Prepare(job);
        Arm(f.fault, nth);
        EXPECT_EQ(Run(debug), stage.exitCode);
        EXPECT_EQ(sim::CallsOf({f.fault.op})[static_cast<std::size_t>(nth - 1)].arg, kRecordPath);
        // The store opened the record once and no later store followed.
        EXPECT_EQ(sim::CallCount(sim::Op::CreateFileA), stage.store + 1);
        if (f.bytesWritten) {
          ExpectRecord(job, stage.writtenError, stage.writtenExit);
        } else {
          ExpectRecord(job, stage.keptError, stage.keptExit);
        }
        EXPECT_EQ(sim::Exists(kFlagPath), !stage.flagDeleted);
        EXPECT_EQ(sim::CallCount(sim::Op::DeleteFileA), stage.flagDeleted ? 1 : 0);
        EXPECT_EQ(sim::Launches().size(), stage.launched ? 1U : 0U);
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        if (debug) {
          EXPECT_EQ(AgentErrorLine(), stage.agentError.empty() ? f.agentError : stage.agentError);
          EXPECT_EQ(Occurrences(sim::StderrText(), "Agent Error"), 1);
        } else if (stage.onlyBanner) {
          EXPECT_EQ(sim::StderrText(), kBanner);
        } else {
          ExpectNoExplanation();
        }
      }
    }
  }
}

TEST_F(RecordIoTest, FlagDeletionFailures) {
  const struct {
    const char* name;
    std::function<void(Job&)> arrange;
    nt::u32 exitCode;
    std::int32_t storedError, storedExit;
    int deletions;
    bool flagLeft;
    const char* agentError;  // "" for none
  } cases[] = {
      {"fails once, the termination's retry succeeds",
       [](Job&) { sim::FailCall(sim::Op::DeleteFileA, 1, nt::kErrorSharingViolation); }, 514,
       AGENT_OK, kProgramExit, 2, false, "Agent Error : #202,D"},
      {"read-only flag file: both attempts fail",
       [](Job&) { sim::SetAttributes(kFlagPath, nt::kAttributeReadOnly); }, 514, AGENT_OK,
       kProgramExit, 2, true, "Agent Error : #202,D"},
      {"the host removed it while the program ran",
       [](Job&) {
         sim::AddProgram("C:\\AGENT\\prog.exe", [](const sim::Launch&) {
           sim::RemovePath(kFlagPath);
           return kProgramExit;
         });
       },
       514, AGENT_OK, kProgramExit, 2, false, "Agent Error : #202,2"},
      {"fails with code 0: counts as deleted",
       [](Job&) { sim::FailCall(sim::Op::DeleteFileA, 1, nt::kErrorSuccess); }, 0, AGENT_OK,
       kProgramExit, 1, true, ""},
      // In a termination a failed deletion is ignored and not retried.
      {"launch failure, deletion fails",
       [](Job& j) {
         j.execProg = "absent";
         sim::FailCall(sim::Op::DeleteFileA, 1, nt::kErrorAccessDenied);
       },
       1, kNotFound, 0, 1, true, "Agent Error : #1,101"},
      {"launch failure, deletion fails with code 0",
       [](Job& j) {
         j.execProg = "absent";
         sim::FailCall(sim::Op::DeleteFileA, 1, nt::kErrorSuccess);
       },
       1, kNotFound, 0, 1, true, "Agent Error : #1,101"},
  };
  for (const auto& c : cases) {
    for (bool debug : kModes) {
      SCOPED_TRACE(std::string(c.name) + ", " + ModeName(debug));
      SetUp();
      CreateFlag();
      Job job;
      c.arrange(job);
      WriteJob(job);
      EXPECT_EQ(Run(debug), c.exitCode);
      // The outcome reached the record before any deletion was tried.
      ExpectRecord(job, c.storedError, c.storedExit);
      auto order = sim::CallsOf({sim::Op::CreateFileA, sim::Op::DeleteFileA});
      ASSERT_EQ(order.size(), static_cast<std::size_t>(3 + c.deletions));
      EXPECT_EQ(order[2].op, sim::Op::CreateFileA);
      for (std::size_t i = 3; i < order.size(); ++i)
        EXPECT_EQ(order[i], (sim::Call{sim::Op::DeleteFileA, kFlagPath}));
      EXPECT_EQ(sim::Exists(kFlagPath), c.flagLeft);
      EXPECT_EQ(sim::OpenHandleCount(), 0);
      if (debug) {
        EXPECT_EQ(AgentErrorLine(), c.agentError);
        EXPECT_EQ(Occurrences(sim::StderrText(), "Agent Error"), *c.agentError == '\0' ? 0 : 1);
      } else {
        EXPECT_EQ(sim::StderrText(), kBanner);
      }
    }
  }
}

}  // namespace
}  // namespace agent_test
