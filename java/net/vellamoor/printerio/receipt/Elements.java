package net.vellamoor.printerio.receipt;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.function.BiConsumer;

/** The receipt's parts: text, tables, rules, pictures, codes and the paper and drawer commands. */
final class Elements {
    private Elements() {
    }

    /** Text wrapped at the line's width and placed by the printer's alignment. */
    static final class Text implements Element {
        private final String source;
        private final int[] codePoints;
        private final TextStyle style;
        private final Align align;

        Text(String source, TextStyle style, Align align) {
            this.source = source;
            this.codePoints = TextLayout.codePoints(source);
            this.style = style;
            this.align = align;
        }

        @Override
        public void encode(Encoder e) {
            e.lines(TextLayout.wrap(codePoints, e.columns(style), e::cells), style, align);
        }

        @Override
        public String describe() {
            return "text \"" + QrCode.shorten(source) + "\"";
        }
    }

    /** Rows in columns: whole lines, padded by the table itself. */
    static final class Rows implements Element {
        private final Table table;
        private final TextStyle style;

        Rows(Table table, TextStyle style) {
            this.table = table.copy();
            this.style = style;
        }

        @Override
        public void encode(Encoder e) {
            boolean keepPadding = style.isReverse() || style.underlineDots() > 0;
            e.lines(table.lines(e.columns(style), e::cells, keepPadding), style, Align.LEFT);
        }

        @Override
        public String describe() {
            return "table of " + table.rowCount() + " rows";
        }
    }

    /** A line of one character across the paper. */
    static final class Rule implements Element {
        private final int character;
        private final TextStyle style;

        Rule(char character, TextStyle style) {
            int[] checked = TextLayout.codePoints(String.valueOf(character));
            if (checked.length != 1 || checked[0] == '\n') {
                throw new Invalid("'" + character + "' cannot make a rule");
            }
            this.character = checked[0];
            this.style = style;
        }

        @Override
        public void encode(Encoder e) {
            int cells = Math.max(1, e.cells(character));
            int[] line = new int[e.columns(style) / cells];
            Arrays.fill(line, character);
            e.lines(Collections.singletonList(line), style, Align.LEFT);
        }

        @Override
        public String describe() {
            return "rule of '" + new String(Character.toChars(character)) + "'";
        }
    }

    static final class Picture implements Element {
        // The tallest picture accepted: two metres of paper at 203 dpi.
        static final int MAX_HEIGHT = 16000;
        private final GrayImage image;
        private final ImageOptions options;
        private final Align align;
        private volatile Object[] cached;  // {width, Raster} of the last encoding

        Picture(GrayImage image, ImageOptions options, Align align) {
            if (image.width == 0 || image.height == 0) {
                throw new Invalid("the picture is empty");
            }
            this.image = image;
            this.options = options;
            this.align = align;
        }

        @Override
        public void encode(Encoder e) {
            int paper = e.profile.widthDots();
            int wanted = options.width == 0 ? Math.min(image.width, paper) : options.width == Integer.MAX_VALUE
                    ? paper : options.width;
            if (wanted > paper) {
                throw new Invalid(wanted + " dots wide, wider than the paper's " + paper);
            }
            int width = Math.max(8, wanted / 8 * 8);
            long height = Math.max(1, Math.round((double) image.height * width / image.width));
            if (height > MAX_HEIGHT) {
                throw new Invalid(height + " dots tall at " + width + " dots wide, more than " + MAX_HEIGHT);
            }
            e.raster(raster(width, (int) height), align);
        }

        private Raster raster(int width, int height) {
            Object[] last = cached;
            if (last != null && (Integer) last[0] == width) {
                return (Raster) last[1];
            }
            Raster raster = Halftone.dither(image.scaled(width, height, options.gamma), width, height,
                    options.dithering, options.threshold);
            cached = new Object[] {width, raster};
            return raster;
        }

        @Override
        public String describe() {
            return "picture " + image.width + "x" + image.height;
        }
    }

    /** A barcode, QR or PDF417 code: each encodes itself, placed by the alignment. */
    static final class Code implements Element {
        private final String description;
        private final BiConsumer<Encoder, Align> encoding;
        private final Align align;

        Code(String description, BiConsumer<Encoder, Align> encoding, Align align) {
            this.description = description;
            this.encoding = encoding;
            this.align = align;
        }

        @Override
        public void encode(Encoder e) {
            encoding.accept(e, align);
        }

        @Override
        public String describe() {
            return description;
        }
    }

    /** Line spacing for the text after it: dots, or 0 for the printer's default. */
    static final class LineSpacing implements Element {
        private final int dots;

        LineSpacing(int dots) {
            if (dots < 0 || dots > 255) {
                throw new Invalid("line spacing " + dots + " dots is not between 0 (default) and 255");
            }
            this.dots = dots;
        }

        @Override
        public void encode(Encoder e) {
            e.wantSpacing(dots);
        }

        @Override
        public String describe() {
            return "line spacing " + dots;
        }
    }

    /** Paper fed by lines ({@code ESC d}) or dots ({@code ESC J}). */
    static final class Feed implements Element {
        private final int amount;
        private final boolean dots;

        Feed(int amount, boolean dots) {
            if (amount < 0 || amount > 255) {
                throw new Invalid("feed of " + amount + (dots ? " dots" : " lines") + " is not between 0 and 255");
            }
            this.amount = amount;
            this.dots = dots;
        }

        @Override
        public void encode(Encoder e) {
            e.out.write(0x1B, dots ? 'J' : 'd', amount);
        }

        @Override
        public String describe() {
            return "feed of " + amount + (dots ? " dots" : " lines");
        }
    }

    /** {@code GS V 65/66 0}: feed to the cutter, then a full or partial cut. */
    static final class Cut implements Element {
        private final boolean partial;

        Cut(boolean partial) {
            this.partial = partial;
        }

        @Override
        public void encode(Encoder e) {
            e.out.write(0x1D, 'V', partial ? 66 : 65);
            e.out.write(0);
        }

        @Override
        public String describe() {
            return partial ? "partial cut" : "cut";
        }
    }

    /** {@code ESC p}: a pulse on the drawer connector's pin 2 or 5, on and off times in 2 ms units. */
    static final class Drawer implements Element {
        private final int pin;
        private final int onMillis;
        private final int offMillis;

        Drawer(int pin, int onMillis, int offMillis) {
            if (pin != 2 && pin != 5) {
                throw new Invalid("pin " + pin + " is not 2 or 5");
            }
            if (onMillis < 2 || onMillis > 510 || offMillis < 2 || offMillis > 510) {
                throw new Invalid("pulse " + onMillis + " ms on, " + offMillis + " ms off: each is 2 to 510 ms");
            }
            this.pin = pin;
            this.onMillis = onMillis;
            this.offMillis = offMillis;
        }

        @Override
        public void encode(Encoder e) {
            e.out.write(0x1B, 'p', pin == 2 ? 0 : 1);
            e.out.write(onMillis / 2, offMillis / 2);
        }

        @Override
        public String describe() {
            return "drawer pulse on pin " + pin;
        }
    }

    /** Bytes sent as they are; every setting is sent again after them. */
    static final class Raw implements Element {
        private final byte[] bytes;

        Raw(byte[] bytes) {
            this.bytes = bytes.clone();
        }

        @Override
        public void encode(Encoder e) {
            e.out.write(bytes);
            e.forget();
        }

        @Override
        public String describe() {
            return bytes.length + " raw bytes";
        }
    }

    static List<Element> frozen(List<Element> elements) {
        return Collections.unmodifiableList(new ArrayList<>(elements));
    }
}
