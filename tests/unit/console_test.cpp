// The console streams on their own: standard error in text mode, buffered or
// written through, and standard input read one character at a time.
#include "rt/console.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/debug.h"
#include "launch/inheritance.h"
#include "rt/error_number.h"
#include "rt/file_slots.h"
#include "sim.h"

namespace console_test {
namespace {

class ConsoleStreamTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }

  // Takes the standard handles as the agent does at start.
  void Start() {
    FillHandleSlots();
    rt::InitConsole();
    rt::SetErrorNumber(0);
  }

  static int StdinReads() { return static_cast<int>(sim::CallsOf({sim::Op::ReadFile}).size()); }

  static std::vector<int> ReadAll(std::size_t count) {
    std::vector<int> got;
    for (std::size_t i = 0; i < count; ++i) got.push_back(rt::ReadInputChar());
    return got;
  }
};

TEST_F(ConsoleStreamTest, ConsoleGetsEachMessageBufferedStreamsGetThemAtTheEnd) {
  const struct {
    sim::Stream kind;
    std::vector<std::string> beforeFlush;
  } cases[] = {
      {sim::Stream::Console, {"one\r\n", "two 2\r\n\r\n"}},
      {sim::Stream::File, {}},
      {sim::Stream::Pipe, {}},
  };
  for (const auto& c : cases) {
    SetUp();
    sim::SetStderr(sim::Output{c.kind, "", 0});
    Start();
    rt::PrintError("one\n");
    rt::PrintError("two %d\n\n", 2);
    EXPECT_EQ(sim::StderrChunks(), c.beforeFlush);
    rt::FlushConsole();
    EXPECT_EQ(sim::StderrText(), "one\r\ntwo 2\r\n\r\n");
    // Nothing is left to write a second time.
    std::size_t chunks = sim::StderrChunks().size();
    rt::FlushConsole();
    EXPECT_EQ(sim::StderrChunks().size(), chunks);
  }
}

TEST_F(ConsoleStreamTest, FullBufferIsWrittenAtItsSize) {
  sim::SetStderr(sim::Output{sim::Stream::File, "", 0});
  Start();
  const std::string block(1000, 'x');
  for (int i = 0; i < 4; ++i) rt::PrintError("%s", block.c_str());
  // 4095 bytes and the carriage return fill the buffer; the line feed waits.
  rt::PrintError("%s\n", std::string(95, 'y').c_str());
  ASSERT_EQ(sim::StderrChunks().size(), 1U);
  EXPECT_EQ(sim::StderrChunks()[0], std::string(4000, 'x') + std::string(95, 'y') + "\r");
  rt::FlushConsole();
  ASSERT_EQ(sim::StderrChunks().size(), 2U);
  EXPECT_EQ(sim::StderrChunks()[1], "\n");
}

TEST_F(ConsoleStreamTest, DirectLineBypassesTheBufferButNotTextMode) {
  const struct {
    sim::Stream kind;
    std::vector<std::string> chunks;
  } cases[] = {
      {sim::Stream::Console, {"before\r\n", "direct\r\n", "after\r\n"}},
      {sim::Stream::File, {"direct\r\n", "before\r\nafter\r\n"}},
      {sim::Stream::Pipe, {"direct\r\n", "before\r\nafter\r\n"}},
  };
  for (const auto& c : cases) {
    SetUp();
    sim::SetStderr(sim::Output{c.kind, "", 0});
    Start();
    rt::PrintError("before\n");
    rt::WriteErrorDirect("direct\n");
    rt::PrintError("after\n");
    rt::FlushConsole();
    EXPECT_EQ(sim::StderrChunks(), c.chunks);
  }
}

TEST_F(ConsoleStreamTest, NoStandardErrorMeansNoWrites) {
  const sim::Stream kinds[] = {sim::Stream::Invalid, sim::Stream::Null};
  for (sim::Stream kind : kinds) {
    SetUp();
    sim::SetStderr(sim::Output{kind, "", 0});
    Start();
    rt::PrintError("lost\n");
    rt::WriteErrorDirect("lost too\n");
    rt::FlushConsole();
    EXPECT_EQ(sim::CallCount(sim::Op::WriteFile), 0);
  }
}

