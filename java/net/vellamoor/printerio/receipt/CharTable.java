package net.vellamoor.printerio.receipt;

import java.nio.ByteBuffer;
import java.nio.CharBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.CharsetDecoder;
import java.nio.charset.CharsetEncoder;
import java.nio.charset.CodingErrorAction;
import java.util.List;

/**
 * Which of a profile's code pages hold each character, and with which byte.
 * Built once per profile from the pages' charsets by decoding every byte of
 * their upper halves (0x80-0xFF): a character is taken only where the page
 * really has it, never from a charset's best-fit guess. Bytes 0x20-0x7E are
 * ASCII on every page (the job selects the USA set with {@code ESC R 0}).
 * Immutable once built; the multibyte font is asked through an encoder each
 * {@link Encoder} makes for itself.
 */
final class CharTable {
    static final int MAX_PAGES = 63;

    private final List<CodePage> pages;
    private final MultibyteMode multibyte;
    // For each BMP character a slot (0: in no page); per slot, the pages that
    // hold it as bits, and per page its byte there.
    private final short[] slotOf = new short[65536];
    private final long[] pagesOf;
    private final byte[][] byteOf;

    CharTable(List<CodePage> pages, MultibyteMode multibyte) {
        this.pages = pages;
        this.multibyte = multibyte;
        char[][] decoded = new char[pages.size()][];
        int slots = 1;
        for (int p = 0; p < pages.size(); p++) {
            decoded[p] = upperHalf(pages.get(p).charset().newDecoder());
            for (char c : decoded[p]) {
                if (c != 0 && slotOf[c] == 0) {
                    slotOf[c] = (short) slots++;
                }
            }
        }
        pagesOf = new long[slots];
        byteOf = new byte[pages.size()][slots];
        for (int p = 0; p < pages.size(); p++) {
            for (int b = 0; b < 128; b++) {
                char c = decoded[p][b];
                int slot = c == 0 ? 0 : slotOf[c];
                if (slot != 0 && (pagesOf[slot] & 1L << p) == 0) {
                    pagesOf[slot] |= 1L << p;
                    byteOf[p][slot] = (byte) (0x80 + b);
                }
            }
        }
    }

    int pageCount() {
        return pages.size();
    }

    CodePage page(int index) {
        return pages.get(index);
    }

    MultibyteMode multibyte() {
        return multibyte;
    }

    /** The pages (bit i for page i) that hold a code point above ASCII; 0 for none. */
    long pagesHolding(int codePoint) {
        return codePoint < 65536 ? pagesOf[slotOf[codePoint]] : 0;
    }

    /** The byte of a code point on a page that holds it. */
    byte byteOn(int page, int codePoint) {
        return byteOf[page][slotOf[codePoint]];
    }

    /** An encoder for the multibyte font that reports characters it lacks; null without one. */
    CharsetEncoder newMultibyteEncoder() {
        if (multibyte == null) {
            return null;
        }
        return multibyte.charset().newEncoder().onMalformedInput(CodingErrorAction.REPORT)
                .onUnmappableCharacter(CodingErrorAction.REPORT);
    }

    /** The characters of bytes 0x80-0xFF on a page, 0 where the page has none. */
    private static char[] upperHalf(CharsetDecoder decoder) {
        decoder.onMalformedInput(CodingErrorAction.REPORT).onUnmappableCharacter(CodingErrorAction.REPORT);
        char[] chars = new char[128];
        for (int b = 0; b < 128; b++) {
            try {
                CharBuffer out = decoder.reset().decode(ByteBuffer.wrap(new byte[] {(byte) (0x80 + b)}));
                char c = out.length() == 1 ? out.get(0) : 0;
                chars[b] = c >= 0x80 && c != 0xFFFD && !Character.isISOControl(c) ? c : 0;
            } catch (CharacterCodingException e) {
                chars[b] = 0;
            }
        }
        return chars;
    }
}
