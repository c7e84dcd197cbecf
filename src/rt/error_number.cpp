#include "rt/error_number.h"

namespace rt {
namespace {
int g_errorNumber = 0;
}  // namespace

int ErrorNumber() {
  return g_errorNumber;
}
void SetErrorNumber(int value) {
  g_errorNumber = value;
}

}  // namespace rt
