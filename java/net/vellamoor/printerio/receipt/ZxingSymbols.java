package net.vellamoor.printerio.receipt;

import com.google.zxing.BarcodeFormat;
import com.google.zxing.EncodeHintType;
import com.google.zxing.WriterException;
import com.google.zxing.common.BitMatrix;
import com.google.zxing.pdf417.PDF417Writer;
import com.google.zxing.pdf417.encoder.Compaction;
import com.google.zxing.pdf417.encoder.Dimensions;
import com.google.zxing.qrcode.QRCodeWriter;
import com.google.zxing.qrcode.decoder.ErrorCorrectionLevel;
import java.nio.charset.StandardCharsets;
import java.util.EnumMap;
import java.util.Map;

/** The ZXing calls; loaded only through {@link Symbols}, so ZXing types appear in no other class. */
final class ZxingSymbols {
    private ZxingSymbols() {
    }

    static Raster qr(String text, String level, int moduleSize, int widthDots) {
        Map<EncodeHintType, Object> hints = hints(text);
        hints.put(EncodeHintType.ERROR_CORRECTION, ErrorCorrectionLevel.valueOf(level));
        try {
            BitMatrix matrix = new QRCodeWriter().encode(text, BarcodeFormat.QR_CODE, 0, 0, hints);
            return draw(matrix, moduleSize, moduleSize, 4, widthDots);
        } catch (WriterException e) {
            throw new Invalid("ZXing could not draw it: " + e.getMessage());
        }
    }

    static Raster pdf417(String text, int level, int columns, int moduleWidth, int rowHeight, int widthDots) {
        Map<EncodeHintType, Object> hints = hints(text);
        hints.put(EncodeHintType.ERROR_CORRECTION, level);
        hints.put(EncodeHintType.PDF417_COMPACTION, Compaction.AUTO);
        hints.put(EncodeHintType.PDF417_DIMENSIONS, new Dimensions(columns, columns, 3, 90));
        try {
            BitMatrix matrix = new PDF417Writer().encode(text, BarcodeFormat.PDF_417, 0, 0, hints);
            // ZXing draws each module one dot wide and each row four dots tall, top row first.
            return draw(matrix, moduleWidth, moduleWidth * rowHeight / 4.0, 2, widthDots);
        } catch (WriterException e) {
            throw new Invalid("ZXing could not draw it: " + e.getMessage());
        }
    }

    private static Map<EncodeHintType, Object> hints(String text) {
        Map<EncodeHintType, Object> hints = new EnumMap<>(EncodeHintType.class);
        hints.put(EncodeHintType.MARGIN, 0);
        if (!StandardCharsets.ISO_8859_1.newEncoder().canEncode(text)) {
            hints.put(EncodeHintType.CHARACTER_SET, "UTF-8");
        }
        return hints;
    }

    /** The matrix with each cell scaled to {@code across} x {@code down} dots, in a quiet zone, 8-dot aligned. */
    private static Raster draw(BitMatrix matrix, int across, double down, int quiet, int widthDots) {
        int width = (matrix.getWidth() + 2 * quiet) * across;
        if (width > widthDots) {
            throw new Invalid("ZXing drew it " + width + " dots wide, wider than the paper's " + widthDots);
        }
        int padded = (width + 7) / 8 * 8;
        int height = (int) Math.round((matrix.getHeight() + 2 * quiet) * down);
        int perRow = padded / 8;
        byte[] bits = new byte[perRow * height];
        for (int y = 0; y < height; y++) {
            int my = (int) (y / down) - quiet;
            if (my < 0 || my >= matrix.getHeight()) {
                continue;
            }
            for (int mx = 0; mx < matrix.getWidth(); mx++) {
                if (!matrix.get(mx, my)) {
                    continue;
                }
                for (int x = (mx + quiet) * across, end = x + across; x < end; x++) {
                    bits[y * perRow + (x >> 3)] |= (byte) (0x80 >> (x & 7));
                }
            }
        }
        return new Raster(padded, height, bits);
    }
}
