#include <gtest/gtest.h>

#include "agent/debug.h"
#include "agent/run.h"
#include "job/job_record.h"
#include "rt/error_number.h"
#include "rt/os_error.h"

namespace {

struct Mapping {
  nt::u32 first;
  nt::u32 last;
  int errorNumber;
};

// Every platform code in the table, and each range at and just past its ends.
const Mapping kMappings[] = {
    {0, 0, 22},     {1, 1, 22},     {2, 3, 2},      {4, 4, 24},     {5, 5, 13},
    {6, 6, 9},      {7, 9, 12},     {10, 10, 7},    {11, 11, 8},    {12, 13, 22},
    {14, 14, 22},   {15, 15, 2},    {16, 16, 13},   {17, 17, 18},   {18, 18, 2},
    {19, 36, 13},   {37, 37, 22},   {53, 53, 2},    {65, 65, 13},   {67, 67, 2},
    {80, 80, 17},   {82, 83, 13},   {87, 87, 22},   {89, 89, 11},   {108, 108, 13},
    {109, 109, 32}, {112, 112, 28}, {114, 114, 9},  {128, 129, 10}, {130, 130, 9},
    {131, 131, 22}, {132, 132, 13}, {145, 145, 41}, {158, 158, 13}, {161, 161, 2},
    {164, 164, 11}, {167, 167, 13}, {183, 183, 17}, {187, 187, 22}, {188, 202, 8},
    {203, 203, 22}, {206, 206, 2},  {215, 215, 11}, {267, 267, 22}, {0xFFFFFFFF, 0xFFFFFFFF, 22},
};

TEST(MapOsError, EveryCodeAndRangeGivesItsErrorNumber) {
  for (const Mapping& m : kMappings) {
    for (nt::u32 code = m.first;; ++code) {
      rt::SetErrorNumber(-5);
      rt::MapOsError(code);
      EXPECT_EQ(rt::ErrorNumber(), m.errorNumber) << "platform code " << code;
      if (code == m.last) break;
    }
  }
}

TEST(ClassifyLaunchError, DistinguishesFourErrorNumbersAndLumpsTheRest) {
  const struct {
    int errorNumber;
    std::uint16_t detail;
  } cases[] = {{2, LAUNCH_ERR_NOT_FOUND}, {12, LAUNCH_ERR_NO_MEMORY}, {7, LAUNCH_ERR_TOO_LONG},
               {8, LAUNCH_ERR_BAD_FORMAT}, {0, LAUNCH_ERR_OTHER},    {13, LAUNCH_ERR_OTHER},
               {22, LAUNCH_ERR_OTHER},     {-1, LAUNCH_ERR_OTHER}};
  for (const auto& c : cases) EXPECT_EQ(ClassifyLaunchError(c.errorNumber), c.detail);
}

TEST(ErrorText, TableEdgesAndOutOfRange) {
  EXPECT_STREQ(ErrorText(0), "No error");
  EXPECT_STREQ(ErrorText(2), "No such file or directory");
  EXPECT_STREQ(ErrorText(9), "Bad file descriptor");
  EXPECT_STREQ(ErrorText(15), "Unknown error");
  EXPECT_STREQ(ErrorText(16), "Resource device");
  EXPECT_STREQ(ErrorText(26), "Unknown error");
  EXPECT_STREQ(ErrorText(28), "No space left on device");
  EXPECT_STREQ(ErrorText(34), "Result too large");
  EXPECT_STREQ(ErrorText(38), "Filename too long");
  EXPECT_STREQ(ErrorText(42), "Illegal byte sequence");
  EXPECT_STREQ(ErrorText(43), "Unknown error");
  EXPECT_STREQ(ErrorText(-1), "Unknown error");
  EXPECT_STREQ(ErrorText(1000), "Unknown error");
}

TEST(StatusWord, PacksDetailAboveCode) {
  EXPECT_EQ(PackStatusWord(AGENT_ERR_LAUNCH, LAUNCH_ERR_NOT_FOUND), 0x01010001);
  EXPECT_EQ(PackStatusWord(AGENT_ERR_LAUNCH, LAUNCH_ERR_TOO_LONG), 0x01030001);
  EXPECT_EQ(PackStatusWord(AGENT_ERR_VERSION, 0), 0xF1);
}

}  // namespace
