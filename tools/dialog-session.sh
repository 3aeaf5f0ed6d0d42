# Sourced by the scripts that show the stub's dialogs under Wine (the demo, the
# pictures, the benchmark), often on a screen nobody watches.
#   use_show_prefix BUILD_DIR  exports WINEPREFIX=BUILD_DIR/wineprefix-show and prepares
#                              it: a prefix of its own, so that the fonts and settings
#                              below (Wine's fonts, classic controls) never change what
#                              the tests see
#   stop_show_wine             ends that prefix's Wine server and its processes
#   unmanaged_windows NAME...  Wine frames the windows of these programs itself
#   start_virtual_display      starts Xvfb on a free display and exports DISPLAY
#   stop_virtual_display       ends it again
#   capture_window DIR STOP PNG DRIVER_PID   waits for the driver's DIR/STOP.rect
#                              (while the driver runs), saves the window's part of the
#                              screen as PNG, answers DIR/STOP.done

session_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$session_top/tests/wine/wine-user.sh"

use_show_prefix() {
  export WINEPREFIX=$1/wineprefix-show WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # A server left from an earlier run would keep its desktop on another display.
  stop_show_wine
  "$session_top/tests/wine/prepare-prefix.sh" "$WINEPREFIX" "$1/wine-cdrom-show"
  # Debian's Wine does not find its own fonts (MS Sans Serif, Tahoma, Marlett for
  # the caption buttons): without them dialogs come out in a stand-in font.
  local fonts=$WINEPREFIX/drive_c/windows/Fonts f
  for f in /usr/share/wine/fonts/*.ttf; do
    [ -f "$f" ] && [ ! -f "$fonts/${f##*/}" ] && cp "$f" "$fonts/"
  done
  give_to_wine_user "$fonts"
  # Windows draws the controls of a program without a manifest, as the stub is, in the
  # classic style; Wine themes them regardless, and under 32-bit Wine its themed
  # progress bar costs some 8 ms a step. Classic controls show what Windows shows.
  as_wine_user /usr/lib/wine/wine64 reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' \
    /v ThemeActive /d 0 /f >/dev/null 2>&1 || true
}

stop_show_wine() {
  if [ -n "${WINEPREFIX:-}" ]; then
    as_wine_user wineserver -k >/dev/null 2>&1 || true
  fi
}

# Without a window manager (a virtual display has none) Wine waits 2 s for every
# window it hides to be withdrawn, and nobody draws the captions. Unmanaged windows
# are framed by Wine itself and close at once.
unmanaged_windows() {
  local name
  for name; do
    as_wine_user /usr/lib/wine/wine64 reg add "HKCU\\Software\\Wine\\AppDefaults\\$name\\X11 Driver" \
      /v Managed /d N /f >/dev/null 2>&1
  done
}

virtual_display_pid=

start_virtual_display() {
  local number_file
  number_file=$(mktemp)
  # -displayfd: Xvfb picks a free display number and writes it once it accepts clients.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  virtual_display_pid=$!
  local tries=0
  until [ -s "$number_file" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 "$virtual_display_pid" 2>/dev/null; then
      echo "virtual-display: Xvfb did not start" >&2
      rm -f "$number_file"
      return 1
    fi
    sleep 0.1
  done
  export DISPLAY=:$(head -n1 "$number_file")
  rm -f "$number_file"
}

stop_virtual_display() {
  [ -n "$virtual_display_pid" ] || return 0
  kill "$virtual_display_pid" 2>/dev/null || true
  wait "$virtual_display_pid" 2>/dev/null || true
  virtual_display_pid=
}

capture_window() {
  local dir=$1 stop=$2 png=$3 driver=$4 waited=0
  until [ -f "$dir/$stop.rect" ]; do
    waited=$((waited + 1))
    if [ $waited -gt 600 ] || ! kill -0 "$driver" 2>/dev/null; then
      echo "virtual-display: no $stop window reported" >&2
      return 1
    fi
    sleep 0.1
  done
  local left top width height
  read -r left top width height <"$dir/$stop.rect"
  # Let the window finish painting before the screen is read.
  sleep 0.3
  import -display "$DISPLAY" -window root -crop "${width}x${height}+${left}+${top}" +repage "$png"
  touch "$dir/$stop.done"
}
