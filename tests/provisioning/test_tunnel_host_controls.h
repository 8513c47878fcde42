#ifndef TESTS_PROVISIONING_TEST_TUNNEL_HOST_CONTROLS_H_
#define TESTS_PROVISIONING_TEST_TUNNEL_HOST_CONTROLS_H_

#include <string>

namespace velk::test {

// Named event that ends the test host with process id `process_id` even when
// it was told to ignore stop requests, so tests can clean up. (Wine refuses
// user-defined service controls to a service that accepts only stop, with
// 1061.) One name per process: a shared manual-reset event, once set, stays
// set while a host that is still exiting holds it, and would end the next
// host at once.
inline std::wstring ReleaseEventName(unsigned long process_id) {
  return L"Global\\velk_provisioning_test_host_release_" +
         std::to_wstring(process_id);
}

}  // namespace velk::test

#endif  // TESTS_PROVISIONING_TEST_TUNNEL_HOST_CONTROLS_H_
