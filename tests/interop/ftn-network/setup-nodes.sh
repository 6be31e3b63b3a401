#!/usr/bin/env bash
# Sets up two FTN nodes on loopback in an empty directory:
#   bash setup-nodes.sh <directory> <elector's binkd port> <robot's binkd port>
# elector/ is the node 2:463/1 (binkd and crashmail), robot/ the election robot's node 2:463/500
# (binkd and crashmail, and the election in robot/election).  Both binkd listen on 127.0.0.1 only.
# The network test and tools/run-network-demo.sh both set up their nodes with this.
set -euo pipefail
base=$(mkdir -p "$1" && cd "$1" && pwd)
port1=$2
port2=$3
here=$(cd "$(dirname "$0")" && pwd)
for node in elector robot; do
  (cd "$here" && find "$node" -type f) | while read -r file; do
    mkdir -p "$base/$(dirname "$file")"
    sed -e "s|@BASE@|$base|g" -e "s|@PORT1@|$port1|g" -e "s|@PORT2@|$port2|g" "$here/$file" >"$base/$file"
  done
  mkdir -p "$base/$node"/{inbound,outbound,tmp,tmp-inbound,bad,echo,write} "$base/$node"/netmail/{in,out,mail}
done
mkdir -p "$base/robot/election/filed"
# crashmail keeps 1.msg of a *.MSG area as its high-water mark and never exports it: the robot's
# first reply must not be that message.
: >"$base/robot/netmail/out/1.msg"
