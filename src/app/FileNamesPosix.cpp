// SPDX-License-Identifier: MIT
// File names on Linux: the bytes the file system holds, whatever the locale makes of them.
#include <QFile>

#include "app/FileNames.h"

namespace corvelle {

std::string EngineFileName(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString ShownFileName(std::string_view path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

}  // namespace corvelle
