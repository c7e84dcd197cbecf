// The file-slot block every program the agent starts receives in its
// start-up information, read back by the probe from its own.
#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

// "flag,handle,type" of one slot as the probe reports it.
struct Slot {
  std::string flag;
  std::string handle;
  std::string type;
};

Slot SlotOf(const ProbeReport& report, int i) {
  const std::string text = report.Get("slot" + std::to_string(i));
  const std::size_t a = text.find(',');
  const std::size_t b = text.find(',', a == std::string::npos ? a : a + 1);
  if (a == std::string::npos || b == std::string::npos) return Slot{text, "", ""};
  return Slot{text.substr(0, a), text.substr(a + 1, b - a - 1), text.substr(b + 1)};
}

using InheritTest = JobTest;

TEST_F(InheritTest, StandardSlotsDescribeWhatTheAgentWasGiven) {
  WriteJob(ProbeRecord());
  RunOptions options;
  options.input = Input::kClosedPipe;  // standard input a pipe, the others files
  const RunResult run = Run(options);
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  const ProbeReport& probe = run.probes[0];
  EXPECT_EQ(probe.Get("cbReserved2"), "19");
  EXPECT_EQ(probe.Get("block_slots"), "3") << Describe(run.probes);
  const char* flags[3] = {"89", "81", "81"};  // pipe, file, file; all text mode
  const char* types[3] = {"3", "1", "1"};
  for (int i = 0; i < 3; ++i) {
    const Slot slot = SlotOf(probe, i);
    EXPECT_EQ(slot.flag, flags[i]) << "slot " << i;
    // The described handle is the one the program really has.
    EXPECT_EQ(slot.handle, probe.Get("stdhandle" + std::to_string(i))) << "slot " << i;
    EXPECT_EQ(slot.type, types[i]) << "slot " << i;
  }
}

TEST_F(InheritTest, CharacterDeviceInputIsMarkedSo) {
  WriteJob(ProbeRecord());
  const RunResult run = Run();  // standard input is NUL
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  EXPECT_EQ(SlotOf(run.probes[0], 0).flag, "c1") << Describe(run.probes);
}

TEST_F(InheritTest, BlockFromTheAgentsParentIsPassedOn) {
  WriteJob(ProbeRecord());
  RunOptions options;
  options.throughParent = true;
  options.parentOptions = {"--slots", "0x01:stdin,0x01:stdout,0x41:stderr,0x01:file:" + folder_ +
                                          "slot3.txt,0x09:file:" + folder_ + "slot4.txt"};
  const RunResult run = Run(options);
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  const ProbeReport& probe = run.probes[0];
  EXPECT_EQ(probe.Get("cbReserved2"), "29");
  ASSERT_EQ(probe.Get("block_slots"), "5") << Describe(run.probes);
  // Standard slots gain text mode; the others arrive as the parent wrote them.
  const char* flags[5] = {"81", "81", "c1", "1", "9"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(SlotOf(probe, i).flag, flags[i]) << "slot " << i;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(SlotOf(probe, i).handle, probe.Get("stdhandle" + std::to_string(i))) << "slot " << i;
  }
  // The parent's file handles reach the program still open.
  EXPECT_EQ(SlotOf(probe, 3).type, "1");
  EXPECT_EQ(SlotOf(probe, 4).type, "1");
  EXPECT_NE(SlotOf(probe, 3).handle, SlotOf(probe, 4).handle);
}

TEST_F(InheritTest, NoStandardHandlesGiveAnEmptyBlock) {
  WriteJob(ProbeRecord());
  RunOptions options;
  options.throughParent = true;
  options.parentOptions = {"--stdin", "none", "--stdout", "none", "--stderr", "none"};
  const RunResult run = Run(options);
  EXPECT_EQ(run.outcome.agentExitCode, 0U);
  ASSERT_EQ(run.probes.size(), 1U) << Describe(run.probes);
  EXPECT_EQ(run.probes[0].Get("cbReserved2"), "4") << Describe(run.probes);
  EXPECT_EQ(run.probes[0].Get("reserved2"), "00000000");
}

}  // namespace
}  // namespace e2e
