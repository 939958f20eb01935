package net.vellamoor.printerio.receipt;

import java.awt.image.BufferedImage;
import java.io.IOException;
import java.nio.file.Path;
import java.time.Duration;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.function.Supplier;
import javax.imageio.ImageIO;
import net.vellamoor.printerio.PrintOutcome;
import net.vellamoor.printerio.Printer;
import net.vellamoor.printerio.PrinterException;
import net.vellamoor.printerio.PrinterStatus;

/**
 * A receipt described once and encoded for any printer's {@link Profile}:
 * text in styles, tables, rules, pictures, barcodes, QR and PDF417 codes,
 * feeds, cuts and drawer pulses. Bad input fails with a
 * {@link ReceiptException} that names the element: while the receipt is
 * built (unpaired surrogates, control characters, barcode data), or while
 * it is encoded for a profile (a picture or code too wide for that paper, a
 * character no page has under {@link Unmappable#REJECT}), always before a
 * byte is sent. Immutable and safe to share; each encoding is independent.
 *
 * <pre>
 * Receipt receipt = Receipt.builder()
 *     .align(Align.CENTER).image(logo).style(TextStyle.NORMAL.bold().size(2, 2)).text("CORNER CAFE")
 *     .style(TextStyle.NORMAL).align(Align.LEFT)
 *     .table(Table.of(Table.Column.left(0), Table.Column.right(8)).row("Flat white", "3.20"))
 *     .rule()
 *     .leftRight("TOTAL", "3.20")
 *     .align(Align.CENTER).barcode(Barcode.ean13("400638133393")).qr("https://example.com/r/1234")
 *     .cut()
 *     .build();
 * byte[] job = receipt.encode(Profile.builtIn("generic-80mm"));
 * </pre>
 */
public final class Receipt {
    private final List<Element> elements;

    private Receipt(List<Element> elements) {
        this.elements = Elements.frozen(elements);
    }

    public static Builder builder() {
        return new Builder();
    }

    /** The job for a printer: {@code ESC @}, the page, then every element; characters no page has print as ?. */
    public byte[] encode(Profile profile) {
        return encode(profile, Unmappable.REPLACE);
    }

    public byte[] encode(Profile profile, Unmappable unmappable) {
        Encoder encoder = new Encoder(profile, unmappable);
        encoder.reset();
        for (int i = 0; i < elements.size(); i++) {
            Element element = elements.get(i);
            try {
                element.encode(encoder);
            } catch (Invalid e) {
                throw e.named("element " + (i + 1) + " (" + element.describe() + ")");
            }
        }
        return encoder.finish();
    }

    /**
     * Encodes the receipt for the profile and prints it with
     * {@link Printer#print}: sent only once the whole job is encoded, and
     * only when the printer says it can print; returns the printer's state
     * after the job. A {@link net.vellamoor.printerio.JobSentException}
     * means the receipt went out and must not be printed again.
     */
    public PrinterStatus print(Printer printer, Profile profile) throws PrinterException {
        return print(printer, profile, Unmappable.REPLACE);
    }

    public PrinterStatus print(Printer printer, Profile profile, Unmappable unmappable) throws PrinterException {
        return printer.print(encode(profile, unmappable));
    }

    /**
     * Encodes the receipt for the profile and prints it with
     * {@link Printer#printConfirmed}: the outcome says whether the printer
     * confirmed it printed within {@code timeout}. Bad input still throws a
     * {@link ReceiptException} before anything is sent.
     */
    public PrintOutcome printConfirmed(Printer printer, Profile profile, Duration timeout) {
        return printer.printConfirmed(encode(profile), timeout);
    }

    /** Elements in the receipt. */
    public int size() {
        return elements.size();
    }

    /**
     * Builds a receipt element by element. The style and alignment set last
     * apply to the text, tables and codes added after them. Not thread-safe.
     */
    public static final class Builder {
        private final List<Element> elements = new ArrayList<>();
        private TextStyle style = TextStyle.NORMAL;
        private Align align = Align.LEFT;

        private Builder() {
        }

        private Builder add(String what, Supplier<Element> make) {
            try {
                elements.add(make.get());
            } catch (Invalid e) {
                throw e.named("element " + (elements.size() + 1) + " (" + what + ")");
            }
            return this;
        }

        /** The style of the text and tables that follow. */
        public Builder style(TextStyle style) {
            this.style = style;
            return this;
        }

        /** Where the text, pictures and codes that follow sit. */
        public Builder align(Align align) {
            this.align = align;
            return this;
        }

        /** Text, wrapped at word boundaries to the paper; {@code \n} breaks the line. */
        public Builder text(String text) {
            return text(text, style);
        }

