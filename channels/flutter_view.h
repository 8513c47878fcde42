#ifndef CHANNELS_FLUTTER_VIEW_H_
#define CHANNELS_FLUTTER_VIEW_H_

#include "interfaces/embedder.h"

namespace flutter {

// The view in which the interface is drawn; its controller owns it.
class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef view) : view_(view) {}
  virtual ~FlutterView() = default;

  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  // The child window that shows the interface (an HWND on Windows).
  FlutterDesktopWindowHandle GetHWND() const {
    return FlutterDesktopViewGetHWND(view_);
  }

 private:
  FlutterDesktopViewRef view_;
};

}  // namespace flutter

#endif  // CHANNELS_FLUTTER_VIEW_H_
