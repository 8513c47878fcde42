#include "client/console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <iostream>

#include "interfaces/embedder.h"

namespace velk {
namespace {

// Whether `stream` already leads somewhere: a GUI program starts with no
// standard streams, unless its parent redirected them to a file or pipe.
bool IsConnected(FILE* stream) {
  const int descriptor = _fileno(stream);
  if (descriptor < 0) return false;
  const intptr_t handle = _get_osfhandle(descriptor);
  return handle != -1 && handle != -2;
}

// Points the standard output and error streams at the console. With
// `keep_redirected`, a stream that already leads to a file or pipe stays
// there.
void RouteOutputToConsole(bool keep_redirected) {
  FILE* reopened = nullptr;
  if (!keep_redirected || !IsConnected(stdout)) {
    if (freopen_s(&reopened, "CONOUT$", "w", stdout) != 0) {
      (void)_dup2(_fileno(stdout), 1);  // best effort: output is optional
    }
  }
  if (!keep_redirected || !IsConnected(stderr)) {
    if (freopen_s(&reopened, "CONOUT$", "w", stderr) != 0) {
      (void)_dup2(_fileno(stdout), 2);  // best effort: output is optional
    }
  }
  // The C++ streams and the engine's own runtime follow the C streams.
  std::ios::sync_with_stdio();
  FlutterDesktopResyncOutputStreams();
}

}  // namespace

void AttachOutputConsole() {
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    // Attaching alone leaves a GUI program's streams unconnected, and the
    // output would not reach the console the user started it from.
    RouteOutputToConsole(/*keep_redirected=*/true);
  } else if (IsDebuggerPresent()) {
    AttachDebugConsole();
  }
}

void AttachDebugConsole() {
  if (!AllocConsole()) return;
  RouteOutputToConsole(/*keep_redirected=*/false);
}

}  // namespace velk
