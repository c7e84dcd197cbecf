// The pure steps of a launch: PATH elements and the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launch/launch.h"
#include "platform/nt.h"
#include "rt/error_number.h"

namespace {

std::vector<std::string> Elements(const std::string& value) {
  std::vector<std::string> out;
  char buffer[260];
  const char* position = value.c_str();
  while ((position = NextPathElement(position, buffer, 259)) != nullptr) out.emplace_back(buffer);
  return out;
}

using Texts = std::vector<std::string>;

TEST(NextPathElement, SemicolonsQuotesAndEmptyElements) {
  EXPECT_EQ(Elements(";;C:\\bin;\"D:\\my;tools\";E:\\"), (Texts{"C:\\bin", "D:\\my;tools", "E:\\"}));
  EXPECT_EQ(Elements(""), Texts{});
  EXPECT_EQ(Elements(";;;"), Texts{});
  EXPECT_EQ(Elements("a;;;b;"), (Texts{"a", "b"}));
  // Two adjacent quotes make an empty element, which the launch takes as the end.
  EXPECT_EQ(Elements("\"\";b"), (Texts{"", "b"}));
  EXPECT_EQ(Elements("\"unclosed;still"), Texts{"unclosed;still"});
}

TEST(NextPathElement, ElementFillingTheBufferEndsTheWalk) {
  std::string fits(257, 'x');
  std::string tooLong(258, 'y');
  EXPECT_EQ(Elements(fits + ";b"), (Texts{fits, "b"}));
  EXPECT_EQ(Elements("a;" + tooLong + ";b"), Texts{"a"});
  char buffer[260];
  EXPECT_EQ(NextPathElement(tooLong.c_str(), buffer, 259), nullptr);
  EXPECT_EQ(std::string(buffer), std::string(258, 'y'));
}

std::string Build(std::vector<std::string> args) {
  std::vector<const char*> list;
  for (const auto& a : args) list.push_back(a.c_str());
  char* text = BuildCommandLine(list.data(), static_cast<int>(list.size()));
  if (text == nullptr) return "<failed>";
  std::string out(text);
  nt::HeapFree(text);
  return out;
}

TEST(BuildCommandLine, JoinsWithoutQuoting) {
  EXPECT_EQ(Build({"prog", ""}), "prog");
  EXPECT_EQ(Build({"prog", "a b"}), "prog a b");
  EXPECT_EQ(Build({"C:\\my dir\\prog", "\"x\""}), "C:\\my dir\\prog \"x\"");
  EXPECT_EQ(Build({"prog"}), "prog");
  EXPECT_EQ(Build({"prog", "", ""}), "prog  ");
}

TEST(BuildCommandLine, SizeLimitAt32767) {
  // size = 2 + (len0 + 1) + (len1 + 1)
  std::string program(100, 'p');
  std::string accepted(32766 - 2 - 101 - 1, 'a');
  std::string refused(accepted.size() + 1, 'a');
  EXPECT_EQ(Build({program, accepted}).size(), program.size() + 1 + accepted.size());
  rt::SetErrorNumber(0);
  EXPECT_EQ(Build({program, refused}), "<failed>");
  EXPECT_EQ(rt::ErrorNumber(), rt::kErrTooBig);
}

}  // namespace
