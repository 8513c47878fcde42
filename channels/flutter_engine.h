#ifndef CHANNELS_FLUTTER_ENGINE_H_
#define CHANNELS_FLUTTER_ENGINE_H_

#include <functional>
#include <memory>
#include <string>

#include "channels/binary_messenger.h"
#include "channels/binary_messenger_impl.h"
#include "channels/engine_project.h"
#include "channels/plugin_registry.h"
#include "interfaces/embedder.h"

namespace flutter {

// Owns an engine of the embedder and the messenger of its channels, until
// the engine is handed over to a view controller.
class FlutterEngine : public PluginRegistry {
 public:
  // Starts an engine for `project`. When the embedder cannot start one the
  // wrapper holds no engine: registrar lookups report it and messages go
  // nowhere.
  explicit FlutterEngine(const EngineProject& project);
  ~FlutterEngine() override;

  BinaryMessenger* GetMessenger() { return messenger_.get(); }
  FlutterDesktopPluginRegistrarRef GetPluginRegistrar(
      const std::string& plugin_name) override;
  void ReloadSystemFonts();

  // `callback` runs once, on the platform thread, after the next frame; it
  // replaces a callback still waiting.
  void SetNextFrameCallback(std::function<void()> callback);

  // Gives the engine to a view controller: the wrapper keeps using it but no
  // longer destroys it.
  FlutterDesktopEngineRef HandOverEngine();

  // The embedder's engine, or none.
  FlutterDesktopEngineRef engine() const { return engine_; }

 private:
  friend class FlutterViewController;

  // The embedder ended the engine after it was handed over (its controller
  // failed): forget the handle so that nothing reaches the ended engine.
  void ForgetEngine();

  static void OnNextFrame(void* user_data);

  FlutterDesktopEngineRef engine_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  bool owns_engine_ = true;
  std::function<void()> next_frame_callback_;
};

}  // namespace flutter

#endif  // CHANNELS_FLUTTER_ENGINE_H_
