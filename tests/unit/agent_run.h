// Whole runs of the agent against the simulated NT: a job record builder and
// a runner that catches the process exit.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "agent/run.h"
#include "job/job_record.h"
#include "sim.h"

namespace agent_test {

inline constexpr const char* kJobDir = "C:\\JOBS";
inline constexpr const char* kRecordPath = "C:\\JOBS\\job.rec";
inline constexpr const char* kFlagPath = "C:\\JOBS\\job.flg";
inline constexpr const char* kAgentDir = "C:\\AGENT";

// A job as a host writes it.
struct Job {
  std::string sig = "!WDX";
  std::string ver = "1.0";
  std::string flagFile = kFlagPath;
  std::string execProg = "prog";
  std::string args;
  std::string workDir;
  std::int32_t useShell = 0;
  std::int32_t errorCode = 0x1234;
  std::int32_t exitCode = 0x55;
};

template <std::size_t N>
void PutText(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), text.size() < N ? text.size() : N);
}

inline std::string RecordBytes(const Job& job) {
  JobRecord record;
  PutText(record.szSig, job.sig);
  PutText(record.szVer, job.ver);
  PutText(record.szFlagFile, job.flagFile);
  PutText(record.szExecProg, job.execProg);
  PutText(record.szArgs, job.args);
  PutText(record.szWorkDir, job.workDir);
  record.bUseShell = job.useShell;
  record.lErrorCode = job.errorCode;
  record.lExitCode = job.exitCode;
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

// The record file as it now stands, read as a JobRecord (nullopt when the
// file is missing or not exactly one record long).
inline std::optional<JobRecord> StoredRecord() {
  std::optional<std::string> bytes = sim::ReadFile(kRecordPath);
  if (!bytes || bytes->size() != sizeof(JobRecord)) return std::nullopt;
  JobRecord record;
  std::memcpy(&record, bytes->data(), sizeof record);
  return record;
}

// Runs the agent process to its end; returns its exit code.
inline nt::u32 RunAgentProcess() {
  try {
    ProcessEntry();
  } catch (const sim::ProcessExit& exit) {
    return exit.code;
  }
  ADD_FAILURE() << "the agent returned without ending the process";
  return 0xDEADBEEF;
}

// A fresh machine with the agent in C:\AGENT, the job folder, the record and
// the flag file, a program C:\AGENT\prog.exe and the command line
// "ntagent.exe C:\JOBS\job.rec" (plus `extraArgs`).
class AgentRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::AddDir(kAgentDir);
    sim::AddDir(kJobDir);
    sim::SetCurrentDir(kAgentDir);
    sim::SetEnvironment({"PATH=C:\\BIN", "COMSPEC=C:\\WINDOWS\\cmd.exe"});
    sim::AddDir("C:\\BIN");
    sim::AddDir("C:\\WINDOWS");
    sim::AddProgram("C:\\WINDOWS\\cmd.exe", 0);
    sim::SetCommandLine(std::string("ntagent.exe ") + kRecordPath);
  }

  void WriteJob(const Job& job) { sim::AddFile(kRecordPath, RecordBytes(job)); }
  void CreateFlag() { sim::AddFile(kFlagPath, ""); }

  // Writes the job and the flag file and runs the agent.
  nt::u32 RunJob(const Job& job, const std::string& extraArgs = "") {
    WriteJob(job);
    CreateFlag();
    if (!extraArgs.empty())
      sim::SetCommandLine(std::string("ntagent.exe ") + kRecordPath + " " + extraArgs);
    return RunAgentProcess();
  }
};

}  // namespace agent_test
