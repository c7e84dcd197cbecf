#include "launch/shell.h"

#include <cstring>

#include "job/job_record.h"
#include "rt/environment.h"

namespace {
constexpr std::size_t kMaxShellArgs = 127;
constexpr std::size_t kMaxInterpreterPath = 254;
constexpr char kCommandPrefix[] = "/c ";
}  // namespace

std::uint16_t PrepareShellCommand(std::int32_t shellFlag, char* program, char* args) {
  if (shellFlag == 0) return 0;
  const char* comspec = rt::GetEnvironmentValue("COMSPEC");
  if (comspec == nullptr) return LAUNCH_ERR_NOT_FOUND;
  std::size_t argsLength = std::strlen(args);
  if (argsLength > kMaxShellArgs) return LAUNCH_ERR_TOO_LONG;
  std::size_t programLength = std::strlen(program);
  std::size_t prefixLength = sizeof kCommandPrefix - 1;
  // A command cut to fit would run something the host did not ask for.
  if (prefixLength + programLength + 1 + argsLength > kCommandBufferSize - 1)
    return LAUNCH_ERR_TOO_LONG;

  char interpreter[kCommandBufferSize];
  std::size_t interpreterLength = 0;
  while (interpreterLength < kMaxInterpreterPath && comspec[interpreterLength] != '\0') {
    interpreter[interpreterLength] = comspec[interpreterLength];
    ++interpreterLength;
  }
  interpreter[interpreterLength] = '\0';

  char command[kCommandBufferSize];
  std::memcpy(command, kCommandPrefix, prefixLength);
  std::memcpy(command + prefixLength, program, programLength);
  command[prefixLength + programLength] = ' ';
  std::memcpy(command + prefixLength + programLength + 1, args, argsLength + 1);

  std::memcpy(program, interpreter, interpreterLength + 1);
  std::memcpy(args, command, std::strlen(command) + 1);
  return 0;
}
