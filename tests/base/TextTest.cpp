// SPDX-License-Identifier: MIT
// Text forms: telling well-formed UTF-8 from other bytes at the edges of its forms, the code
// pages' bytes as UTF-8, and IPv4 addresses as text read exactly as the C library's inet_aton
// reads them, so that every spelling a user may give names one address, and nothing else passes
// for one.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "base/CodePage.h"
#include "base/Ipv4Text.h"

namespace corvelle {
namespace {

TEST(Utf8, WellFormedSequencesAreTakenWholeEveryBadFormIsRefusedAndTheCodePagesLettersBecomeTheirCharacters) {
  const std::pair<const char*, std::size_t> cases[] = {
      {"a", 1},          {"\xC3\xA9", 2},     {"\xE2\x82\xAC", 3}, {"\xF0\x9F\x98\x80", 4}, {"\xF4\x8F\xBF\xBF", 4},
      {"\xC0\x80", 0},   {"\xC1\xBF", 0},     {"\xE0\x9F\xBF", 0}, {"\xED\xA0\x80", 0},     {"\xF0\x8F\xBF\xBF", 0},
      {"\xF4\x90\x80\x80", 0}, {"\xF5\x80\x80\x80", 0}, {"\xC3", 0}, {"\xE2\x82", 0},      {"\x80", 0},
      {"\xC3\x28", 0},   {"\xE2\x28\xAC", 0}, {"", 0}};
  for (const auto& [text, length] : cases) EXPECT_EQ(Utf8SequenceLength(text), length) << testing::PrintToString(text);
  EXPECT_TRUE(IsUtf8("C:\\Polic\xC3\xA9\\x.she"));
  EXPECT_FALSE(IsUtf8("C:\\Polic\xE9\\x.she"));
  // Each code page's letters become their characters, undefined bytes the replacement.
  EXPECT_EQ(Utf8FromCodePage("Polic\xE9 \x80", CodePage::Cp1252), "Polic\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(Utf8FromCodePage("\x8A\xB9", CodePage::Cp1250), "\xC5\xA0\xC4\x85");      // Š ą
  EXPECT_EQ(Utf8FromCodePage("\xC0\xFF\xA8", CodePage::Cp1251), "\xD0\x90\xD1\x8F\xD0\x81");  // А я Ё
  EXPECT_EQ(Utf8FromCodePage("\xC1\xF9", CodePage::Cp1253), "\xCE\x91\xCF\x89");      // Α ω
  EXPECT_EQ(Utf8FromCodePage(std::string("\x81" "a\0b", 4), CodePage::Cp1252), std::string("\xEF\xBF\xBD" "a\0b", 6));
  // Choice 4 is the list of every code page.
  EXPECT_EQ(std::vector({CodePageOfChoice(1), CodePageOfChoice(4), CodePageOfChoice(-1)}),
            std::vector({CodePage::Cp1251, CodePage::Cp1252, CodePage::Cp1252}));
  // Stored text: UTF-8 stays, anything else was the ANSI code page.
  EXPECT_EQ(Utf8FromStoredText("Zo\xC3\xAB") + Utf8FromStoredText("Zo\xEB"), "Zo\xC3\xABZo\xC3\xAB");
}

TEST(Ipv4Text, EveryFormInetAtonTakesAndNothingElse) {
  for (const char* text :
       {"127.0.0.1", "127.1", "127.0.1", "2130706433", "0x7f000001", "0X7F.1", "0177.0.0.01", "0x7f.0.0.0x1", "0", "0x",
        "0x.0x.0x.0x", "00", "255.255.255.255", "255.16777215", "255.255.65535", "4294967295", "256.0.0.1", "1.256.0.1",
        "1.2.65536", "1.16777216", "4294967296", "0x100000000", "08", "09.1", "0xg", "1..2", "1.2.3.", ".1.2.3",
        "1.2.3.4.5", "", "a", "localhost", "::1", "1.2.3.4x", "+1", "-1", "1.-2", "99999999999999999999",
        "0x0000000000000000000001", "000000000000000000000000177.1"}) {
    SCOPED_TRACE(text);
    in_addr expected{};
    const bool valid = ::inet_aton(text, &expected) != 0;
    EXPECT_EQ(ParseIPv4(text), valid ? std::optional(ntohl(expected.s_addr)) : std::nullopt);
  }
  EXPECT_EQ(DottedDecimal(0x7F000001) + " " + DottedDecimal(0xFFFFFFFF) + " " + DottedDecimal(0), "127.0.0.1 255.255.255.255 0.0.0.0");
}

}  // namespace
}  // namespace corvelle
