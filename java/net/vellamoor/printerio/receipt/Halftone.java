package net.vellamoor.printerio.receipt;

import java.util.Arrays;

/** Grey levels to black and white dots, a whole picture at a time, packed as {@link Raster} rows. */
final class Halftone {
    // The 8 x 8 Bayer index matrix: the order in which dots of a cell turn black.
    private static final int[] BAYER = {
        0, 32, 8, 40, 2, 34, 10, 42, 48, 16, 56, 24, 50, 18, 58, 26,
        12, 44, 4, 36, 14, 46, 6, 38, 60, 28, 52, 20, 62, 30, 54, 22,
        3, 35, 11, 43, 1, 33, 9, 41, 51, 19, 59, 27, 49, 17, 57, 25,
        15, 47, 7, 39, 13, 45, 5, 37, 63, 31, 55, 23, 61, 29, 53, 21};

    private Halftone() {
    }

    /** {@code gray} holds width x height levels; width is a multiple of 8. */
    static Raster dither(int[] gray, int width, int height, Dithering dithering, int threshold) {
        byte[] bits = new byte[width / 8 * height];
        switch (dithering) {
            case FLOYD_STEINBERG:
                floydSteinberg(gray, width, height, bits);
                break;
            case ATKINSON:
                atkinson(gray, width, height, bits);
                break;
            case ORDERED:
                ordered(gray, width, height, bits);
                break;
            default:
                threshold(gray, width, height, threshold, bits);
        }
        return new Raster(width, height, bits);
    }

    private static void floydSteinberg(int[] gray, int width, int height, byte[] bits) {
        int perRow = width / 8;
        int[] here = new int[width + 2];  // errors carried to this row and the next, times 16, offset by one
        int[] below = new int[width + 2];
        for (int y = 0; y < height; y++) {
            int row = y * width;
            int out = y * perRow;
            for (int x = 0; x < width; x++) {
                int v = gray[row + x] + (here[x + 1] >> 4);
                int error;
                if (v < 128) {
                    bits[out + (x >> 3)] |= (byte) (0x80 >> (x & 7));
                    error = v;
                } else {
                    error = v - 255;
                }
                here[x + 2] += error * 7;
                below[x] += error * 3;
                below[x + 1] += error * 5;
                below[x + 2] += error;
            }
            int[] swap = here;
            here = below;
            below = swap;
            Arrays.fill(below, 0);
        }
    }

    private static void atkinson(int[] gray, int width, int height, byte[] bits) {
        int perRow = width / 8;
        int[] here = new int[width + 4];  // errors times 8, offset by two
        int[] next = new int[width + 4];
        int[] after = new int[width + 4];
        for (int y = 0; y < height; y++) {
            int row = y * width;
            int out = y * perRow;
            for (int x = 0; x < width; x++) {
                int v = gray[row + x] + (here[x + 2] >> 3);
                int error;
                if (v < 128) {
                    bits[out + (x >> 3)] |= (byte) (0x80 >> (x & 7));
                    error = v;
                } else {
                    error = v - 255;
                }
                here[x + 3] += error;
                here[x + 4] += error;
                next[x + 1] += error;
                next[x + 2] += error;
                next[x + 3] += error;
                after[x + 2] += error;
            }
            int[] swap = here;
            here = next;
            next = after;
            after = swap;
            Arrays.fill(after, 0);
        }
    }

    private static void ordered(int[] gray, int width, int height, byte[] bits) {
        int perRow = width / 8;
        for (int y = 0; y < height; y++) {
            int row = y * width;
            int out = y * perRow;
            int matrixRow = (y & 7) * 8;
            for (int x = 0; x < width; x++) {
                if (gray[row + x] < 4 * BAYER[matrixRow + (x & 7)] + 2) {
                    bits[out + (x >> 3)] |= (byte) (0x80 >> (x & 7));
                }
            }
        }
    }

    private static void threshold(int[] gray, int width, int height, int level, byte[] bits) {
        int perRow = width / 8;
        for (int y = 0; y < height; y++) {
            int row = y * width;
            int out = y * perRow;
            for (int x = 0; x < width; x++) {
                if (gray[row + x] < level) {
                    bits[out + (x >> 3)] |= (byte) (0x80 >> (x & 7));
                }
            }
        }
    }
}
