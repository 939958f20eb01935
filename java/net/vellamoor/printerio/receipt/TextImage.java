package net.vellamoor.printerio.receipt;

import java.awt.Color;
import java.awt.Font;
import java.awt.FontMetrics;
import java.awt.Graphics2D;
import java.awt.GraphicsEnvironment;
import java.awt.RenderingHints;
import java.awt.geom.AffineTransform;
import java.awt.image.BufferedImage;
import java.awt.image.DataBufferByte;

/**
 * A line of text drawn as a picture with Java2D, for characters none of the
 * printer's pages or fonts has: each character in its cells (two for wide
 * ones) so the line lines up with those printed as text.
 */
final class TextImage {
    private static volatile Font[] systemFonts;

    private TextImage() {
    }

    static Raster draw(int[] line, TextStyle style, Encoder e) {
        int cellWidth = e.profile.widthDots() / e.profile.columns(style.font()) * style.width();
        int cellHeight = (style.font() == TextStyle.Font.A ? 24 : 17) * style.height();
        int cells = 0;
        for (int c : line) {
            cells += e.cells(c);
        }
        int width = Math.min(e.profile.widthDots(), Math.max(8, (cells * cellWidth + 7) / 8 * 8));
        String text = new String(line, 0, line.length);
        Font font = fontFor(text).deriveFont(style.isBold() ? Font.BOLD : Font.PLAIN, cellHeight * 0.8f)
                .deriveFont(AffineTransform.getScaleInstance((double) style.width() / style.height(), 1));
        BufferedImage image = new BufferedImage(width, cellHeight, BufferedImage.TYPE_BYTE_GRAY);
        Graphics2D g = image.createGraphics();
        try {
            g.setColor(Color.WHITE);
            g.fillRect(0, 0, width, cellHeight);
            g.setRenderingHint(RenderingHints.KEY_TEXT_ANTIALIASING, RenderingHints.VALUE_TEXT_ANTIALIAS_OFF);
            g.setColor(Color.BLACK);
            g.setFont(font);
            FontMetrics metrics = g.getFontMetrics();
            int baseline = (cellHeight - metrics.getHeight()) / 2 + metrics.getAscent();
            int cell = 0;
            for (int c : line) {
                g.drawString(new String(Character.toChars(c)), cell * cellWidth, baseline);
                cell += e.cells(c);
            }
            if (style.underlineDots() > 0) {
                g.fillRect(0, cellHeight - style.underlineDots(), cell * cellWidth, style.underlineDots());
            }
        } finally {
            g.dispose();
        }
        byte[] gray = ((DataBufferByte) image.getRaster().getDataBuffer()).getData();
        int[] levels = new int[gray.length];
        for (int i = 0; i < gray.length; i++) {
            int v = gray[i] & 0xFF;
            levels[i] = style.isReverse() ? 255 - v : v;
        }
        if (style.isUpsideDown()) {
            for (int i = 0, j = levels.length - 1; i < j; i++, j--) {
                int swap = levels[i];
                levels[i] = levels[j];
                levels[j] = swap;
            }
        }
        return Halftone.dither(levels, width, cellHeight, Dithering.THRESHOLD, 128);
    }

    /** A font that has every character of the text: the logical sans-serif font, or the first system font that does. */
    private static Font fontFor(String text) {
        Font logical = new Font(Font.SANS_SERIF, Font.PLAIN, 12);
        if (logical.canDisplayUpTo(text) == -1) {
            return logical;
        }
        Font[] fonts = systemFonts;
        if (fonts == null) {
            fonts = GraphicsEnvironment.getLocalGraphicsEnvironment().getAllFonts();
            systemFonts = fonts;
        }
        for (Font f : fonts) {
            if (f.canDisplayUpTo(text) == -1) {
                return f;
            }
        }
        throw new Invalid("no font on this system has every character of \"" + text + "\"");
    }
}
