package net.vellamoor.printerio;

import java.time.Duration;
import java.util.Arrays;

/** What the library's open takes, made from what a caller gives: COM port and speed, IPv4 address, time-out. */
final class OpenParameters {
    private static final int[] SPEEDS = {IOPort.SPEED_INDEX_1_BPS, IOPort.SPEED_INDEX_2_BPS,
        IOPort.SPEED_INDEX_3_BPS, IOPort.SPEED_INDEX_4_BPS};

    private OpenParameters() {}

    /** The COM port number and the speed index. */
    static byte[] serial(int comPort, int bitsPerSecond) {
        if (comPort < 1 || comPort > Byte.MAX_VALUE) {
            throw new IllegalArgumentException("COM port " + comPort + " is not between 1 and 127");
        }
        return new byte[] {(byte) comPort, (byte) speedIndex(bitsPerSecond)};
    }

    /** The four octets of a dotted IPv4 address, first octet first. */
    static byte[] network(String address) {
        String[] parts = address.split("\\.", -1);
        if (parts.length != 4) {
            throw new IllegalArgumentException("not a dotted IPv4 address: " + address);
        }
        byte[] octets = new byte[4];
        for (int i = 0; i < 4; i++) {
            // Integer.parseInt alone would also take a sign and digits of other scripts.
            if (!parts[i].matches("[0-9]{1,3}") || Integer.parseInt(parts[i]) > 255) {
                throw new IllegalArgumentException("not a dotted IPv4 address: " + address);
            }
            octets[i] = (byte) Integer.parseInt(parts[i]);
        }
        return octets;
    }

    static void checkTimeout(int timeoutMs) {
        if (timeoutMs < 0) {
            throw new IllegalArgumentException("time-out " + timeoutMs + " ms is negative (0 means no limit)");
        }
    }

    /**
     * Whole milliseconds, rounded up: the library reads 0 as "no limit", so
     * a positive time-out under a millisecond must not become 0.
     */
    static int milliseconds(Duration timeout) {
        if (timeout.isNegative()) {
            throw new IllegalArgumentException("time-out " + timeout + " is negative (zero means no limit)");
        }
        if (timeout.compareTo(Duration.ofMillis(Integer.MAX_VALUE)) > 0) {
            throw new IllegalArgumentException("time-out " + timeout + " is longer than " + Integer.MAX_VALUE + " ms");
        }
        long millis = timeout.toMillis();
        return (int) (Duration.ofMillis(millis).equals(timeout) ? millis : millis + 1);
    }

    private static int speedIndex(int bitsPerSecond) {
        for (int i = 0; i < SPEEDS.length; i++) {
            if (SPEEDS[i] == bitsPerSecond) {
                return i + 1;
            }
        }
        throw new IllegalArgumentException(bitsPerSecond + " bps is not one of " + Arrays.toString(SPEEDS));
    }
}
