// A VpnPlugin on the test's thread, with a fake world behind it.

#ifndef TESTS_VPN_PLUGIN_PLUGIN_TEST_FIXTURE_H_
#define TESTS_VPN_PLUGIN_PLUGIN_TEST_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/vpn_plugin/vpn_plugin.h"
#include "tests/vpn_plugin/fake_tunnel_world.h"
#include "tests/vpn_plugin/plugin_harness.h"

namespace velk::test {

// A settings text that builds: keys 00..1f and e0..ff, endpoint e:1.
extern const char kValidSettings[];

// Public: table rows act on the fixture from outside.
class PluginTest : public testing::Test {
 public:
  ~PluginTest() override;

  // Makes the world and the plug-in. The world's notes join the status
  // timeline in the order their threads made them.
  void Start(FakeTunnelWorld::Setup setup);

  // "connect" with the given settings and fixed address, dns and MTU.
  size_t Connect(const std::string& settings = kValidSettings);

  // Destroys the plug-in and waits until no thread holds the world: every
  // worker has ended and every task it posted is gone.
  bool DestroyPluginAndWaitForWorkers();

  bool WaitForTimeline(size_t entries);
  std::vector<std::string> Timeline() const { return messenger_.Timeline(); }

  TaskWindow window_;
  FakeMessenger messenger_;
  std::shared_ptr<FakeTunnelWorld> world_;
  std::unique_ptr<velk::VpnPlugin> plugin_;
  std::wstring config_path_;
};

}  // namespace velk::test

#endif  // TESTS_VPN_PLUGIN_PLUGIN_TEST_FIXTURE_H_
