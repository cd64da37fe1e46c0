#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# corvelle-cli.exe under Wine downloading over USB to the stand-in FTD2XX.dll while the printer
# holds XOFF: SIGINT to the Wine process arrives as the console's Ctrl-C, which is STOP inside the
# kind's wait for permission to send: "Download stopped.", exit 1, nothing written, the device
# purged and closed. Usage: usb-sigint-test.sh WINE CORVELLE-CLI.EXE
set -euo pipefail
wine=$1 cli=$2
dir=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$dir"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "--- stderr:" >&2; cat "$dir/err" >&2 || true
  echo "--- calls:" >&2; cut -c1-120 "$dir/calls.log" >&2 || true
  exit 1
}

mkdir -p "$dir/program/FontExt"
head -c 100 /dev/zero | tr '\0' h >"$dir/program/FontExt/f10.hea"
head -c 3000 /dev/urandom >"$dir/program/FontExt/f10.sh"
printf '[FontsAggiuntivi]\nFont001=%s\n' "$dir/program/FontExt/f1.she" >"$dir/corvelle.ini"

CORVELLE_D2XX_LOG="$dir/calls.log" CORVELLE_D2XX_REPLY=13 \
  "$wine" "$cli" --program-folder "$dir/program" --profile "$dir/corvelle.ini" download -q --port USB \
  </dev/null >"$dir/err" 2>&1 &
pid=$!
# Held: the XOFF byte has been read and the kind keeps asking for the queue status.
held() { [ -f "$dir/calls.log" ] && [ "$(grep -c '^FT_GetQueueStatus -> 0 0$' "$dir/calls.log")" -ge 3 ]; }
for _ in $(seq 300); do
  held && break
  kill -0 "$pid" 2>/dev/null || fail "corvelle-cli.exe ended before the printer's XOFF held it"
  sleep 0.1
done
held || fail "the write never waited"
kill -INT "$pid"
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "corvelle-cli.exe still runs 5 s after SIGINT"
status=0
wait "$pid" || status=$?
pid=
[ "$status" = 1 ] || fail "exit status $status, not 1"
grep -qx 'Download stopped.' <(tr -d '\r' <"$dir/err") || fail "no 'Download stopped.'"
! grep -q '^FT_Write' "$dir/calls.log" || fail "bytes were written while the printer held XOFF"
[ "$(tail -n 2 "$dir/calls.log" | tr '\n' '|')" = 'FT_Purge 3 -> 0|FT_Close -> 0|' ] ||
  fail "the device was not purged and closed last"
[ "$(grep -c '^FT_OpenEx' "$dir/calls.log")" = 1 ] || fail "the download opened the port again after STOP"
echo "ok: SIGINT was STOP in the USB wait"
