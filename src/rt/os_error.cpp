#include "rt/os_error.h"

#include "rt/error_number.h"

namespace rt {
namespace {

struct OsErrorEntry {
  nt::u32 code;
  int errorNumber;
};

constexpr OsErrorEntry kOsErrors[] = {
    {1, 22},   {2, 2},    {3, 2},    {4, 24},   {5, 13},   {6, 9},   {7, 12},   {8, 12},
    {9, 12},   {10, 7},   {11, 8},   {12, 22},  {13, 22},  {15, 2},  {16, 13},  {17, 18},
    {18, 2},   {33, 13},  {53, 2},   {65, 13},  {67, 2},   {80, 17}, {82, 13},  {83, 13},
    {87, 22},  {89, 11},  {108, 13}, {109, 32}, {112, 28}, {114, 9}, {128, 10}, {129, 10},
    {130, 9},  {131, 22}, {132, 13}, {145, 41}, {158, 13}, {161, 2}, {164, 11}, {167, 13},
    {183, 17}, {206, 2},  {215, 11},
};

// Device, sharing and lock failures.
constexpr nt::u32 kFirstAccessRange = 19;
constexpr nt::u32 kLastAccessRange = 36;
// Failures to load an executable image.
constexpr nt::u32 kFirstExecRange = 188;
constexpr nt::u32 kLastExecRange = 202;

}  // namespace

int OsErrorToErrorNumber(nt::u32 code) {
  for (const OsErrorEntry& entry : kOsErrors) {
    if (entry.code == code) return entry.errorNumber;
  }
  if (code >= kFirstAccessRange && code <= kLastAccessRange) return kErrAccess;
  if (code >= kFirstExecRange && code <= kLastExecRange) return kErrExecFormat;
  return kErrInvalid;
}

void MapOsError(nt::u32 code) {
  SetErrorNumber(OsErrorToErrorNumber(code));
}

}  // namespace rt
