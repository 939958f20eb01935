package net.vellamoor.printerio;

import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import java.util.Arrays;
import java.util.concurrent.atomic.AtomicReference;
import org.junit.Test;

/**
 * A serial printer that stops reading (COM8: after 1 KiB it takes nothing
 * for 3 s, as one out of paper does) while a 256 KiB job is written to it:
 * another printer of the same transport (COM9) still answers at once, a
 * thread waiting for the stuck printer can be interrupted, its close returns
 * at once, and its port is released when the stuck write ends.
 */
public class StuckPrinterOnLinuxTest {
    @Test
    public void aPrinterThatStopsReadingHoldsUpNoOther() throws Exception {
        Printer stuck = Printer.openSerial(8, 115200, 2000);
        Printer other = Printer.openSerial(9, 115200, 2000);
        byte[] job = new byte[256 * 1024];
        Arrays.fill(job, (byte) 'x');
        long started = System.nanoTime();
        AtomicReference<Long> writeEndedMs = new AtomicReference<>();
        Thread writer = new Thread(() -> {
            try {
                stuck.write(job);
            } catch (PrinterException e) {
                // closed while it was stuck: the job ends there
            }
            writeEndedMs.set(millisSince(started));
        });
        writer.start();
        Thread.sleep(500);  // the printer has stopped reading and the write waits for it

        long before = System.nanoTime();
        assertTrue(other.status().isReady());
        long statusMs = millisSince(before);

        AtomicReference<Throwable> interrupted = new AtomicReference<>();
        Thread waiting = new Thread(() -> {
            try {
                stuck.status();
            } catch (PrinterException e) {
                interrupted.set(e.getCause());
            }
        });
        waiting.start();
        Thread.sleep(100);
        waiting.interrupt();
        waiting.join(1000);

        before = System.nanoTime();
        stuck.close();
        long closeMs = millisSince(before);
        boolean stillWriting = writer.isAlive();
        writer.join(15000);
        assertFalse("the stuck write ended", writer.isAlive());
        Printer again = Printer.openSerial(8, 115200, 2000);  // the port was released
        again.close();
        other.close();
        System.out.println("stuck printer: status of another printer " + statusMs + " ms, close " + closeMs
            + " ms, stuck write ended after " + writeEndedMs.get() + " ms");
        assertTrue("status of another printer took " + statusMs + " ms", statusMs < 1000);
        assertTrue("close took " + closeMs + " ms", closeMs < 500);
        assertTrue("the write was still stuck when close returned", stillWriting);
        assertTrue("a waiting thread ends on interrupt: " + interrupted.get(),
            interrupted.get() instanceof InterruptedException);
    }

    private static long millisSince(long started) {
        return (System.nanoTime() - started) / 1_000_000;
    }
}
