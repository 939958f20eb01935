package net.vellamoor.printerio;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.nio.charset.StandardCharsets;
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

    private Printer serial(String device) throws PrinterException {
        natives.willOpen(IOPort.SERIAL, device);
        return Printer.openSerial(tables, 3, 9600, 500);
    }

    private Printer network(String device) throws PrinterException {
        natives.willOpen(IOPort.NETWORK, device);
        return Printer.openNetwork(tables, "192.168.1.100", 500);
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
            for (int i = 0; i < printers.size(); i++) {
                assertEquals(c[2], c[1].charAt(i), answeredBy(printers.get(i)));
            }
        }
        setUp();
        Printer x = network("X");
        Printer y = network("Y");
        Printer z = network("Z");
        x.close();
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
        try {
            printer.write(bytes("late"));
            fail("a write on a closed printer must fail");
        } catch (PrinterException e) {
            assertTrue(e.getMessage(), e.getMessage().contains("COM3") && e.getMessage().contains("closed"));
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

    private static byte[] bytes(String text) {
        return text.getBytes(StandardCharsets.US_ASCII);
    }
}
