package net.vellamoor.printerio;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import org.junit.Before;
import org.junit.Test;

public class PrinterTest {
    private FakeNativePorts natives;
    private PortTables tables;

    @Before
    public void setUp() {
        natives = new FakeNativePorts();
        tables = new PortTables(natives);
    }

    // Each device has a COM port and an address of its own: reopening one
    // names the same port again, as a till does.
    private final java.util.Map<String, Integer> numbers = new java.util.concurrent.ConcurrentHashMap<>();

    private int number(String device) {
        return numbers.computeIfAbsent(device, d -> numbers.size() + 1);
    }

    private Printer serial(String device) throws PrinterException {
        natives.willOpen(IOPort.SERIAL, device);
        return Printer.openSerial(tables, number(device), 9600, 500);
    }

    private Printer network(String device) throws PrinterException {
        natives.willOpen(IOPort.NETWORK, device);
        return Printer.openNetwork(tables, "127.0.31." + number(device), 500);
    }

    /** Waits, bounded, for the releaser to leave this many entries in the table. */
    private void awaitEntries(int portType, int count) throws InterruptedException {
        for (int i = 0; i < 1000 && natives.entries(portType) != count; i++) {
            Thread.sleep(10);
        }
        assertEquals("entries left in the table", count, natives.entries(portType));
    }

    /**
     * Starts a write that the fake holds until {@code natives.writeGate}
     * opens, and returns once it is held. A close while it waits ends the
     * job there, which the tests see in the printer's entries.
     */
    private Thread stuckWrite(Printer printer) throws InterruptedException {
        natives.writeGate = new java.util.concurrent.CountDownLatch(1);
        Thread writer = new Thread(() -> {
            try {
                printer.write(bytes("a long job"));
            } catch (PrinterException e) {
                // closed while it waited
            }
        });
        writer.start();
        for (int i = 0; i < 10_000 && writer.getState() != Thread.State.WAITING; i++) {
            Thread.sleep(1);
        }
        assertEquals("the write is held in the fake", Thread.State.WAITING, writer.getState());
        return writer;
    }

    /** Which device answered: the fake puts its name's first letter in the reply. */
    private static char answeredBy(Printer printer) throws PrinterException {
        return (char) printer.status().reply()[0];
    }

    @Test
    public void everyPrinterKeepsItsOwnPortWhenOthersClose() throws Exception {
        String[][] cases = {{"1", "AC", "closed in the middle"}, {"2", "AB", "closed at the end"},
            {"0", "BC", "closed first"}};
        for (String[] c : cases) {
            setUp();
            List<Printer> printers = new ArrayList<>();
            for (String device : new String[] {"A", "B", "C"}) {
                printers.add(serial(device));
            }
            printers.remove(Integer.parseInt(c[0])).close();
            awaitEntries(IOPort.SERIAL, 2);
            for (int i = 0; i < printers.size(); i++) {
                assertEquals(c[2], c[1].charAt(i), answeredBy(printers.get(i)));
            }
        }
        setUp();
        Printer x = network("X");
        Printer y = network("Y");
        Printer z = network("Z");
        x.close();
        awaitEntries(IOPort.NETWORK, 4);
        assertEquals("network pairs: Y moved down by two entries", 'Y', answeredBy(y));
        assertEquals('Z', answeredBy(z));
        y.write(bytes("for Y"));
        assertArrayEquals(bytes("for Y"), natives.receivedBy("Y"));
    }

    @Test
    public void closedPrintersFailClearlyAndCloseTwiceQuietly() throws Exception {
        Printer printer = serial("A");
        printer.close();
        printer.close();
        for (byte[] late : new byte[][] {bytes("late"), new byte[0]}) {
            try {
                printer.write(late);
                fail("a write of " + late.length + " bytes on a closed printer must fail");
            } catch (PrinterException e) {
                assertTrue(e.getMessage(), e.getMessage().contains("COM1") && e.getMessage().contains("closed"));
            }
        }
        try {
            printer.status();
            fail("a status query on a closed printer must fail");
        } catch (PrinterException e) {
            assertTrue(e.getMessage(), e.getMessage().contains("closed"));
        }
    }

    @Test
    public void failuresSayWhatFailed() throws Exception {
        try {
            Printer.openNetwork(tables, "10.0.0.9", 500);
            fail("an open the library refused must throw");
        } catch (PrinterException e) {
            assertEquals("could not open the network printer at 10.0.0.9", e.getMessage());
        }
        Printer printer = serial("A");
        natives.writeLimit = 4;
        printer.write(bytes("0123456789"));
        assertArrayEquals("a partial write is offered the rest", bytes("0123456789"), natives.receivedBy("A"));
        natives.writeLimit = 0;
        try {
            printer.write(bytes("abc"));
            fail("a printer that takes nothing must fail the write");
        } catch (IncompleteWriteException e) {
            assertEquals(0, e.bytesWritten());
            assertTrue(e.getMessage(), e.getMessage().contains("0 of 3"));
        }
    }

