# SPDX-License-Identifier: MIT
# corvelle-cli.exe ping of a name that no resolver knows fails as on Linux: "No reply from NAME:
# host not found", exit 1. Wine resolves names in the program's own process, so running it in an
# empty network namespace keeps the look-up on this machine; without namespaces the test skips.
execute_process(COMMAND unshare -n true RESULT_VARIABLE can OUTPUT_QUIET ERROR_QUIET)
if(NOT can EQUAL 0)
  message("SKIP: no network namespace can be made here (unshare -n needs CAP_SYS_ADMIN)")
  return()
endif()
execute_process(COMMAND unshare -n wine ${CLI} ping no-such-printer.invalid
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code)
# The line may end with CR LF or LF, as Wine gives the pipe a text or a binary mode.
string(REPLACE "\r\n" "\n" err "${err}")
if(NOT code EQUAL 1 OR NOT out STREQUAL "" OR NOT err STREQUAL "No reply from no-such-printer.invalid: host not found\n")
  message(FATAL_ERROR "exit ${code}, stdout [${out}], stderr [${err}]")
endif()
