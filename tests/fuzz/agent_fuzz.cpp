// libFuzzer target: the input is a scenario (see agent_scenario.h); each run
// sets up a fresh simulated machine, runs the agent to its exit and checks
// the run. A broken rule aborts with the rule, the exit code and the call log.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "agent_scenario.h"

namespace {

constexpr std::size_t kMaxInput = 8192;

void Report(const agent_scenario::Outcome& outcome) {
  std::fprintf(stderr, "exit code %u\n", outcome.exitCode);
  for (const std::string& rule : outcome.broken) std::fprintf(stderr, "BROKEN: %s\n", rule.c_str());
  std::fprintf(stderr, "calls:\n%s", agent_scenario::DescribeCalls().c_str());
  std::fprintf(stderr, "standard error:\n%s\n", sim::StderrText().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInput) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const agent_scenario::Scenario scenario = agent_scenario::Parse(text);
  const agent_scenario::Outcome outcome = agent_scenario::RunScenario(scenario);
  if (!outcome.broken.empty()) {
    Report(outcome);
    std::abort();
  }
  // AGENT_FUZZ_VERBOSE=1 shows what each input did (for one input at a time).
  if (outcome.ran && std::getenv("AGENT_FUZZ_VERBOSE") != nullptr) Report(outcome);
  sim::Reset();
  return 0;
}
