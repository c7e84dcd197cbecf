// Argument splitting and message formatting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/nt.h"
#include "rt/command_line.h"
#include "rt/format.h"

namespace {

std::vector<std::string> Split(const char* line) {
  rt::ArgumentList list = rt::SplitCommandLine(line);
  std::vector<std::string> out(list.items, list.items + list.count);
  EXPECT_EQ(list.items[list.count], nullptr);
  nt::HeapFree(list.items);
  return out;
}

using Args = std::vector<std::string>;

TEST(SplitCommandLine, QuotingAndBackslashRules) {
  const struct {
    const char* line;
    Args args;
  } cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"a", {"a"}},
      {"ntagent.exe  job.rec\t1", {"ntagent.exe", "job.rec", "1"}},
      {"a \"C:\\my jobs\\job.rec\"", {"a", "C:\\my jobs\\job.rec"}},
      {"a \"\"", {"a", ""}},
      {"a \" 1\" \"1 \"", {"a", " 1", "1 "}},
      {"a b\"c d\"e", {"a", "bc de"}},
      {"a \\\\\"x y\"", {"a", "\\x y"}},      // 2 backslashes + quote: one backslash, quote groups
      {"a \\\"x", {"a", "\"x"}},              // 1 backslash + quote: literal quote
      {"a \\\\\\\"x", {"a", "\\\"x"}},        // 3 backslashes + quote
      {"a C:\\dir\\\\file", {"a", "C:\\dir\\\\file"}},  // backslashes not before a quote
      {"a \"unterminated stretch", {"a", "unterminated stretch"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Split(c.line), c.args) << c.line;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[64];
  va_list args;
  va_start(args, format);
  rt::FormatTextV(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

TEST(FormatText, ConversionsTheAgentUses) {
  EXPECT_EQ(Format("#%d : ", 517), "#517 : ");
  EXPECT_EQ(Format("%ld|%ld", -1L, 2147483647L), "-1|2147483647");
  EXPECT_EQ(Format("%ld", static_cast<long>(-2147483647 - 1)), "-2147483648");
  EXPECT_EQ(Format("#%X,%X", 0x1U, 0x101U), "#1,101");
  EXPECT_EQ(Format("#%X,%X", 0x203U, 0x0U), "#203,0");
  EXPECT_EQ(Format("%x %u %c %%", 0xabcU, 42U, 'z'), "abc 42 z %");
  EXPECT_EQ(Format("[%5s|%-5s|%05d]", "ab", "cd", 42), "[   ab|cd   |00042]");
  EXPECT_EQ(Format("%.*s", 3, "abcdef"), "abc");
}

TEST(FormatText, TruncatesToCapacity) {
  char buffer[5];
  EXPECT_EQ(rt::FormatText(buffer, sizeof buffer, "%s", "abcdefgh"), 4U);
  EXPECT_STREQ(buffer, "abcd");
}

}  // namespace
