package net.vellamoor.printerio.receipt;

import static net.vellamoor.printerio.receipt.Hex.assertBytes;
import static net.vellamoor.printerio.receipt.Hex.bytes;
import static org.junit.Assert.assertEquals;

import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.function.UnaryOperator;
import org.junit.Test;

/** Lines, styles and the paper and drawer commands, as bytes. */
public class ReceiptLayoutTest {
    private static final Charset ASCII = StandardCharsets.US_ASCII;
    private static final String START = "1b 40 1b 52 00 1b 74 00";
    private static final Profile NARROW = Profile.builtIn("generic-58mm");  // 32 cells in font A

    /** The printed lines of a job, in order, as text (ASCII jobs only). */
    private static List<String> lines(Receipt receipt) {
        String job = new String(receipt.encode(NARROW), StandardCharsets.ISO_8859_1);
        List<String> lines = new ArrayList<>();
        for (String line : job.substring(8).replaceAll("\u001b[a!E\\-M{]\\p{ASCII}|\u001d[!B]\\p{ASCII}", "")
                .split("\n", -1)) {
            lines.add(line);
        }
        return lines.subList(0, lines.size() - 1);
    }

    @Test
    public void textWrapsAtWordsAndTablesAlignTheirColumns() {
        Object[][] cases = {
            {"words wrap, spaces at the break dropped",
                Receipt.builder().text("The quick brown fox jumps over the lazy dog again").build(),
                new String[] {"The quick brown fox jumps over", "the lazy dog again"}},
            {"a word longer than the line is broken",
                Receipt.builder().text("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789").build(),
                new String[] {"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", "6789"}},
            {"line breaks in the text: LF, CR LF, CR", Receipt.builder().text("one\ntwo\r\nthree\rfour").build(),
                new String[] {"one", "two", "three", "four"}},
            {"double width halves the line", Receipt.builder().style(TextStyle.NORMAL.doubleWidth())
                .text("Sixteen cells wide here").build(), new String[] {"Sixteen cells", "wide here"}},
            {"left and right", Receipt.builder().leftRight("TOTAL", "12.50").build(),
                new String[] {"TOTAL                      12.50"}},
            {"left wraps where both do not fit", Receipt.builder().leftRight("Croissant aux amandes warmed", "3.10")
                .build(), new String[] {"Croissant aux amandes       3.10", "warmed"}},
            {"cells wrap in their column, the row as tall as its tallest",
                Receipt.builder().table(Table.of(Table.Column.left(10), Table.Column.center(0), Table.Column.right(6))
                    .row("Flat white with oat milk", "2", "6.40")).build(),
                new String[] {"Flat white       2          6.40", "with oat", "milk"}},
            {"equal columns", Receipt.builder().columns("a", "b", "c").build(),
                new String[] {"a          b          c"}},
            {"a rule across the paper", Receipt.builder().rule('=').build(), new String[] {repeat("=", 32)}},
        };
        for (Object[] c : cases) {
            assertEquals((String) c[0], String.join("|", (String[]) c[2]), String.join("|", lines((Receipt) c[1])));
        }
    }

