package net.vellamoor.printerio.receipt;

/**
 * How a picture prints: its width in dots (0: its own width, made smaller
 * to fit the paper), the gamma applied to its greys (above 1 lightens, below
 * darkens), the dithering and, for {@link Dithering#THRESHOLD}, the grey
 * level below which a dot is black. Immutable.
 */
public final class ImageOptions {
    public static final ImageOptions DEFAULT = new ImageOptions(0, 1.0, Dithering.FLOYD_STEINBERG, 128);

    final int width;
    final double gamma;
    final Dithering dithering;
    final int threshold;

    private ImageOptions(int width, double gamma, Dithering dithering, int threshold) {
        this.width = width;
        this.gamma = gamma;
        this.dithering = dithering;
        this.threshold = threshold;
    }

    /** Scaled to this many dots across (rounded down to a multiple of 8); wider than the paper is an error. */
    public ImageOptions width(int dots) {
        if (dots < 8) {
            throw new IllegalArgumentException("picture width " + dots + " dots is less than 8");
        }
        return new ImageOptions(dots, gamma, dithering, threshold);
    }

    /** Scaled to the paper's full width. */
    public ImageOptions fullWidth() {
        return new ImageOptions(Integer.MAX_VALUE, gamma, dithering, threshold);
    }

    public ImageOptions gamma(double gamma) {
        if (!(gamma > 0.05 && gamma < 20)) {
            throw new IllegalArgumentException("gamma " + gamma + " is not between 0.05 and 20");
        }
        return new ImageOptions(width, gamma, dithering, threshold);
    }

    public ImageOptions dithering(Dithering dithering) {
        return new ImageOptions(width, gamma, dithering, threshold);
    }

    /** Threshold dithering at a grey level, 1 to 255. */
    public ImageOptions threshold(int level) {
        if (level < 1 || level > 255) {
            throw new IllegalArgumentException("threshold " + level + " is not between 1 and 255");
        }
        return new ImageOptions(width, gamma, Dithering.THRESHOLD, level);
    }
}