    @Test
    public void slicesAreCopiedAndStatusIsReadWhole() throws Exception {
        Printer printer = serial("S");
        printer.write(bytes("..slice.."), 2, 5);
        assertArrayEquals(bytes("slice"), natives.receivedBy("S"));
        PrinterStatus status = printer.status();
        assertTrue(status.offline());
        assertFalse(status.coverOpen() || status.paperEnd() || status.paperNearEnd() || status.autoCutterError());
        assertArrayEquals(new byte[] {'S'}, status.reply());
        status.reply()[0] = 0;
        assertEquals("the reply is a copy", 'S', status.reply()[0]);
    }

    @Test
    public void manyThreadsOnManyPrintersNeverOverlapInOneTable() throws Exception {
        final int threads = 8;
        final int jobs = 200;
        ExecutorService pool = Executors.newFixedThreadPool(threads);
        List<Future<?>> done = new ArrayList<>();
        for (int t = 0; t < threads; t++) {
            final String device = "D" + t;
            final boolean onNetwork = t % 2 == 0;
            done.add(pool.submit(() -> {
                try (Printer printer = onNetwork ? network(device) : serial(device)) {
                    for (int job = 0; job < jobs; job++) {
                        printer.write(bytes(device + ";"));
                        printer.status();
                    }
                }
                return null;
            }));
        }
        for (Future<?> f : done) {
            f.get();
        }
        pool.shutdown();
        assertEquals("calls that overlapped in one table", 0, natives.overlaps.get());
        for (int t = 0; t < threads; t++) {
            String device = "D" + t;
            StringBuilder expected = new StringBuilder();
            for (int job = 0; job < jobs; job++) {
                expected.append(device).append(';');
            }
            assertEquals(device, expected.toString(), new String(natives.receivedBy(device), StandardCharsets.US_ASCII));
        }
    }

    @Test
    public void speedsAndStatusFlagsEachHaveTheirOwnPlace() throws Exception {
        int[][] speeds = {{9600, 1}, {19200, 2}, {38400, 3}, {115200, 4}};
        for (int[] speed : speeds) {
            setUp();
            natives.willOpen(IOPort.SERIAL, "S");
            Printer.openSerial(tables, 3, speed[0], 500).close();
            assertArrayEquals(speed[0] + " bps", new byte[] {3, (byte) speed[1]}, natives.lastParameters);
        }
        String[] flags = {"coverOpen", "offline", "autoCutterError", "", "", "paperEnd", "paperNearEnd"};
        for (int position = 0; position < flags.length; position++) {
            if (flags[position].isEmpty()) {
                continue;
            }
            byte[] array = new byte[PrinterStatus.ARRAY_LENGTH];
            array[position] = 1;
            PrinterStatus status = PrinterStatus.fromArray(array);
            String set = (status.coverOpen() ? "coverOpen" : "") + (status.offline() ? "offline" : "")
                + (status.autoCutterError() ? "autoCutterError" : "") + (status.paperEnd() ? "paperEnd" : "")
                + (status.paperNearEnd() ? "paperNearEnd" : "");
            assertEquals("position " + position, flags[position], set);
            assertEquals("position " + position, position == 6, status.isReady());
        }
    }

    @Test
    public void statusIsAValueWithADrawerSignal() {
        byte[] array = new byte[PrinterStatus.ARRAY_LENGTH];
        array[IOPort.STATUS_REPLY_COUNT] = 1;
        array[IOPort.STATUS_REPLY_BYTES] = 0x16;
        PrinterStatus drawerHigh = PrinterStatus.fromArray(array);
        assertTrue(drawerHigh.drawerSignal());
        assertEquals(drawerHigh, PrinterStatus.fromArray(array.clone()));
        assertEquals(drawerHigh.hashCode(), PrinterStatus.fromArray(array.clone()).hashCode());
        array[IOPort.STATUS_REPLY_BYTES] = 0x12;
        assertFalse(PrinterStatus.fromArray(array).drawerSignal());
        assertFalse("the reply bytes count", drawerHigh.equals(PrinterStatus.fromArray(array)));
    }

    @Test
    public void anOpenOutOfStepWithTheLibraryIsUndone() throws Exception {
        natives.willOpen(IOPort.SERIAL, "direct");
        assertEquals(513, natives.open(IOPort.SERIAL, new byte[] {1, 1}, 500));  // IOPort used beside Printer
        try {
            serial("A");
            fail("the library named the port 514 where 513 was due");
        } catch (PrinterException e) {
            assertTrue(e.getMessage(), e.getMessage().contains("514 where 513 was due"));
        }
        assertEquals("the port opened out of step is closed again", 0, natives.status(514, new byte[137]));
    }

