# Sourced by the scripts that drive the program on an X server.
#
# find_window CAPTION SECONDS [PID]: prints the id of the visible window
# titled exactly CAPTION (of process PID when given: xvfb-run -a can hand two
# concurrent runs one display), waiting up to SECONDS. xdotool's own --sync
# dies with BadWindow when a window goes away while it walks the tree (the
# browser engine makes and drops a few at start), so this polls instead.
find_window() {
  local caption=$1 seconds=$2 wid= i
  local owner=()
  [ -n "${3:-}" ] && owner=(--pid "$3")
  for ((i = 0; i < seconds * 5; i++)); do
    wid=$(xdotool search --onlyvisible "${owner[@]}" --name "^$caption\$" 2>/dev/null | head -n 1) || true
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    sleep 0.2
  done
  return 1
}
