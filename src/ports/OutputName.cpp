// SPDX-License-Identifier: MIT
// The FILE kind's save dialog: the name it proposes and the question itself.
#include <cctype>

#include "ports/FileBackend.h"

#include "base/Host.h"

namespace corvelle {

std::string SuggestedOutputName(const std::string& outputName, const std::string& fallbackOutputName) {
  std::string name = outputName.empty() ? fallbackOutputName : outputName;
  std::string lower = outputName;
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto krv = lower.find(".krv");
  if (krv != std::string::npos) name.resize(krv);
  // A name that already ends in the extension is not given it twice ("fontext.out").
  std::string tail = name.size() >= 4 ? name.substr(name.size() - 4) : std::string();
  for (auto& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (tail != ".out") name += ".out";
  const auto slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return name;
}

std::optional<std::string> AskOutputPath(Host& host, const PortOpenArgs& args) {
  SaveDialogRequest request;
  request.suggestedName = SuggestedOutputName(args.outputName, args.fallbackOutputName);
  request.defaultExtension = "out";
  request.filter = kOutputFileFilter;
  request.overwritePrompt = true;
  request.pathMustExist = true;
  return host.AskSavePath(request);
}

}  // namespace corvelle
