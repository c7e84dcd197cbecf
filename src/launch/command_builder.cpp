#include <cstring>

#include "launch/launch.h"
#include "platform/nt.h"
#include "rt/error_number.h"

namespace {
constexpr std::size_t kCommandLineLimit = 32767;
}  // namespace

char* BuildCommandLine(const char* const* args, int argCount) {
  std::size_t size = 2;
  for (int i = 0; i < argCount; ++i) size += std::strlen(args[i]) + 1;
  if (size >= kCommandLineLimit) {
    rt::SetErrorNumber(rt::kErrTooBig);
    return nullptr;
  }
  auto* text = static_cast<char*>(nt::HeapAlloc(size));
  if (text == nullptr) {
    rt::SetErrorNumber(rt::kErrNoMemory);
    return nullptr;
  }
  std::size_t length = std::strlen(args[0]);
  std::memcpy(text, args[0], length);
  // The remaining arguments joined with blanks; left out when that is empty.
  bool anyRest = argCount > 2 || (argCount == 2 && args[1][0] != '\0');
  for (int i = 1; anyRest && i < argCount; ++i) {
    text[length++] = ' ';
    std::size_t argLength = std::strlen(args[i]);
    std::memcpy(text + length, args[i], argLength);
    length += argLength;
  }
  text[length] = '\0';
  return text;
}
