package net.vellamoor.printerio;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.fail;

import java.time.Duration;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import org.junit.Before;
import org.junit.Test;

public class StatusWatchTest {
    private FakeNativePorts natives;
    private Printer printer;
    private final BlockingQueue<String> changes = new LinkedBlockingQueue<>();

    @Before
    public void setUp() throws Exception {
        natives = new FakeNativePorts();
        natives.statusFlags = new int[0];
        natives.willOpen(IOPort.SERIAL, "W");
        printer = Printer.openSerial(new PortTables(natives), 1, 9600, 500);
    }

    private void record(PrinterStatus previous, PrinterStatus current) {
        changes.add(describe(previous) + " -> " + describe(current));
    }

    private String next() throws InterruptedException {
        return changes.poll(10, TimeUnit.SECONDS);
    }

    private static String describe(PrinterStatus status) {
        return status == null ? "none" : status.coverOpen() ? "cover" : status.isReady() ? "ready" : "other";
    }

    @Test
    public void closedWatchesLeaveThePrinterAndAClosedPrinterCannotBeWatched() {
        for (int i = 0; i < 100; i++) {
            printer.watch(Duration.ofSeconds(1), this::record).close();
        }
        assertEquals("watches kept after their close", 0, printer.watchCount());
        printer.close();
        try {
            printer.watch(Duration.ofSeconds(1), this::record);
            fail("a closed printer cannot be watched");
        } catch (IllegalStateException expected) {
            // said at once, not a watch that never runs
        }
    }

    @Test
    public void aPrinterSilentFromTheStartIsFirstReportedWhenItAnswers() throws Exception {
        natives.silent = true;
        StatusWatch watch = printer.watch(Duration.ofMillis(5), this::record);
        while (natives.statusQueries.get() < 3) {
            Thread.sleep(5);
        }
        natives.silent = false;
        assertEquals("none -> ready", next());
        watch.close();
    }

    @Test
    public void aPushedWatchWhoseDataPathFailsGoesOnAsking() throws Exception {
        // A status back block as the fake's device W answers: ready, bit 2 (drawer signal) set.
        natives.pushes.add(new byte[] {0x14, 0, 0, 0});
        StatusWatch watch = printer.watchPushed(Duration.ofMillis(5), this::record);
        assertEquals("none -> ready", next());
        natives.silent = true;
        assertEquals("ready -> none", next());
        watch.close();
    }

    @Test
    public void aListenerThatThrowsAnErrorDoesNotEndTheWatch() throws Exception {
        Thread.UncaughtExceptionHandler handler = Thread.getDefaultUncaughtExceptionHandler();
        BlockingQueue<Throwable> thrown = new LinkedBlockingQueue<>();
        Thread.setDefaultUncaughtExceptionHandler((thread, e) -> thrown.add(e));
        try {
            StatusWatch watch = printer.watch(Duration.ofMillis(5), (previous, current) -> {
                record(previous, current);
                if (previous == null) {
                    throw new AssertionError("a listener's own fault");
                }
            });
            assertEquals("none -> ready", next());
            assertEquals("a listener's own fault", thrown.poll(10, TimeUnit.SECONDS).getMessage());
            natives.statusFlags = new int[] {IOPort.STATUS_COVER_OPEN};
            assertEquals("ready -> cover", next());
            watch.close();
        } finally {
            Thread.setDefaultUncaughtExceptionHandler(handler);
        }
    }

    @Test
    public void queriesStartEveryIntervalFromTheWatchsStart() {
        // start, interval, now -> next tick: a slow query or listener does not push the ticks back
        long[][] cases = {{0, 100, 0, 100}, {0, 100, 60, 100}, {0, 100, 99, 100}, {0, 100, 100, 200},
            {0, 100, 250, 300}, {1000, 100, 1160, 1200}};
        for (long[] c : cases) {
            assertEquals(c[0] + "+" + c[1] + " at " + c[2], c[3], StatusWatch.nextTick(c[0], c[1], c[2]));
        }
    }
}
