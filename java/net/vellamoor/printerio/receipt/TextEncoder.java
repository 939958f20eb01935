package net.vellamoor.printerio.receipt;

import java.nio.ByteBuffer;
import java.nio.CharBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.CharsetEncoder;
import java.util.HashMap;
import java.util.Map;

/**
 * Unicode text to the printer's bytes, choosing among its code pages and
 * its multibyte font per character with as few switches as the text allows,
 * and keeping track of the page and mode the printer is in.
 *
 * <p>A character a single-byte page holds prints from a page (one cell);
 * one only the multibyte font has prints in that mode (two cells, one for
 * Shift_JIS half-width katakana); ASCII prints in any of them. States are
 * "page p" and "multibyte mode entered over page p" (leaving the mode goes
 * back to that page). Over a run of text the cheapest sequence of states is
 * found by dynamic programming, each switch command costing one. Not
 * thread-safe: one per encoding.
 */
final class TextEncoder {
    static final int UNKNOWN = -1;
    private static final int FS = 0x1C;
    private static final int ESC = 0x1B;
    private static final int INFINITE = 1 << 29;
    private static final byte[] NONE = new byte[0];

    private final CharTable table;
    private final int pages;
    private final boolean hasMultibyte;
    private final CharsetEncoder multibyte;
    private final Map<Integer, byte[]> multibyteBytes = new HashMap<>();
    private int state = UNKNOWN;  // a page index, or pages + p for multibyte mode over page p
    // Scratch for the search, grown as runs need.
    private short[] back = new short[0];
    private int[] cost = new int[0];
    private int[] next = new int[0];
    private int[] chosen = new int[0];

    TextEncoder(CharTable table) {
        this.table = table;
        this.pages = table.pageCount();
        this.multibyte = table.newMultibyteEncoder();
        this.hasMultibyte = multibyte != null;
    }

    /**
     * After {@code ESC @} the printer's page and mode are its defaults, which
     * are not known: selects the encoding, leaves multibyte mode and selects
     * the first page, so the printer is in a known state.
     */
    void afterReset(ByteOut out) {
        if (hasMultibyte && table.multibyte().selectCommand() != null) {
            out.write(table.multibyte().selectCommand());
        }
        state = UNKNOWN;
        switchTo(0, out);
    }

    /** Raw bytes went out: the page and mode may have changed behind our back. */
    void forget() {
        state = UNKNOWN;
    }

    static boolean isAscii(int codePoint) {
        return codePoint >= 0x20 && codePoint < 0x7F || codePoint == '\n';
    }

    /** The cells a code point takes when printed, or -1 when nothing the printer has can print it. */
    int cells(int codePoint) {
        if (isAscii(codePoint) || table.pagesHolding(codePoint) != 0) {
            return 1;
        }
        byte[] bytes = multibyteBytes(codePoint);
        if (bytes == NONE) {
            return -1;
        }
        return bytes.length == 1 ? 1 : 2;
    }

    /** Writes code points that {@link #cells} found printable, switching pages and mode as needed. */
    void encode(int[] codePoints, int from, int to, ByteOut out) {
        int runLength = 0;
        for (int i = from; i < to; i++) {
            if (!isAscii(codePoints[i])) {
                runLength++;
            }
        }
        if (runLength > 0) {
            choose(codePoints, from, to, runLength);
        }
        int j = 0;
        for (int i = from; i < to; i++) {
            int c = codePoints[i];
            if (isAscii(c)) {
                out.write(c);
                continue;
            }
            switchTo(chosen[j++], out);
            if (state < pages) {
                out.write(table.byteOn(state, c));
            } else {
                out.write(multibyteBytes(c));
            }
        }
    }

    private int states() {
        return hasMultibyte ? 2 * pages : pages;
    }

    /** Fills chosen[0..runLength) with the state for each non-ASCII code point. */
    private void choose(int[] codePoints, int from, int to, int runLength) {
        int states = states();
        if (back.length < runLength * states) {
            back = new short[Math.max(runLength * states, back.length * 2)];
        }
        if (cost.length < states) {
            cost = new int[states];
            next = new int[states];
        }
        if (chosen.length < runLength) {
            chosen = new int[Math.max(runLength, chosen.length * 2)];
        }
        for (int s = 0; s < states; s++) {
            cost[s] = switchCost(state, s);
        }
        int j = 0;
        for (int i = from; i < to; i++) {
            int c = codePoints[i];
            if (!isAscii(c)) {
                step(table.pagesHolding(c), j++ * states);
            }
        }
        int best = 0;
        for (int s = 1; s < states; s++) {
            if (cost[s] < cost[best]) {
                best = s;
            }
        }
        for (j = runLength - 1; j >= 0; j--) {
            chosen[j] = best;
            best = back[j * states + best];
        }
    }

