// The engine and view-controller wrappers over the embedder: start-up
// properties, registrars, the next-frame callback, hand-over and the view
// controller that fails to be created.

#include "channels/flutter_engine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channels/flutter_view_controller.h"
#include "tests/channels/channel_test_support.h"
#include "tests/support/report_capture.h"

namespace velk::test {
namespace {

const char kNoEngineReport[] =
    "Cannot get plugin registrar on an engine that isn't running; call Run "
    "first.";

TEST(FlutterEngineTest, StartsWithTheProjectsArguments) {
  flutter::EngineProject project = flutter::EngineProjectIn(L"data");
  project.entrypoint_arguments = {"--settings=C:\\a b\\s.txt",
                                  "\xD0\xA2\xD0\xBE"};  // "То"
  flutter::FlutterEngine engine(project);
  ASSERT_NE(engine.engine(), nullptr);
  EXPECT_STREQ(VelkEmbedderGetEntrypointArgument(engine.engine(), 0),
               "--settings=C:\\a b\\s.txt");
  EXPECT_STREQ(VelkEmbedderGetEntrypointArgument(engine.engine(), 1),
               "\xD0\xA2\xD0\xBE");
  EXPECT_EQ(VelkEmbedderGetEntrypointArgument(engine.engine(), 2), nullptr);
}

TEST(FlutterEngineTest, DestroysOnlyAnEngineItOwns) {
  int live = VelkEmbedderLiveEngines();
  {
    flutter::FlutterEngine engine(flutter::EngineProjectIn(L"data"));
    EXPECT_EQ(VelkEmbedderLiveEngines(), live + 1);
  }
  EXPECT_EQ(VelkEmbedderLiveEngines(), live);

  FlutterDesktopEngineRef handed_over = nullptr;
  {
    flutter::FlutterEngine engine(flutter::EngineProjectIn(L"data"));
    handed_over = engine.HandOverEngine();
    // Still usable after the hand-over.
    EXPECT_NE(engine.GetPluginRegistrar("UrlLauncherWindows"), nullptr);
  }
  EXPECT_EQ(VelkEmbedderLiveEngines(), live + 1);
  EXPECT_TRUE(FlutterDesktopEngineDestroy(handed_over));
  EXPECT_EQ(VelkEmbedderLiveEngines(), live);
}

TEST(FlutterEngineTest, LooksUpOneRegistrarPerPlugin) {
  flutter::FlutterEngine engine(flutter::EngineProjectIn(L"data"));
  FlutterDesktopPluginRegistrarRef url_launcher =
      engine.GetPluginRegistrar("UrlLauncherWindows");
  EXPECT_NE(url_launcher, nullptr);
  EXPECT_EQ(engine.GetPluginRegistrar("UrlLauncherWindows"), url_launcher);
  EXPECT_NE(engine.GetPluginRegistrar("VpnPlugin"), url_launcher);
}

TEST(FlutterEngineTest, EngineThatDidNotStartHasNoRegistrars) {
  flutter::EngineProject project;  // no assets: the embedder refuses
  flutter::FlutterEngine engine(project);
  EXPECT_EQ(engine.engine(), nullptr);
  ReportCapture reports;
  EXPECT_EQ(engine.GetPluginRegistrar("UrlLauncherWindows"), nullptr);
  EXPECT_EQ(reports.Lines(), std::vector<std::string>{kNoEngineReport});
  // Its messenger takes handlers and messages without reaching an embedder.
  engine.GetMessenger()->SetChannelHandler(
      "c", [](const uint8_t*, size_t, flutter::ChannelReply) {});
  bool replied = false;
  engine.GetMessenger()->SendMessage(
      "c", nullptr, 0, [&](const uint8_t*, size_t) { replied = true; });
  EXPECT_FALSE(replied);
}

TEST(FlutterEngineTest, NextFrameCallbackRunsOnce) {
  flutter::FlutterEngine engine(flutter::EngineProjectIn(L"data"));
  int first = 0;
  int second = 0;
  engine.SetNextFrameCallback([&] {
    ++first;
    // Registering from inside the callback is kept for the frame after.
    engine.SetNextFrameCallback([&] { ++second; });
  });
  VelkEmbedderDrawFrame(engine.engine());
  VelkEmbedderDrawFrame(engine.engine());
  VelkEmbedderDrawFrame(engine.engine());
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);

