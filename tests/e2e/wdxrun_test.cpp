// wdxrun, the command-line host: the arguments it quotes reach the program
// unchanged, and each kind of outcome gives its line and exit code.
#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

struct WdxRun {
  std::uint32_t exitCode = 0;
  std::string out;
};

class WdxrunTest : public JobTest {
 protected:
  WdxRun Wdxrun(const std::vector<std::string>& args) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(stdout_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err = CreateFileA(stderr_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    host::AgentLaunch launch;
    launch.agentPath = Paths().wdxrun;
    launch.useRawArguments = true;
    launch.rawArguments = host::JoinArguments(args);
    launch.stdKind = host::StdKind::kHandle;
    launch.stdInput = in;
    launch.stdOutput = out;
    launch.stdError = err;
    launch.useEnvironment = true;
    launch.environment = AgentEnvironment({}, false);
    const host::JobOutcome outcome = host::RunAgent(launch, std::string());
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    EXPECT_TRUE(outcome.agentStarted) << "cannot start " << Paths().wdxrun;
    WdxRun result;
    result.exitCode = outcome.agentExitCode;
    result.out = ReadFile(stdout_);
    return result;
  }
};

TEST_F(WdxrunTest, ArgumentsReachTheProgramAsGiven) {
  const std::vector<std::string> args = {"plain", "two words", "quo\"te",   "trail\\",
                                         "",      "back\\\"q", "tab\there", "a\\\\b"};
  std::vector<std::string> command = {"--agent", Paths().agent, "--", Paths().probe};
  command.insert(command.end(), args.begin(), args.end());
  probeExit_ = "3";
  const WdxRun run = Wdxrun(command);
  EXPECT_EQ(run.exitCode, 3U);
  EXPECT_EQ(run.out, "ran: exit code 3\r\n");
  const std::vector<ProbeReport> probes = ReadProbeReports(probeOut_);
  ASSERT_EQ(probes.size(), 1U);
  ASSERT_EQ(probes[0].Get("argc"), std::to_string(args.size() + 1)) << Describe(probes);
  for (std::size_t i = 0; i < args.size(); ++i) {
    EXPECT_EQ(probes[0].Get("argv" + std::to_string(i + 1)), args[i]) << "argument " << i;
  }
}

struct OutcomeCase {
  const char* name;
  std::vector<std::string> command;  // "<agent>", "<probe>", "<bad>" stand for those
  const char* probeExit;
  std::uint32_t exitCode;
  std::string line;
};

class WdxrunOutcomeTest : public WdxrunTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(WdxrunOutcomeTest, PrintsTheOutcomeAndExitsWithItsCode) {
  std::vector<std::string> command;
  for (const std::string& arg : GetParam().command) {
    command.push_back(arg == "<agent>"   ? Paths().agent
                      : arg == "<probe>" ? Paths().probe
                      : arg == "<bad>"   ? Paths().badformat
                                         : arg);
  }
  probeExit_ = GetParam().probeExit;
  const WdxRun run = Wdxrun(command);
  EXPECT_EQ(run.exitCode, GetParam().exitCode);
  EXPECT_EQ(run.out, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Wdxrun, WdxrunOutcomeTest,
    ::testing::Values(
        OutcomeCase{
            "Ran", {"--agent", "<agent>", "--", "<probe>"}, "42", 42, "ran: exit code 42\r\n"},
        OutcomeCase{"RanAllBitsSet",
                    {"--agent", "<agent>", "--", "<probe>"},
                    "-1",
                    0xFFFFFFFFU,
                    "ran: exit code -1\r\n"},
        OutcomeCase{"NotFound",
                    {"--agent", "<agent>", "--", "ntagent-e2e-no-such-program"},
                    "0",
                    127,
                    "launch failed: program not found (status 0x01010001)\r\n"},
        OutcomeCase{"BadFormat",
                    {"--agent", "<agent>", "--", "<bad>"},
                    "0",
                    126,
                    "launch failed: not an executable the system can run (status 0x01040001)\r\n"},
        OutcomeCase{"WorkDirMissing",
                    {"--agent", "<agent>", "--dir", "C:\\ntagent-e2e-no-such-dir", "--", "<probe>"},
                    "0",
                    125,
                    "agent failed: working directory could not be entered or left (exit code 516, "
                    "status 0x000000F2)\r\n"},
        OutcomeCase{"NoAgent",
                    {"--agent", "C:\\ntagent-e2e-no-agent.exe", "--", "<probe>"},
                    "0",
                    125,
                    "agent failed: could not be started (error 2)\r\n"},
        OutcomeCase{"NoProgram", {"--agent", "<agent>", "--"}, "0", 125, ""},
        OutcomeCase{
            "UnknownOption", {"--agent", "<agent>", "--bogus", "--", "<probe>"}, "0", 125, ""}),
    CaseName());

}  // namespace
}  // namespace e2e
