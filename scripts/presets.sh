# The build folders of CMakePresets.json, for the scripts that need a file
# in one; sourced. The presets file is the one place that names them.
#   preset_dir PRESET       the absolute build folder of a configure preset
#   junit_args NAME         --output-junit for ctest, into ZORVIK_JUNIT_DIR
#                           (set by scripts/test.sh for its stage); nothing without it
preset_dir() {
  local presets root
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  presets="$root/CMakePresets.json"
  local dir
  dir="$(sed -n "/\"name\": \"$1\"/,/\"binaryDir\"/ s/.*\"binaryDir\": \"\${sourceDir}\/\([^\"]*\)\".*/\1/p" "$presets" | head -n 1)"
  [ -n "$dir" ] || { echo "presets: no configure preset '$1' with a binaryDir in $presets" >&2; return 1; }
  echo "$root/$dir"
}
junit_args() {
  [ -z "${ZORVIK_JUNIT_DIR:-}" ] || printf '%s\n' --output-junit "$ZORVIK_JUNIT_DIR/$1.xml"
}
