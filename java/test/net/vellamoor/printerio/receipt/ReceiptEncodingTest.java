package net.vellamoor.printerio.receipt;

import static net.vellamoor.printerio.receipt.Hex.assertBytes;
import static net.vellamoor.printerio.receipt.Hex.bytes;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.awt.image.BufferedImage;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.Properties;
import org.junit.Test;

public class ReceiptEncodingTest {
    private static final Charset ASCII = StandardCharsets.US_ASCII;
    private static final Profile GENERIC = Profile.builtIn("generic-80mm");
    // ESC @, ESC R 0 (ASCII in the lower half), ESC t 0.
    private static final String START = "1b 40 1b 52 00 1b 74 00";
    // Multibyte profiles also leave the mode the printer may have been left in.
    private static final String START_MULTIBYTE = "1b 40 1b 52 00 1c 2e 1b 74 00";

    private static byte[] text(Profile profile, String text) {
        return Receipt.builder().text(text).build().encode(profile);
    }

    @Test
    public void codePagesAreChosenForTheFewestSwitches() {
        Charset gb = Charset.forName("GB18030");
        Profile gb18030 = Profile.builtIn("multibyte-80mm-gb18030");
        Object[][] cases = {
            {"ASCII stays on the first page", GENERIC, "Total 5.30", bytes(ASCII, START, "'Total 5.30", "0a")},
            {"one page holds Ä and €: one switch, not one per character", GENERIC, "Ä€Ä€",
                bytes(ASCII, START, "1b 74 13 8e d5 8e d5 0a")},
            {"é€ž: one switch to WPC1252, where staying on PC437 and taking the first page with € would make two",
                GENERIC, "é€ž", bytes(ASCII, START, "1b 74 10 e9 80 9e 0a")},
            {"Cyrillic then Greek: one switch each", GENERIC, "Да Να",
                bytes(ASCII, START, "1b 74 11 84 a0 20 1b 74 0e 8c 98 0a")},
            {"multibyte mode entered for Chinese, ASCII kept in it, left for a page character", gb18030, "合计 5 Ä",
                bytes(gb, START_MULTIBYTE, "1c 26", "'合计 5 ", "1c 2e 8e 0a")},
            {"Shift_JIS selected after the reset", Profile.builtIn("multibyte-80mm-shift-jis"), "円",
                bytes(ASCII, "1b 40 1b 52 00 1c 43 01 1c 2e 1b 74 00 1c 26 89 7e 0a")},
        };
        for (Object[] c : cases) {
            assertBytes((String) c[0], (byte[]) c[3], text((Profile) c[1], (String) c[2]));
        }
    }

    @Test
    public void characterSetPageAndModeAreSentAgainAfterRawBytes() {
        byte[] job = Receipt.builder().text("€").raw(new byte[] {0x1b, 0x40}).text("€").build().encode(GENERIC);
        assertBytes("after ESC @ in raw bytes", bytes(ASCII, START, "1b 74 13 d5 0a", "1b 40", "1b 52 00",
                "1b 45 00 1b 2d 00 1d 21 00 1d 42 00 1b 7b 00 1b 4d 00 1b 61 00 1b 32 1b 74 13 d5 0a"), job);
    }

    @Test
    public void unmappableCharactersFollowThePolicy() {
        Receipt receipt = Receipt.builder().text("a→b").build();
        assertBytes("replaced", bytes(ASCII, START, "'a?b", "0a"), receipt.encode(GENERIC, Unmappable.REPLACE));
        byte[] drawn = receipt.encode(GENERIC, Unmappable.IMAGE);
        assertBytes("drawn as a raster line", bytes(ASCII, START, "1d 76 30 00 05 00 18 00"),
                Arrays.copyOf(drawn, 16));
    }

    @Test
    public void tablesAlignWithWideCharactersCountedTwice() {
        Charset gb = Charset.forName("GB18030");
        Receipt receipt = Receipt.builder()
                .table(Table.of(Table.Column.left(0), Table.Column.right(6)).row("收据", "1.00").row("ab", "合计"))
                .build();
        // 48 cells: a 41-cell column, a gap, a 6-cell column.
        String pad37 = String.format("%37s", "");
        assertBytes("wide characters take two cells", bytes(gb, START_MULTIBYTE, "1c 26", "'收据" + pad37 + "   1.00",
                "0a", "'ab" + pad37 + "     合计", "0a"), receipt.encode(Profile.builtIn("multibyte-80mm-gb18030")));
    }

