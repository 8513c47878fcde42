// The registration function of the outside link-opening plug-in,
// "url_launcher_windows_plugin.dll". The client registers it once, with the
// engine's registrar named "UrlLauncherWindows".
//
// Linkage as in embedder.h: imported from the DLL, except inside the stand-in
// that defines VELK_URL_LAUNCHER_IMPLEMENTATION and exports it.

#ifndef INTERFACES_URL_LAUNCHER_H_
#define INTERFACES_URL_LAUNCHER_H_

#include "interfaces/embedder.h"

#if defined(_WIN32)
#if defined(VELK_URL_LAUNCHER_IMPLEMENTATION)
#define URL_LAUNCHER_EXPORT __declspec(dllexport)
#else
#define URL_LAUNCHER_EXPORT __declspec(dllimport)
#endif
#else
#define URL_LAUNCHER_EXPORT
#endif

#if defined(__cplusplus)
extern "C" {
#endif

URL_LAUNCHER_EXPORT void UrlLauncherWindowsRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);

#if defined(__cplusplus)
}  // extern "C"
#endif

#endif  // INTERFACES_URL_LAUNCHER_H_
