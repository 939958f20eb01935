package net.vellamoor.printerio;

import static org.junit.Assert.assertEquals;

import java.nio.charset.StandardCharsets;
import org.junit.Test;

public class PrinterAnswersTest {
    private static final byte[] ID = "0042".getBytes(StandardCharsets.US_ASCII);

    private static byte[] bytes(int... values) {
        byte[] out = new byte[values.length];
        for (int i = 0; i < values.length; i++) {
            out[i] = (byte) values[i];
        }
        return out;
    }

    @Test
    public void streamsAreReadAcrossReads() {
        Object[][] cases = {
            // name, reads, confirmed, paper end in the last status back (null: none came)
            {"answer whole", new byte[][] {bytes('7', '"', '0', '0', '4', '2', 0)}, true, null},
            {"answer in three reads", new byte[][] {bytes('7'), bytes('"', '0', '0'), bytes('4', '2', 0)}, true, null},
            {"another job's answer", new byte[][] {bytes('7', '"', '0', '0', '4', '1', 0)}, false, null},
            {"status back, then the answer",
                new byte[][] {bytes(0x18, 0, 0x0c, 0, '7', '"', '0', '0', '4', '2', 0)}, true, true},
            {"status back split, real-time bytes between",
                new byte[][] {bytes(0x12, 0x10, 0), bytes(0, 0), bytes(0x12)}, false, false},
        };
        for (Object[] c : cases) {
            PrinterAnswers answers = new PrinterAnswers();
            boolean confirmed = false;
            for (byte[] read : (byte[][]) c[1]) {
                byte[] buffer = java.util.Arrays.copyOf(read, 64);
                confirmed |= answers.take(buffer, read.length, ID);
            }
            assertEquals((String) c[0], c[2], confirmed);
            PrinterStatus last = answers.lastStatus();
            assertEquals((String) c[0], c[3], last == null ? null : last.paperEnd());
        }
    }
}
