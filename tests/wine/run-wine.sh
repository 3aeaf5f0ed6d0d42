#!/usr/bin/env bash
# Runs a Windows program under Wine and passes on its output and exit status. The
# 64-bit loader hands a 32-bit program on to Wine's 32-bit loader by itself. Wine runs
# as the user wine-user.sh names.
# The output goes through a file: Wine's own helper processes inherit the program's
# output handles and outlive it, and would otherwise hold CTest's pipe open until the
# Wine server shuts down.
source "$(dirname "$0")/wine-user.sh"
log=$(mktemp)
as_wine_user /usr/lib/wine/wine64 "$@" >"$log" 2>&1
status=$?
cat "$log"
rm -f "$log"
exit $status
