// The record a host and the agent exchange, and the codes that travel in it.
// This header stands alone so hosts (tools/, tests) share the exact layout.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct JobRecord {
  char szSig[11];           // "!WDX"
  char szVer[11];           // "1.0"
  char szFlagFile[256];     // flag file path
  char szExecProg[256];     // program to run
  char szArgs[256];         // argument text, passed on as written
  char szWorkDir[256];      // directory to run in; empty for the agent's own
  std::int32_t bUseShell;   // nonzero: through the command interpreter
  std::int32_t lErrorCode;  // status word, written by the agent
  std::int32_t lExitCode;   // the program's exit code, written by the agent
};
#pragma pack(pop)

static_assert(sizeof(JobRecord) == 1058, "JobRecord is 1058 bytes");
static_assert(offsetof(JobRecord, szSig) == 0, "szSig offset");
static_assert(offsetof(JobRecord, szVer) == 11, "szVer offset");
static_assert(offsetof(JobRecord, szFlagFile) == 22, "szFlagFile offset");
static_assert(offsetof(JobRecord, szExecProg) == 278, "szExecProg offset");
static_assert(offsetof(JobRecord, szArgs) == 534, "szArgs offset");
static_assert(offsetof(JobRecord, szWorkDir) == 790, "szWorkDir offset");
static_assert(offsetof(JobRecord, bUseShell) == 1046, "bUseShell offset");
static_assert(offsetof(JobRecord, lErrorCode) == 1050, "lErrorCode offset");
static_assert(offsetof(JobRecord, lExitCode) == 1054, "lExitCode offset");

inline constexpr const char* kJobSignature = "!WDX";
inline constexpr const char* kJobVersion = "1.0";

// Agent codes: status words in lErrorCode and the agent's exit code.
inline constexpr std::uint16_t AGENT_OK = 0x0000;
inline constexpr std::uint16_t AGENT_STARTED = 0x00F2;
inline constexpr std::uint16_t AGENT_ERR_VERSION = 0x00F1;
inline constexpr std::uint16_t AGENT_ERR_LAUNCH = 0x0001;
inline constexpr std::uint16_t AGENT_ERR_RECORD_IO = 0x0201;
inline constexpr std::uint16_t AGENT_ERR_FLAG_DELETE = 0x0202;
inline constexpr std::uint16_t AGENT_ERR_FLAG_MISSING = 0x0203;
inline constexpr std::uint16_t AGENT_ERR_WORKDIR = 0x0204;
inline constexpr std::uint16_t AGENT_ERR_SIGNATURE = 0x0205;

// Launch details, in the high 16 bits of lErrorCode beside AGENT_ERR_LAUNCH.
inline constexpr std::uint16_t LAUNCH_ERR_NOT_FOUND = 0x0101;
inline constexpr std::uint16_t LAUNCH_ERR_NO_MEMORY = 0x0102;
inline constexpr std::uint16_t LAUNCH_ERR_TOO_LONG = 0x0103;
inline constexpr std::uint16_t LAUNCH_ERR_BAD_FORMAT = 0x0104;
inline constexpr std::uint16_t LAUNCH_ERR_OTHER = 0x010F;

// The length of a record text, never looking past its field: the field's
// width when it holds no terminator.
template <std::size_t N>
constexpr std::size_t FieldTextLength(const char (&field)[N]) {
  std::size_t length = 0;
  while (length < N && field[length] != '\0') ++length;
  return length;
}

// The status word for a code and its detail.
constexpr std::int32_t PackStatusWord(std::uint16_t code, std::uint16_t detail) {
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(detail) << 16) | code);
}
