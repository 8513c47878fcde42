#include "client/app_plugins.h"

#include "interfaces/url_launcher.h"

namespace velk {

void RegisterAppPlugins(flutter::PluginRegistry* registry) {
  // The interface's crash reporting has no native part on this platform:
  // its registrar is only asked for, so the engine knows the name.
  (void)registry->GetPluginRegistrar("SentryFlutterPlugin");
  UrlLauncherWindowsRegisterWithRegistrar(
      registry->GetPluginRegistrar("UrlLauncherWindows"));
}

}  // namespace velk
