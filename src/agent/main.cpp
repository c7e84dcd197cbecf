#include "agent/run.h"

int main() {
  ProcessEntry();
}
