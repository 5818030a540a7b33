#!/usr/bin/env bash
# Runs kvtool on the bundled examples. Argument: the kvtool executable.
set -euo pipefail
kvtool=${1:?usage: run-examples.sh KVTOOL}
here=$(cd "$(dirname "$0")" && pwd)

show() {
  echo "\$ kvtool $*"
  "$kvtool" "$@"
  echo
}

show --version
show strings --sep , --sepstr ", " --from "4k7" --to "4.7k" "R1 out 0 4k7, C1 out 0 10u" ",a,,b,"
show printf "Error : %s at line %d, value %g" "bad token" i:42 d:2.5
show printf "%*d|%-8s|%I64x|%5.2f" i:6 i:42 s:left l:255 || true
