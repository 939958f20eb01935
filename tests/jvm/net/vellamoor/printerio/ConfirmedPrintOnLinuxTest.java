package net.vellamoor.printerio;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.concurrent.TimeUnit;
import org.junit.Test;

/**
 * Confirmed jobs on the Linux library in the real JVM, against the virtual
 * printer on COM11 (100 lines a second), one on COM12 that is unplugged, and
 * the USB stand-in, and the network printer on 127.0.8.8 (100 lines a
 * second). Faults are written into the jobs as the virtual
 * printer's fault lines, so each strikes when processing reaches it.
 */
public class ConfirmedPrintOnLinuxTest {
    private static byte[] job(String name, String fault) {
        StringBuilder text = new StringBuilder("\u001b@" + name + "\n");
        for (int line = 1; line <= 10; line++) {
            text.append(line == 5 && fault != null ? "#fault " + fault + "\n" : "").append("line ").append(line)
                .append('\n');
        }
        return text.append("\u001dV\u0000").toString().getBytes(StandardCharsets.US_ASCII);
    }

    @Test
    public void eachFaultEndsAsItShould() throws Exception {
        Object[][] cases = {
            // name, fault line, time-out ms, result, paper end at the end
            {"plain", null, 3000, PrintOutcome.Result.PRINTED, false},
            {"paper out, loaded in time", "paper-out 400", 4000, PrintOutcome.Result.PRINTED, false},
            {"paper out too long", "paper-out 2500", 800, PrintOutcome.Result.SENT_NOT_CONFIRMED, true},
            {"refused while out", null, 800, PrintOutcome.Result.NOT_PRINTED, true},
            {"never answers", "mute", 800, PrintOutcome.Result.SENT_NOT_CONFIRMED, false},
            {"switched off", "off 300", 800, PrintOutcome.Result.SENT_NOT_CONFIRMED, false},
        };
        try (Printer printer = Printer.openSerial(11, 9600, 1000)) {
            for (Object[] c : cases) {
                if (c[0].equals("never answers")) {
                    TimeUnit.MILLISECONDS.sleep(2500);  // the paper of the case before is loaded again
                }
                long started = System.nanoTime();
                PrintOutcome outcome = printer.printConfirmed(job((String) c[0], (String) c[1]),
                    Duration.ofMillis((Integer) c[2]));
                long tookMs = (System.nanoTime() - started) / 1_000_000;
                assertEquals(c[0] + ": " + outcome, c[3], outcome.result());
                assertEquals(c[0] + ": " + outcome, c[4], outcome.status().map(PrinterStatus::paperEnd).orElse(false));
                assertTrue(c[0] + " took " + tookMs + " ms", tookMs < (Integer) c[2] + 2000);
                assertEquals(c[0] + ": bytes sent", c[3] == PrintOutcome.Result.NOT_PRINTED ? 0
                    : job((String) c[0], (String) c[1]).length, outcome.bytesSent());
            }
            TimeUnit.MILLISECONDS.sleep(500);  // switched on again
            assertTrue("prints again", printer.printConfirmed(job("after", null), Duration.ofSeconds(3)).printed());
        }
    }

    @Test
    public void anUnpluggedPrinterIsSentButNotConfirmed() throws Exception {
        try (Printer printer = Printer.openSerial(12, 9600, 1000)) {
            PrintOutcome outcome = printer.printConfirmed(job("unplugged", "unplug"), Duration.ofSeconds(5));
            assertEquals(outcome.toString(), PrintOutcome.Result.SENT_NOT_CONFIRMED, outcome.result());
            assertEquals("the port is gone", outcome.reason());
        }
    }

    @Test
    public void aNetworkPrinterConfirmsOnItsDataConnection() throws Exception {
        Object[][] cases = {
            // name, fault line, result, reason
            {"plain", null, PrintOutcome.Result.PRINTED, "confirmed"},
            {"connection closed", "close", PrintOutcome.Result.SENT_NOT_CONFIRMED, "the port is gone"},
            {"again", null, PrintOutcome.Result.PRINTED, "confirmed"},
            {"switched off", "off 500", PrintOutcome.Result.SENT_NOT_CONFIRMED, "the port is gone"},
        };
        try (Printer printer = Printer.openNetwork("127.0.8.8", 1000)) {
            for (Object[] c : cases) {
                TimeUnit.MILLISECONDS.sleep(700);  // switched on again after the case before
                PrintOutcome outcome = printer.printConfirmed(job((String) c[0], (String) c[1]), Duration.ofSeconds(3));
                assertEquals(c[0] + ": " + outcome, c[2], outcome.result());
                assertEquals(c[0] + ": " + outcome, c[3], outcome.reason());
            }
        }
    }

    @Test
    public void theUsbStandInConfirmsThroughTheFuture() throws Exception {
        try (Printer printer = Printer.openUsb(1000)) {
            PrintOutcome outcome = printer.printConfirmedAsync(job("usb", null), Duration.ofSeconds(3))
                .get(10, TimeUnit.SECONDS);
            assertTrue(outcome.toString(), outcome.printed());
        }
    }
}
