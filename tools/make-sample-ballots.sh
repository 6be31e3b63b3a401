#!/usr/bin/env bash
# Writes the sample election's inbound ballots as FTS-0001 stored messages (*.MSG) into a directory:
#   bash tools/make-sample-ballots.sh <netmail-in-directory>
# Each message is the 190-byte header (names, subject, date, net/node words, attributes; little-endian)
# followed by its kludge and text lines, each ended by CR, and a closing zero byte.  The names, the
# ballot lines and the Cyrillic candidate are CP866 bytes.
set -euo pipefail
export LC_ALL=C
out=${1:?usage: make-sample-ballots.sh <directory>}
mkdir -p "$out"

robot_net=5020 robot_node=999
robot="2:5020/999"
subject="Sample Election 2024"
vera=$'\x82\xa5\xe0\xa0 \x8e\xe0\xab\xae\xa2\xa0'   # the candidate Vera Orlova, written in CP866

# A text field of `width` bytes: the text, then zero bytes.
field() {
  local text=$1 width=$2
  printf '%s' "${text:0:$width}"
  head -c $((width - ${#text} > 0 ? width - ${#text} : 0)) /dev/zero
}

# A 16-bit little-endian word.
word() {
  printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"
}

# The date text "DD Mon YY  HH:MM:SS" as a Via time stamp "YYYYMMDD.HHMMSS".
via_stamp() {
  local date=$1 months=JanFebMarAprMayJunJulAugSepOctNovDec
  local rest=${months%%"${date:3:3}"*}
  printf '20%s%02d%s.%s%s%s' "${date:7:2}" $((${#rest} / 3 + 1)) "${date:0:2}" \
    "${date:11:2}" "${date:14:2}" "${date:17:2}"
}

# message <file> <from name> <zone:net/node[.point]> <subject> <date "DD Mon YY  HH:MM:SS"> <text lines...>
message() {
  local file=$1 from=$2 address=$3 subj=$4 date=$5
  shift 5
  local zone=${address%%:*} rest=${address#*:}
  local net=${rest%%/*} node=${rest#*/} point=0
  if [[ $node == *.* ]]; then point=${node#*.}; node=${node%%.*}; fi
  {
    field "$from" 36
    field "Korvamgr" 36
    field "$subj" 72
    field "$date" 20
    word 0                   # times read
    word "$robot_node"       # destination node
    word "$node"             # originating node
    word 0                   # cost
    word "$net"              # originating net
    word "$robot_net"        # destination net
    head -c 8 /dev/zero      # zones and points travel in the kludges below
    word 0                   # reply to
    word $((0x0001))         # attributes: private
    word 0                   # next reply
    printf '\x01INTL %s %s:%s/%s\r' "$robot" "$zone" "$net" "$node"
    [[ $point == 0 ]] || printf '\x01FMPT %s\r' "$point"
    printf '\x01MSGID: %s %08x\r' "$address" "$((0x5e000000 + ${file%.msg}))"
    local line
    for line in "$@"; do printf '%s\r' "$line"; done
    printf -- '---\r'
    printf ' * Origin: Sample Net (%s)\r' "$address"
    # A node hands its ballot straight to the robot; a point's ballot travels through its boss.
    printf '\x01Via %s:%s/%s @%s Sample-Tosser\r' "$zone" "$net" "$node" "$(via_stamp "$date")"
    printf '\0'
  } >"$out/$file"
}

# Accepted.
message 1.msg "Ivan Ivanov" 2:5020/1 "$subject" "04 Mar 24  09:15:00" \
  "Hello," "" "Anna Sidorova !owl-in-the-oak"
message 2.msg "Olga Smirnova" 2:5020/2 "$subject" "05 Mar 24  18:40:12" \
  "Boris Gromov !lynx"
# A point, through its boss node, for the candidate with the Cyrillic name.
message 3.msg "Petr Petrov" 2:5020/12.3 "$subject" "06 Mar 24  21:03:55" \
  "$vera !fox"
# Ivan changes his mind: his first ballot is cancelled and moved to MoveCancel.
message 4.msg "Ivan Ivanov" 2:5020/1 "Re: $subject" "11 Mar 24  08:00:00" \
  "I have changed my mind:" "" "Boris Gromov !owl-in-the-oak"
# The same ballot once more: a duplicate.
message 5.msg "Olga Smirnova" 2:5020/2 "$subject" "12 Mar 24  10:10:10" \
  "Boris Gromov !lynx"
# A node of the net that is not in the valid addresses list.
message 6.msg "Anton Kozlov" 2:5020/3 "$subject" "12 Mar 24  11:11:11" \
  "Anna Sidorova !bear"
# A node outside ValidAddress.
message 7.msg "Far Sysop" 2:5030/1 "$subject" "13 Mar 24  12:12:12" \
  "Anna Sidorova !far"
# A help query: the answer lists the candidates.
message 8.msg "Maria Sokolova" 2:5020/5 "%HELP" "14 Mar 24  13:13:13" \
  "How do I vote?"
# Two choices in one ballot.
message 9.msg "Dmitry Popov" 2:5020/6 "$subject" "15 Mar 24  14:14:14" \
  "Anna Sidorova !cat" "Boris Gromov !cat"
# A password mark with nothing after it.
message 10.msg "Nikolai Lebedev" 2:5020/7 "$subject" "16 Mar 24  15:15:15" \
  "Anna Sidorova !"
# A node listed as Pvt (CheckPvtNode).
message 11.msg "Pavel Kuznetsov" 2:5020/4 "$subject" "17 Mar 24  16:16:16" \
  "Boris Gromov !quiet"
# Written after the voting period ended.
message 12.msg "Maria Sokolova" 2:5020/5 "$subject" "02 Apr 24  17:17:17" \
  "$vera !late"
# A check query: the elector asks whether the robot would take her ballot.
message 13.msg "Olga Smirnova" 2:5020/2 "$subject" "18 Mar 24  19:19:19" \
  "%CHECK"
