// Whole runs: the handle-inheritance block the started program receives, as
// built from the agent's standard handles and the block its own parent gave.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "agent_run.h"

namespace agent_test {
namespace {

constexpr std::uint32_t kClosed = 0xFFFFFFFFU;

std::string U32(std::uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

std::uint32_t ReadU32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return value;
}

struct Slot {
  std::uint8_t flags;
  std::uint32_t handle;
};

// A block in the layout a parent passes: count, flag bytes, handles.
std::string Block(const std::vector<Slot>& slots, std::uint32_t count) {
  std::string bytes = U32(count);
  for (const Slot& slot : slots) bytes += static_cast<char>(slot.flags);
  for (const Slot& slot : slots) bytes += U32(slot.handle);
  return bytes;
}
std::string Block(const std::vector<Slot>& slots) {
  return Block(slots, static_cast<std::uint32_t>(slots.size()));
}

// "N: flag/handle ..." in hex, or what is wrong with the bytes.
std::string Describe(const std::string& block) {
  if (block.size() < 4) return "short block of " + std::to_string(block.size()) + " bytes";
  std::uint32_t count = ReadU32(block, 0);
  if (block.size() != 4 + 5 * static_cast<std::size_t>(count))
    return "block of " + std::to_string(block.size()) + " bytes with N=" + std::to_string(count);
  std::string text = std::to_string(count) + ":";
  char item[32];
  for (std::uint32_t i = 0; i < count; ++i) {
    std::snprintf(item, sizeof item, " %02x/%x", static_cast<unsigned char>(block[4 + i]),
                  ReadU32(block, 4 + count + 4 * i));
    text += item;
  }
  return text;
}
std::string Describe(const std::vector<Slot>& slots) {
  return Describe(Block(slots));
}

// The block the first started program received.
std::string ChildBlock() {
  const std::vector<sim::Launch>& launches = sim::Launches();
  if (launches.empty()) return "no program started";
  const sim::Launch& launch = launches[0];
  if (!launch.reserved2) return "no block, cbReserved2 " + std::to_string(launch.cbReserved2);
  if (launch.reserved2->size() != launch.cbReserved2) return "length mismatch";
  return Describe(*launch.reserved2);
}

class InheritanceTest : public AgentRunTest {
 protected:
  void SetUp() override {
    AgentRunTest::SetUp();
    sim::AddProgram("C:\\AGENT\\prog.exe", 3);
  }

