// The program every scenario starts: it ends at once with exit code 0.
//
// Built without the C runtime and with its own entry point, so its start-up
// is the least a Win32 process can do and the figures show the cost of what
// starts it rather than of the child itself.
#include <windows.h>

extern "C" void __stdcall ChildEntry() {
  ExitProcess(0);
}
