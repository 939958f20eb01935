package net.vellamoor.printerio;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNotNull;
import static org.junit.Assert.assertTrue;

import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import org.junit.Test;

/**
 * Pushed status watches on the Linux library in the real JVM: the virtual
 * printer on COM13 sends automatic status back, the one on COM14 takes
 * GS a and sends nothing. The cover is opened by a fault line in a job.
 */
public class PushedStatusOnLinuxTest {
    private static final byte[] COVER_JOB = "cover\n#fault cover 1500\nafter\n".getBytes(StandardCharsets.US_ASCII);

    private static String next(BlockingQueue<PrinterStatus> changes, long withinMs) throws InterruptedException {
        PrinterStatus status = changes.poll(withinMs, TimeUnit.MILLISECONDS);
        assertNotNull("no change within " + withinMs + " ms", status);
        return status.coverOpen() ? "cover open" : status.isReady() ? "ready" : status.toString();
    }

    // The cover stays open 1.5 s; withinMs is the margin for a loaded machine.
    private static void cover(int com, Duration interval, long withinMs) throws Exception {
        BlockingQueue<PrinterStatus> changes = new LinkedBlockingQueue<>();
        try (Printer printer = Printer.openSerial(com, 9600, 1000);
             StatusWatch watch = printer.watchPushed(interval, (previous, current) -> changes.add(current))) {
            assertEquals("COM" + com + " first state", "ready", next(changes, 5000));
            long started = System.nanoTime();
            printer.write(COVER_JOB);
            long tookMs = (System.nanoTime() - started) / 1_000_000;
            assertTrue("the write waited " + tookMs + " ms for the watch", tookMs < 2000);
            assertEquals("COM" + com, "cover open", next(changes, withinMs));
            assertEquals("COM" + com, "ready", next(changes, 1500 + withinMs));
            assertEquals("COM" + com + ": nothing else", null, changes.poll(300, TimeUnit.MILLISECONDS));
        }
    }

    @Test
    public void changesArriveAsThePrinterPushesThem() throws Exception {
        cover(13, Duration.ofSeconds(30), 5000);  // well inside the interval: pushed, not asked
    }

    @Test
    public void aPrinterThatDoesNotPushIsAsked() throws Exception {
        cover(14, Duration.ofMillis(300), 5000);
    }
}
