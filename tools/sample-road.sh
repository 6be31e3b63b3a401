#!/usr/bin/env bash
# The sample election's road, run with built programs in a directory of its own:
#   bash tools/sample-road.sh <directory of Korva32, Nuvrel32, Lisdor32> <scratch directory>
# tools/run-sample.sh builds and calls this; the tests call it with the programs under test.
set -euo pipefail
bin=$(cd "$1" && pwd)
work=$2
repo=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$work"
cd "$work"

step() { printf '\n==== %s\n' "$*"; }

step "Setting up the election in $work"
cp -R "$repo/examples/election/." .
cp "$repo/examples/userlist/golded.lst" .
# Korva32 creates a missing filing directory, but only its last level.
mkdir -p netmail/in netmail/out filed reports
# A shared outbound directory is seeded with an empty 1.msg: tossers and mailers take the highest
# message number as their high-water mark and many never export 1.msg.
: >netmail/out/1.msg

step "Lisdor32: the valid addresses list from the GoldEd userlist, sorted on address"
"$bin/Lisdor32" golded.lst valid.lst -addr
cat valid.lst

step "Korva32 Announce: one message to every elector"
"$bin/Korva32" Announce -cfg:korva.cfg

step "The inbound ballots (tools/make-sample-ballots.sh)"
bash "$repo/tools/make-sample-ballots.sh" netmail/in
ls netmail/in

step "Korva32 Scan: judging every ballot"
"$bin/Korva32" Scan -cfg:korva.cfg

for report in "Result -votes" "Quorum -address" "Passwords"; do
  step "Korva32 $report"
  # Once for the screen, once into a file: a terminal may show the texts converted, the file keeps
  # the election's own CP866 bytes.
  "$bin/Korva32" $report -cfg:korva.cfg
  "$bin/Korva32" $report -cfg:korva.cfg >"reports/${report%% *}.txt"
done

step "Korva32 Verify: the vote base proven against the filed ballots"
"$bin/Korva32" Verify -cfg:korva.cfg

step "Nuvrel32 Post: the statistics and the results, as echomail packets"
"$bin/Nuvrel32" Post /force:Statistics -cfg:korva.cfp
"$bin/Nuvrel32" Post /force:Results -cfg:korva.cfp

step "Nuvrel32 Test: the posting schedule from the nominations to the results"
"$bin/Nuvrel32" Test 50 /dates:18.2.2024 -cfg:korva.cfp

# A stored message's text as its reader sees it: the text after the 190-byte header, CR as line end,
# kludges shown with "@"; converted for a UTF-8 terminal like the programs' own console texts.
show_message() {
  if [ -t 1 ] && [ "$(locale charmap 2>/dev/null)" = UTF-8 ]; then
    tail -c +191 "$1" | tr '\r\001\000' '\n@ ' | iconv -f CP866 -t UTF-8
  else
    tail -c +191 "$1" | tr '\r\001\000' '\n@ '
  fi
  echo
}

step "An announcement, as the elector reads it"
show_message netmail/out/2.msg

step "The answer to the help query"
show_message "$(grep -l "How to vote" netmail/out/*.msg | head -n 1)"

step "Where everything landed"
echo "Election files:           $work/korva.vot, korva.sta, candidat.lst, korva.kix"
echo "Log files:                $work/korva.log, $work/nuvrel.log"
echo "Replies and announcements: $work/netmail/out ($(ls netmail/out | wc -l) messages, 1.msg the empty seed)"
echo "Copies of the replies:    $work/netmail/copies"
echo "Judged ballots, filed:    $work/filed/*"
for d in filed/*/; do printf '    %-20s %s\n' "$d" "$(cd "$d" && ls | sort -n | tr '\n' ' ')"; done
echo "Reports:                  $work/reports ($(ls reports | tr '\n' ' '))"
echo "Echomail packets:         $work/echo-out ($(ls echo-out | tr '\n' ' '))"
echo "Verdicts counted (korva.sta, those above 0):"
sed 's/\r$//' korva.sta | grep -v -e '^;' -e '=0$' | sed 's/^/    /'
