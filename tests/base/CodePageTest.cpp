// SPDX-License-Identifier: MIT
// Telling well-formed UTF-8 from other bytes at the edges of its forms, and the code pages' bytes
// as UTF-8.
#include <gtest/gtest.h>

#include "base/CodePage.h"

namespace corvelle {
namespace {

TEST(Utf8, WellFormedSequencesAreTakenWholeAndEveryBadFormIsRefused) {
  const std::pair<const char*, std::size_t> cases[] = {
      {"a", 1},          {"\xC3\xA9", 2},     {"\xE2\x82\xAC", 3}, {"\xF0\x9F\x98\x80", 4}, {"\xF4\x8F\xBF\xBF", 4},
      {"\xC0\x80", 0},   {"\xC1\xBF", 0},     {"\xE0\x9F\xBF", 0}, {"\xED\xA0\x80", 0},     {"\xF0\x8F\xBF\xBF", 0},
      {"\xF4\x90\x80\x80", 0}, {"\xF5\x80\x80\x80", 0}, {"\xC3", 0}, {"\xE2\x82", 0},      {"\x80", 0},
      {"\xC3\x28", 0},   {"\xE2\x28\xAC", 0}, {"", 0}};
  for (const auto& [text, length] : cases) EXPECT_EQ(Utf8SequenceLength(text), length) << testing::PrintToString(text);
  EXPECT_TRUE(IsUtf8("C:\\Polic\xC3\xA9\\x.she"));
  EXPECT_FALSE(IsUtf8("C:\\Polic\xE9\\x.she"));
}

TEST(CodePages, EachPagesLettersBecomeTheirCharactersAndUndefinedBytesTheReplacement) {
  EXPECT_EQ(Utf8FromCodePage("Polic\xE9 \x80", CodePage::Cp1252), "Polic\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(Utf8FromCodePage("\x8A\xB9", CodePage::Cp1250), "\xC5\xA0\xC4\x85");      // Š ą
  EXPECT_EQ(Utf8FromCodePage("\xC0\xFF\xA8", CodePage::Cp1251), "\xD0\x90\xD1\x8F\xD0\x81");  // А я Ё
  EXPECT_EQ(Utf8FromCodePage("\xC1\xF9", CodePage::Cp1253), "\xCE\x91\xCF\x89");      // Α ω
  EXPECT_EQ(Utf8FromCodePage("\x81", CodePage::Cp1252), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8FromCodePage(std::string("a\0b", 3), CodePage::Cp1252), std::string("a\0b", 3));
  EXPECT_EQ(CodePageOfChoice(1), CodePage::Cp1251);
  EXPECT_EQ(CodePageOfChoice(4), CodePage::Cp1252) << "the list of every code page";
  EXPECT_EQ(CodePageOfChoice(-1), CodePage::Cp1252);
  // Stored text: UTF-8 stays, anything else was the ANSI code page.
  EXPECT_EQ(Utf8FromStoredText("Zo\xC3\xAB"), "Zo\xC3\xAB");
  EXPECT_EQ(Utf8FromStoredText("Zo\xEB"), "Zo\xC3\xAB");
}

}  // namespace
}  // namespace corvelle
