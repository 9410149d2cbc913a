# Sourced by setup.sh, demo.sh and test.sh: one console line per step, the
# tools' own output (apt, CMake, the build, Wine) in a log under build/logs/,
# and on a failure the step's name, the log's last 20 lines and its path.
#   steps_begin <name> <log>   name shown before each line; log emptied
#   step <what> [usual time]   "<name>: <what> (usually <time>)..."
#   quietly <command>...       runs it, its output into the log
#   run_step <what> <usual time or ""> <command>...
#   step_failed [why]          reports the failing step and exits 1

steps_begin() {
  steps_name=$1
  steps_log=$2
  steps_current=""
  mkdir -p "$(dirname "$steps_log")"
  : >"$steps_log"
}

step() {
  if [ -z "$steps_current" ]; then
    echo "$steps_name: the tools' own output goes to $steps_log"
  fi
  steps_current=$1
  if [ -n "${2:-}" ]; then
    echo "$steps_name: $1 (usually $2)..."
  else
    echo "$steps_name: $1..."
  fi
  printf '\n==== %s (%s)\n' "$1" "$(date +%T)" >>"$steps_log"
}

quietly() {
  "$@" >>"$steps_log" 2>&1
}

run_step() {
  step "$1" "$2"
  shift 2
  quietly "$@" || step_failed
}

step_failed() {
  {
    echo "$steps_name: ${steps_current:-set-up} failed${1:+: $1}"
    echo "---- the last 20 lines of $steps_log:"
    tail -n 20 "$steps_log"
    echo "---- (the whole log: $steps_log)"
  } >&2
  exit 1
}
