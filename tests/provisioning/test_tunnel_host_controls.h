#ifndef TESTS_PROVISIONING_TEST_TUNNEL_HOST_CONTROLS_H_
#define TESTS_PROVISIONING_TEST_TUNNEL_HOST_CONTROLS_H_

namespace velk::test {

// Named event that ends the test host even when it was told to ignore stop
// requests, so tests can clean up. (Wine refuses user-defined service
// controls to a service that accepts only stop, with 1061.)
inline constexpr wchar_t kReleaseEventName[] =
    L"Global\\velk_provisioning_test_host_release";

}  // namespace velk::test

#endif  // TESTS_PROVISIONING_TEST_TUNNEL_HOST_CONTROLS_H_
