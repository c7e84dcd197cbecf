// Every platform call of a successful job, failed in turn with each NT error
// that matters, and every write cut short: each run must still keep the
// record, the flag file and the exit code consistent (the checks the fuzz
// target uses, in tests/fuzz/agent_scenario.h).
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "../fuzz/agent_scenario.h"

namespace fault_matrix {
namespace {

using agent_scenario::CutWrite;
using agent_scenario::FaultPlan;
using agent_scenario::Outcome;
using agent_scenario::Scenario;

// The probe in the agent's directory and in a work directory, the command
// interpreter, and a few lines of standard input for the prompts.
constexpr const char* kMachine =
    "fp C:\\AGENT\\prog.exe\n"
    "fp C:\\WORK\\prog.exe\n"
    "fp C:\\WINDOWS\\cmd.exe\n"
    "eCOMSPEC=C:\\WINDOWS\\cmd.exe\n"
    "ePATH=C:\\BIN;C:\\WINDOWS\n"
    "x3\n"
    "iabc\n"
    "i\n";

struct Job {
  const char* name;
  const char* lines;
};

const Job kJobs[] = {
    {"plain", "Aa b\n"},
    {"shell mode", "U1\nAa b\n"},
    {"working directory", "WC:\\WORK\nAa b\n"},
    {"debug mode", "a11\nWC:\\WORK\nAa b\n"},
};

// Error codes worth failing a call with: not found, path not found, access
// denied, no memory, sharing violation, disk full, bad image, not ready, and
// one the error mapping does not name.
const nt::u32 kErrors[] = {2, 3, 5, 8, 32, 112, 193, 21, 1234};
const nt::u32 kCutSizes[] = {0, 1, 1050, 1057};

bool CanFail(sim::Op op) {
  switch (op) {
    case sim::Op::GetLastError:
    case sim::Op::FreeEnvironmentBlock:
    case sim::Op::GetCommandLineA:
    case sim::Op::GetStartupInfoA:
    case sim::Op::HeapFree:
    case sim::Op::ExitProcess:
      return false;
    default:
      return true;
  }
}

std::string Describe(const Outcome& outcome) {
  std::ostringstream out;
  out << "exit code " << outcome.exitCode << "\n";
  for (const std::string& rule : outcome.broken) out << "  " << rule << "\n";
  return out.str();
}

TEST(FaultMatrixTest, EveryCallOfASuccessfulJobFailsSafely) {
  int runs = 0;
  for (const Job& job : kJobs) {
    SCOPED_TRACE(job.name);
    const Scenario clean = agent_scenario::Parse(std::string(kMachine) + job.lines);
    const Outcome baseline = agent_scenario::RunScenario(clean);
    ASSERT_TRUE(baseline.ran);
    ASSERT_EQ(baseline.exitCode, 0U) << Describe(baseline) << agent_scenario::DescribeCalls();
    ASSERT_TRUE(baseline.broken.empty()) << Describe(baseline);
    const std::vector<sim::Call> sequence = sim::Calls();

    std::vector<int> seen(static_cast<std::size_t>(sim::Op::ExitProcess) + 1, 0);
    for (const sim::Call& call : sequence) {
      const int nth = ++seen[static_cast<std::size_t>(call.op)];
      if (!CanFail(call.op)) continue;
      for (nt::u32 error : kErrors) {
        Scenario faulty = clean;
        faulty.faults.push_back(FaultPlan{call.op, nth, error, false});
        const Outcome outcome = agent_scenario::RunScenario(faulty);
        ++runs;
        EXPECT_TRUE(outcome.ran);
        EXPECT_TRUE(outcome.broken.empty())
            << call << " #" << nth << " failing with " << error << ": " << Describe(outcome);
      }
      if (call.op != sim::Op::WriteFile) continue;
      for (nt::u32 accepted : kCutSizes) {
        Scenario cut = clean;
        cut.shortWrites.push_back(CutWrite{nth, accepted});
        const Outcome outcome = agent_scenario::RunScenario(cut);
        ++runs;
        EXPECT_TRUE(outcome.broken.empty())
            << call << " #" << nth << " taking " << accepted << " bytes: " << Describe(outcome);
      }
    }
  }
  std::cout << "[ fault matrix ] " << runs << " runs\n";
  ::testing::Test::RecordProperty("runs", runs);
  sim::Reset();
}

// Cases the fuzz target found. A host may name the record and the flag file
// relative to the directory it starts the agent in; a job that fails after
// the agent entered its working directory must still report to those files.
class FuzzFindingTest : public ::testing::Test {
 protected:
  void TearDown() override { sim::Reset(); }

  static std::int32_t StoredStatus() {
    auto bytes = sim::ReadFile(agent_scenario::kRecordPath);
    if (!bytes || bytes->size() != sizeof(JobRecord)) return -1;
    JobRecord record;
    std::memcpy(&record, bytes->data(), sizeof record);
    return record.lErrorCode;
  }
};

TEST_F(FuzzFindingTest, RelativeRecordPathGetsTheOutcomeOfALaunchFailedInTheWorkDir) {
  // Started in C:\AGENT with ..\JOBS\job.rec; the program is not found in
  // C:\WORK\SUB, where ..\JOBS\job.rec names no file.
  const Outcome outcome = agent_scenario::RunScenario(
      agent_scenario::Parse("a40\nfd C:\\WORK\\SUB\nWC:\\WORK\\SUB\nPnothere\n"));
  EXPECT_EQ(outcome.exitCode, 1U);
  EXPECT_EQ(StoredStatus(), PackStatusWord(AGENT_ERR_LAUNCH, LAUNCH_ERR_NOT_FOUND));
  EXPECT_TRUE(outcome.broken.empty()) << Describe(outcome);
}

TEST_F(FuzzFindingTest, RelativeFlagPathIsDeletedAfterALaunchFailedInTheWorkDir) {
  // Started in C:\JOBS with the flag file named job.flg.
  const Outcome outcome = agent_scenario::RunScenario(
      agent_scenario::Parse("cC:\\JOBS\nFjob.flg\nfd C:\\WORK\nWC:\\WORK\nPnothere\n"));
  EXPECT_EQ(outcome.exitCode, 1U);
  EXPECT_FALSE(sim::Exists(agent_scenario::kFlagPath));
  EXPECT_TRUE(outcome.broken.empty()) << Describe(outcome);
}

}  // namespace
}  // namespace fault_matrix
