// The link-opening plug-in as the client registers it: through the import
// library of "url_launcher_windows_plugin.dll", with the engine's registrar.

#include <gtest/gtest.h>

#include "channels/flutter_engine.h"
#include "stand_ins/url_launcher/url_launcher_testing.h"
#include "tests/channels/channel_test_support.h"

namespace velk::test {
namespace {

TEST(UrlLauncherStandInTest, RecordsTheRegistration) {
  flutter::FlutterEngine engine(flutter::EngineProjectIn(L"data"));
  FlutterDesktopPluginRegistrarRef registrar =
      engine.GetPluginRegistrar("UrlLauncherWindows");
  int before = UrlLauncherWindowsRegistrationCount();
  UrlLauncherWindowsRegisterWithRegistrar(registrar);
  EXPECT_EQ(UrlLauncherWindowsRegistrationCount(), before + 1);
  EXPECT_EQ(UrlLauncherWindowsLastRegistrar(), registrar);
}

}  // namespace
}  // namespace velk::test
