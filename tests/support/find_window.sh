# Sourced by the scripts that drive the program on an X server.
#
# find_window CAPTION SECONDS: prints the id of the visible window titled
# exactly CAPTION, waiting up to SECONDS. xdotool's own --sync dies with
# BadWindow when a window goes away while it walks the tree (the browser
# engine makes and drops a few at start), so this polls instead.
find_window() {
  local caption=$1 seconds=$2 wid= i
  for ((i = 0; i < seconds * 5; i++)); do
    wid=$(xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | head -n 1) || true
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    sleep 0.2
  done
  return 1
}