    /** One character: a single-byte one allowed on the pages in the mask, else one for multibyte mode. */
    private void step(long pageMask, int row) {
        int states = states();
        int bestPage = 0;
        for (int s = 1; s < pages; s++) {
            if (cost[s] < cost[bestPage]) {
                bestPage = s;
            }
        }
        int bestMultibyte = pages;
        for (int s = pages + 1; s < states; s++) {
            if (cost[s] < cost[bestMultibyte]) {
                bestMultibyte = s;
            }
        }
        for (int s = 0; s < states; s++) {
            boolean allowed = s < pages ? (pageMask & 1L << s) != 0 : pageMask == 0;
            int least = INFINITE;
            int from = s;
            if (allowed && s < pages) {
                least = cost[s];
                if (hasMultibyte && cost[pages + s] + 1 < least) {
                    least = cost[pages + s] + 1;
                    from = pages + s;
                }
                if (cost[bestPage] + 1 < least) {
                    least = cost[bestPage] + 1;
                    from = bestPage;
                }
                if (hasMultibyte && cost[bestMultibyte] + 2 < least) {
                    least = cost[bestMultibyte] + 2;
                    from = bestMultibyte;
                }
            } else if (allowed) {
                least = cost[s];
                if (cost[s - pages] + 1 < least) {
                    least = cost[s - pages] + 1;
                    from = s - pages;
                }
                if (cost[bestPage] + 2 < least) {
                    least = cost[bestPage] + 2;
                    from = bestPage;
                }
                if (cost[bestMultibyte] + 3 < least) {
                    least = cost[bestMultibyte] + 3;
                    from = bestMultibyte;
                }
            }
            next[s] = Math.min(least, INFINITE);
            back[row + s] = (short) from;
        }
        int[] swap = cost;
        cost = next;
        next = swap;
    }

    /** The switch commands between two states, counted as the search counts them. */
    private int switchCost(int from, int to) {
        if (from == to) {
            return 0;
        }
        boolean fromMultibyte = from == UNKNOWN ? hasMultibyte : from >= pages;
        int fromPage = from == UNKNOWN ? -1 : from % pages;
        boolean toMultibyte = to >= pages;
        int toPage = to % pages;
        boolean leave = fromMultibyte && (!toMultibyte || toPage != fromPage);
        return (leave ? 1 : 0) + (toPage != fromPage ? 1 : 0) + (toMultibyte && (leave || !fromMultibyte) ? 1 : 0);
    }

    private void switchTo(int to, ByteOut out) {
        if (to == state) {
            return;
        }
        boolean fromMultibyte = state == UNKNOWN ? hasMultibyte : state >= pages;
        int fromPage = state == UNKNOWN ? -1 : state % pages;
        boolean toMultibyte = to >= pages;
        int toPage = to % pages;
        if (fromMultibyte && (!toMultibyte || toPage != fromPage)) {
            out.write(FS, '.');
            fromMultibyte = false;
        }
        if (toPage != fromPage) {
            out.write(ESC, 't', table.page(toPage).number());
        }
        if (toMultibyte && !fromMultibyte) {
            out.write(FS, '&');
        }
        state = to;
    }

    private byte[] multibyteBytes(int codePoint) {
        if (!hasMultibyte) {
            return NONE;
        }
        byte[] bytes = multibyteBytes.get(codePoint);
        if (bytes == null) {
            bytes = encodeMultibyte(codePoint);
            multibyteBytes.put(codePoint, bytes);
        }
        return bytes;
    }

    private byte[] encodeMultibyte(int codePoint) {
        try {
            ByteBuffer encoded = multibyte.reset().encode(CharBuffer.wrap(Character.toChars(codePoint)));
            byte[] bytes = new byte[encoded.remaining()];
            encoded.get(bytes);
            return bytes.length == 0 ? NONE : bytes;
        } catch (CharacterCodingException e) {
            return NONE;
        }
    }
}
