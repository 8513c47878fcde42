#include "win/scoped_handle.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace velk {
namespace {

// A resource kind whose closes are recorded, and whose close clobbers the
// thread's last error as a failing CloseHandle would.
struct RecordedClose {
  std::vector<int>* closed = nullptr;
};

struct RecordingTraits : NullInvalidTraits<int*> {
  RecordingTraits() = default;
  explicit RecordingTraits(RecordedClose record) : record(record) {}
  void Close(int* value) const {
    record.closed->push_back(*value);
    SetLastError(ERROR_INVALID_HANDLE);
  }
  RecordedClose record;
};

using ScopedRecorded = ScopedResource<RecordingTraits>;

class ScopedResourceTest : public testing::Test {
 protected:
  ScopedRecorded Own(int* value) {
    return ScopedRecorded(value, RecordingTraits(RecordedClose{&closed_}));
  }

  int one_ = 1;
  int two_ = 2;
  int three_ = 3;
  std::vector<int> closed_;
};

TEST_F(ScopedResourceTest, ClosesEachValueExactlyOnce) {
  {
    ScopedRecorded owner = Own(&one_);
    owner.reset(&two_);  // closes 1
    EXPECT_EQ(owner.get(), &two_);
    EXPECT_EQ(closed_, std::vector<int>{1});
    owner.reset();  // closes 2, owns nothing
    EXPECT_FALSE(owner);
    owner.reset(&three_);
  }  // closes 3
  EXPECT_EQ(closed_, (std::vector<int>{1, 2, 3}));

  {
    ScopedRecorded owner = Own(&one_);
    EXPECT_EQ(owner.release(), &one_);
    EXPECT_FALSE(owner.is_valid());
  }
  EXPECT_EQ(closed_.size(), 3u);  // released: not closed
}

TEST_F(ScopedResourceTest, MovesOwnershipAndTheWayToClose) {
  {
    ScopedRecorded first = Own(&one_);
    ScopedRecorded second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), &one_);

    ScopedRecorded third = Own(&two_);
    third = std::move(second);  // closes 2, takes 1
    EXPECT_EQ(closed_, std::vector<int>{2});
    EXPECT_EQ(third.get(), &one_);

    // A default owner learns how to close from the one moved into it.
    ScopedRecorded fourth;
    fourth = std::move(third);
    EXPECT_EQ(fourth.get(), &one_);
  }
  EXPECT_EQ(closed_, (std::vector<int>{2, 1}));
}

TEST_F(ScopedResourceTest, ReceiveClosesTheOldValueAndTakesTheNew) {
  ScopedRecorded owner = Own(&one_);
  int** place = owner.receive();
  EXPECT_EQ(closed_, std::vector<int>{1});
  EXPECT_EQ(*place, nullptr);
  *place = &two_;  // as an out-parameter is written
  EXPECT_EQ(owner.get(), &two_);
  owner.reset();
  EXPECT_EQ(closed_, (std::vector<int>{1, 2}));
}

TEST_F(ScopedResourceTest, KeepsTheLastErrorOfTheFailedCallAcrossClose) {
  {
    ScopedRecorded owner = Own(&one_);
    SetLastError(ERROR_FILE_NOT_FOUND);  // the caller's failed call
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ScopedRecorded owner = Own(&two_);
  SetLastError(ERROR_ACCESS_DENIED);
  owner.reset();
  (void)owner.receive();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(closed_, (std::vector<int>{1, 2}));
}

TEST(ScopedKernelHandle, TakesBothNoneValuesForNothingAndClosesRealHandles) {
  EXPECT_FALSE(ScopedKernelHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(ScopedKernelHandle(nullptr));

  ScopedKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event.get(),
                              GetCurrentProcess(), &copy, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  const ScopedKernelHandle copy_owner(copy);
  const HANDLE original = event.get();
  event.reset();
  // The owner's handle is gone; the duplicate still reaches the event.
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(original, &flags));
  EXPECT_TRUE(GetHandleInformation(copy_owner.get(), &flags));
}

}  // namespace
}  // namespace velk
