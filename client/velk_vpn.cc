// The client's process entry. One program serves two roles: with the setup
// argument it is the one-shot elevated setup mode; otherwise the interactive
// client with its main window.

#include <windows.h>

#include <objbase.h>

#include <memory>
#include <string>

#include "channels/engine_project.h"
#include "client/console.h"
#include "client/delay_loaded_libraries.h"
#include "client/engine_setup.h"
#include "client/flutter_window.h"
#include "client/provisioning/elevated_setup.h"
#include "client/provisioning/setup_mode.h"
#include "client/vpn_plugin/outside_world.h"
#include "client/vpn_plugin/vpn_plugin.h"
#include "client/window_centring.h"

namespace {

// "Товран", spelled with escapes so that any compiler reads it alike.
constexpr wchar_t kWindowTitle[] = L"\u0422\u043e\u0432\u0440\u0430\u043d";

}  // namespace

// The command line keeps the name that the system's declaration gives it,
// as clang-tidy holds a definition to its declaration's names.
int APIENTRY wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/,
                      wchar_t* lpCmdLine, int /*show_command*/) {
  // First of all, libraries come from the system folder only: the setup
  // mode runs elevated, and a library planted beside the program or in the
  // working folder or on PATH would run with the administrator's rights. The
  // libraries that only the interactive client needs are delay-loaded, so
  // the setup mode never loads them.
  (void)SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

  // The setup mode touches no COM, console or window.
  int setup_exit_code = 0;
  if (velk::SetupMode(std::wstring(lpCmdLine), &setup_exit_code)) {
    return setup_exit_code;
  }
  velk::RemoveHandOffLeftovers();

  // The interactive client runs with its user's rights and loads its embedder
  // and plug-in from its own folder; still never from the working folder or
  // PATH.
  (void)SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  if (!velk::LoadDelayedLibraries()) return 1;

  velk::AttachOutputConsole();
  // A failure leaves the thread without COM, which only the engine would
  // notice; only a successful call is balanced at the end.
  const bool com_initialised =
      SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));

  flutter::EngineProject project = flutter::EngineProjectIn(L"data");
  project.entrypoint_arguments = velk::EntrypointArguments();

  auto window = std::make_unique<velk::FlutterWindow>(
      project, [](flutter::BinaryMessenger* messenger, HWND handle) {
        return std::make_unique<velk::VpnPlugin>(messenger, handle,
                                                 velk::SystemOutsideWorld());
      });
  if (!window->Open(kWindowTitle, {10, 10}, {400, 740})) return 1;
  window->SetQuitWhenClosed(true);
  velk::CentreOnWorkArea(window->NativeHandle());

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  if (com_initialised) CoUninitialize();
  // Only now do the VPN plug-in and the window class go.
  window.reset();
  return 0;
}
