# Sourced by the Wayland test and benchmark: starts a headless sway (no GPU,
# no input devices) whose desktop is #336699, with its runtime folder in
# $work/runtime, and exports XDG_RUNTIME_DIR, WAYLAND_DISPLAY and SWAYSOCK
# for its clients; sets $sway_pid, which the caller stops. sway refuses to
# run as root: as root it runs as a system user made for it, and clients
# running as root still connect. Needs $work (a scratch folder, mode 755)
# and fail().
for tool in sway swaymsg setpriv; do
  command -v $tool >/dev/null || fail "$tool is not installed"
done
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf 'output * bg #336699 solid_color\n' > "$work/sway.conf"
as_user=()
if [ "$(id -u)" = 0 ]; then
  sway_user=vivedaziv-test
  id "$sway_user" >/dev/null 2>&1 ||
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$sway_user" ||
    fail "cannot create the user $sway_user"
  chown "$sway_user:" "$XDG_RUNTIME_DIR"
  as_user=(setpriv --reuid="$sway_user" --regid="$sway_user" --clear-groups)
fi
"${as_user[@]}" env -i PATH="$PATH" HOME="$XDG_RUNTIME_DIR" XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" \
  WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
  sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
sway_pid=$!
for _ in $(seq 100); do
  SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2>/dev/null || true)
  WAYLAND_DISPLAY=$(cd "$XDG_RUNTIME_DIR" && ls wayland-? 2>/dev/null | head -n 1 || true)
  [ -n "$SWAYSOCK" ] && [ -n "$WAYLAND_DISPLAY" ] && break
  sleep 0.1
done
[ -n "$SWAYSOCK" ] && [ -n "$WAYLAND_DISPLAY" ] || { cat "$work/sway.log"; fail "sway did not start"; }
export SWAYSOCK WAYLAND_DISPLAY
