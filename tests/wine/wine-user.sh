# Sourced by every script that starts Wine: Windows programs run as an ordinary user,
# as they do on Windows. Wine run by root may open a read-only file for writing, which
# no Windows user can, so a test run as root passes where a user's run fails. When the
# caller is root, Wine runs as the system user velmor-test (kit creates it once); for
# any other caller, as the caller. Wine refuses a prefix its user does not own, and
# its server belongs to that user too: every Wine process of a prefix, wineserver
# included, is started through as_wine_user.
#   wine_user              the user Wine runs as; empty: the caller itself
#   as_wine_user CMD...    runs CMD as that user, the environment kept, with the X
#                          display's cookie shared where the display has one
#   give_to_wine_user PATH...  hands PATH and everything below it to that user
#   make_wine_user         creates the user when missing (root only)
#   wine_user_reaches DIR  0 when that user can read below DIR

wine_user=
wine_user_home=
if [ "$(id -u)" -eq 0 ]; then
  wine_user=velmor-test
  wine_user_home=/var/lib/$wine_user
fi

make_wine_user() {
  [ -n "$wine_user" ] || return 0
  id -u "$wine_user" >/dev/null 2>&1 && return 0
  # Two runs may race to create it: the one that loses finds the user made.
  useradd --system --create-home --home-dir "$wine_user_home" --shell /usr/sbin/nologin \
    --comment "velmor tests under Wine" "$wine_user" 2>/dev/null || id -u "$wine_user" >/dev/null
}

wine_user_reaches() {
  [ -n "$wine_user" ] || return 0
  runuser -u "$wine_user" -- test -r "$1" -a -x "$1"
}

give_to_wine_user() {
  [ -z "$wine_user" ] || chown -R "$wine_user:" "$@"
}

# Xvfb as xvfb-run starts it admits only holders of its cookie, kept in a file only
# root can read: the cookie is merged into the Wine user's own authority file.
share_display_with_wine_user() {
  [ -n "${DISPLAY:-}" ] || return 0
  local cookie
  cookie=$(xauth nextract - "$DISPLAY" 2>/dev/null) || return 0
  [ -n "$cookie" ] || return 0
  printf '%s\n' "$cookie" |
    runuser -u "$wine_user" -- xauth -q -f "$wine_user_home/.Xauthority" nmerge - 2>/dev/null || true
}

as_wine_user() {
  if [ -z "$wine_user" ]; then
    "$@"
    return
  fi
  if ! id -u "$wine_user" >/dev/null 2>&1; then
    echo "wine-user: no user $wine_user to run Wine as: './kit build' creates it" >&2
    return 1
  fi
  share_display_with_wine_user
  XAUTHORITY=$wine_user_home/.Xauthority runuser -u "$wine_user" -- "$@"
}
