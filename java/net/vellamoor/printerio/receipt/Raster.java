package net.vellamoor.printerio.receipt;

/** A 1-bit picture as printers take it: rows of bytes, most significant bit leftmost, 1 for a black dot. */
final class Raster {
    final int width;  // dots, a multiple of 8
    final int height;
    final byte[] bits;

    Raster(int width, int height, byte[] bits) {
        this.width = width;
        this.height = height;
        this.bits = bits;
    }

    int bytesPerRow() {
        return width / 8;
    }
}
