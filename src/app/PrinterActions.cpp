// The program's builders, downloads and printer commands, joined to the window's actions.
#include "app/PrinterActions.h"

namespace corvelle {

PrinterActions ProgramPrinterActions(const Profile&) { return {}; }

}  // namespace corvelle