    @Test
    public void stylesAndCommandsGoOutOnlyWhenTheyChange() {
        Object[][] cases = {
            {"bold, then back", (UnaryOperator<Receipt.Builder>) b -> b.text("B", TextStyle.NORMAL.bold()).text("n"),
                "1b 45 01 42 0a 1b 45 00 6e 0a"},
            {"every style at once", (UnaryOperator<Receipt.Builder>) b -> b.text("x", TextStyle.NORMAL.underline(2)
                .size(3, 2).reverse().upsideDown().font(TextStyle.Font.B)),
                "1b 2d 02 1d 21 21 1d 42 01 1b 7b 01 1b 4d 01 78 0a"},
            {"the same style twice: sent once", (UnaryOperator<Receipt.Builder>) b -> b.style(TextStyle.NORMAL.bold())
                .text("a").text("b"), "1b 45 01 61 0a 62 0a"},
            {"alignment", (UnaryOperator<Receipt.Builder>) b -> b.align(Align.RIGHT).text("r").align(Align.CENTER)
                .text("c"), "1b 61 02 72 0a 1b 61 01 63 0a"},
            {"line spacing, then the default", (UnaryOperator<Receipt.Builder>) b -> b.lineSpacing(40).text("a")
                .defaultLineSpacing().text("b"), "1b 33 28 61 0a 1b 32 62 0a"},
            {"feeds", (UnaryOperator<Receipt.Builder>) b -> b.feed(3).feedDots(20), "1b 64 03 1b 4a 14"},
            {"cuts: feed to the cutter, full or partial", (UnaryOperator<Receipt.Builder>) b -> b.cut().partialCut(),
                "1d 56 41 00 1d 56 42 00"},
            {"drawer pulses in 2 ms units", (UnaryOperator<Receipt.Builder>) b -> b.drawer(2).drawer(5, 50, 500),
                "1b 70 00 32 32 1b 70 01 19 fa"},
        };
        for (Object[] c : cases) {
            @SuppressWarnings("unchecked")
            UnaryOperator<Receipt.Builder> build = (UnaryOperator<Receipt.Builder>) c[1];
            assertBytes((String) c[0], bytes(ASCII, START, (String) c[2]), build.apply(Receipt.builder()).build()
                    .encode(NARROW));
        }
    }

    @Test
    public void barcodesCarryTheirCheckedDigits() {
        // Height 80, module width 3 (2 where 3 is too wide for 384 dots), HRI below in font A.
        Object[][] cases = {
            {"EAN-13 check digit added", Barcode.ean13("400638133393"), "03", "43 0d", "'4006381333931"},
            {"EAN-13 check digit kept", Barcode.ean13("4006381333931"), "03", "43 0d", "'4006381333931"},
            {"EAN-8", Barcode.ean8("9638507"), "03", "44 08", "'96385074"},
            {"UPC-A", Barcode.upcA("03600029145"), "03", "41 0c", "'036000291452"},
            {"UPC-E from six digits: number system 0 and check digit", Barcode.upcE("425261"), "03", "42 08",
                "'04252614"},
            {"CODE39, too wide at 3 dots", Barcode.code39("AB-12"), "02", "45 05", "'AB-12"},
            {"ITF", Barcode.itf("1234"), "03", "46 04", "'1234"},
            {"CODABAR in upper case", Barcode.codabar("a123b"), "03", "47 05", "'A123B"},
            {"CODE93", Barcode.code93("ab"), "03", "48 02", "'ab"},
        };
        for (Object[] c : cases) {
            byte[] job = Receipt.builder().barcode((Barcode) c[1]).build().encode(NARROW);
            assertBytes((String) c[0], bytes(ASCII, START, "1d 68 50 1d 77", (String) c[2], "1d 48 02 1d 66 00 1d 6b",
                    (String) c[3], (String) c[4]), job);
        }
        assertBytes("height, module width and HRI as set", bytes(ASCII, START, "1d 68 28 1d 77 04 1d 48 03 1d 66 01",
                "1d 6b 46 02", "'12"), Receipt.builder().barcode(Barcode.itf("12").height(40).moduleWidth(4)
                        .hri(Barcode.Hri.BOTH, TextStyle.Font.B)).build().encode(NARROW));
    }

    @Test
    public void pdf417GoesWithItsLengthInBytesAndColumnsThatFit() {
        byte[] job = Receipt.builder().pdf417("Grüße").build().encode(NARROW);
        assertBytes("columns, auto rows, module, row height, level, standard, data, print", bytes(StandardCharsets.UTF_8,
                START,
                "1d 28 6b 03 00 30 41 01", "1d 28 6b 03 00 30 42 00", "1d 28 6b 03 00 30 43 02",
                "1d 28 6b 03 00 30 44 03", "1d 28 6b 04 00 30 45 30 32", "1d 28 6b 03 00 30 46 00",
                "1d 28 6b 0a 00 30 50 30", "'Grüße", "1d 28 6b 03 00 30 51 30"),
                job);
    }

    private static String repeat(String s, int times) {
        StringBuilder b = new StringBuilder();
        for (int i = 0; i < times; i++) {
            b.append(s);
        }
        return b.toString();
    }
}
