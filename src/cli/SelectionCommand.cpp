// SPDX-License-Identifier: MIT
// corvelle-cli selection: the font selection stored in the profile, changed the way the
// window's buttons change it, and moved to and from selection settings files.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>

#include "base/CodePage.h"
#include "base/Json.h"
#include "base/Profile.h"
#include "base/ProfileLock.h"
#include "base/Text.h"
#include "catalogue/FontSelection.h"
#include "catalogue/SelectionProfile.h"
#include "catalogue/SettingsFile.h"
#include "cli/Commands.h"
#include "cli/TerminalHost.h"

namespace corvelle::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: corvelle-cli selection show [--json]\n"
    "       corvelle-cli selection add [--codepage N] --at P INDEX...\n"
    "       corvelle-cli selection remove P\n"
    "       corvelle-cli selection clear\n"
    "       corvelle-cli selection load FILE\n"
    "       corvelle-cli selection save FILE\n"
    "\n"
    "Works on the selection of 112 font positions stored in the profile (section FontsAggiuntivi).\n"
    "\n"
    "  show         prints each position: its number (001..112), a TAB, the display name, a TAB,\n"
    "               the font path (\"***\" for an empty field); with --json one JSON document,\n"
    "               {\"positions\": [{\"position\": 1, \"name\": ..., \"path\": ...}, ...]}, the\n"
    "               name without its padding, null for an empty field\n"
    "  add          places catalogue entries INDEX... (0-based, as 'catalogue' lists them), lowest\n"
    "               index first, from position P (1..112) on, as \"-->\" does. When they run past\n"
    "               position 112, nothing is stored: stderr names the fonts that do not fit and\n"
    "               the exit status is 1. --codepage picks the catalogue (default: the\n"
    "               profile's Codepage, else 2)\n"
    "  remove       empties position P (1..112), as \"<--\" does\n"
    "  clear        empties all positions, as \"Empty list\" does\n"
    "  load         reads a .kvf selection settings file, as \"Load settings\" does\n"
    "  save         writes the stored selection to a .kvf file, as \"Save settings\" does\n"
    "\n"
    "Every command but show and save stores the result in the profile. A message the window would\n"
    "show goes to standard error and the exit status is 1; usage errors exit with 2.\n"
    "\n"
    "Example: corvelle-cli selection add --at 1 0 1 2\n";

// A position number 1..112 as typed, as a position 0..111.
std::optional<int> PositionArg(ArgReader& args, std::optional<long long> number, const std::string& text) {
  if (!number || *number < 1 || *number > kSelectionPositions) {
    args.Fail("position must be a number from 1 to 112, not '" + text + "'");
    return std::nullopt;
  }
  return static_cast<int>(*number - 1);
}

int StoreSelection(const FontSelection& selection, Profile& profile) {
  StoreSelectionToProfile(selection, profile);
  if (const Outcome saved = profile.Save(); !saved) {
    std::cerr << "corvelle-cli: " << saved.message << '\n';
    return kExitFailed;
  }
  return kExitOk;
}

// An empty field as null, a text without its padding.
std::string JsonField(const std::string& value) {
  return value == kEmptyMarker ? "null" : JsonString(TrimPadding(value));
}

// Display names are the index files' bytes; the selection does not say which code page each came
// from, so they are read in that of the stored code-page choice, the catalogue they were most
// likely taken from. Paths are file names and go as they are.
int ShowJson(const FontSelection& selection, CodePage names) {
  std::cout << "{\"positions\": [";
  for (int p = 0; p < kSelectionPositions; ++p) {
    const SelectionSlot& slot = selection[static_cast<size_t>(p)];
    const std::string name = slot.displayName == kEmptyMarker ? slot.displayName : Utf8FromCodePage(slot.displayName, names);
    std::cout << (p == 0 ? "\n" : ",\n") << "  {\"position\": " << p + 1 << ", \"name\": " << JsonField(name)
              << ", \"path\": " << JsonField(slot.fontPath) << "}";
  }
  std::cout << "\n]}\n";
  return FinishOutput("selection");
}

int Show(const FontSelection& selection) {
  for (int p = 0; p < kSelectionPositions; ++p) {
    const SelectionSlot& slot = selection[static_cast<size_t>(p)];
    char number[8];
    std::snprintf(number, sizeof number, "%03d", p + 1);
    std::cout << number << '\t' << slot.displayName << '\t' << slot.fontPath << '\n';
  }
  return FinishOutput("selection");
}

// What is wrong when the fonts of `request` run past position 112: which of them would not fit,
// each as its index and name; "" when they all fit. The window goes no further than 112, so the
// whole add is refused rather than some of the fonts quietly dropped.
std::string Overflow(const FontCatalogue& catalogue, const AddRequest& request) {
  std::vector<int> indices = request.selectedIndices;
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  if (!request.destination || indices.size() > static_cast<std::size_t>(kMaxFontsPerAdd)) return "";
  const auto room = static_cast<std::size_t>(kSelectionPositions - *request.destination);
  if (indices.size() <= room) return "";
  std::string left;
  for (std::size_t i = room; i < indices.size(); ++i) {
    left += (left.empty() ? "" : ", ") + std::to_string(indices[i]) + " " +
            std::string(TrimPadding(catalogue[static_cast<std::size_t>(indices[i])].listText));
  }
  return std::to_string(indices.size() - room) + " of the " + std::to_string(indices.size()) +
         " fonts do not fit from position " + std::to_string(*request.destination + 1) +
         " (the last is 112): " + left + "; nothing was stored";
}

