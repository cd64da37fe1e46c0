// The program's builders, downloads and printer commands, joined to the window's actions.
#include "app/PrinterActions.h"

#include "fontset/FontSetBuilder.h"

namespace corvelle {
namespace {

FontSetBuildContext BuildContext(const FontSetJob& job) { return {job.host, job.profile, job.programFolder}; }

}  // namespace

PrinterActions ProgramPrinterActions(const Profile&) {
  PrinterActions actions;
  actions.buildFontSet = [](const FontSetJob& job, const std::string& outputPath) {
    return BuildFontSet(BuildContext(job), outputPath);
  };
  actions.buildLegacyFontSet = [](const FontSetJob& job, const std::string& outputPath) {
    return BuildLegacyFontSet(BuildContext(job), outputPath);
  };
  return actions;
}

}  // namespace corvelle