    @Test
    public void printRefusesAPrinterThatCannotPrintAndReportsTheStateAfter() throws Exception {
        Printer printer = serial("P");
        try {
            printer.print(bytes("job"));
            fail("an offline printer must not get the job");
        } catch (PrinterNotReadyException e) {
            assertTrue(e.status().offline());
        }
        assertEquals(0, natives.receivedBy("P").length);
        natives.statusFlags = new int[] {IOPort.STATUS_PAPER_NEAR_END};
        assertTrue("near end is still ready, and said after the job", printer.print(bytes("job")).paperNearEnd());
        assertArrayEquals(bytes("job"), natives.receivedBy("P"));
    }

    @Test
    public void aWatchReportsEveryChangeAndStopsWithThePrinter() throws Exception {
        natives.statusFlags = new int[0];
        Printer printer = serial("W");
        java.util.concurrent.BlockingQueue<String> changes = new java.util.concurrent.LinkedBlockingQueue<>();
        StatusWatch watch = printer.watch(java.time.Duration.ofMillis(5),
            (previous, current) -> changes.add(describe(previous) + " -> " + describe(current)));
        assertEquals("none -> ready", changes.poll(5, java.util.concurrent.TimeUnit.SECONDS));
        natives.statusFlags = new int[] {IOPort.STATUS_COVER_OPEN};
        assertEquals("ready -> cover", changes.poll(5, java.util.concurrent.TimeUnit.SECONDS));
        natives.silent = true;
        assertEquals("cover -> none", changes.poll(5, java.util.concurrent.TimeUnit.SECONDS));
        natives.silent = false;
        assertEquals("none -> cover", changes.poll(5, java.util.concurrent.TimeUnit.SECONDS));
        printer.close();
        for (int i = 0; i < 100 && watch.isActive(); i++) {
            Thread.sleep(10);
        }
        assertFalse("the watch ends with the printer", watch.isActive());
    }

    private static String describe(PrinterStatus status) {
        return status == null ? "none" : status.coverOpen() ? "cover" : status.isReady() ? "ready" : "other";
    }

    @Test
    public void javaConventions() throws Exception {
        Printer printer = serial("J");
        assertTrue(printer.isOpen());
        printer.outputStream().write(bytes("via a stream"));
        assertArrayEquals(bytes("via a stream"), natives.receivedBy("J"));
        printer.close();
        assertFalse(printer.isOpen());
        try {
            printer.outputStream().write(1);
            fail("a closed printer's stream must fail");
        } catch (java.io.IOException e) {
            assertTrue(e.getCause() instanceof PrinterException);
        }
        Runnable[] refused = {() -> open(() -> Printer.openSerial(tables, 3, 9600, -1)),
            () -> open(() -> Printer.openSerial(3, 9600, java.time.Duration.ofMillis(-1))),
            () -> open(() -> Printer.openNetwork("10.0.0.1", java.time.Duration.ofDays(30))),
            () -> open(() -> Printer.openNetwork(tables, "10.0.0.+1", 500)),
            () -> open(() -> Printer.openNetwork(tables, "10.0.0.\u0661", 500)),
            () -> open(() -> Printer.openNetwork(tables, "10.0.0.256", 500))};
        for (Runnable open : refused) {
            try {
                open.run();
                fail("a negative or too long time-out, or an address that is not four decimal octets, must be refused");
            } catch (IllegalArgumentException expected) {
                // refused before anything is opened
            }
        }
    }

    private interface Opening {
        Printer open() throws PrinterException;
    }

    private static void open(Opening opening) {
        try {
            opening.open();
        } catch (PrinterException e) {
            throw new AssertionError(e);
        }
    }

    @Test
    public void aStuckPrinterHoldsUpNoOtherAndClosesWhenItsCallEnds() throws Exception {
        Printer stuck = serial("A");
        Printer other = serial("B");
        Thread writer = stuckWrite(stuck);
        long started = System.nanoTime();
        assertEquals("the other printer answers at once", 'B', answeredBy(other));
        stuck.close();
        assertTrue("close returns at once", System.nanoTime() - started < 1_000_000_000L);
        assertEquals("the stuck port stays until its call ends", 2, natives.entries(IOPort.SERIAL));
        natives.writeGate.countDown();
        writer.join(5000);
        awaitEntries(IOPort.SERIAL, 1);
        assertTrue("released by no caller: " + natives.lastCloseThread,
            natives.lastCloseThread.startsWith("vellamoor-printerio port releaser"));
        assertEquals("and the other printer moved down to its place", 'B', answeredBy(other));
        assertEquals(0, natives.overlaps.get());
    }

