#!/bin/sh
# Builds the jar (IOPort, the Printer API, the loader, the receipt
# composition package with its printer profiles, both DLLs and both Linux
# libraries as resources), compiles the README's programs against it
# and runs the loader's, the API's and the receipt package's unit tests and
# the receipt proof (tests/receipts).
# ZXing (Debian's libzxing-core-java) is needed to compile the receipt
# package; at run time only for QR and PDF417 codes sent as pictures. Needs the win32, win64,
# linux and linux-aarch64 builds. With --jar-only it builds the jar and stops.
#
# The jar is the same bytes for one commit wherever it is built: its entries
# go in sorted order and carry one fixed time.
set -eu
cd "$(dirname "$0")/.."
out=build/java
rm -rf "$out"
mkdir -p "$out/classes/net/vellamoor/printerio/native" "$out/test-classes"
zxing=/usr/share/java/core.jar
javac --release 8 -Xlint:-options -cp "$zxing" -d "$out/classes" java/net/vellamoor/printerio/*.java \
    java/net/vellamoor/printerio/receipt/*.java
cp -r java/net/vellamoor/printerio/receipt/profiles "$out/classes/net/vellamoor/printerio/receipt/"
cp build/win32/bin/VellamoorJIOx32.dll build/win64/bin/VellamoorJIOx64.dll build/linux/libVellamoorJIOx64.so \
    build/linux-aarch64/libVellamoorJIOaarch64.so \
    "$out/classes/net/vellamoor/printerio/native/"
echo "version=$(cat VERSION)" >"$out/classes/net/vellamoor/printerio/version.properties"
(cd "$out/classes" && jar --create --file ../vellamoor-printerio.jar --date=2026-01-01T00:00:00Z \
    $(find . -type f | LC_ALL=C sort))
echo "built $out/vellamoor-printerio.jar"
[ "${1:-}" = --jar-only ] && exit 0

# The README's programs compile against the jar as they stand: each java
# block goes into a file named after its public class.
mkdir -p "$out/readme"
awk -v dir="$out/readme" '/^```java$/ { n++; copying = 1; next } /^```$/ && copying { copying = 0; next }
    copying { print > (dir "/block" n ".java") }' README.md
for block in "$out"/readme/block*.java; do
    mv "$block" "$out/readme/$(sed -n 's/^public class \([A-Za-z0-9_]*\).*/\1/p' "$block").java"
done
javac -cp "$out/vellamoor-printerio.jar" -d "$out/readme" "$out"/readme/*.java
echo "compiled the README's programs: $(cd "$out/readme" && ls *.java | tr '\n' ' ')"

classpath="$out/vellamoor-printerio.jar:/usr/share/java/junit4.jar:/usr/share/java/hamcrest-core.jar:$zxing"
javac -Xlint:-options -cp "$classpath" -d "$out/test-classes" java/test/net/vellamoor/printerio/*.java \
    java/test/net/vellamoor/printerio/receipt/*.java
XDG_CACHE_HOME="$PWD/$out/cache" java -Djava.io.tmpdir="$PWD/$out" -cp "$out/test-classes:$classpath" org.junit.runner.JUnitCore \
    net.vellamoor.printerio.NativeLibraryLoaderTest net.vellamoor.printerio.PrinterTest \
    net.vellamoor.printerio.StatusWatchTest net.vellamoor.printerio.WindowsFolderPolicyTest \
    net.vellamoor.printerio.PrinterAnswersTest \
    net.vellamoor.printerio.receipt.ReceiptEncodingTest net.vellamoor.printerio.receipt.ReceiptValidationTest \
    net.vellamoor.printerio.receipt.ReceiptLayoutTest net.vellamoor.printerio.receipt.TextRoundTripTest

# The receipt proof: the package's jobs drawn by the virtual printer, every
# code decoded and every language read back (a minute or two).
VELLAMOOR_RECEIPT_CLASSPATH="$out/test-classes:$classpath" /usr/bin/python3 tests/receipts/test_receipt_proof.py
