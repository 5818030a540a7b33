#!/usr/bin/env bash
# Runs kvtool on the bundled examples. Argument: the kvtool executable.
set -euo pipefail
kvtool=${1:?usage: run-examples.sh KVTOOL}
here=$(cd "$(dirname "$0")" && pwd)

show() {
  printf '$ kvtool'
  printf ' %q' "$@"
  printf '\n'
  "$kvtool" "$@"
  echo
}

show --version
show strings --sep , --sepstr ", " --from "4k7" --to "4.7k" "R1 out 0 4k7, C1 out 0 10u" ",a,,b,"
show eng 10uF 4k7 1.5MEG 2M 3mil -0.0047 "5 k" 0k abc 1e3k
show tokens --delims "=()," --quotes '"' '"' 'R1 a b 1k tc=(1, 2) "quoted word"'
show tokens --quotes "{" "}" --nest "{a {b} c} d"
show tokens --delims "=" --quotes "{" "}" --nest --keep "$(cat "$here/netlist-line.txt")"
show cross "$here/cross-sine.txt" 0.5
show cross --slope 1 --order 2 "$here/cross-sine.txt" 0.5
show cross --nearest 0.55 "$here/cross-sine.txt" 0.5
show printf "Error : %s at line %d, value %g" "bad token" i:42 d:2.5
show printf "%*d|%-8s|%I64x|%5.2f" i:6 i:42 s:left l:255 || true
show paths --base "C:/a/b" "C:\\dir\\name.tar.gz" "C:/a/c/f.txt" "/home/u/p/../x.cir"
show netlist --numbers "$here/amplifier.cir"
show newnetlist --numbers "$here/amplifier.cir"
show lib --index "$here/models.lib"
show lib --numbers "$here/models.lib" QX Q2N2222
show lib "$here/models.lib" buffer
show md5 "$here/amplifier.cir" "$here/models.lib"
show md5 --text "" "abc"
show open-check "$here/amplifier.cir"
show open-check --mode new "$here/amplifier.cir" "$here/no-such-dir/out.cir" || true
show switches --char - o:1 v -- -o out.raw -v amplifier.cir
show match 'R*' R1 R r10 xR12
show match --show '*.cir\*'
show sort --compare R2 R10
printf '$ kvtool sort --natural < names.txt\n'
"$kvtool" sort --natural < "$here/names.txt"
echo
show filter 'Schematics (new)|*.kvsch;*.sch|All files|*.*'
show banner --width 40 "Transient analysis" "amplifier.cir"
show field --width 8 --sep . top.sub.inst
show schem "$here/amplifier.kvsch" "$here/opamp-symbol.bin" "$here/old-sheet.bin" "$here/amplifier.cir"
show schem --lines "$here/amplifier.kvsch"
show schem --restore 4.27 4.28 4.12 1.1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
show ini set "$scratch/demo.ini" Options MRUSize 8
show ini set "$scratch/demo.ini" Options "Default Path" "%TEMPPATH%/designs"
show ini list "$scratch/demo.ini" Options
show ini render "$scratch/demo.ini"
show symbols --portable
show symbols translate "%TEMPPATH%/designs/amplifier.cir"
show config --location 0 "PATH;$scratch/demo.ini"
show config --location 0 "PATH;$scratch/demo.ini" get Options MRUSize
show option --location 0 "PATH;$scratch/demo.ini" get MRUSize
show logical --location 0 "PATH;$scratch/demo.ini" make "$scratch/designs/amplifier.cir"
show libs --location 0 "PATH;$scratch/demo.ini" add Models "$scratch/models/opamp.lib"
show libs --location 0 "PATH;$scratch/demo.ini" list --raw Models
show ext "Schematic&Symbol"
show ext Model "$scratch/models/opamp.txt"
show hooks
show spawn --wait --stdout 'echo "hello from a child"'
show spawn --wait --old 'sh -c "exit 3"'
# A transceiver endpoint lives for one record, in a private endpoint directory.
export XDG_RUNTIME_DIR="$scratch/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
"$kvtool" ipc serve demo --count 1 > "$scratch/served.txt" &
served=$!
for _ in $(seq 100); do
  "$kvtool" ipc list | grep -q demo && break
  sleep 0.05
done
show ipc send demo "run tran"
wait "$served"
printf '$ kvtool ipc serve demo --count 1\n'
# (handles and process ids left out: they change from run to run)
awk -F'\t' '$1 == "command" { print; next } { print $1 "\t" $2 }' "$scratch/served.txt"
