// Shared pieces of the end-to-end tests: where the programs are, a fixture
// with a fresh job folder per test, running the real agent the way a host
// does, and reading back what the probe reported.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/job_host.h"

namespace e2e {

// Paths of the programs under test, as Windows paths. Set from the command
// line (--agent=, --probe=, --parent=, --badformat=); each defaults to the
// file of that name beside the test program.
struct Programs {
  std::string agent;
  std::string probe;
  std::string parent;
  std::string badformat;
  std::string wdxrun;
  // A file naming the drive letter that the test set-up mapped to a folder
  // of its own (--second-drive-file=).
  std::string secondDriveFile;
};
const Programs& Paths();
// Reads the options above from argv and removes them; call after
// InitGoogleTest. A Unix path (/...) is taken as the Z: drive wine maps to /.
void InitPaths(int* argc, char** argv);

// A Unix-style /path as the Windows path wine gives it; others unchanged.
std::string WindowsPath(const std::string& path);

// The banner's first two lines; the third, the credits, is free text.
inline constexpr const char* kBannerHead = "Korvane NT Agent\r\nVersion 1.0\r\n";
// Splits console text into the banner (head, credits line, blank line) and
// what follows; false when the text does not begin with a whole banner.
bool SplitBanner(const std::string& text, std::string* rest);

// One block of the probe's report.
struct ProbeReport {
  std::map<std::string, std::string> fields;
  std::vector<std::string> lines;  // in order, for messages
  bool Has(const std::string& key) const { return fields.count(key) != 0; }
  std::string Get(const std::string& key) const;
};
std::vector<ProbeReport> ReadProbeReports(const std::string& path);
std::string Describe(const std::vector<ProbeReport>& reports);

// Bytes as lower-case hex, and back.
std::string ToHex(const std::string& bytes);
std::string FromHex(const std::string& hex);

// The ways a test feeds the agent's standard input.
enum class Input {
  kNul,         // the NUL device: at end at once
  kClosedPipe,  // a pipe holding `stdinText`, writer closed
  kHeldPipe,    // a pipe the test writes to while the agent runs
  kFile,        // a file holding `stdinText`
  kUnreadable,  // a file opened for writing only: every read fails
};

// Where the agent's standard error goes; either way it ends in stderrText.
enum class ErrorOutput {
  kFile,
  kPipe,  // drained by a reader thread while the agent runs
};

struct RunOptions {
  std::vector<std::string> extraArguments;  // after the record path
  bool useRawArguments = false;
  std::string rawArguments;
  Input input = Input::kNul;
  std::string stdinText;
  ErrorOutput errorOutput = ErrorOutput::kFile;
  // Variables set for the agent (and so for the probe) over this process's
  // environment: name=value. A name given with an empty value and no '='
  // removes the variable ("PATH" alone removes every case spelling of PATH).
  std::vector<std::string> environment;
  // Replace the environment outright by `environment` (plus what wine needs).
  bool exactEnvironment = false;
  std::string currentDirectory;
  std::vector<unsigned char> reserved2;
  // Start the agent through the parent fixture with these options first.
  bool throughParent = false;
  std::vector<std::string> parentOptions;
  // Watch the job folder for the order of changes while the agent runs.
  bool watchFolder = false;
};

struct RunResult {
  host::JobOutcome outcome;
  std::string stderrText;
  std::string stdoutText;
  std::vector<ProbeReport> probes;
  // Ordered changes seen in the job folder while the agent ran, each
  // "added:", "removed:" or "modified:" and the file name.
  std::vector<std::string> folderEvents;
};

// A fresh folder per test with the usual job file names.
class JobTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A record that runs the probe with `args`, its flag file this folder's.
  JobRecord ProbeRecord(const std::string& args = std::string()) const;
  // Writes the record file and, when asked, the flag file.
  void WriteJob(const JobRecord& record, bool withFlag = true);
  void WriteRecordBytes(const std::string& bytes);
  // Runs the agent on record_ and collects its outcome.
  RunResult Run(const RunOptions& options = RunOptions());
  // Copies the probe to `path` (any name, e.g. x.com).
  void CopyProbe(const std::string& path) const;
  void MakeDir(const std::string& path) const;
  std::string ReadFile(const std::string& path) const;

  // The environment the agent gets: this process's, with the probe told where
  // to report, and `extra` applied.
  std::vector<std::string> AgentEnvironment(const std::vector<std::string>& extra,
                                            bool exact) const;

  std::string folder_;  // with trailing '\'
  std::string record_;
  std::string flag_;
  std::string probeOut_;
  std::string stderr_;
  std::string stdout_;
  std::string probeExit_ = "0";  // NTPROBE_EXIT for the probe
  std::string probeEnv_;         // NTPROBE_ENV
  std::string probeFile_;        // NTPROBE_FILE
  // With Input::kHeldPipe, called once the agent has started, with the write
  // end of its standard input and its process; the write end is closed after.
  std::function<void(HANDLE input, HANDLE agentProcess)> onStarted_;
};

// Names a parameterised case by its `name` member.
struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& p) const {
    return p.param.name;
  }
};

// Field-by-field view of a record, for failure messages.
std::string DescribeRecord(const JobRecord& record);

}  // namespace e2e
