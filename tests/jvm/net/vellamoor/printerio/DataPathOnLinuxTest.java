package net.vellamoor.printerio;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import org.junit.After;
import org.junit.Test;

/**
 * DataPath on the Linux library in the real JVM: the answer to a request
 * processed in order, read back from the serial printer on COM5 and the USB
 * stand-in; a quiet port within the time-out; a printer on COM10 that is
 * unplugged while open.
 */
public class DataPathOnLinuxTest {
    // GS ( H, fn 48, process ID "0042", and its answer.
    private static final byte[] PROCESS_ID = {0x1d, '(', 'H', 6, 0, '0', '0', '0', '0', '4', '2'};
    private static final byte[] ANSWER = {'7', '"', '0', '0', '4', '2', 0};

    @After
    public void everyPortIsClosedAgain() {
        for (int type : new int[] {IOPort.USB, IOPort.SERIAL}) {
            for (int i = 0; i < 4; i++) {
                IOPort.nativeClosePort(type * 256);
            }
        }
    }

    private static void send(int handle, byte[] data) {
        int[] written = {0};
        assertEquals(1, IOPort.nativeWritePort(handle, data, 0, data.length, written));
    }

    private static byte[] readAnswer(int handle) {
        byte[] buffer = new byte[16];
        byte[] got = new byte[0];
        long deadline = System.nanoTime() + 5_000_000_000L;
        while (got.length < ANSWER.length && System.nanoTime() < deadline) {
            int n = DataPath.nativeRead(handle, buffer, 1000);
            assertTrue("read result " + n, n >= 0);
            byte[] more = Arrays.copyOf(got, got.length + n);
            System.arraycopy(buffer, 0, more, got.length, n);
            got = more;
        }
        return got;
    }

    @Test
    public void answersComeBackAndAQuietPortWaitsItsTimeout() {
        int[] handles = {IOPort.nativeOpenPort(IOPort.SERIAL, new byte[] {5, 1}, 1000),
            IOPort.nativeOpenPort(IOPort.USB, new byte[0], 1000)};
        for (int handle : handles) {
            assertTrue("open", handle > 0);
            send(handle, "data path\n".getBytes(StandardCharsets.US_ASCII));
            send(handle, PROCESS_ID);
            assertArrayEquals("answer on " + handle, ANSWER, readAnswer(handle));
            long started = System.nanoTime();
            assertEquals(DataPath.NOTHING_CAME, DataPath.nativeRead(handle, new byte[8], 300));
            long tookMs = (System.nanoTime() - started) / 1_000_000;
            assertTrue("waited " + tookMs + " ms", tookMs >= 250 && tookMs < 3000);
            assertEquals(1, IOPort.nativeClosePort(handle));
            assertEquals("closed", DataPath.PORT_GONE, DataPath.nativeRead(handle, new byte[8], 100));
        }
    }

    @Test
    public void anUnpluggedPrinterIsGone() {
        int handle = IOPort.nativeOpenPort(IOPort.SERIAL, new byte[] {10, 1}, 1000);
        assertEquals(513, handle);
        send(handle, "#fault unplug\n".getBytes(StandardCharsets.US_ASCII));
        long started = System.nanoTime();
        assertEquals(DataPath.PORT_GONE, DataPath.nativeRead(handle, new byte[8], 5000));
        assertTrue("at once, not after the time-out", System.nanoTime() - started < 4_000_000_000L);
        assertEquals(DataPath.ARGUMENTS_REFUSED, DataPath.nativeRead(handle, new byte[8], -1));
    }
}
