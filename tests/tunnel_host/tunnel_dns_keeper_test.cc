#include "tunnel_host/tunnel_dns_keeper.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <string>
#include <utility>
#include <vector>

#include "common/thread_annotations.h"
#include "tests/support/fake_network.h"
#include "win/scoped_handle.h"

namespace velk {
namespace {

using test::FakeNetwork;

constexpr wchar_t kTunnel[] = L"TovraneVPN";

// Stands in for the keeper's pause between passes. Every pause marks the end
// of one pass, and the next pass begins only when the test lets it: between
// passes the keeper is parked, so the test changes the network while nothing
// reads it, and proves that a pass made no call by waiting for that very
// pass rather than for some time.
class PassStepper {
 public:
  PassStepper() : next_pass_(CreateSemaphoreW(nullptr, 0, 1000, nullptr)) {}

  TunnelDnsKeeper::PollWaiter Waiter() {
    return [this](HANDLE stop_event, DWORD ms) {
      {
        MutexLock lock(mutex_);
        ++passes_;
        asked_ms_ = ms;
      }
      pass_ended_.notify_all();
      const HANDLE ends[] = {stop_event, next_pass_.get()};
      return WaitForMultipleObjects(2, ends, FALSE, INFINITE) == WAIT_OBJECT_0
                 ? WAIT_OBJECT_0
                 : WAIT_TIMEOUT;
    };
  }

  // Waits until `total` passes have ended; false when they do not come.
  bool AwaitPasses(int total) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(10);
    MutexLock lock(mutex_);
    while (passes_ < total) {
      if (!mutex_.WaitUntil(pass_ended_, deadline)) return passes_ >= total;
    }
    return true;
  }

  // Lets the parked keeper make `count` more passes and waits for their end.
  bool RunPasses(int count) {
    int target = 0;
    {
      MutexLock lock(mutex_);
      target = passes_ + count;
    }
    ReleaseSemaphore(next_pass_.get(), count, nullptr);
    return AwaitPasses(target);
  }

  int passes() {
    MutexLock lock(mutex_);
    return passes_;
  }
  DWORD asked_ms() {
    MutexLock lock(mutex_);
    return asked_ms_;
  }

 private:
  ScopedKernelHandle next_pass_;
  Mutex mutex_;
  std::condition_variable pass_ended_;
  int passes_ GUARDED_BY(mutex_) = 0;
  DWORD asked_ms_ GUARDED_BY(mutex_) = 0;
};

class TunnelDnsKeeperTest : public testing::Test {
 protected:
  // The GUID's first field tells interfaces apart in the calls.
  void AddAdapter(uint64_t luid, const std::wstring& alias, unsigned long id) {
    network_.AddInterface({luid, alias, true, true, 0, {id, 0, 0, {}}});
  }

  FakeNetwork network_;
  PassStepper stepper_;
};

TEST_F(TunnelDnsKeeperTest, SetsEachFamilyWithOneCallIpv4First) {
  AddAdapter(7, L"TovraneVPN", 70);
  struct Case {
    const wchar_t* config;
    std::vector<std::pair<ULONG64, std::wstring>> calls;  // flags, servers
  };
  const Case cases[] = {
      {L"DNS = 10.0.0.1, 10.0.0.2", {{2, L"10.0.0.1,10.0.0.2"}}},
      {L"DNS = 2001:db8::53", {{3, L"2001:db8::53"}}},
      {L"DNS = 2001:db8::53, 10.0.0.1\nDNS = ::1",
       {{2, L"10.0.0.1"}, {3, L"2001:db8::53,::1"}}},
  };
  size_t seen = 0;
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.config);
    PassStepper stepper;
    TunnelDnsKeeper keeper(network_.Functions(), stepper.Waiter());
    keeper.StartTunnelDns(test_case.config, kTunnel);
    ASSERT_TRUE(stepper.AwaitPasses(1));
    EXPECT_EQ(stepper.asked_ms(), 500u);
    EXPECT_EQ(network_.DnsCalls().size(), seen + test_case.calls.size());
    // The interface stays: later passes make no further call.
    ASSERT_TRUE(stepper.RunPasses(2));
    keeper.StopTunnelDns();
    const std::vector<FakeNetwork::DnsCall> calls = network_.DnsCalls();
    ASSERT_EQ(calls.size(), seen + test_case.calls.size());
    for (size_t i = 0; i < test_case.calls.size(); ++i) {
      const FakeNetwork::DnsCall& call = calls[seen + i];
      EXPECT_EQ(call.flags, test_case.calls[i].first);
      EXPECT_EQ(call.name_servers, test_case.calls[i].second);
      EXPECT_EQ(call.version, 1u);
      EXPECT_TRUE(call.other_fields_empty);
      EXPECT_EQ(call.guid.Data1, 70u);
    }
    seen = calls.size();
  }
}

