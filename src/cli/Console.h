// SPDX-License-Identifier: MIT
// What corvelle-cli asks of the platform's console and standard streams, one implementation per
// platform (ConsolePosix.cpp, win/ConsoleWin.cpp).
#pragma once

#include <string>
#include <vector>

namespace corvelle::cli {

// The arguments after the program's name, as UTF-8.
std::vector<std::string> CommandArguments(int argc, char** argv);

// Readies the standard streams before anything is written: a reader that stops reading
// (`catalogue | head -1`) makes writes fail, which the commands take as the end of their output,
// instead of ending the program; a console shows UTF-8 text as such.
void PrepareConsole();

// True when standard output is a pipe whose reader has gone.
bool StandardOutputReaderGone();

}  // namespace corvelle::cli