TEST_F(ConsoleStreamTest, InputIsReadInTextMode) {
  constexpr int kEnd = -1;
  const struct {
    const char* name;
    std::string input;
    std::vector<int> chars;
  } cases[] = {
      {"carriage return and line feed read as one", "ab\r\nc", {'a', 'b', '\n', 'c', kEnd}},
      {"lone carriage return kept", "a\rb", {'a', '\r', 'b', kEnd}},
      {"carriage return at the end of input", "a\r", {'a', '\r', kEnd}},
      {"carriage return before an end-of-file character", "\r\x1A", {'\r', kEnd}},
      {"two carriage returns", "\r\r\n", {'\r', '\n', kEnd}},
      {"line feed alone", "\nx", {'\n', 'x', kEnd}},
      {"end-of-file character ends input for good",
       "a\x1A"
       "bc",
       {'a', kEnd, kEnd, kEnd}},
      {"other bytes as they are", "\t\xFF", {'\t', 0xFF, kEnd}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::SetStdin(sim::Input{sim::Stream::Pipe, c.input, false, 0});
    Start();
    EXPECT_EQ(ReadAll(c.chars.size()), c.chars);
    EXPECT_EQ(rt::ErrorNumber(), 0);
  }
}

TEST_F(ConsoleStreamTest, EndOfFileCharacterStopsReadingAndMarksTheSlot) {
  sim::SetStdin(sim::Input{sim::Stream::Console, "a\x1A\r\nmore\r\n", true, 0});
  Start();
  EXPECT_EQ(rt::SlotAt(0).flags, 0xC1);
  EXPECT_EQ(ReadAll(4), (std::vector<int>{'a', -1, -1, -1}));
  EXPECT_EQ(StdinReads(), 1);
  EXPECT_EQ(sim::StdinRemaining(), "more\r\n");
  EXPECT_EQ(rt::SlotAt(0).flags, 0xC3);
}

TEST_F(ConsoleStreamTest, LineSplitAcrossTwoReadsStillPairs) {
  sim::SetStdin(sim::Input{sim::Stream::Pipe, std::string(4095, 'y') + "\r\nz", false, 0});
  Start();
  std::vector<int> got = ReadAll(4098);
  EXPECT_EQ(got[4094], 'y');
  EXPECT_EQ(got[4095], '\n');
  EXPECT_EQ(got[4096], 'z');
  EXPECT_EQ(got[4097], -1);
  EXPECT_EQ(StdinReads(), 3);  // 4096 bytes, 2 bytes, end of input
}

TEST_F(ConsoleStreamTest, OneTypedLineFeedsSeveralPrompts) {
  sim::SetStdin(sim::Input{sim::Stream::Console, "abc\r\nd\r\n", true, 0});
  Start();
  // Three characters and Enter: four prompts, one read.
  for (int i = 0; i < 4; ++i) WaitForKey();
  EXPECT_EQ(StdinReads(), 1);
  EXPECT_EQ(sim::StdinRemaining(), "d\r\n");
  WaitForKey();
  EXPECT_EQ(StdinReads(), 2);
  EXPECT_EQ(sim::StderrChunks(), std::vector<std::string>(5, "press enter...\r\n"));
}

TEST_F(ConsoleStreamTest, InputThatCannotBeReadLeavesBadFileDescriptor) {
  const struct {
    const char* name;
    sim::Input input;
    int errorNumber;  // the error number was 2 before the read
  } cases[] = {
      {"end of input", {sim::Stream::Console, "", true, 0}, 2},
      {"pipe whose writer closed", {sim::Stream::Pipe, "", false, nt::kErrorBrokenPipe}, 2},
      {"read fails", {sim::Stream::Console, "", true, nt::kErrorInvalidHandle}, 9},
      {"read denied", {sim::Stream::File, "", false, nt::kErrorAccessDenied}, 9},
      {"no standard input", {sim::Stream::Invalid, "", false, 0}, 9},
      {"null standard input", {sim::Stream::Null, "", false, 0}, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::SetStdin(c.input);
    Start();
    rt::SetErrorNumber(2);
    EXPECT_EQ(rt::ReadInputChar(), -1);
    EXPECT_EQ(rt::ErrorNumber(), c.errorNumber);
  }
}

}  // namespace
}  // namespace console_test
