// SPDX-License-Identifier: MIT
// Colours stored as 32-bit 0x00BBGGRR values (red in the low byte), as the port dialog names them.
#pragma once

#include <QColor>
#include <cstdint>

namespace corvelle {

inline QColor ColorFromRef(std::uint32_t ref) {
  return QColor(static_cast<int>(ref & 0xFF), static_cast<int>(ref >> 8 & 0xFF), static_cast<int>(ref >> 16 & 0xFF));
}

}  // namespace corvelle