    @Test
    public void aThreadWaitingForItsTurnCanBeInterrupted() throws Exception {
        Printer printer = serial("I");
        printer.turn().lock();  // another call on this printer is under way
        java.util.concurrent.atomic.AtomicReference<Throwable> seen = new java.util.concurrent.atomic.AtomicReference<>();
        Thread waiting = new Thread(() -> {
            try {
                printer.status();
            } catch (PrinterException e) {
                seen.set(Thread.currentThread().isInterrupted() ? e.getCause() : e);
            }
        });
        waiting.start();
        waiting.interrupt();
        waiting.join(5000);
        printer.turn().unlock();
        assertTrue("ended by the interrupt, status kept: " + seen.get(), seen.get() instanceof InterruptedException);
    }

    @Test
    public void aJobThatWentOutIsNeverReportedAsNotSent() throws Exception {
        natives.statusFlags = new int[0];
        Printer printer = serial("P");
        natives.answersLeft.set(1);  // answers before the job, then goes quiet
        try {
            printer.print(bytes("receipt"));
            fail("the state after the job is unknown");
        } catch (JobSentException e) {
            assertEquals(7, e.bytesSent());
            assertTrue(e.getMessage(), e.getCause().getMessage().contains("did not answer"));
        }
        assertArrayEquals(bytes("receipt"), natives.receivedBy("P"));
    }

    @Test
    public void aCloseBesideACallOnAnotherPrinterIsNeverLost() throws Exception {
        Printer closing = serial("A");
        Printer busy = serial("B");
        Thread writer = stuckWrite(busy);
        closing.close();
        Thread.sleep(50);
        assertEquals("A waits for the call on B", 2, natives.entries(IOPort.SERIAL));
        natives.writeGate.countDown();
        writer.join(5000);
        awaitEntries(IOPort.SERIAL, 1);
        assertEquals('B', answeredBy(busy));
        assertEquals("and in a short race, round after round", 0, CloseRace.lostCloses(1_000, 10_000));
    }

    @Test
    public void aPortWaitingToCloseIsTakenBackByItsReopenWhileAnotherPrinterIsBusy() throws Exception {
        Printer busy = serial("BUSY");
        Printer till = serial("TILL");
        Thread writer = stuckWrite(busy);
        till.close();
        Printer again = serial("TILL");  // the library's entry still holds the device
        assertEquals('T', answeredBy(again));
        assertFalse("the closed printer stays closed", till.isOpen());
        natives.writeGate.countDown();
        writer.join(5000);
        busy.close();
        awaitEntries(IOPort.SERIAL, 1);
        assertEquals("the port taken back is the one left open", 'T', answeredBy(again));
        assertEquals(0, natives.overlaps.get());
    }

    @Test
    public void durationsBecomeWholeMillisecondsRoundedUp() {
        Object[][] cases = {{Duration.ZERO, 0}, {Duration.ofNanos(1), 1}, {Duration.ofNanos(500_000), 1},
            {Duration.ofMillis(5), 5}, {Duration.ofNanos(5_000_001), 6},
            {Duration.ofMillis(Integer.MAX_VALUE), Integer.MAX_VALUE}};
        for (Object[] c : cases) {
            assertEquals(c[0].toString(), c[1], OpenParameters.milliseconds((Duration) c[0]));
        }
    }

    @Test
    public void aCloseBetweenTwoPartsOfAWriteSaysHowFarItGot() throws Exception {
        Printer printer = serial("C");
        natives.writeLimit = 4;
        natives.duringWrite = printer::close;  // another thread closes it while the first part goes out
        try {
            printer.write(bytes("0123456789"));
            fail("the rest must not go to a closed printer");
        } catch (IncompleteWriteException e) {
            assertEquals(4, e.bytesWritten());
        }
        assertArrayEquals(bytes("0123"), natives.receivedBy("C"));
    }

    @Test
    public void aRefusalSurvivesSerialization() throws Exception {
        natives.statusFlags = new int[] {IOPort.STATUS_PAPER_END};
        Printer printer = serial("R");
        PrinterNotReadyException refused = null;
        try {
            printer.print(bytes("job"));
        } catch (PrinterNotReadyException e) {
            refused = e;
        }
        java.io.ByteArrayOutputStream bytes = new java.io.ByteArrayOutputStream();
        try (java.io.ObjectOutputStream out = new java.io.ObjectOutputStream(bytes)) {
            out.writeObject(refused);
        }
        try (java.io.ObjectInputStream in = new java.io.ObjectInputStream(
                new java.io.ByteArrayInputStream(bytes.toByteArray()))) {
            PrinterNotReadyException copy = (PrinterNotReadyException) in.readObject();
            assertEquals(refused.status(), copy.status());
            assertEquals(refused.getMessage(), copy.getMessage());
        }
    }

    private static byte[] bytes(String text) {
        return text.getBytes(StandardCharsets.US_ASCII);
    }
}
