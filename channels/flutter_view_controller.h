#ifndef CHANNELS_FLUTTER_VIEW_CONTROLLER_H_
#define CHANNELS_FLUTTER_VIEW_CONTROLLER_H_

#include <memory>
#include <optional>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "channels/flutter_view.h"
#include "interfaces/embedder.h"

namespace flutter {

// A view of the interface with its own engine, for one top-level window.
// Creation can fail: then GetView() is none, and the caller must not show
// the window.
class FlutterViewController {
 public:
  // `width` and `height` in physical pixels.
  FlutterViewController(int width, int height, const EngineProject& project);
  virtual ~FlutterViewController();

  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  FlutterEngine* GetEngine() { return engine_.get(); }
  FlutterView* GetView() { return view_.get(); }

  void ForceRedraw();

  // Offers a message of the top-level window to the view; the result when
  // the view handled it.
  std::optional<FlutterDesktopLResult> HandleTopLevelWindowProc(
      FlutterDesktopWindowHandle window, unsigned int message,
      FlutterDesktopWParam wparam, FlutterDesktopLParam lparam);

 private:
  FlutterDesktopViewControllerRef controller_ = nullptr;
  std::shared_ptr<FlutterEngine> engine_;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter

#endif  // CHANNELS_FLUTTER_VIEW_CONTROLLER_H_
