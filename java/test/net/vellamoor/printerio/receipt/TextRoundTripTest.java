package net.vellamoor.printerio.receipt;

import static org.junit.Assert.assertEquals;

import java.nio.ByteBuffer;
import java.nio.charset.Charset;
import java.nio.charset.CharsetEncoder;
import java.util.Random;
import org.junit.Test;

/**
 * Random text in many scripts, encoded for each built-in profile and read
 * back as the printer reads it (following ESC t, FS & and FS .): every
 * character any page or the multibyte font holds comes back, the rest as ?.
 */
public class TextRoundTripTest {
    private static final String POOL = "aZ09 .,-€£¥§°±µ½äöüßÄÖÜéèêçàâœøåæłąęśćźżńŁŚčřšžůďťňČŘŠŽğışİŞĞ"
            + "абвгдежзийЖЩЪЮЯёЁєїΑΒΓΔΘΛΞΠΣΦΨΩαβγδλμπσωάέ谢惠顾欢迎总计收據總謝歡迎領収書円あいうアイウｱｲｳ영수증합계☃✓";

    @Test
    public void encodedTextReadsBackAsTheText() {
        Random random = new Random(33);
        int[] pool = POOL.codePoints().toArray();
        for (String name : Profile.builtInNames()) {
            Profile profile = Profile.builtIn(name);
            for (int round = 0; round < 100; round++) {
                StringBuilder text = new StringBuilder();
                int length = 1 + random.nextInt(40);
                for (int i = 0; i < length; i++) {
                    text.appendCodePoint(pool[random.nextInt(pool.length)]);
                }
                String expected = printable(profile, text.toString());
                String read = readBack(profile, Receipt.builder().text(text.toString()).build().encode(profile));
                assertEquals(name + ": " + text, expected.replace(" ", ""), read.replace(" ", "").replace("\n", ""));
            }
        }
    }

    /** The text as it should print: ? for what no page and no multibyte font holds. */
    private static String printable(Profile profile, String text) {
        StringBuilder out = new StringBuilder();
        text.codePoints().forEach(c -> out.appendCodePoint(holds(profile, c) ? c : '?'));
        return out.toString();
    }

    private static boolean holds(Profile profile, int c) {
        String s = new String(Character.toChars(c));
        if (c < 0x80) {
            return true;
        }
        for (CodePage page : profile.codePages()) {
            CharsetEncoder encoder = page.charset().newEncoder();
            if (encoder.canEncode(s) && new String(s.getBytes(page.charset()), page.charset()).equals(s)) {
                return true;
            }
        }
        return profile.multibyte() != null && profile.multibyte().charset().newEncoder().canEncode(s);
    }

    /** Reads a job as the printer does: commands change the page and mode, the rest is text. */
    private static String readBack(Profile profile, byte[] job) {
        StringBuilder text = new StringBuilder();
        Charset page = null;
        boolean multibyte = false;
        int i = 0;
        while (i < job.length) {
            int b = job[i] & 0xff;
            if (b == 0x1b || b == 0x1d) {
                int letter = job[i + 1];
                if (b == 0x1b && letter == 't') {
                    page = pageNumbered(profile, job[i + 2] & 0xff);
                }
                i += b == 0x1b && (letter == '@' || letter == '2') ? 2 : 3;
            } else if (b == 0x1c) {
                int letter = job[i + 1];
                multibyte = letter == '&' || multibyte && letter != '.';
                i += letter == 'C' || letter == '-' ? 3 : 2;
            } else if (b < 0x80 && (!multibyte || b < 0x20)) {
                text.append((char) b);
                i++;
            } else {
                int end = i;
                while (end < job.length && (job[end] & 0xff) >= 0x20) {
                    end++;
                }
                Charset charset = multibyte ? profile.multibyte().charset() : page;
                text.append(charset.decode(ByteBuffer.wrap(job, i, end - i)));
                i = end;
            }
        }
        return text.toString();
    }

    private static Charset pageNumbered(Profile profile, int number) {
        for (CodePage page : profile.codePages()) {
            if (page.number() == number) {
                return page.charset();
            }
        }
        throw new AssertionError("ESC t " + number + " is no page of " + profile);
    }
}
