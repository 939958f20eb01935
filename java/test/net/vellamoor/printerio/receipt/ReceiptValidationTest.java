package net.vellamoor.printerio.receipt;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.fail;

import java.awt.image.BufferedImage;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Properties;
import org.junit.Test;

public class ReceiptValidationTest {
    private static final Profile NARROW = Profile.builtIn("generic-58mm");

    private interface Action {
        void run() throws Exception;
    }

    private static void assertFails(String label, String message, Action action) {
        try {
            action.run();
            fail(label + ": no error");
        } catch (Exception e) {
            assertEquals(label, message, e.getMessage());
        }
    }

    @Test
    public void badInputIsRefusedWithTheElementAndTheReason() {
        Object[][] cases = {
            {"unpaired surrogate", "element 2 (text \"a\ud800b\"): unpaired surrogate U+D800 at index 1",
                (Action) () -> Receipt.builder().text("ok").text("a\ud800b")},
            {"control character in text", "element 1 (text \"x\u001bi\"): control character U+001B at index 1",
                (Action) () -> Receipt.builder().text("x\u001bi")},
            {"surrogate in a table cell", "table row 1, column 2: unpaired surrogate U+DC00 at index 0",
                (Action) () -> Table.of(Table.Column.left(0), Table.Column.left(0)).row("a", "\udc00")},
            {"EAN-13 check digit", "barcode EAN-13 \"4006381333932\": check digit 2 should be 1",
                (Action) () -> Barcode.ean13("4006381333932")},
            {"EAN-8 length", "barcode EAN-8 \"123\": 3 digits, EAN-8 takes 7 or 8", (Action) () -> Barcode.ean8("123")},
            {"UPC-A letter", "barcode UPC-A \"0360002914x\": 'x' is not a digit", (Action) () -> Barcode.upcA("0360002914x")},
            {"UPC-E number system", "barcode UPC-E \"2425261\": number system 2 is not 0 or 1",
                (Action) () -> Barcode.upcE("2425261")},
            {"ITF odd length", "barcode ITF \"123\": 3 digits, ITF takes an even number", (Action) () -> Barcode.itf("123")},
            {"CODE39 lower case", "barcode CODE39 \"abc\": 'a' is not a CODE39 character "
                + "(0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%)", (Action) () -> Barcode.code39("abc")},
            {"CODABAR without start", "barcode CODABAR \"12345\": CODABAR starts and ends with one of A-D around its data",
                (Action) () -> Barcode.codabar("12345")},
            {"CODE128 outside ASCII", "barcode CODE128 \"Grüße\": U+00FC is not ASCII, which CODE128 holds only",
                (Action) () -> Barcode.code128("Grüße")},
            {"QR beyond capacity", "QR code \"" + "x".repeat(37) + "...\": 2400 bytes of UTF-8, more than a level H QR "
                + "code holds (1273)", (Action) () -> QrCode.of("x".repeat(2400), QrCode.Level.H)},
            {"QR unpaired surrogate", "QR code \"a\ud800\": unpaired surrogate U+D800 at index 1",
                (Action) () -> QrCode.of("a\ud800")},
            {"barcode too wide for 58 mm", "element 1 (barcode CODE128 \"" + "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                + "\"): 341 modules with quiet zones at 2 dots each is 682 dots, wider than the paper's 384",
                (Action) () -> Receipt.builder().barcode(Barcode.code128("ABCDEFGHIJKLMNOPQRSTUVWXYZ")).build()
                        .encode(NARROW)},
            {"QR too wide at a given module size", "element 1 (QR code \"https://example.com\"): version 2 is 33 "
                + "modules with its quiet zone, 528 dots at 16 dots a module: wider than the paper's 384",
                (Action) () -> Receipt.builder().qr(QrCode.of("https://example.com").moduleSize(16)).build()
                        .encode(NARROW)},
            {"picture wider than the paper", "element 1 (picture 600x10): 600 dots wide, wider than the paper's 384",
                (Action) () -> Receipt.builder().image(new BufferedImage(600, 10, BufferedImage.TYPE_BYTE_GRAY),
                        ImageOptions.DEFAULT.width(600)).build().encode(NARROW)},
            {"picture too tall", "element 1 (picture 10x20000): 768000 dots tall at 384 dots wide, more than 16000",
                (Action) () -> Receipt.builder().image(new BufferedImage(10, 20000, BufferedImage.TYPE_BYTE_GRAY),
                        ImageOptions.DEFAULT.fullWidth()).build().encode(NARROW)},
            {"table wider than the line", "element 1 (table of 1 rows): the columns and gaps need 41 cells, a line of "
                + "this size has 32", (Action) () -> Receipt.builder().table(Table.of(Table.Column.left(20),
                        Table.Column.right(20)).row("a", "b")).build().encode(NARROW)},
            {"unmappable under REJECT", "element 1 (text \"snow ☃\"): U+2603 ☃ is in none of the printer's code "
                + "pages or fonts", (Action) () -> Receipt.builder().text("snow ☃").build()
                        .encode(NARROW, Unmappable.REJECT)},
            {"drawer pin", "element 1 (drawer): pin 3 is not 2 or 5", (Action) () -> Receipt.builder().drawer(3)},
            {"column width -1", "column width -1 is negative", (Action) () -> Table.Column.right(-1)},
        };
        for (Object[] c : cases) {
            assertFails((String) c[0], (String) c[1], (Action) c[2]);
        }
    }

