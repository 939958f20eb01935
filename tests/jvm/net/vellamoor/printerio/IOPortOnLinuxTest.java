package net.vellamoor.printerio;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.Arrays;
import org.junit.After;
import org.junit.Test;

/**
 * IOPort on the Linux library in the real JVM, run by run_jvm_tests.py with
 * -Xcheck:jni against virtual printers: COM5 answers status requests, COM6
 * stays silent, a pseudo-terminal stands in for USB printer lp0, and network
 * printers listen on 127.0.8.1 (online), 127.0.8.2 (cover open) and
 * 127.0.8.3 (silent). What each printer received is recorded in the folder
 * named by the system property test.records.
 */
public class IOPortOnLinuxTest {
    private static final byte[] SERIAL_COM5 = {5, 1};
    private static final byte[] SILENT_COM6 = {6, 4};
    private static final int STATUS_LENGTH = 137;

    @After
    public void everyPortIsClosedAgain() {
        for (int type : new int[] {IOPort.USB, IOPort.SERIAL, IOPort.NETWORK}) {
            for (int i = 0; i < 4; i++) {
                IOPort.nativeClosePort(type * 256);
            }
        }
    }

    private static byte[] receipt(String name) {
        return ("\u001b@RECEIPT " + name + "\n1 x coffee      2.50\n\u001dV\u0000").getBytes(StandardCharsets.ISO_8859_1);
    }

    private static byte[] network(int last) {
        return new byte[] {127, 0, 8, (byte) last};
    }

    private static void write(int handle, byte[] job) {
        int[] written = {-1};
        assertEquals("write on " + handle, 1, IOPort.nativeWritePort(handle, job, 0, job.length, written));
        assertEquals("count on " + handle, job.length, written[0]);
    }

    private static byte[] status(int handle) {
        byte[] status = new byte[STATUS_LENGTH];
        assertEquals("status of " + handle, 1, IOPort.nativeGetParsedStatus(handle, status));
        return status;
    }

    /** Waits up to 5 s for the printer's record to hold the job. */
    private static void assertArrived(String record, byte[] job) throws Exception {
        File file = new File(System.getProperty("test.records"), record);
        String wanted = new String(job, StandardCharsets.ISO_8859_1);
        long deadline = System.currentTimeMillis() + 5000;
        String seen = "";
        while (System.currentTimeMillis() < deadline) {
            seen = file.exists() ? new String(Files.readAllBytes(file.toPath()), StandardCharsets.ISO_8859_1) : "";
            if (seen.contains(wanted)) {
                return;
            }
            Thread.sleep(20);
        }
        throw new AssertionError(record + " never received the whole job; it holds " + seen.length() + " bytes");
    }

    private static int openDescriptors() {
        String[] fds = new File("/proc/self/fd").list();
        return fds == null ? -1 : fds.length;
    }

    @Test
    public void serialPrinterPrintsAndAnswersAndIsExclusive() throws Exception {
        int handle = IOPort.nativeOpenPort(IOPort.SERIAL, SERIAL_COM5, 1000);
        assertEquals(513, handle);
        assertEquals("a second open of the same port fails", 0, IOPort.nativeOpenPort(IOPort.SERIAL, SERIAL_COM5, 1000));
        byte[] job = receipt("serial");
        write(handle, job);
        byte[] status = status(handle);
        assertEquals("online, four reply bytes", "0 0 0 0 0 4", flags(status));
        assertArrived("serial.bin", job);
        assertEquals(1, IOPort.nativeClosePort(handle));
    }

    @Test
    public void usbStandInPrintsAndAnswers() throws Exception {
        int handle = IOPort.nativeOpenPort(IOPort.USB, new byte[0], 1000);
        assertEquals(257, handle);
        byte[] job = receipt("usb");
        write(handle, job);
        assertEquals("0 0 0 0 0 4", flags(status(handle)));
        assertArrived("usb.bin", job);
        assertEquals(1, IOPort.nativeClosePort(handle));
    }

    @Test
    public void twoNetworkPrintersAreQueriedAndClosedIndependently() throws Exception {
        assertEquals(769, IOPort.nativeOpenPort(IOPort.NETWORK, network(1), 1000));
        assertEquals(771, IOPort.nativeOpenPort(IOPort.NETWORK, network(2), 1000));
        assertEquals("first printer online", "0 0 0 0 0 3", flags(status(769)));
        assertEquals("second printer: cover open, hence offline", "1 1 0 0 0 3", flags(status(771)));
        byte[] first = receipt("network one");
        write(769, first);
        assertArrived("network1.bin", first);

        assertEquals(1, IOPort.nativeClosePort(769));
        assertEquals("the second printer moved down to 769", "1 1 0 0 0 3", flags(status(769)));
        byte[] second = receipt("network two");
        write(769, second);
        assertArrived("network2.bin", second);
        assertEquals(0, IOPort.nativeWritePort(771, second, 0, second.length, new int[1]));
    }

