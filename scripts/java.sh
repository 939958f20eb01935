#!/bin/sh
# Builds the jar (IOPort, the Printer API, the loader, both DLLs and the
# Linux library as resources) and runs the loader's and the API's unit tests
# against it. Needs the win32, win64 and linux builds.
set -eu
cd "$(dirname "$0")/.."
out=build/java
rm -rf "$out"
mkdir -p "$out/classes/net/vellamoor/printerio/native" "$out/test-classes"
javac --release 8 -Xlint:-options -d "$out/classes" java/net/vellamoor/printerio/*.java
cp build/win32/bin/VellamoorJIOx32.dll build/win64/bin/VellamoorJIOx64.dll build/linux/libVellamoorJIOx64.so \
    "$out/classes/net/vellamoor/printerio/native/"
jar cf "$out/vellamoor-printerio.jar" -C "$out/classes" .
echo "built $out/vellamoor-printerio.jar"

classpath="$out/vellamoor-printerio.jar:/usr/share/java/junit4.jar:/usr/share/java/hamcrest-core.jar"
javac -Xlint:-options -cp "$classpath" -d "$out/test-classes" java/test/net/vellamoor/printerio/*.java
java -Djava.io.tmpdir="$out" -cp "$out/test-classes:$classpath" org.junit.runner.JUnitCore \
    net.vellamoor.printerio.NativeLibraryLoaderTest net.vellamoor.printerio.PrinterTest