  // Runs an ordinary job that must succeed.
  void RunOk() {
    EXPECT_EQ(RunJob(Job{}), 0U);
    EXPECT_EQ(+StoredRecord()->lExitCode, 3);
    ASSERT_EQ(sim::Launches().size(), 1U);
  }
};

TEST_F(InheritanceTest, StandardHandlesDescribeTheFirstSlots) {
  using sim::Stream;
  const struct {
    const char* name;
    Stream in, out, err;
    std::string expected;
    nt::u16 length;
  } cases[] = {
      {"all console", Stream::Console, Stream::Console, Stream::Console, "3: c1/3 c1/7 c1/b", 19},
      {"input a pipe, error a file", Stream::Pipe, Stream::Console, Stream::File,
       "3: 89/3 c1/7 81/b", 19},
      {"input a file, output a pipe", Stream::File, Stream::Pipe, Stream::Console,
       "3: 81/3 89/7 c1/b", 19},
      {"no valid standard handle", Stream::Invalid, Stream::Null, Stream::Invalid, "0:", 4},
      {"only output", Stream::Null, Stream::Console, Stream::Invalid, "2: 00/ffffffff c1/7", 14},
      {"only error", Stream::Invalid, Stream::Invalid, Stream::Pipe,
       "3: 00/ffffffff 00/ffffffff 89/b", 19},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::SetStdin(sim::Input{c.in, "", false, 0});
    sim::SetStdout(sim::Output{c.out, "", 0});
    sim::SetStderr(sim::Output{c.err, "", 0});
    RunOk();
    EXPECT_EQ(ChildBlock(), c.expected);
    EXPECT_EQ(sim::Launches()[0].cbReserved2, c.length);
  }
}

TEST_F(InheritanceTest, UnknownFileTypeIsOpenInTextModeOnly) {
  sim::FailCall(sim::Op::GetFileType, 2, nt::kErrorInvalidHandle);
  RunOk();
  EXPECT_EQ(ChildBlock(), "3: c1/3 81/7 c1/b");
}

std::vector<Slot> ManySlots(std::uint32_t count, const std::function<bool(std::uint32_t)>& open) {
  std::vector<Slot> slots;
  for (std::uint32_t i = 0; i < count; ++i) {
    bool isOpen = i < 3 || open(i);
    slots.push_back(
        Slot{static_cast<std::uint8_t>(isOpen ? 0x01 : 0x00), isOpen ? 0x1000 + i : kClosed});
  }
  return slots;
}

// What the child sees of `parent`: the first 64 slots, the standard ones in
// text mode, cut after the highest open one.
std::string Passed(std::vector<Slot> parent) {
  if (parent.size() > 64) parent.resize(64);
  for (std::size_t i = 0; i < 3 && i < parent.size(); ++i) parent[i].flags |= 0x80;
  while (!parent.empty() && parent.back().flags == 0) parent.pop_back();
  return Describe(parent);
}

TEST_F(InheritanceTest, ParentBlockReachesTheChild) {
  const std::vector<Slot> seventy = ManySlots(70, [](std::uint32_t i) { return i != 10; });
  const std::vector<Slot> onlyBeyond = ManySlots(70, [](std::uint32_t i) { return i >= 64; });
  const struct {
    const char* name;
    std::string block;
    std::string expected;
  } cases[] = {
      {"five slots",
       Block({{0x01, 0x10}, {0x09, 0x14}, {0x41, 0x18}, {0x01, 0x200}, {0x21, 0x204}}),
       "5: 81/10 89/14 c1/18 01/200 21/204"},
      {"a standard slot closed in the block is asked of the platform",
       Block({{0x01, 0x10}, {0x00, kClosed}, {0x41, 0x18}, {0x01, 0x200}, {0x21, 0x204}}),
       "5: 81/10 c1/7 c1/18 01/200 21/204"},
      {"closed slots below the highest open one",
       Block({{0x01, 0x10},
              {0x41, 0x14},
              {0x41, 0x18},
              {0x00, kClosed},
              {0x00, kClosed},
              {0x09, 0x300}}),
       "6: 81/10 c1/14 c1/18 00/ffffffff 00/ffffffff 09/300"},
      {"closed slots after the highest open one are left out",
       Block({{0x01, 0x10},
              {0x41, 0x14},
              {0x41, 0x18},
              {0x01, 0x200},
              {0x00, kClosed},
              {0x00, kClosed}}),
       "4: 81/10 c1/14 c1/18 01/200"},
      {"a block longer than its slots need", Block({{0x01, 0x10}, {0x41, 0x14}}, 2) + "pad",
       "3: 81/10 c1/14 c1/b"},
      {"more than 64 slots", Block(seventy), Passed(seventy)},
      {"open slots beyond 64 are dropped", Block(onlyBeyond), "3: 81/1000 81/1001 81/1002"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::SetStartupBlock(c.block);
    RunOk();
    EXPECT_EQ(ChildBlock(), c.expected);
  }
}

TEST_F(InheritanceTest, MalformedParentBlockIsIgnored) {
  const struct {
    const char* name;
    std::string block;
  } cases[] = {
      {"empty", ""},
      {"shorter than its count field", std::string("\x01\x00", 2)},
      {"no slots", U32(0)},
      {"count beyond its own length", Block({{0x01, 0x10}, {0x01, 0x14}, {0x01, 0x18}}, 5)},
      {"count one past its length", Block({{0x01, 0x10}, {0x01, 0x14}, {0x01, 0x18}}, 4)},
      {"count of all ones", U32(0xFFFFFFFFU) + "abcd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::SetStderr(sim::Output{sim::Stream::File, "", 0});
    sim::SetStartupBlock(c.block);
    RunOk();
    EXPECT_EQ(ChildBlock(), "3: c1/3 c1/7 81/b");
  }
}

TEST_F(InheritanceTest, RecordFileSlotIsFreeAgainAtTheLaunch) {
  // Slot 3 is the only free slot below the parent's open slot 4: the record
  // file is opened into it twice before the launch.
  sim::SetStartupBlock(
      Block({{0x01, 0x3}, {0x41, 0x7}, {0x41, 0xB}, {0x00, kClosed}, {0x01, 0x204}}));
  RunOk();
  EXPECT_EQ(ChildBlock(), "5: 81/3 c1/7 c1/b 00/ffffffff 01/204");
  int opensBeforeLaunch = 0;
  for (const sim::Call& call : sim::CallsOf({sim::Op::CreateFileA, sim::Op::CreateProcessA})) {
    if (call.op == sim::Op::CreateProcessA) break;
    ++opensBeforeLaunch;
  }
  EXPECT_EQ(opensBeforeLaunch, 2);
}

TEST_F(InheritanceTest, BlockIsReleasedRightAfterTheStartWhateverItsResult) {
  const struct {
    const char* name;
    nt::u32 startError;
  } cases[] = {{"started", 0}, {"start failed", nt::kErrorAccessDenied}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (c.startError != 0) sim::FailCall(sim::Op::CreateProcessA, 1, c.startError);
    RunJob(Job{});
    std::vector<sim::Call> calls =
        sim::CallsOf({sim::Op::HeapAlloc, sim::Op::HeapFree, sim::Op::CreateProcessA,
                      sim::Op::WaitForSingleObject});
    std::size_t start = 0;
    while (start < calls.size() && calls[start].op != sim::Op::CreateProcessA) ++start;
    ASSERT_LT(start + 1, calls.size());
    ASSERT_GE(start, 1U);
    EXPECT_EQ(calls[start - 1], (sim::Call{sim::Op::HeapAlloc, "19"}));
    EXPECT_EQ(calls[start + 1], (sim::Call{sim::Op::HeapFree, "19"}));
  }
}

TEST_F(InheritanceTest, ProgramStartsWithoutABlockWhenItCannotBeTaken) {
  // Find which allocation is the block's in an ordinary run, then fail it.
  RunOk();
  int blockAllocation = 0;
  int allocations = 0;
  for (const sim::Call& call : sim::CallsOf({sim::Op::HeapAlloc, sim::Op::CreateProcessA})) {
    if (call.op == sim::Op::CreateProcessA) break;
    ++allocations;
    if (call.arg == "19") blockAllocation = allocations;
  }
  ASSERT_GT(blockAllocation, 0);

  SetUp();
  sim::FailCall(sim::Op::HeapAlloc, blockAllocation, nt::kErrorNotEnoughMemory);
  RunOk();
  EXPECT_EQ(ChildBlock(), "no block, cbReserved2 0");
  EXPECT_EQ(+StoredRecord()->lErrorCode, 0);
  EXPECT_FALSE(sim::Exists(kFlagPath));
}

TEST_F(InheritanceTest, EndOfFileCharacterReadAtAPromptIsPassedOn) {
  sim::SetStdin(sim::Input{sim::Stream::Console, "\x1A\r\n", true, 0});
  EXPECT_EQ(RunJob(Job{}, "1"), 0U);
  EXPECT_EQ(ChildBlock(), "3: c3/3 c1/7 c1/b");
}

}  // namespace
}  // namespace agent_test
