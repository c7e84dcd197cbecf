// Splitting the platform command line into the agent's argument list.
#pragma once

namespace rt {

struct ArgumentList {
  int count = 0;
  char** items = nullptr;  // count texts, then nullptr
};

// Splits `line` at runs of blanks and tabs. Double quotes group and are
// dropped; 2n backslashes before a quote give n backslashes, 2n+1 give n and a
// literal quote; other backslashes are literal. The list lives in one heap
// block; on lack of memory the list is empty.
ArgumentList SplitCommandLine(const char* line);

}  // namespace rt
