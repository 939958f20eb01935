package net.vellamoor.printerio.receipt;

import java.awt.image.BufferedImage;
import java.io.File;
import java.io.IOException;
import java.util.Arrays;
import javax.imageio.ImageIO;

/**
 * Times how long the receipt package takes to turn a picture into printer
 * commands: from a decoded {@code BufferedImage} to the encoded job (grey
 * conversion, scaling to the paper, dithering, raster bands), as a web POS
 * turns its canvas data into bytes. For each PNG and dithering, prints one
 * line: the PNG, the dithering and the median of the timed rounds in
 * milliseconds. Every pair first runs as many untimed rounds, all before
 * any is timed, so that no pair pays for the JIT's work on another.
 *
 * <pre>
 * java ImageConversionBench PROFILE ROUNDS DITHERING[,DITHERING...] PNG...
 * </pre>
 */
public final class ImageConversionBench {
    private ImageConversionBench() {
    }

    public static void main(String[] args) throws IOException {
        Profile profile = Profile.builtIn(args[0]);
        int rounds = Integer.parseInt(args[1]);
        String[] ditherings = args[2].split(",");
        BufferedImage[] pictures = new BufferedImage[args.length - 3];
        for (int i = 0; i < pictures.length; i++) {
            pictures[i] = ImageIO.read(new File(args[i + 3]));
        }
        for (BufferedImage picture : pictures) {
            for (String dithering : ditherings) {
                times(picture, options(dithering), profile, rounds);
            }
        }
        for (int i = 0; i < pictures.length; i++) {
            for (String dithering : ditherings) {
                long[] times = times(pictures[i], options(dithering), profile, rounds);
                Arrays.sort(times);
                System.out.printf("%s %s %.3f%n", args[i + 3], dithering, times[rounds / 2] / 1e6);
            }
        }
    }

    private static ImageOptions options(String dithering) {
        return ImageOptions.DEFAULT.dithering(Dithering.valueOf(dithering));
    }

    private static long[] times(BufferedImage picture, ImageOptions options, Profile profile, int rounds) {
        long[] times = new long[rounds];
        for (int round = 0; round < rounds; round++) {
            long start = System.nanoTime();
            if (Receipt.builder().image(picture, options).build().encode(profile).length == 0) {
                throw new IllegalStateException("no bytes encoded");
            }
            times[round] = System.nanoTime() - start;
        }
        return times;
    }
}
