// The host side of a job: what a program that hands work to ntagent does.
// It writes the record, creates the flag file, starts the agent on the record
// path, waits until the agent has ended and the flag file is gone, and reads
// the outcome back. wdxrun and the end-to-end tests share it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "job/job_record.h"

namespace host {

// --- Windows argument quoting -------------------------------------------
//
// QuoteArgument gives a text that the usual command-line splitting rules
// (blanks and tabs separate; double quotes group; 2n backslashes before a
// quote give n and the quote groups, 2n+1 give n and a literal quote) turn
// back into exactly `arg`. Texts without blanks, tabs or quotes stay as they
// are; an empty text becomes "".
std::string QuoteArgument(const std::string& arg);
// As QuoteArgument, but always inside double quotes.
std::string QuoteAlways(const std::string& arg);
// The arguments quoted and joined with single blanks.
std::string JoinArguments(const std::vector<std::string>& args);

// --- Files ---------------------------------------------------------------

bool WriteWholeFile(const std::string& path, const void* data, std::size_t size);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
bool ReadWholeFile(const std::string& path, std::string* bytes);
bool PathExists(const std::string& path);
// An empty flag file; false when it cannot be created.
bool CreateFlagFile(const std::string& path);
// The directory that holds this program's executable, with a trailing '\'.
std::string ExecutableDir();
// A new, empty, uniquely named folder under the user's temporary directory,
// with a trailing '\'; empty on failure.
std::string MakeTempFolder(const std::string& prefix);
// Deletes the files directly inside `folder` and then the folder itself.
void RemoveFolder(const std::string& folder);

// --- The record ----------------------------------------------------------

// Copies `text` into a record field; false when it does not fit with its
// terminator (the field is then left terminated and cut).
bool SetField(char* field, std::size_t width, const std::string& text);
template <std::size_t N>
bool SetField(char (&field)[N], const std::string& text) {
  return SetField(field, N, text);
}

// A zero-filled record with signature and version set.
JobRecord NewRecord();
std::string RecordBytes(const JobRecord& record);
bool RecordFromBytes(const std::string& bytes, JobRecord* record);

// --- Starting the agent --------------------------------------------------

// How the agent's standard handles are chosen.
enum class StdKind {
  kInherit,  // whatever this process has (no STARTF_USESTDHANDLES from us)
  kHandle,   // the given inheritable handle
};

struct AgentLaunch {
  std::string agentPath;
  // The agent's command line after its own (quoted) path. When `rawArguments`
  // is set, it is used as written; otherwise the quoted record path followed
  // by each of `extraArguments`, quoted.
  bool useRawArguments = false;
  std::string rawArguments;
  std::string recordPath;
  std::vector<std::string> extraArguments;

  // Standard handles. With kHandle for any of them, all three are passed
  // through STARTF_USESTDHANDLES (kInherit ones as this process's own).
  StdKind stdKind = StdKind::kInherit;
  HANDLE stdInput = nullptr;
  HANDLE stdOutput = nullptr;
  HANDLE stdError = nullptr;

  // Environment: when `useEnvironment` is set, exactly these name=value texts
  // (in this order); otherwise this process's environment is inherited.
  bool useEnvironment = false;
  std::vector<std::string> environment;

  // Current directory of the agent; empty for this process's own.
  std::string currentDirectory;

  // The reserved start-up pair handed to the agent; empty for none.
  std::vector<unsigned char> reserved2;

  DWORD creationFlags = 0;
};

// The quoted command line AgentLaunch describes.
std::string AgentCommandLine(const AgentLaunch& launch);
// Builds an environment block from name=value texts.
std::string EnvironmentBlock(const std::vector<std::string>& entries);
// This process's environment as name=value texts, in order.
std::vector<std::string> CurrentEnvironment();

// Starts the agent. On failure returns false and leaves GetLastError's code
// in `error`.
bool StartAgent(const AgentLaunch& launch, PROCESS_INFORMATION* process, DWORD* error);

struct JobOutcome {
  bool agentStarted = false;  // CreateProcessA succeeded
  DWORD startError = 0;       // GetLastError when it did not
  DWORD agentExitCode = 0;
  bool flagDeleted = false;  // the flag file was gone when the agent had ended
  // The record file exactly as it was when the flag file was first seen gone,
  // and as it was once the agent had ended.
  bool snapshotTaken = false;
  std::string recordAtFlagGone;
  std::string recordAtEnd;
  bool recordReadable = false;
  JobRecord record{};  // from recordAtEnd when it holds a whole record
};

// Starts the agent, polls the flag file until it is gone or the agent has
// ended, and reads the record back. `flagPath` may be empty when the job has
// no flag file to watch (the record is still read). `onStarted`, when given,
// is called with the agent's process handle once it has started, before the
// wait begins.
JobOutcome RunAgent(const AgentLaunch& launch, const std::string& flagPath,
                    const std::function<void(HANDLE)>& onStarted = nullptr);

// --- Describing an outcome ----------------------------------------------

// The words wdxrun prints for an outcome and the exit code it ends with:
// the program's exit code when it ran; 127 not found; 126 found but not
// started; 125 the agent itself failed.
struct OutcomeReport {
  std::string line;
  std::uint32_t exitCode = 125;
};
OutcomeReport DescribeOutcome(const JobOutcome& outcome);

}  // namespace host
