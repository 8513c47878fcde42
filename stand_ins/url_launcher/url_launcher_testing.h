// What the stand-in link-opening plug-in recorded, for tests.

#ifndef STAND_INS_URL_LAUNCHER_URL_LAUNCHER_TESTING_H_
#define STAND_INS_URL_LAUNCHER_URL_LAUNCHER_TESTING_H_

#include "interfaces/url_launcher.h"

#if defined(__cplusplus)
extern "C" {
#endif

// How often UrlLauncherWindowsRegisterWithRegistrar was called, and with
// which registrar the last time (NULL before the first call).
URL_LAUNCHER_EXPORT int UrlLauncherWindowsRegistrationCount(void);
URL_LAUNCHER_EXPORT FlutterDesktopPluginRegistrarRef
UrlLauncherWindowsLastRegistrar(void);

#if defined(__cplusplus)
}  // extern "C"
#endif

#endif  // STAND_INS_URL_LAUNCHER_URL_LAUNCHER_TESTING_H_
