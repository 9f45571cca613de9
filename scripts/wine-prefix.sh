# Wine prefixes whose only serial ports are the ones given; sourced by
# scripts/test-windows.sh and bench/windows_figures.sh. The machine's own
# ports (/dev/ttyS0 is the console) are never mapped, so nothing run in such
# a prefix can open one.

wine="$(command -v wine || echo /usr/lib/wine/wine)"  # the 32-bit programs, in a 64-bit prefix
# Where the 32-bit loader cannot start at all (wine32:i386 missing, or a
# kernel without 32-bit support: "Exec format error"), Debian's wine script
# still picks it; the 64-bit loader then runs the programs' 64-bit twin.
# ZORVIK_WINE: the loader that made a prefix used elsewhere (the guest of
# scripts/test-vm.sh takes its host's).
if [ -n "${ZORVIK_WINE:-}" ]; then
  wine="$ZORVIK_WINE"
elif [ -x /usr/lib/wine/wine64 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  wine=/usr/lib/wine/wine64
fi
[ "$wine" != /usr/lib/wine/wine64 ] || export WINELOADER="$wine"

# wine_prefix_boot PREFIX: a fresh prefix, its server stopped.
wine_prefix_boot() {
  WINEPREFIX="$1" "$wine" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$1" wineserver -k 2>/dev/null || true
}

# wine_prefix_ports PREFIX "PRINTING-NAMES" COMn=PATH...: maps each COMn to
# PATH (a device, or a link to one made later) and starts the prefix's
# server, which stays until `wineserver -k`. The printing subsystem is told
# of PRINTING-NAMES (e.g. "COM5: com7:") instead of COM1: to COM4:.
#
# Wine maps the machine's serial devices to the lowest COM numbers not named
# in its Ports key, and to COM256 when every number below is named. A number
# named empty gets a device name but no device behind it.
wine_prefix_ports() {
  local prefix="$1" printing="$2" reg n name
  shift 2
  local -A path=()
  for arg; do path[${arg%%=*}]="${arg#*=}"; done
  reg="$(mktemp "${TMPDIR:-/tmp}/zorvik-ports.XXXXXX.reg")"
  {
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
    for n in $(seq 1 255); do printf '"COM%s"="%s"\r\n' "$n" "${path[COM$n]:-}"; done
    printf '\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports]\r\n'
    printf '"COM1:"=-\r\n"COM2:"=-\r\n"COM3:"=-\r\n"COM4:"=-\r\n'
    for name in $printing; do printf '"%s"=""\r\n' "$name"; done
    # A program that crashes ends with its backtrace instead of waiting on
    # Wine's crash dialog, which the virtual display would show to nobody.
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n'
    # The virtual display has no window manager: Wine is not to leave its
    # windows to one, or it waits 2 s for a manager to withdraw each window
    # that is hidden or destroyed.
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n'
    # The window's face, Microsoft Sans Serif, is not among Wine's fonts (and
    # Debian's Wine loads none of its own): Liberation Sans, of Arial's
    # metrics, stands in under its name, with Cyrillic.
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"Microsoft Sans Serif"="Liberation Sans"\r\n'
  } >"$reg"
  WINEPREFIX="$prefix" "$wine" reg import "Z:${reg//\//\\}" >/dev/null
  rm -f "$reg"
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true

  # The mapping is made when Wine's services start: once, on this server.
  # The machine's own devices come first, then the Ports key's; once the
  # given ones are there, every other link (a real port at COM256) is
  # removed. A device name without its link cannot be opened.
  rm -f "$prefix"/dosdevices/com*
  WINEPREFIX="$prefix" wineserver -p 2>>"$prefix/wineserver.log"
  WINEPREFIX="$prefix" "$wine" reg query 'HKLM\Software\Wine\Ports' /v COM1 >/dev/null 2>&1
  mapped() {
    for name in "${!path[@]}"; do [ -L "$prefix/dosdevices/${name,,}" ] || return 1; done
  }
  for _ in $(seq 100); do mapped && break; sleep 0.05; done
  for link in "$prefix"/dosdevices/com*; do
    name="$(basename "$link")"
    [ "$(readlink "$link")" = "${path[${name^^}]:-}" ] || rm -f "$link"
  done
  mapped || { echo "wine-prefix: ${!path[*]} are not mapped" >&2; return 1; }
  echo "wine-prefix: serial ports of $prefix:$(for l in "$prefix"/dosdevices/com*; do printf ' %s=%s' "${l##*/}" "$(readlink "$l")"; done)"
}