    @Test
    public void aRefusedTextLeavesTheBuildersStyleAsItWas() {
        Receipt.Builder builder = Receipt.builder();
        assertFails("bold text with a bell", "element 1 (text \"\u0007\"): control character U+0007 at index 0",
            () -> builder.text("\u0007", TextStyle.NORMAL.bold()));
        assertArrayEquals(Receipt.builder().text("x").build().encode(NARROW), builder.text("x").build().encode(NARROW));
    }

    @Test
    public void profilesAreCheckedWhenLoaded() throws IOException {
        Path folder = Files.createTempDirectory("profiles");
        Files.write(folder.resolve("base.properties"), "extends = generic-80mm\nwidth.dots = 512\n"
                .getBytes(StandardCharsets.UTF_8));
        Files.write(folder.resolve("till.properties"), "extends = base\nname = Till\n"
                .getBytes(StandardCharsets.UTF_8));
        Profile till = Profile.load(folder.resolve("till.properties"));
        assertEquals("Till 512 dots, pages from generic-80mm", "Till 512 [0:IBM437",
                till.name() + " " + till.widthDots() + " " + till.codePages().toString().substring(0, 9));
        Object[][] cases = {
            {"no width", "printer profile p: no width.dots given", "density.dpi=203"},
            {"width not a multiple of 8", "printer profile p: width.dots 500 is not a multiple of 8",
                "extends=generic-80mm\nwidth.dots=500"},
            {"a typo in a key", "printer profile p: unknown key 'widht.dots'", "extends=generic-80mm\nwidht.dots=576"},
            {"a charset the JVM lacks", "printer profile p: code page charset 'x-IBM720' is not one this JVM has",
                "extends=generic-80mm\ncode.pages=32:x-IBM720"},
            {"a multibyte charset as a page", "printer profile p: code page charset 'GB18030' is not a single-byte "
                + "charset", "extends=generic-80mm\ncode.pages=0:GB18030"},
        };
        for (Object[] c : cases) {
            Properties p = new Properties();
            p.load(new java.io.StringReader((String) c[2]));
            String message = (String) c[1];
            assertFails((String) c[0], message, () -> Profile.of("p", p));
        }
        assertFails("unknown built-in", "no built-in printer profile 'tm-x'; built in: " + Profile.builtInNames(),
                () -> Profile.builtIn("tm-x"));
    }
}
