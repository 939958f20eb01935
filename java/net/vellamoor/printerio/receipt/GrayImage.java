package net.vellamoor.printerio.receipt;

import java.awt.image.BufferedImage;

/**
 * A picture as grey levels, 0 black to 255 white, taken from a
 * {@link BufferedImage} in one call: the common layouts (grey, packed RGB
 * and ARGB, the byte BGR that ImageIO gives JPEGs) straight from their
 * raster's data, others through the whole-array {@code getRGB}; transparent
 * parts on white paper. Immutable: the receipt keeps its own copy of the pixels.
 */
final class GrayImage {
    final int width;
    final int height;
    final byte[] gray;

    GrayImage(int width, int height, byte[] gray) {
        this.width = width;
        this.height = height;
        this.gray = gray;
    }

    static GrayImage of(BufferedImage image) {
        int w = image.getWidth();
        int h = image.getHeight();
        byte[] gray = new byte[w * h];
        Object pixels = null;
        switch (image.getType()) {
            case BufferedImage.TYPE_BYTE_GRAY:
                image.getRaster().getDataElements(0, 0, w, h, gray);
                return new GrayImage(w, h, gray);
            case BufferedImage.TYPE_INT_RGB:
            case BufferedImage.TYPE_INT_ARGB:
            case BufferedImage.TYPE_3BYTE_BGR:
            case BufferedImage.TYPE_4BYTE_ABGR:
                pixels = image.getRaster().getDataElements(0, 0, w, h, null);
                break;
            default:
                break;
        }
        if (pixels instanceof int[]) {
            fromPacked((int[]) pixels, image.getType() == BufferedImage.TYPE_INT_ARGB, gray);
        } else if (pixels instanceof byte[]) {
            fromBytes((byte[]) pixels, image.getType() == BufferedImage.TYPE_4BYTE_ABGR ? 4 : 3, gray);
        } else {
            // Any other layout: the whole-array getRGB converts it to packed ARGB.
            fromPacked(image.getRGB(0, 0, w, h, null, 0, w), true, gray);
        }
        return new GrayImage(w, h, gray);
    }

    private static void fromPacked(int[] argb, boolean alpha, byte[] gray) {
        for (int i = 0; i < argb.length; i++) {
            int p = argb[i];
            gray[i] = (byte) onWhite(luma(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF), alpha ? p >>> 24 : 255);
        }
    }

    /**
     * Pixels of TYPE_3BYTE_BGR and TYPE_4BYTE_ABGR as their raster hands
     * them out: in band order (R, G, B and A), whatever the order in memory.
     */
    private static void fromBytes(byte[] bytes, int step, byte[] gray) {
        for (int i = 0, j = 0; i < gray.length; i++, j += step) {
            int luma = luma(bytes[j] & 0xFF, bytes[j + 1] & 0xFF, bytes[j + 2] & 0xFF);
            gray[i] = (byte) onWhite(luma, step == 4 ? bytes[j + 3] & 0xFF : 255);
        }
    }

    /** Rec. 601 luma in fixed point (0.299, 0.587, 0.114 times 1024). */
    private static int luma(int r, int g, int b) {
        return (306 * r + 601 * g + 117 * b) >> 10;
    }

    /** A level seen through its opacity on white paper. */
    private static int onWhite(int level, int alpha) {
        return alpha == 255 ? level : (level * alpha + 255 * (255 - alpha)) / 255;
    }

    /**
     * Grey levels at another size, each target dot the average of the
     * source area it covers (exact for shrinking, a soft nearest dot for
     * enlarging), through a gamma table.
     */
    int[] scaled(int targetWidth, int targetHeight, double gamma) {
        int[] table = new int[256];
        for (int v = 0; v < 256; v++) {
            table[v] = gamma == 1.0 ? v : (int) Math.round(255 * Math.pow(v / 255.0, 1 / gamma));
        }
        int[] out = new int[targetWidth * targetHeight];
        if (targetWidth == width && targetHeight == height) {
            for (int i = 0; i < out.length; i++) {
                out[i] = table[gray[i] & 0xFF];
            }
            return out;
        }
        Weights across = new Weights(width, targetWidth);
        Weights down = new Weights(height, targetHeight);
        float[] rows = new float[height * targetWidth];
        for (int y = 0; y < height; y++) {
            int source = y * width;
            int target = y * targetWidth;
            for (int x = 0; x < targetWidth; x++) {
                float sum = 0;
                for (int k = across.start[x], end = across.start[x + 1]; k < end; k++) {
                    sum += across.weight[k] * (gray[source + across.index[k]] & 0xFF);
                }
                rows[target + x] = sum;
            }
        }
        for (int y = 0; y < targetHeight; y++) {
            int target = y * targetWidth;
            for (int x = 0; x < targetWidth; x++) {
                out[target + x] = 0;
            }
            for (int k = down.start[y], end = down.start[y + 1]; k < end; k++) {
                float w = down.weight[k];
                int source = down.index[k] * targetWidth;
                for (int x = 0; x < targetWidth; x++) {
                    out[target + x] += (int) (w * rows[source + x] * 256);
                }
            }
            for (int x = 0; x < targetWidth; x++) {
                out[target + x] = table[Math.min(255, Math.max(0, (out[target + x] + 128) >> 8))];
            }
        }
        return out;
    }

    /** For each target dot, the source dots it covers and the share of each. */
    private static final class Weights {
        final int[] start;
        final int[] index;
        final float[] weight;

        Weights(int source, int target) {
            start = new int[target + 1];
            int most = (int) Math.ceil((double) source / target) + 2;
            index = new int[target * most];
            weight = new float[target * most];
            double step = (double) source / target;
            int k = 0;
            for (int t = 0; t < target; t++) {
                start[t] = k;
                double low = t * step;
                double high = Math.min(source, (t + 1) * step);
                for (int s = (int) low; s < high && s < source; s++) {
                    double part = Math.min(high, s + 1) - Math.max(low, s);
                    if (part > 1e-9) {
                        index[k] = s;
                        weight[k++] = (float) (part / step);
                    }
                }
            }
            start[target] = k;
        }
    }
}
