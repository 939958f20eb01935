#!/bin/sh
# Races closes against calls on other printers over the fake natives, ROUNDS
# times (default 1,000,000), and fails if any close is lost: a printer
# closed while another printer's call was in flight must be released once
# no call is. About 0.5 ms a round here. Needs no library and no printer.
set -eu
cd "$(dirname "$0")/.."
rounds="${1:-1000000}"
out=build/close-race
rm -rf "$out"
mkdir -p "$out"
javac --release 8 -Xlint:-options -d "$out" java/net/vellamoor/printerio/*.java
javac -Xlint:-options -cp "$out" -d "$out" java/test/net/vellamoor/printerio/FakeNativePorts.java \
    java/test/net/vellamoor/printerio/CloseRace.java
java -cp "$out" net.vellamoor.printerio.CloseRace "$rounds"
