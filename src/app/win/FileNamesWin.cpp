// SPDX-License-Identifier: MIT
// File names on Windows: UTF-8 for the engine, not the ANSI code page QFile::encodeName would
// give (which has no letters for most of the names a user may type), and backslashes, as the
// system and its users write paths.
#include <QDir>

#include "app/FileNames.h"

namespace corvelle {

std::string EngineFileName(const QString& path) { return QDir::toNativeSeparators(path).toUtf8().toStdString(); }

QString ShownFileName(std::string_view path) {
  return QDir::toNativeSeparators(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
}

}  // namespace corvelle
