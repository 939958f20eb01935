import java.awt.Color;
import java.awt.GradientPaint;
import java.awt.Graphics2D;
import java.awt.image.BufferedImage;
import java.io.File;
import java.io.IOException;
import java.util.Arrays;
import java.util.Random;
import javax.imageio.ImageIO;

import net.vellamoor.printerio.receipt.Align;
import net.vellamoor.printerio.receipt.Barcode;
import net.vellamoor.printerio.receipt.Dithering;
import net.vellamoor.printerio.receipt.ImageOptions;
import net.vellamoor.printerio.receipt.Profile;
import net.vellamoor.printerio.receipt.Receipt;
import net.vellamoor.printerio.receipt.Table;
import net.vellamoor.printerio.receipt.TextStyle;

/**
 * Times the receipt package in this JVM after warm-up: composing and
 * encoding a typical receipt (40 lines of text and table rows, a logo, an
 * EAN-13 barcode and a QR code) for the generic 80 mm profile, and turning
 * a 576 x 800 photograph into a printer job with each dithering. Prints the
 * median and the fastest of the timed rounds. A benchmark, not a test.
 *
 *   java -cp build/java/vellamoor-printerio.jar tools/bench/ReceiptBench.java [PHOTO.jpg]
 *
 * Without a photograph it draws one: gradients, shapes and noise, 576 x 800.
 */
public final class ReceiptBench {
    private static final Profile PROFILE = Profile.builtIn("generic-80mm");

    public static void main(String[] args) throws IOException {
        BufferedImage logo = logo();
        BufferedImage photo = args.length > 0 ? ImageIO.read(new File(args[0])) : photo();
        System.out.println("receipt: " + receipt(logo).encode(PROFILE).length + " bytes");
        report("compose + encode a 40-line receipt with logo, barcode, QR", () -> receipt(logo).encode(PROFILE), 20000);
        for (Dithering d : Dithering.values()) {
            ImageOptions options = ImageOptions.DEFAULT.fullWidth().dithering(d);
            report("photograph " + photo.getWidth() + "x" + photo.getHeight() + " to a job, " + d,
                    () -> Receipt.builder().image(photo, options).build().encode(PROFILE), 200);
        }
    }

    interface Work {
        byte[] run();
    }

    /** Runs the work {@code count} times per round: 5 rounds of warm-up, then 15 timed; prints per-run times. */
    private static void report(String name, Work work, int count) {
        long sink = 0;
        double[] perRun = new double[15];
        for (int round = -5; round < perRun.length; round++) {
            long start = System.nanoTime();
            for (int i = 0; i < count; i++) {
                sink += work.run().length;
            }
            long elapsed = System.nanoTime() - start;
            if (round >= 0) {
                perRun[round] = elapsed / 1e3 / count;
            }
        }
        Arrays.sort(perRun);
        System.out.printf("%-62s median %9.1f us, fastest %9.1f us  (%d)%n", name, perRun[perRun.length / 2],
                perRun[0], sink % 7);
    }

    static Receipt receipt(BufferedImage logo) {
        Table items = Table.of(Table.Column.left(0), Table.Column.right(3), Table.Column.right(9));
        for (int i = 1; i <= 30; i++) {
            items.row("Item number " + i + (i % 5 == 0 ? " with a longer name" : ""), String.valueOf(i % 4 + 1),
                    (i * 137 % 1000) / 100 + "." + (i * 37 % 90 + 10));
        }
        return Receipt.builder()
                .align(Align.CENTER).image(logo)
                .text("CORNER CAFE", TextStyle.NORMAL.bold().size(2, 2))
                .text("12 Harbour Street, Vellamoor")
                .text("VAT 123 456 789")
                .align(Align.LEFT).rule()
                .table(items)
                .rule()
                .leftRight("Subtotal", "€112.40")
                .leftRight("VAT 20 %", "€18.73")
                .style(TextStyle.NORMAL.bold()).leftRight("TOTAL", "€112.40").style(TextStyle.NORMAL)
                .leftRight("Card", "€112.40")
                .align(Align.CENTER)
                .barcode(Barcode.ean13("400638133393"))
                .qr("https://example.com/r/2026-0001")
                .text("Thank you, come again!")
                .feed(3).cut()
                .build();
    }

    static BufferedImage logo() {
        BufferedImage image = new BufferedImage(200, 120, BufferedImage.TYPE_INT_RGB);
        Graphics2D g = image.createGraphics();
        g.setPaint(new GradientPaint(0, 0, Color.WHITE, 200, 120, Color.BLACK));
        g.fillRect(0, 0, 200, 120);
        g.setColor(Color.WHITE);
        g.fillOval(60, 20, 80, 80);
        g.dispose();
        return image;
    }

    static BufferedImage photo() {
        BufferedImage image = new BufferedImage(576, 800, BufferedImage.TYPE_INT_RGB);
        Graphics2D g = image.createGraphics();
        g.setPaint(new GradientPaint(0, 0, new Color(30, 60, 90), 576, 800, new Color(240, 220, 180)));
        g.fillRect(0, 0, 576, 800);
        Random random = new Random(7);
        for (int i = 0; i < 60; i++) {
            g.setColor(new Color(random.nextInt(256), random.nextInt(256), random.nextInt(256), 120));
            g.fillOval(random.nextInt(576), random.nextInt(800), 20 + random.nextInt(200), 20 + random.nextInt(200));
        }
        g.dispose();
        int[] pixels = image.getRGB(0, 0, 576, 800, null, 0, 576);
        for (int i = 0; i < pixels.length; i++) {
            int n = random.nextInt(31) - 15;
            int p = pixels[i];
            int r = Math.max(0, Math.min(255, (p >> 16 & 0xff) + n));
            int gr = Math.max(0, Math.min(255, (p >> 8 & 0xff) + n));
            int b = Math.max(0, Math.min(255, (p & 0xff) + n));
            pixels[i] = r << 16 | gr << 8 | b;
        }
        image.setRGB(0, 0, 576, 800, pixels, 0, 576);
        return image;
    }
}
