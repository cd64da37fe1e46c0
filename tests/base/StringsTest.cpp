// The string table's counted messages.
#include <gtest/gtest.h>

#include "resources/Strings.h"

namespace corvelle {
namespace {

TEST(Strings, CountedMessageCarriesTheNumber) {
  EXPECT_EQ(FormatStr(IDS_MAX_112_FONTS, 113), "Select max. 112 fonts, please.\n\nNow 113 selected.");
}

TEST(Strings, UnknownNumberIsEmpty) {
  EXPECT_TRUE(LoadStr(9999).empty());
  EXPECT_EQ(LoadStr(IDS_CONNECT_FAILED).back(), ' ');
}

}  // namespace
}  // namespace corvelle