int Add(CliContext& context, ArgReader& args, std::optional<long long> codePage, std::optional<long long> at,
        const std::vector<std::string>& words) {
  int choice = -1;
  std::optional<Profile> stored = ReadProfile(context);
  if (!stored || !HasFontExt(context)) return kExitFailed;
  Profile& profile = *stored;
  if (!codePage) {
    choice = StoredCodePageChoice(profile);
  } else if (*codePage >= 0 && *codePage < kCodePageChoices) {
    choice = static_cast<int>(*codePage);
  }
  const FontCatalogue catalogue = LoadCatalogue(context.programFolder, choice);

  AddRequest request;
  if (at) request.destination = PositionArg(args, at, std::to_string(*at));
  for (size_t i = 1; i < words.size(); ++i) {
    const auto index = ArgReader::ParseInteger(words[i]);
    if (!index || *index < 0 || static_cast<unsigned long long>(*index) >= catalogue.size()) {
      args.Fail("'" + words[i] + "' is not an index of the catalogue (it has " + std::to_string(catalogue.size()) +
                " entries)");
      return kExitUsage;
    }
    request.selectedIndices.push_back(static_cast<int>(*index));
  }
  if (args.Failed()) return kExitUsage;
  if (const std::string overflow = Overflow(catalogue, request); !overflow.empty()) {
    std::cerr << "corvelle-cli: " << overflow << '\n';
    return kExitFailed;
  }
  // A freshly filled list has its focus caret on the first item.
  request.hasCurrentAvailable = !catalogue.empty();

  // The arguments are sound: read again under the lock, so that runs at the same time take turns.
  const ProfileLock lock(context.profilePath, [&context] { return context.host.Interrupted(); });
  stored = ReadProfile(context);
  if (!stored) return kExitFailed;
  FontSelection selection = LoadSelectionFromProfile(profile);
  const AddOutcome outcome =
      AddSelected(selection, catalogue, context.programFolder, request,
                  [&](const std::string& text) { return context.host.ShowMessage(text, MessageStyle::Question); });
  if (outcome.refusal) {
    context.host.ShowMessage(outcome.refusal->text, MessageStyle::Plain);
    return kExitFailed;
  }
  return StoreSelection(selection, profile);
}

int RunSelection(CliContext& context, ArgReader& args) {
  const auto codePage = args.IntOption("codepage");
  const auto at = args.IntOption("at");
  const bool json = args.Flag("json");
  const std::vector<std::string> words = args.Positionals();
  if (args.Failed()) return kExitUsage;
  if (words.empty()) {
    args.Fail("selection needs a subcommand: show, add, remove, clear, load or save");
    return kExitUsage;
  }
  const std::string& sub = words[0];
  if (sub != "add" && (codePage || at)) {
    args.Fail("--codepage and --at belong to 'selection add'");
    return kExitUsage;
  }
  if (sub != "show" && json) {
    args.Fail("--json belongs to 'selection show'");
    return kExitUsage;
  }
  const auto expectWords = [&](size_t count, const char* usage) {
    if (words.size() != count) args.Fail(std::string("usage: selection ") + usage);
    return !args.Failed();
  };

  if (sub == "add") return Add(context, args, codePage, at, words);

  const std::map<std::string, const char*> usages{
      {"show", "show"}, {"remove", "remove P"}, {"clear", "clear"}, {"load", "load FILE"}, {"save", "save FILE"}};
  const auto usage = usages.find(sub);
  if (usage == usages.end()) {
    args.Fail("unknown subcommand 'selection " + sub + "'");
    return kExitUsage;
  }
  if (!expectWords(sub == "show" || sub == "clear" ? 1 : 2, usage->second)) return kExitUsage;
  std::optional<int> position;
  if (sub == "remove" && !(position = PositionArg(args, ArgReader::ParseInteger(words[1]), words[1]))) {
    return kExitUsage;
  }

  // "remove", "clear" and "load" read, change and save the profile: one run at a time.
  std::optional<ProfileLock> lock;
  if (sub != "show" && sub != "save") lock.emplace(context.profilePath, [&context] { return context.host.Interrupted(); });
  std::optional<Profile> stored = ReadProfile(context);
  if (!stored) return kExitFailed;
  Profile& profile = *stored;
  FontSelection selection = LoadSelectionFromProfile(profile);
  if (sub == "show") return json ? ShowJson(selection, CodePageOfChoice(StoredCodePageChoice(profile))) : Show(selection);
  if (sub == "remove") {
    RemoveSelected(selection, position);
    return StoreSelection(selection, profile);
  }
  if (sub == "clear") {
    EmptySelection(selection);
    return StoreSelection(selection, profile);
  }
  const Outcome result = sub == "load" ? LoadSettingsFile(words[1], context.programFolder, selection)
                                       : SaveSettingsFile(selection, words[1]);
  if (!result) {
    std::cerr << "corvelle-cli: " << result.message << '\n';
    return kExitFailed;
  }
  return sub == "load" ? StoreSelection(selection, profile) : kExitOk;
}

}  // namespace

Command SelectionCommand() {
  return {"selection", "show or change the stored font selection, load or save .kvf files", kHelp, RunSelection};
}

}  // namespace corvelle::cli
