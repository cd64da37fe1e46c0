// SPDX-License-Identifier: MIT
// IPv4 addresses from text for the echo probe and the port kinds: dotted decimal as it stands,
// else the platform's name look-up, which is the same call on both platforms. Reading dotted
// decimal and naming why a look-up failed are each platform's own (EchoSocketPosix.cpp,
// win/EchoSocketWin.cpp).
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#endif

#include <string>

#include "base/Outcome.h"

namespace corvelle {

// An IPv4 socket address with port 0: dotted decimal taken as it is, else the first IPv4
// address a name look-up gives; else why the text names no host (see CEchoProbe::Probe).
Result<sockaddr_in> ResolveIPv4(const std::string& text);

// The first IPv4 address the platform's resolver gives for `name`; else why it gives none.
Result<in_addr> LookUpIPv4Name(const std::string& name);

// `text` in dotted decimal as the platform reads it; false when it is not in that form.
bool ParseDottedIPv4(const std::string& text, in_addr& address);

// The probe's error number for the non-zero status of a failed getaddrinfo.
int LookUpErrorNumber(int status);

}  // namespace corvelle
