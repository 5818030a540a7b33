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
show paths --base "C:/a/b" "C:\\dir\\name.tar.gz" "C:/a/c/f.txt" "/home/u/p/../x.cir"
