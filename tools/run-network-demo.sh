#!/usr/bin/env bash
# A two-node FTN network on loopback around the election robot, run in a scratch directory:
#   bash tools/run-network-demo.sh [scratch directory]
# The elector node 2:463/1 and the robot's node 2:463/500 each have binkd and crashmail (the nodes
# of the network test, set up by tests/interop/ftn-network/setup-nodes.sh).  A ballot travels over
# binkp to the robot, Korva32 Scan judges it, Nuvrel32 posts the statistics, and the reply and the
# echomail travel back; the script shows where each message went.  It builds the programs into
# build/ when build/bin/Korva32 or build/bin/Nuvrel32 is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
binkd=$(command -v binkd || { [ -x /usr/sbin/binkd ] && echo /usr/sbin/binkd; } || true)
if [ -z "$binkd" ] || ! command -v crashmail >/dev/null 2>&1; then
  echo "run-network-demo: binkd and crashmail are needed (bash tools/install-deps.sh installs them)." >&2
  exit 1
fi
if [ ! -x build/bin/Korva32 ] || [ ! -x build/bin/Nuvrel32 ]; then
  [ -d build ] || cmake -S . -B build -DKELVANOTH_BUILD_TESTS=OFF -DKELVANOTH_BUILD_BENCH=OFF
  cmake --build build -j"$(nproc)" --target Korva32 Nuvrel32
fi
bin=$repo/build/bin
base=${1:-$(mktemp -d "${TMPDIR:-/tmp}/network-demo.XXXXXX")}
export TZ=UTC

step() { printf '\n==== %s\n' "$*"; }
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
# A port on 127.0.0.1 where nothing listens now.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 40000))
    listening "$port" || break
  done
  echo "$port"
}
# Waits up to 30 seconds for a command to succeed.
wait_for() {
  for _ in $(seq 300); do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}
newest() { ls -t "$1" | head -n 1; }
poll() { timeout 30 "$binkd" -p -P 2:463/500 "$base/elector/binkd.cfg" >>"$base/elector/binkd.console" 2>&1; }

elector_port=$(free_port)
robot_port=$(free_port)
while [ "$robot_port" = "$elector_port" ]; do robot_port=$(free_port); done
step "Two nodes in $base: the elector 2:463/1 (binkd 127.0.0.1:$elector_port), the robot 2:463/500 (binkd 127.0.0.1:$robot_port)"
bash "$repo/tests/interop/ftn-network/setup-nodes.sh" "$base" "$elector_port" "$robot_port"
setsid "$binkd" -s "$base/robot/binkd.cfg" >"$base/robot/binkd.console" 2>&1 &
server=$!
trap 'kill -- -$server 2>/dev/null || true' EXIT
wait_for listening "$robot_port"

step "The elector writes a ballot to the robot (crashwrite) and routes it (crashmail)"
printf 'Irina Belova !kestrel\n' >"$base/elector/write/body.txt"
# The elector's clock stands an hour behind the robot's: the ballot is dated before the scan starts.
TZ=Etc/GMT+1 crashwrite DIR "$base/elector/write" FROMNAME "Alexei Morozov" FROMADDR 2:463/1 TONAME Korvamgr \
  TOADDR 2:463/500 SUBJECT "Kazan NC Election 2026" TEXT "$base/elector/write/body.txt" >/dev/null
ballot_packet=$(ls "$base/elector/write" | grep -i '\.pkt$')
crashmail TOSSDIR "$base/elector/write" NOSECURITY SETTINGS "$base/elector/crashmail.prefs" >/dev/null
outbound_packet=$(ls "$base/elector/outbound" | grep -i '\.pkt$')

step "The elector's binkd polls the robot's: the ballot travels"
wait_for eval 'poll && [ -n "$(ls "$base/robot/inbound")" ]'
inbound_packet=$(ls "$base/robot/inbound")

step "The robot: crashmail tosses, Korva32 Scan judges, Nuvrel32 posts, crashmail exports"
crashmail TOSS SETTINGS "$base/robot/crashmail.prefs" >/dev/null
netmail_in=$(ls "$base/robot/netmail/in")
(cd "$base/robot/election" && "$bin/Korva32" Scan -cfg:korva.cfg >/dev/null)
(cd "$base/robot/election" && "$bin/Nuvrel32" Post /sect:Statistics -cfg:korva.cfp >/dev/null)
echo_packet=$(ls "$base/robot/inbound")
# One crashmail run for both: packets of two runs within one second would get the same name.
crashmail TOSS SCAN SETTINGS "$base/robot/crashmail.prefs" >/dev/null
back_packets=$(ls "$base/robot/outbound" | grep -i '\.pkt$' | tr '\n' ' ')

step "The elector polls again: the reply and the echomail travel back, and its crashmail tosses them"
wait_for eval 'poll && [ "$(ls "$base/elector/inbound" | wc -l)" -ge 2 ]'
crashmail TOSS SETTINGS "$base/elector/crashmail.prefs" >/dev/null

# A stored message: from, to and subject from its 190-byte header, then its text with CR as line
# end and kludges shown with "@".
# A field ends at its first NUL; crashmail leaves whatever was in its memory after it.
field() { dd if="$1" bs=1 skip="$2" count="$3" status=none | tr '\000' '\n' | head -n 1; }
show() {
  echo "    From: $(field "$1" 0 36)   To: $(field "$1" 36 36)   Subject: $(field "$1" 72 72)"
  tail -c +191 "$1" | tr '\r\001\000' '\n@ ' | sed '/^ *$/d; s/^/    /'
}

step "Where each message went"
echo "The ballot, packed by crashwrite:        $base/elector/write/$ballot_packet"
echo "Routed by the elector's crashmail:       $base/elector/outbound/$outbound_packet"
echo "Received by the robot's binkd:           $base/robot/inbound/$inbound_packet"
echo "Tossed into NetmailIn:                   $base/robot/netmail/in/$netmail_in"
echo "Filed by Scan:                           $base/robot/election/filed/valid/$(ls "$base/robot/election/filed/valid")"
echo "The verdict in korva.log:"
grep -E '^[0-9:]+ [+?] ' "$base/robot/election/korva.log" | grep -v 'vote base file' | sed 's/^/    /'
echo "The vote base:                           $base/robot/election/korva.vot"
sed 's/^/    /' "$base/robot/election/korva.vot"
echo "The reply in NetmailOut (1.msg the seed): $base/robot/netmail/out/$(ls "$base/robot/netmail/out" | sort -n | tail -n 1)"
echo "The statistics posted by Nuvrel32:       $base/robot/inbound/$echo_packet, tossed into $base/robot/echo"
echo "Packed for the elector by crashmail:     $base/robot/outbound/ ($back_packets)"
echo "Received by the elector's binkd, tossed: $base/elector/inbound/"
reply=$base/elector/netmail/mail/$(newest "$base/elector/netmail/mail")
echo "The reply in the elector's netmail area: $reply"
show "$reply"
posting=$base/elector/echo/$(newest "$base/elector/echo")
echo "The statistics in the elector's ELECTION area: $posting"
show "$posting"
echo "Logs: $base/{elector,robot}/{binkd,crashmail}.log, $base/robot/election/{korva,nuvrel}.log"
