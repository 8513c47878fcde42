#include "channels/flutter_view_controller.h"

#include <iostream>

namespace flutter {

FlutterViewController::FlutterViewController(int width, int height,
                                             const EngineProject& project)
    : engine_(std::make_shared<FlutterEngine>(project)) {
  // The controller takes the engine whether or not it comes to life: the
  // embedder ends an engine whose controller failed, so the wrapper must
  // never destroy it again. An engine that did not start is not handed on:
  // the embedder would dereference the missing handle.
  FlutterDesktopEngineRef engine = engine_->HandOverEngine();
  if (engine != nullptr) {
    controller_ = FlutterDesktopViewControllerCreate(width, height, engine);
  }
  if (controller_ == nullptr) {
    std::cerr << "Failed to create view controller." << std::endl;
    engine_->ForgetEngine();
    return;
  }
  view_ = std::make_unique<FlutterView>(
      FlutterDesktopViewControllerGetView(controller_));
}

FlutterViewController::~FlutterViewController() {
  if (controller_ != nullptr) {
    FlutterDesktopViewControllerDestroy(controller_);
  }
  view_.reset();
  engine_.reset();
}

void FlutterViewController::ForceRedraw() {
  if (controller_ != nullptr) {
    FlutterDesktopViewControllerForceRedraw(controller_);
  }
}

std::optional<FlutterDesktopLResult>
FlutterViewController::HandleTopLevelWindowProc(
    FlutterDesktopWindowHandle window, unsigned int message,
    FlutterDesktopWParam wparam, FlutterDesktopLParam lparam) {
  if (controller_ == nullptr) return std::nullopt;
  FlutterDesktopLResult result = 0;
  if (FlutterDesktopViewControllerHandleTopLevelWindowProc(
          controller_, window, message, wparam, lparam, &result)) {
    return result;
  }
  return std::nullopt;
}

}  // namespace flutter
