package net.vellamoor.printerio.receipt;

import java.awt.image.BufferedImage;
import java.awt.image.DataBufferByte;

/**
 * A picture as grey levels, 0 black to 255 white, taken from a
 * {@link BufferedImage} in one call (grey images straight from their
 * raster, others through the whole-array {@code getRGB}), transparent parts
 * on white paper. Immutable: the receipt keeps its own copy of the pixels.
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
        if (image.getType() == BufferedImage.TYPE_BYTE_GRAY && image.getRaster().getDataBuffer() instanceof DataBufferByte) {
            image.getRaster().getDataElements(0, 0, w, h, gray);
            return new GrayImage(w, h, gray);
        }
        int[] argb = image.getRGB(0, 0, w, h, null, 0, w);
        for (int i = 0; i < argb.length; i++) {
            int p = argb[i];
            int alpha = p >>> 24;
            // Rec. 601 luma in fixed point (0.299, 0.587, 0.114 times 1024).
            int luma = (306 * (p >> 16 & 0xFF) + 601 * (p >> 8 & 0xFF) + 117 * (p & 0xFF)) >> 10;
            gray[i] = (byte) ((luma * alpha + 255 * (255 - alpha)) / 255);
        }
        return new GrayImage(w, h, gray);
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
