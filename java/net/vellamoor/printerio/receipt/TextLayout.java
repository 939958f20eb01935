package net.vellamoor.printerio.receipt;

import java.text.Normalizer;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.function.IntUnaryOperator;

/** Text as code points, checked, broken into lines of a number of cells and placed within them. */
final class TextLayout {
    private TextLayout() {
    }

    /**
     * The code points of a text in composed form (an e and a combining
     * acute become one é, which a code page can hold), tabs as spaces,
     * CR LF and CR as line breaks.
     * Unpaired surrogates and control characters other than the line break
     * are refused: a control character in a name or a price would reach the
     * printer as a command.
     */
    static int[] codePoints(String text) {
        if (text.indexOf('\r') >= 0) {
            text = text.replace("\r\n", "\n").replace('\r', '\n');
        }
        checkSurrogates(text);
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if (Character.isISOControl(c) && c != '\n' && c != '\t') {
                throw new Invalid(String.format("control character U+%04X at index %d", (int) c, i));
            }
        }
        String composed = isPlain(text) ? text : Normalizer.normalize(text, Normalizer.Form.NFC);
        int[] codePoints = composed.codePoints().toArray();
        for (int i = 0; i < codePoints.length; i++) {
            if (codePoints[i] == '\t') {
                codePoints[i] = ' ';
            }
        }
        return codePoints;
    }

    /** Refuses a text with a surrogate that is not half of a pair: it has no UTF-8 or code page form. */
    static void checkSurrogates(String text) {
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if (Character.isHighSurrogate(c) && (i + 1 == text.length() || !Character.isLowSurrogate(text.charAt(i + 1)))
                    || Character.isLowSurrogate(c) && (i == 0 || !Character.isHighSurrogate(text.charAt(i - 1)))) {
                throw new Invalid(String.format("unpaired surrogate U+%04X at index %d", (int) c, i));
            }
        }
    }

    private static boolean isPlain(String text) {
        for (int i = 0; i < text.length(); i++) {
            if (text.charAt(i) >= 0x300) {
                return false;
            }
        }
        return true;
    }

    static int width(int[] line, IntUnaryOperator cells) {
        int width = 0;
        for (int c : line) {
            width += cells.applyAsInt(c);
        }
        return width;
    }

    /**
     * Breaks text into lines of at most {@code columns} cells: at line
     * breaks, after spaces, around wide characters (which need no space
     * between words), and inside a word longer than a line. Spaces at a
     * break are dropped.
     */
    static List<int[]> wrap(int[] text, int columns, IntUnaryOperator cells) {
        List<int[]> lines = new ArrayList<>();
        int start = 0;
        for (int i = 0; i <= text.length; i++) {
            if (i == text.length || text[i] == '\n') {
                wrapParagraph(text, start, i, columns, cells, lines);
                start = i + 1;
            }
        }
        return lines;
    }

    private static void wrapParagraph(int[] text, int from, int to, int columns, IntUnaryOperator cells,
            List<int[]> lines) {
        int lineStart = from;
        while (true) {
            while (lineStart < to && text[lineStart] == ' ' && lineStart > from) {
                lineStart++;  // spaces at a break; those that start the paragraph are kept
            }
            int width = 0;
            int breakAt = -1;  // the last place the line may end
            int i = lineStart;
            while (i < to) {
                int w = cells.applyAsInt(text[i]);
                if (width + w > columns) {
                    break;
                }
                width += w;
                i++;
                if (i < to && (text[i] == ' ' || w == 2 || cells.applyAsInt(text[i]) == 2)) {
                    breakAt = i;
                }
            }
            if (i == to) {
                lines.add(trimEnd(text, lineStart, to));
                return;
            }
            int end = breakAt > lineStart ? breakAt : Math.max(i, lineStart + 1);
            lines.add(trimEnd(text, lineStart, end));
            lineStart = end;
        }
    }

    private static int[] trimEnd(int[] text, int from, int to) {
        while (to > from && text[to - 1] == ' ') {
            to--;
        }
        return Arrays.copyOfRange(text, from, to);
    }

    /**
     * Writes a line padded with spaces to {@code width} cells into
     * {@code row} from {@code at}, placed as {@code align} says; returns
     * where the next column starts.
     */
    static int append(int[] row, int at, int[] line, int lineWidth, int width, Align align) {
        int spare = Math.max(0, width - lineWidth);
        int before = align == Align.LEFT ? 0 : align == Align.CENTER ? spare / 2 : spare;
        Arrays.fill(row, at, at + before, ' ');
        System.arraycopy(line, 0, row, at + before, line.length);
        int end = at + before + line.length;
        Arrays.fill(row, end, end + spare - before, ' ');
        return end + spare - before;
    }
}
