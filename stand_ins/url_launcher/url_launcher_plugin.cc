// The stand-in link-opening plug-in. Opening links is the outside plug-in's
// business; the client only registers it, and that is what is recorded.

#include <atomic>

#include "stand_ins/url_launcher/url_launcher_testing.h"

namespace {

std::atomic<int> registrations{0};
std::atomic<FlutterDesktopPluginRegistrarRef> last_registrar{nullptr};

}  // namespace

extern "C" {

void UrlLauncherWindowsRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar) {
  last_registrar.store(registrar);
  registrations.fetch_add(1);
}

int UrlLauncherWindowsRegistrationCount(void) { return registrations.load(); }

FlutterDesktopPluginRegistrarRef UrlLauncherWindowsLastRegistrar(void) {
  return last_registrar.load();
}

}  // extern "C"
