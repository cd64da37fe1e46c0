// SPDX-License-Identifier: MIT
// Decoding of the preview font from a detail text.
#include "catalogue/FontPreview.h"

namespace corvelle {
namespace {

constexpr size_t kPreviewTextLength = 76;

// The value of a short digit field as atoi reads it: leading blanks, an optional sign, digits.
int FieldValue(std::string_view field) {
  size_t i = 0;
  while (i < field.size() && (field[i] == ' ' || field[i] == '\t')) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '-' || field[i] == '+')) negative = field[i++] == '-';
  int value = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) value = value * 10 + (field[i] - '0');
  return negative ? -value : value;
}

}  // namespace

std::optional<PreviewFont> DecodePreview(std::string_view detailText) {
  if (detailText.size() < kPreviewTextLength) return std::nullopt;
  PreviewFont font;
  std::string_view face = detailText.substr(32, 32);
  while (!face.empty() && face.back() == ' ') face.remove_suffix(1);
  font.faceName = std::string(face);
  font.height = FieldValue(detailText.substr(68, 4));
  // Character 72 carries a flag the preview does not use.
  font.weight = detailText[73] != '0' ? 700 : 400;
  font.italic = detailText[74] != '0';
  font.underline = detailText[75] != '0';
  return font;
}

}  // namespace corvelle