        /** Text in a style, leaving the builder's style as it was, also when the text is refused. */
        public Builder text(String text, TextStyle style) {
            Align a = align;
            return add("text \"" + QrCode.shorten(text) + "\"", () -> new Elements.Text(text, style, a));
        }

        /** One line with text on the left and on the right, the left wrapped where both do not fit. */
        public Builder leftRight(String left, String right) {
            return table(Table.of(Table.Column.left(0), Table.Column.fit(Align.RIGHT)).row(left, right));
        }

        /** One row of equal columns. */
        public Builder columns(String... cells) {
            Table.Column[] columns = new Table.Column[cells.length];
            Arrays.fill(columns, Table.Column.left(0));
            return table(Table.of(columns).row(cells));
        }

        public Builder table(Table table) {
            TextStyle s = style;
            return add("table", () -> new Elements.Rows(table, s));
        }

        /** A line of dashes across the paper. */
        public Builder rule() {
            return rule('-');
        }

        public Builder rule(char character) {
            TextStyle s = style;
            return add("rule", () -> new Elements.Rule(character, s));
        }

        /** Line spacing for the text that follows, in dots (1 to 255). */
        public Builder lineSpacing(int dots) {
            if (dots == 0) {
                throw new ReceiptException("element " + (elements.size() + 1) + " (line spacing)",
                        "0 dots; use defaultLineSpacing() for the printer's own");
            }
            return add("line spacing", () -> new Elements.LineSpacing(dots));
        }

        public Builder defaultLineSpacing() {
            return add("line spacing", () -> new Elements.LineSpacing(0));
        }

        /** Feeds paper by lines (0 to 255). */
        public Builder feed(int lines) {
            return add("feed", () -> new Elements.Feed(lines, false));
        }

        /** Feeds paper by dots (0 to 255). */
        public Builder feedDots(int dots) {
            return add("feed", () -> new Elements.Feed(dots, true));
        }

        /** Feeds to the cutter and cuts through. */
        public Builder cut() {
            return add("cut", () -> new Elements.Cut(false));
        }

        /** Feeds to the cutter and cuts leaving a tab. */
        public Builder partialCut() {
            return add("cut", () -> new Elements.Cut(true));
        }

        /** Opens the drawer on pin 2 or 5 with a 100 ms pulse. */
        public Builder drawer(int pin) {
            return drawer(pin, 100, 100);
        }

        /** Opens the drawer on pin 2 or 5: {@code onMillis} on, then {@code offMillis} off, 2 to 510 ms each. */
        public Builder drawer(int pin, int onMillis, int offMillis) {
            return add("drawer", () -> new Elements.Drawer(pin, onMillis, offMillis));
        }

        /** A picture, dithered with Floyd-Steinberg, no wider than the paper. */
        public Builder image(BufferedImage image) {
            return image(image, ImageOptions.DEFAULT);
        }

        public Builder image(BufferedImage image, ImageOptions options) {
            GrayImage gray = GrayImage.of(image);
            Align a = align;
            return add("picture " + gray.width + "x" + gray.height, () -> new Elements.Picture(gray, options, a));
        }

        /** A PNG, JPEG, GIF or BMP file, as far as ImageIO reads it. */
        public Builder image(Path file) throws IOException {
            return image(file, ImageOptions.DEFAULT);
        }

        public Builder image(Path file, ImageOptions options) throws IOException {
            BufferedImage image = ImageIO.read(file.toFile());
            if (image == null) {
                throw new ReceiptException("element " + (elements.size() + 1) + " (picture " + file + ")",
                        "not a picture ImageIO can read");
            }
            return image(image, options);
        }

        public Builder barcode(Barcode barcode) {
            Align a = align;
            return add(barcode.toString(), () -> new Elements.Code(barcode.toString(), barcode::encode, a));
        }

        /** A QR code at level M. */
        public Builder qr(String text) {
            return qr(QrCode.of(text));
        }

        public Builder qr(QrCode code) {
            Align a = align;
            return add(code.toString(), () -> new Elements.Code(code.toString(), code::encode, a));
        }

        public Builder pdf417(String text) {
            return pdf417(Pdf417.of(text));
        }

        public Builder pdf417(Pdf417 code) {
            Align a = align;
            return add(code.toString(), () -> new Elements.Code(code.toString(), code::encode, a));
        }

        /** Bytes sent as they are (the encoder sends its settings again after them). */
        public Builder raw(byte[] bytes) {
            return add("raw bytes", () -> new Elements.Raw(bytes));
        }

        public Receipt build() {
            return new Receipt(elements);
        }
    }
}