TEST_F(TunnelDnsKeeperTest, FailedCallRepeatsBothFamiliesNextPass) {
  AddAdapter(7, L"TovraneVPN", 70);
  network_.FailDnsCalls(1);  // the first IPv4 call
  TunnelDnsKeeper keeper(network_.Functions(), stepper_.Waiter());
  keeper.StartTunnelDns(L"DNS = 10.0.0.1, 2001:db8::1", kTunnel);
  ASSERT_TRUE(stepper_.AwaitPasses(1));
  // The IPv6 call is made although the IPv4 call failed.
  EXPECT_EQ(network_.DnsCalls().size(), 2u);
  ASSERT_TRUE(stepper_.RunPasses(1));
  EXPECT_EQ(network_.DnsCalls().size(), 4u);
  ASSERT_TRUE(stepper_.RunPasses(2));
  keeper.StopTunnelDns();
  std::vector<ULONG64> flags;
  for (const FakeNetwork::DnsCall& call : network_.DnsCalls()) {
    flags.push_back(call.flags);
  }
  EXPECT_EQ(flags, (std::vector<ULONG64>{2, 3, 2, 3}));
}

TEST_F(TunnelDnsKeeperTest, ServesTheFirstMatchingInterfaceEachTimeItAppears) {
  TunnelDnsKeeper keeper(network_.Functions(), stepper_.Waiter());
  keeper.StartTunnelDns(L"DNS = 10.0.0.1", kTunnel);
  ASSERT_TRUE(keeper.is_running());
  ASSERT_TRUE(stepper_.AwaitPasses(1));
  AddAdapter(1, L"tovranevpn", 10);
  AddAdapter(2, L"TovraneVPN2", 20);
  ASSERT_TRUE(stepper_.RunPasses(1));
  EXPECT_TRUE(network_.DnsCalls().empty());

  AddAdapter(3, L"TovraneVPN 3", 30);
  AddAdapter(4, L"TovraneVPN", 40);
  ASSERT_TRUE(stepper_.RunPasses(2));
  ASSERT_EQ(network_.DnsCalls().size(), 1u);
  EXPECT_EQ(network_.DnsCalls()[0].guid.Data1, 30u);

  // Gone, and back under a new identity: served again.
  network_.RemoveInterface(3);
  network_.RemoveInterface(4);
  ASSERT_TRUE(stepper_.RunPasses(1));
  AddAdapter(8, L"TovraneVPN", 80);
  ASSERT_TRUE(stepper_.RunPasses(1));
  keeper.StopTunnelDns();
  ASSERT_EQ(network_.DnsCalls().size(), 2u);
  EXPECT_EQ(network_.DnsCalls()[1].guid.Data1, 80u);
  EXPECT_EQ(network_.counters().outstanding_allocations, 0);
}

TEST_F(TunnelDnsKeeperTest, DoesNotStartWithoutServersOrSettingsCall) {
  AddAdapter(7, L"TovraneVPN", 70);
  TunnelDnsKeeper no_servers(network_.Functions(), stepper_.Waiter());
  no_servers.StartTunnelDns(L"DNS = corp.example, #1.1.1.1\n#DNS=1.1.1.1",
                            kTunnel);
  EXPECT_FALSE(no_servers.is_running());

  IpHelperFunctions without_call = network_.Functions();
  without_call.SetInterfaceDnsSettings = nullptr;
  TunnelDnsKeeper no_call(without_call, stepper_.Waiter());
  no_call.StartTunnelDns(L"DNS = 10.0.0.1", kTunnel);
  EXPECT_FALSE(no_call.is_running());
  // No worker ever made a pass: nothing can have been set.
  EXPECT_EQ(stepper_.passes(), 0);
  EXPECT_TRUE(network_.DnsCalls().empty());
}

TEST_F(TunnelDnsKeeperTest, StopEndsTheWorkerWithoutWaitingOutThePoll) {
  AddAdapter(7, L"TovraneVPN", 70);
  TunnelDnsKeeper keeper(network_.Functions());  // the real 500 ms pauses
  keeper.StartTunnelDns(L"DNS = 10.0.0.1", kTunnel);
  ASSERT_TRUE(network_.WaitForDnsCalls(1, 5000));
  const auto before = std::chrono::steady_clock::now();
  keeper.StopTunnelDns();
  EXPECT_LT(std::chrono::steady_clock::now() - before,
            std::chrono::milliseconds(300));
  EXPECT_FALSE(keeper.is_running());
  EXPECT_EQ(network_.DnsCalls().size(), 1u);
}

}  // namespace
}  // namespace velk