    @Test
    public void wideTextWrapsBetweenCharacters() {
        Charset gb = Charset.forName("GB18030");
        String sentence = "谢谢惠顾欢迎再次光临";
        String text = sentence + sentence + sentence;
        assertBytes("24 wide characters fill 48 cells", bytes(gb, START_MULTIBYTE, "1c 26", "'" + text.substring(0, 24),
                "0a", "'" + text.substring(24), "0a"), text(Profile.builtIn("multibyte-80mm-gb18030"), text));
    }

    @Test
    public void zxingIsNeededOnlyForCodesSentAsPictures() throws Exception {
        URL classes = Receipt.class.getProtectionDomain().getCodeSource().getLocation();
        try (URLClassLoader withoutZxing = new URLClassLoader(new URL[] {classes}, ClassLoader.getPlatformClassLoader())) {
            Class<?> profiles = withoutZxing.loadClass(Profile.class.getName());
            Object nativeQr = profiles.getMethod("builtIn", String.class).invoke(null, "generic-80mm");
            Properties p = new Properties();
            p.setProperty("extends", "generic-80mm");
            p.setProperty("qr", "image");
            Object imageQr = profiles.getMethod("of", String.class, Properties.class).invoke(null, "image QR", p);
            Object builder = withoutZxing.loadClass(Receipt.class.getName()).getMethod("builder").invoke(null);
            builder.getClass().getMethod("qr", String.class).invoke(builder, "https://example.com");
            Object receipt = builder.getClass().getMethod("build").invoke(builder);
            Method encode = receipt.getClass().getMethod("encode", profiles);
            assertTrue("the printer draws the QR code", ((byte[]) encode.invoke(receipt, nativeQr)).length > 0);
            try {
                encode.invoke(receipt, imageQr);
                fail("a QR picture without ZXing");
            } catch (InvocationTargetException e) {
                assertEquals("this printer's profile sends a QR code as a picture, which needs ZXing on the class path"
                        + " (Debian: apt-get install libzxing-core-java, then add /usr/share/java/core.jar)",
                        e.getCause().getMessage());
            }
        }
    }

    @Test
    public void code128ChoosesTheShortestCodeSets() {
        Object[][] cases = {
            {"digits only: set C, a byte per pair", "12345678", "7b 43 0c 22 38 4e"},
            {"text, then a digit run: B then C", "No.0012345678", "7b 42 4e 6f 2e 7b 43 00 0c 22 38 4e"},
            {"a short digit run stays in B", "A12B", "7b 42 41 31 32 42"},
            {"one control character shifts from B", "ab\u0001cd", "7b 42 61 62 7b 53 01 63 64"},
            {"a brace is doubled", "a{b", "7b 42 61 7b 7b 62"},
            {"control characters: set A", "\u0001\u0002AB", "7b 41 01 02 41 42"},
            {"an odd digit run: one digit in B, the pairs in C", "A12345", "7b 42 41 31 7b 43 17 2d"},
        };
        for (Object[] c : cases) {
            byte[] job = Receipt.builder().barcode(Barcode.code128((String) c[1])).build().encode(GENERIC);
            byte[] data = bytes(ASCII, (String) c[2]);
            byte[] expected = bytes(ASCII, START, "1d 68 50 1d 77 03 1d 48 02 1d 66 00 1d 6b 49",
                    String.format("%02x", data.length), (String) c[2]);
            assertBytes((String) c[0], expected, job);
        }
    }

    @Test
    public void qrLengthCountsUtf8BytesInSixteenBits() {
        String[][] cases = {{"Grüße €", "0e 00"}, {repeat("ü", 150), "2f 01"}};
        for (String[] c : cases) {
            byte[] job = Receipt.builder().qr(QrCode.of(c[0]).moduleSize(3)).build().encode(GENERIC);
            String prefix = hexOf(bytes(ASCII, "1d 28 6b", c[1], "31 50 30"));
            assertTrue(c[0] + ": " + Hex.hex(job), Hex.hex(job).contains(prefix + " "
                    + Hex.hex(c[0].getBytes(StandardCharsets.UTF_8))));
        }
    }

    @Test
    public void picturesGoInBandsTheProfileAllows() {
        BufferedImage black = new BufferedImage(576, 600, BufferedImage.TYPE_BYTE_GRAY);
        Object[][] cases = {
            {"GS v 0", GENERIC, new int[] {256, 256, 88}},
            {"GS ( L", withRaster("GS ( L", 200), new int[] {200, 200, 200}},
            {"ESC *", withRaster("ESC *", 256), new int[] {24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24,
                24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24}},
        };
        for (Object[] c : cases) {
            byte[] job = Receipt.builder().image(black).build().encode((Profile) c[1]);
            assertEquals((String) c[0], Arrays.toString((int[]) c[2]), Arrays.toString(bands(job, (String) c[0])));
        }
    }

