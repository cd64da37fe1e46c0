// SPDX-License-Identifier: MIT
// Registration of the program's fonts.
#include "app/FontRegistration.h"

#include <QFontDatabase>
#include <string>

#include "app/FileNames.h"
#include "base/Paths.h"
#include "resources/Strings.h"

namespace corvelle {

int RegisterProgramFonts(std::string_view programFolder, Host& host) {
  const std::string folder = JoinPath(programFolder, "fonts");
  int added = 0;
  for (const std::string_view name : kProgramFonts) {
    const std::string path = JoinPath(folder, name);
    if (QFontDatabase::addApplicationFont(ShownFileName(path)) != -1) ++added;
  }
  if (added != static_cast<int>(kProgramFonts.size())) {
    host.ShowMessage(std::string(LoadStr(IDS_FONT_LOADING_ERROR)), MessageStyle::Plain);
  }
  return added;
}

}  // namespace corvelle
