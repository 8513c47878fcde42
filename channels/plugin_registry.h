#ifndef CHANNELS_PLUGIN_REGISTRY_H_
#define CHANNELS_PLUGIN_REGISTRY_H_

#include <string>

#include "interfaces/embedder.h"

namespace flutter {

// Hands out the embedder's registrar for a plug-in, by name.
class PluginRegistry {
 public:
  PluginRegistry() = default;
  virtual ~PluginRegistry() = default;

  PluginRegistry(const PluginRegistry&) = delete;
  PluginRegistry& operator=(const PluginRegistry&) = delete;

  // None when there is no running engine.
  virtual FlutterDesktopPluginRegistrarRef GetPluginRegistrar(
      const std::string& plugin_name) = 0;
};

}  // namespace flutter

#endif  // CHANNELS_PLUGIN_REGISTRY_H_
