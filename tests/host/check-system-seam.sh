#!/bin/sh
# The packer touches the operating system, and the libraries that only one system
# offers, only in the folders named after a system (linux/, windows/), behind a header
# of its layer. Elsewhere an include of such a header, or a test of which system the
# code is built for, is reported on a line of its own, and the check fails.
#   check-system-seam.sh PACKER_DIR
set -eu
packer=${1:?usage: check-system-seam.sh PACKER_DIR}
system_headers='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(unistd\.h|fcntl\.h|dirent\.h|signal\.h|csignal|sched\.h|spawn\.h|dlfcn\.h|poll\.h|termios\.h|iconv\.h|mspack\.h|windows\.h|winbase\.h|io\.h|direct\.h|process\.h|sys/|unicode/|openssl/)'
platform_tests='^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif).*(_WIN32|_WIN64|__MINGW|__linux|__unix|__APPLE__)'
# The generator of the language table runs on the build machine, never in velmor-pack.
found=$(find "$packer" -type f \( -name '*.cpp' -o -name '*.h' \) \
          ! -path '*/linux/*' ! -path '*/windows/*' ! -name make_windows_languages.cpp |
        sort | xargs grep -nE "$system_headers|$platform_tests" || true)
if [ -n "$found" ]; then
    echo "$found" | sed 's/^/outside the system folders: /'
    exit 1
fi
echo "check-system-seam: no system header and no platform test outside the system folders"