    /** The heights of the picture bands in a job, read back from the commands. */
    private static int[] bands(byte[] job, String command) {
        int[] heights = new int[64];
        int count = 0;
        for (int i = START.length() / 3 + 1; i < job.length - 8; i++) {
            if (command.equals("GS v 0") && job[i] == 0x1d && job[i + 1] == 'v' && job[i + 2] == '0') {
                heights[count++] = (job[i + 6] & 0xff) | (job[i + 7] & 0xff) << 8;
                i += 7 + ((job[i + 4] & 0xff) | (job[i + 5] & 0xff) << 8) * heights[count - 1];
            } else if (command.equals("GS ( L") && job[i] == 0x1d && job[i + 1] == '(' && job[i + 6] == 112) {
                heights[count++] = (job[i + 13] & 0xff) | (job[i + 14] & 0xff) << 8;
                i += 4 + ((job[i + 3] & 0xff) | (job[i + 4] & 0xff) << 8);
            } else if (command.equals("ESC *") && job[i] == 0x1b && job[i + 1] == '*' && job[i + 2] == 33) {
                heights[count++] = 24;
                i += 4 + 3 * ((job[i + 3] & 0xff) | (job[i + 4] & 0xff) << 8);
                assertEquals("each band ends its line", '\n', job[i + 1]);
            }
        }
        return Arrays.copyOf(heights, count);
    }

    private static Profile withRaster(String command, int band) {
        Properties p = new Properties();
        p.setProperty("extends", "generic-80mm");
        p.setProperty("raster", command);
        p.setProperty("raster.band.height", String.valueOf(band));
        return Profile.of("test", p);
    }

    @Test
    public void picturesOfEveryLayoutGiveTheSameGreys() {
        int[] types = {BufferedImage.TYPE_INT_RGB, BufferedImage.TYPE_INT_ARGB, BufferedImage.TYPE_3BYTE_BGR,
            BufferedImage.TYPE_4BYTE_ABGR, BufferedImage.TYPE_USHORT_565_RGB, BufferedImage.TYPE_INT_ARGB_PRE};
        for (int type : types) {
            BufferedImage image = new BufferedImage(2, 1, type);
            image.setRGB(0, 0, 0xFFC86432);  // opaque (200, 100, 50): luma 124
            image.setRGB(1, 0, image.getColorModel().hasAlpha() ? 0x80000000 : 0xFF808080);  // half-clear black or grey
            GrayImage gray = GrayImage.of(image);
            int expectedSecond = image.getColorModel().hasAlpha() ? 127 : 128;
            int tolerance = type == BufferedImage.TYPE_USHORT_565_RGB ? 4 : 1;
            assertTrue("type " + type + ": " + (gray.gray[0] & 0xff) + ", " + (gray.gray[1] & 0xff),
                    Math.abs((gray.gray[0] & 0xff) - 124) <= tolerance
                            && Math.abs((gray.gray[1] & 0xff) - expectedSecond) <= tolerance);
        }
    }

    @Test
    public void codesThePrinterLacksGoAsPictures() {
        Properties p = new Properties();
        p.setProperty("extends", "generic-58mm");
        p.setProperty("qr", "image");
        p.setProperty("pdf417", "image");
        Profile drawnHere = Profile.of("no native codes", p);
        Object[][] cases = {
            {"QR", Receipt.builder().qr("https://example.com").build()},
            {"PDF417", Receipt.builder().pdf417("PDF417 0001").build()},
        };
        for (Object[] c : cases) {
            String job = Hex.hex(((Receipt) c[1]).encode(drawnHere));
            assertTrue(c[0] + " as a raster: " + job, job.startsWith(Hex.hex(bytes(ASCII, START, "1d 76 30 00")))
                    && !job.contains("1d 28 6b"));
        }
    }

    @Test
    public void ditheringKeepsTheGreyLevel() {
        int[] gray = new int[64 * 64];
        Arrays.fill(gray, 128);
        for (Dithering d : Dithering.values()) {
            Raster r = Halftone.dither(gray, 64, 64, d, 129);
            int black = 0;
            for (byte b : r.bits) {
                black += Integer.bitCount(b & 0xff);
            }
            // Atkinson carries only 3/4 of the error, so mid grey comes out a little lighter.
            int low = d == Dithering.THRESHOLD ? 4096 : d == Dithering.ATKINSON ? 1600 : 1900;
            int high = d == Dithering.THRESHOLD ? 4096 : 2200;
            assertTrue(d + " made " + black + " of 4096 dots black", black >= low && black <= high);
        }
    }

    private static String repeat(String s, int times) {
        StringBuilder b = new StringBuilder();
        for (int i = 0; i < times; i++) {
            b.append(s);
        }
        return b.toString();
    }

    private static String hexOf(byte[] b) {
        return Hex.hex(b);
    }
}
