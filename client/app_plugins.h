#ifndef CLIENT_APP_PLUGINS_H_
#define CLIENT_APP_PLUGINS_H_

#include "channels/plugin_registry.h"

namespace velk {

// Registers the interface's outside plug-ins with the engine.
void RegisterAppPlugins(flutter::PluginRegistry* registry);

}  // namespace velk

#endif  // CLIENT_APP_PLUGINS_H_