    @Test
    public void badInputsGiveTheDocumentedResults() {
        int handle = IOPort.nativeOpenPort(IOPort.SERIAL, SERIAL_COM5, 500);
        assertEquals(513, handle);
        byte[] data = {1, 2, 3, 4};
        int[] written = {-7};
        Object[][] writes = {
            {"null data", null, 0, 4, written}, {"negative count", data, 3, 1, written},
            {"count beyond the array", data, 0, 5, written}, {"empty result array", data, 0, 4, new int[0]},
            {"null result array", data, 0, 4, null}, {"handle 0", data, 0, 4, written}};
        for (Object[] w : writes) {
            int target = w[0].equals("handle 0") ? 0 : handle;
            assertEquals((String) w[0], 0, IOPort.nativeWritePort(target, (byte[]) w[1], (Integer) w[2], (Integer) w[3],
                    (int[]) w[4]));
        }
        assertEquals("a refused write stores 0", 0, written[0]);
        assertEquals(0, IOPort.nativeOpenPort(IOPort.SERIAL, null, 500));
        assertEquals("short parameter array", 0, IOPort.nativeOpenPort(IOPort.SERIAL, new byte[] {5}, 500));
        assertEquals("short address", 0, IOPort.nativeOpenPort(IOPort.NETWORK, new byte[] {127, 0, 8}, 500));
        assertEquals("no such port type", 0, IOPort.nativeOpenPort(4, SERIAL_COM5, 500));
        assertEquals(0, IOPort.nativeGetParsedStatus(handle, null));
        byte[] shortStatus = {9, 9, 9, 9, 9, 9, 9, 9};
        assertEquals(0, IOPort.nativeGetParsedStatus(handle, shortStatus));
        assertArrayEquals(new byte[] {9, 9, 9, 9, 9, 9, 9, 9}, shortStatus);
        byte[] untouched = new byte[STATUS_LENGTH];
        assertEquals(0, IOPort.nativeGetParsedStatus(0, untouched));
        assertArrayEquals(new byte[STATUS_LENGTH], untouched);
        assertEquals(1, IOPort.nativeClosePort(0));
        assertEquals(0, IOPort.nativeReadPort(handle, 0, 0, 0, 0));
        assertEquals(1, IOPort.nativeResetDevice(handle));
    }

    @Test
    public void refusedConnectionAndSilentPrintersFailWithinTheirTimeouts() {
        long started = System.nanoTime();
        assertEquals("nothing listens on 127.0.8.9", 0, IOPort.nativeOpenPort(IOPort.NETWORK, network(9), 2000));
        assertTrue("a refusal is seen at once", millisSince(started) < 1500);

        int serial = IOPort.nativeOpenPort(IOPort.SERIAL, SILENT_COM6, 300);
        assertEquals(513, serial);
        byte[] status = new byte[STATUS_LENGTH];
        Arrays.fill(status, (byte) 0x55);
        started = System.nanoTime();
        assertEquals(0, IOPort.nativeGetParsedStatus(serial, status));
        assertTrue("one read time-out, not more", millisSince(started) < 1500);
        byte[] expected = new byte[STATUS_LENGTH];
        Arrays.fill(expected, (byte) 0x55);
        assertArrayEquals("a failed query leaves the array alone", expected, status);

        int silent = IOPort.nativeOpenPort(IOPort.NETWORK, network(3), 300);
        assertEquals(769, silent);
        started = System.nanoTime();
        assertEquals(0, IOPort.nativeGetParsedStatus(silent, status));
        assertTrue("the receive time-out bounds the query", millisSince(started) < 1500);
    }

    /** 127.0.8.7 closes both connections after 300 ms without traffic, as many printers do when idle. */
    @Test
    public void connectionsThePrinterClosedWhileIdleAreMadeAgainInPlace() throws Exception {
        assertEquals(769, IOPort.nativeOpenPort(IOPort.NETWORK, network(7), 1000));
        byte[] before = receipt("before the pause");
        byte[] after = receipt("after the pause");
        write(769, before);
        for (int pause = 0; pause < 2; pause++) {
            Thread.sleep(700);
            assertEquals("online after pause " + pause, "0 0 0 0 0 3", flags(status(769)));
            Thread.sleep(700);
            write(769, after);
        }
        byte[] both = new byte[before.length + 2 * after.length];
        System.arraycopy(before, 0, both, 0, before.length);
        System.arraycopy(after, 0, both, before.length, after.length);
        System.arraycopy(after, 0, both, before.length + after.length, after.length);
        assertArrived("idle.bin", both);
        assertEquals(1, IOPort.nativeClosePort(769));
    }

    @Test
    public void nothingIsLeftOpen() throws Exception {
        cycle();  // the first cycle loads what the JVM keeps open for good
        int before = openDescriptors();
        for (int i = 0; i < 50; i++) {
            cycle();
        }
        assertEquals("descriptors open before and after 50 cycles", before, openDescriptors());
    }

    private static void cycle() {
        int[][] opens = {{IOPort.SERIAL, 5, 1}, {IOPort.NETWORK, 127, 0, 8, 1}, {IOPort.USB}};
        for (int[] open : opens) {
            byte[] parameters = new byte[open.length - 1];
            for (int i = 1; i < open.length; i++) {
                parameters[i - 1] = (byte) open[i];
            }
            int handle = IOPort.nativeOpenPort(open[0], parameters, 1000);
            assertEquals("open of type " + open[0], open[0] * 256 + 1, handle);
            write(handle, receipt("cycle"));
            status(handle);
            assertEquals(1, IOPort.nativeClosePort(handle));
        }
        assertEquals(0, IOPort.nativeOpenPort(IOPort.NETWORK, network(9), 500));
    }

    private static long millisSince(long started) {
        return (System.nanoTime() - started) / 1_000_000;
    }

    /** "cover offline cutter paperEnd nearEnd count". */
    private static String flags(byte[] s) {
        return s[0] + " " + s[1] + " " + s[2] + " " + s[5] + " " + s[6] + " " + (s[8] & 0xFF);
    }
}
