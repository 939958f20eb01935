package net.vellamoor.printerio.receipt;

/**
 * QR and PDF417 codes as pictures, for printers that cannot draw them,
 * from ZXing when it is on the class path (Debian: libzxing-core-java,
 * {@code /usr/share/java/core.jar}). ZXing is touched only here and in
 * {@link ZxingSymbols}, which loads only when a picture is needed, so the
 * jar runs without it for every printer that draws its own codes.
 */
final class Symbols {
    private Symbols() {
    }

    static Raster qr(String text, QrCode.Level level, int moduleSize, int widthDots) {
        try {
            return ZxingSymbols.qr(text, level.name(), moduleSize, widthDots);
        } catch (NoClassDefFoundError e) {
            throw missing("a QR code", e);
        }
    }

    static Raster pdf417(String text, int level, int columns, int moduleWidth, int rowHeight, int widthDots) {
        try {
            return ZxingSymbols.pdf417(text, level, columns, moduleWidth, rowHeight, widthDots);
        } catch (NoClassDefFoundError e) {
            throw missing("a PDF417 code", e);
        }
    }

    private static IllegalStateException missing(String what, NoClassDefFoundError e) {
        return new IllegalStateException("this printer's profile sends " + what + " as a picture, which needs ZXing"
                + " on the class path (Debian: apt-get install libzxing-core-java, then add /usr/share/java/core.jar)",
                e);
    }
}
