package net.vellamoor.printerio;

import static org.junit.Assert.assertEquals;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import org.junit.Test;

/**
 * The printer API on the Linux library in the real JVM: two network printers
 * (127.0.8.4, 127.0.8.5) and a serial printer (COM7) used from several
 * threads at once, while a third network printer (127.0.8.6), opened before
 * the other two, is closed in the middle and so moves their handles. Every
 * receipt must arrive whole, once, at its own printer.
 */
public class ConcurrentPrintersOnLinuxTest {
    private static final int THREADS_PER_PRINTER = 2;
    private static final int JOBS_PER_THREAD = 100;

    private static String receipt(String printer, int thread, int job) {
        return "\u001b@<" + printer + " thread " + thread + " job " + job + ">\n"
                + "2 x espresso        4.00\n1 x water           1.50\nTOTAL               5.50\n\u001dV\u0000";
    }

    @Test
    public void everyReceiptArrivesWholeAtItsOwnPrinter() throws Exception {
        Printer closedInTheMiddle = Printer.openNetwork("127.0.8.6", 2000);
        final Printer[] printers = {Printer.openNetwork("127.0.8.4", 2000), Printer.openNetwork("127.0.8.5", 2000),
            Printer.openSerial(7, 115200, 2000)};
        final String[] names = {"network4", "network5", "serial7"};
        ExecutorService pool = Executors.newFixedThreadPool(printers.length * THREADS_PER_PRINTER + 1);
        // The fourth printer is closed while every worker is past its first
        // 20 jobs and none has done its last 20: truly in the middle.
        final CountDownLatch pastTheStart = new CountDownLatch(printers.length * THREADS_PER_PRINTER);
        final CountDownLatch closed = new CountDownLatch(1);
        List<Future<Long>> work = new ArrayList<>();
        for (int p = 0; p < printers.length; p++) {
            for (int t = 0; t < THREADS_PER_PRINTER; t++) {
                final int printer = p;
                final int thread = t;
                work.add(pool.submit(() -> {
                    long bytes = 0;
                    for (int job = 0; job < JOBS_PER_THREAD; job++) {
                        if (job == 20) {
                            pastTheStart.countDown();
                        }
                        if (job == JOBS_PER_THREAD - 20 && !closed.await(60, TimeUnit.SECONDS)) {
                            throw new AssertionError("the fourth printer was never closed");
                        }
                        byte[] data = receipt(names[printer], thread, job).getBytes(StandardCharsets.ISO_8859_1);
                        printers[printer].write(data);
                        printers[printer].status();
                        bytes += data.length;
                    }
                    return bytes;
                }));
            }
        }
        pastTheStart.await();
        closedInTheMiddle.close();
        closed.countDown();
        long bytes = 0;
        for (Future<Long> f : work) {
            bytes += f.get();
        }
        pool.shutdown();
        for (Printer printer : printers) {
            printer.close();
        }
        for (int p = 0; p < printers.length; p++) {
            String seen = waitForRecord(names[p] + ".bin", bytes / printers.length);
            for (int t = 0; t < THREADS_PER_PRINTER; t++) {
                for (int job = 0; job < JOBS_PER_THREAD; job++) {
                    String wanted = receipt(names[p], t, job);
                    assertEquals(names[p] + " holds " + wanted.substring(2, 30) + " once",
                            seen.indexOf(wanted), seen.lastIndexOf(wanted));
                    assertEquals(true, seen.contains(wanted));
                }
            }
        }
        System.out.println("concurrency: " + printers.length * THREADS_PER_PRINTER + " threads on "
                + printers.length + " printers, " + printers.length * THREADS_PER_PRINTER * JOBS_PER_THREAD
                + " receipts and as many status queries, " + bytes + " bytes, a fourth printer closed in the"
                + " middle; every receipt arrived whole, once, at its own printer");
    }

    /** The printer's record once it holds at least the expected bytes, or after 10 s. */
    private static String waitForRecord(String name, long expected) throws Exception {
        File file = new File(System.getProperty("test.records"), name);
        long deadline = System.currentTimeMillis() + 10000;
        String seen = "";
        while (System.currentTimeMillis() < deadline) {
            seen = file.exists() ? new String(Files.readAllBytes(file.toPath()), StandardCharsets.ISO_8859_1) : "";
            if (seen.length() >= expected) {
                break;
            }
            Thread.sleep(50);
        }
        return seen;
    }
}
