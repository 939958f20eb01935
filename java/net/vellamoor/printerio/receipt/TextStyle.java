package net.vellamoor.printerio.receipt;

/**
 * How text prints: emphasis, underline (none, thin, thick), character width
 * and height (1 to 8 times), white on black, upside down, font A or B.
 * Immutable; each method returns a changed copy.
 *
 * <pre>
 * TextStyle.NORMAL.bold().size(2, 2)
 * </pre>
 */
public final class TextStyle {
    /** The two resident fonts: A (12 x 24 dots on most printers) and the smaller B. */
    public enum Font { A, B }

    public static final TextStyle NORMAL = new TextStyle(false, 0, 1, 1, false, false, Font.A);

    private final boolean bold;
    private final int underline;
    private final int width;
    private final int height;
    private final boolean reverse;
    private final boolean upsideDown;
    private final Font font;

    private TextStyle(boolean bold, int underline, int width, int height, boolean reverse, boolean upsideDown,
            Font font) {
        this.bold = bold;
        this.underline = underline;
        this.width = width;
        this.height = height;
        this.reverse = reverse;
        this.upsideDown = upsideDown;
        this.font = font;
    }

    public TextStyle bold() {
        return new TextStyle(true, underline, width, height, reverse, upsideDown, font);
    }

    /** Underlined one dot thick. */
    public TextStyle underline() {
        return underline(1);
    }

    /** Underlined 0 (not), 1 or 2 dots thick. */
    public TextStyle underline(int dots) {
        if (dots < 0 || dots > 2) {
            throw new IllegalArgumentException("underline " + dots + " is not 0, 1 or 2 dots");
        }
        return new TextStyle(bold, dots, width, height, reverse, upsideDown, font);
    }

    /** Characters {@code width} times as wide and {@code height} times as tall, 1 to 8 each. */
    public TextStyle size(int width, int height) {
        if (width < 1 || width > 8 || height < 1 || height > 8) {
            throw new IllegalArgumentException("size " + width + "x" + height + " is not 1 to 8 in each direction");
        }
        return new TextStyle(bold, underline, width, height, reverse, upsideDown, font);
    }

    public TextStyle doubleWidth() {
        return size(2, height);
    }

    public TextStyle doubleHeight() {
        return size(width, 2);
    }

    /** White text on black. */
    public TextStyle reverse() {
        return new TextStyle(bold, underline, width, height, true, upsideDown, font);
    }

    public TextStyle upsideDown() {
        return new TextStyle(bold, underline, width, height, reverse, true, font);
    }

    public TextStyle font(Font font) {
        return new TextStyle(bold, underline, width, height, reverse, upsideDown, font);
    }

    public boolean isBold() {
        return bold;
    }

    public int underlineDots() {
        return underline;
    }

    public int width() {
        return width;
    }

    public int height() {
        return height;
    }

    public boolean isReverse() {
        return reverse;
    }

    public boolean isUpsideDown() {
        return upsideDown;
    }

    public Font font() {
        return font;
    }

    @Override
    public boolean equals(Object o) {
        if (!(o instanceof TextStyle)) {
            return false;
        }
        TextStyle s = (TextStyle) o;
        return bold == s.bold && underline == s.underline && width == s.width && height == s.height
                && reverse == s.reverse && upsideDown == s.upsideDown && font == s.font;
    }

    @Override
    public int hashCode() {
        return ((((((bold ? 1 : 0) * 3 + underline) * 9 + width) * 9 + height) * 2 + (reverse ? 1 : 0)) * 2
                + (upsideDown ? 1 : 0)) * 2 + font.ordinal();
    }

    @Override
    public String toString() {
        return "font " + font + (bold ? ", bold" : "") + (underline > 0 ? ", underline " + underline : "")
                + (width > 1 || height > 1 ? ", size " + width + "x" + height : "") + (reverse ? ", reverse" : "")
                + (upsideDown ? ", upside down" : "");
    }
}