  engine.ReloadSystemFonts();
  EXPECT_EQ(VelkEmbedderGetCounters(engine.engine()).fonts_reloaded, 1u);
}

TEST(FlutterViewControllerTest, OwnsItsEngineAndView) {
  int live = VelkEmbedderLiveEngines();
  {
    flutter::FlutterViewController controller(
        400, 740, flutter::EngineProjectIn(L"data"));
    ASSERT_NE(controller.GetView(), nullptr);
    flutter::FlutterEngine* engine = controller.GetEngine();
    ASSERT_NE(engine->engine(), nullptr);
    EXPECT_NE(engine->GetPluginRegistrar("UrlLauncherWindows"), nullptr);

    // The first frame comes from the platform thread's loop.
    bool shown = false;
    engine->SetNextFrameCallback([&] { shown = true; });
    VelkEmbedderRunPendingTasks(engine->engine());
    EXPECT_TRUE(shown);
    // A forced redraw is a frame of its own, also drawn from the loop; asked
    // for twice before the loop runs, it is still one frame.
    controller.ForceRedraw();
    controller.ForceRedraw();
    EXPECT_EQ(VelkEmbedderGetCounters(engine->engine()).frames_drawn, 1u);
    VelkEmbedderRunPendingTasks(engine->engine());
    EXPECT_EQ(VelkEmbedderGetCounters(engine->engine()).frames_drawn, 2u);
    EXPECT_FALSE(
        controller.HandleTopLevelWindowProc(nullptr, 0x0010, 0, 0).has_value());
  }
  EXPECT_EQ(VelkEmbedderLiveEngines(), live);
}

TEST(FlutterViewControllerTest, FailedCreationLeavesNoViewAndNoEngine) {
  int live = VelkEmbedderLiveEngines();
  ReportCapture reports;
  {
    VelkEmbedderFailNextViewController();
    flutter::FlutterViewController controller(
        400, 740, flutter::EngineProjectIn(L"data"));
    EXPECT_EQ(controller.GetView(), nullptr);
    // The embedder ended the engine it was given; the wrapper let go of it.
    EXPECT_EQ(VelkEmbedderLiveEngines(), live);
    EXPECT_EQ(controller.GetEngine()->engine(), nullptr);
    EXPECT_EQ(controller.GetEngine()->GetPluginRegistrar("UrlLauncherWindows"),
              nullptr);
    controller.ForceRedraw();
  }
  EXPECT_EQ(VelkEmbedderLiveEngines(), live);
  EXPECT_EQ(reports.Lines(),
            (std::vector<std::string>{"Failed to create view controller.",
                                      kNoEngineReport}));
}

TEST(FlutterViewControllerTest, EngineThatDidNotStartIsNeverHandedOn) {
  int null_calls = VelkEmbedderNullEngineCalls();
  ReportCapture reports;
  {
    flutter::EngineProject project;  // no assets: the embedder refuses
    flutter::FlutterViewController controller(400, 740, project);
    EXPECT_EQ(controller.GetView(), nullptr);
    controller.GetEngine()->SetNextFrameCallback([] {});
    controller.GetEngine()->ReloadSystemFonts();
  }
  EXPECT_EQ(VelkEmbedderNullEngineCalls(), null_calls);
  EXPECT_EQ(reports.Lines(),
            std::vector<std::string>{"Failed to create view controller."});
}

}  // namespace
}  // namespace velk::test
