// A "tunnel.dll" that loads but lacks the tunnel entry, for the host's exit
// code 4.
#include <windows.h>

extern "C" __declspec(dllexport) int SomethingElse() { return 1; }
