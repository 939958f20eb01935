package net.vellamoor.printerio.receipt;

import java.util.Arrays;

/** A growing byte array: the job as it is encoded. */
final class ByteOut {
    private byte[] bytes = new byte[4096];
    private int size;

    void write(int b) {
        ensure(1);
        bytes[size++] = (byte) b;
    }

    void write(int a, int b) {
        ensure(2);
        bytes[size++] = (byte) a;
        bytes[size++] = (byte) b;
    }

    void write(int a, int b, int c) {
        ensure(3);
        bytes[size++] = (byte) a;
        bytes[size++] = (byte) b;
        bytes[size++] = (byte) c;
    }

    void write(byte[] data) {
        write(data, 0, data.length);
    }

    void write(byte[] data, int offset, int length) {
        ensure(length);
        System.arraycopy(data, offset, bytes, size, length);
        size += length;
    }

    /** A 16-bit number, low byte first, as ESC/POS lengths and sizes go. */
    void writeShort(int value) {
        write(value & 0xFF, value >>> 8 & 0xFF);
    }

    byte[] toByteArray() {
        return Arrays.copyOf(bytes, size);
    }

    private void ensure(int more) {
        if (size + more > bytes.length) {
            bytes = Arrays.copyOf(bytes, Math.max(bytes.length * 2, size + more));
        }
    }
}
