#include "common/tunnel_identity.h"

#include <gtest/gtest.h>

using velk::IsTunnelAlias;

namespace {

TEST(IsTunnelAlias, AcceptsTheNameAloneOrFollowedBySpace) {
  EXPECT_TRUE(IsTunnelAlias(L"TovraneVPN", L"TovraneVPN"));
  EXPECT_TRUE(IsTunnelAlias(L"TovraneVPN 7", L"TovraneVPN"));
  EXPECT_TRUE(IsTunnelAlias(L"TovraneVPN ", L"TovraneVPN"));
}

TEST(IsTunnelAlias, RejectsOtherCaseDigitsAndPrefixes) {
  EXPECT_FALSE(IsTunnelAlias(L"TovraneVPN7", L"TovraneVPN"));
  EXPECT_FALSE(IsTunnelAlias(L"tovranevpn", L"TovraneVPN"));
  EXPECT_FALSE(IsTunnelAlias(L"TovraneVP", L"TovraneVPN"));
  EXPECT_FALSE(IsTunnelAlias(L"TovraneVPN\t2", L"TovraneVPN"));
  EXPECT_FALSE(IsTunnelAlias(L"", L"TovraneVPN"));
  EXPECT_FALSE(IsTunnelAlias(L" TovraneVPN", L"TovraneVPN"));
}

}  // namespace
