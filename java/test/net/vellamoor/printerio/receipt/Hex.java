package net.vellamoor.printerio.receipt;

import static org.junit.Assert.assertEquals;

import java.io.ByteArrayOutputStream;
import java.nio.charset.Charset;

/** Jobs written as hex and text pieces, compared in hex so a mismatch shows both sides' bytes. */
final class Hex {
    private Hex() {
    }

    /** Pieces: "1b 40" is hex, "'text" is text in the given charset. */
    static byte[] bytes(Charset text, String... pieces) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (String piece : pieces) {
            if (piece.startsWith("'")) {
                byte[] b = piece.substring(1).getBytes(text);
                out.write(b, 0, b.length);
                continue;
            }
            for (String h : piece.trim().split("\\s+")) {
                out.write(Integer.parseInt(h, 16));
            }
        }
        return out.toByteArray();
    }

    static String hex(byte[] bytes) {
        StringBuilder s = new StringBuilder();
        for (byte b : bytes) {
            s.append(String.format("%02x ", b & 0xFF));
        }
        return s.toString().trim();
    }

    static void assertBytes(String label, byte[] expected, byte[] actual) {
        assertEquals(label, hex(expected), hex(actual));
    }
}
