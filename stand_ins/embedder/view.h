// The stand-in's view: a child window, sized to the physical pixels it was
// created with, that shows the demonstration interface and runs the engine's
// queued work from the platform thread's own message loop.

#ifndef STAND_INS_EMBEDDER_VIEW_H_
#define STAND_INS_EMBEDDER_VIEW_H_

#include <memory>

#include "stand_ins/embedder/embedder_state.h"

namespace velk::embedder {

// Creates the view's window for `engine` (hidden from no one, but parented to
// a message-only window until the host gives it a parent) and writes its
// handle to `window`. Null when the window cannot be created.
std::unique_ptr<EngineView> CreateViewWindow(
    FlutterDesktopEngine* engine, int width, int height,
    FlutterDesktopWindowHandle* window);

}  // namespace velk::embedder

#endif  // STAND_INS_EMBEDDER_VIEW_H_
