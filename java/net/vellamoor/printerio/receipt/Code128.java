package net.vellamoor.printerio.receipt;

/**
 * CODE128 data as {@code GS k 73} takes it: code set selectors {@code {A},
 * {@code {B}, {@code {C}, a one-character shift {@code {S} and {@code {{}
 * for a brace; in set C each byte is a pair of digits, 0 to 99. The sets
 * are chosen for the fewest symbols (the narrowest code) by dynamic
 * programming over the three sets.
 */
final class Code128 {
    private static final int A = 0;
    private static final int B = 1;
    private static final int C = 2;
    private static final int NONE = 1 << 20;

    private Code128() {
    }

    /** Set A: control characters and upper case; set B: printable ASCII with lower case. */
    private static boolean in(int set, int c) {
        return set == A ? c < 0x60 : c >= 0x20 && c < 0x80;
    }

    private static boolean pairAt(String data, int i) {
        return i + 1 < data.length() && isDigit(data.charAt(i)) && isDigit(data.charAt(i + 1));
    }

    private static boolean isDigit(char c) {
        return c >= '0' && c <= '9';
    }

    /** The command's data for ASCII text (checked by the caller) and the symbol count, start to check excluded. */
    static Encoded encode(String data) {
        int n = data.length();
        // least[i][s]: fewest symbols for data[i..] already in set s.
        int[][] least = new int[n + 1][3];
        for (int i = n - 1; i >= 0; i--) {
            char c = data.charAt(i);
            for (int s = A; s <= B; s++) {
                int other = 1 - s;
                int best = NONE;
                if (in(s, c)) {
                    best = 1 + least[i + 1][s];
                } else if (in(other, c)) {
                    best = 2 + least[i + 1][s];  // shift
                }
                if (in(other, c)) {
                    best = Math.min(best, 1 + 1 + least[i + 1][other]);
                }
                if (pairAt(data, i)) {
                    best = Math.min(best, 1 + 1 + least[i + 2][C]);
                }
                least[i][s] = best;
            }
            int viaC = pairAt(data, i) ? 1 + least[i + 2][C] : NONE;
            least[i][C] = Math.min(viaC, 1 + Math.min(least[i][A], least[i][B]));
        }
        int start = B;
        for (int s = A; s <= C; s++) {
            if (least[0][s] < least[0][start]) {
                start = s;
            }
        }
        return new Encoded(least, data, start);
    }

    static final class Encoded {
        final byte[] bytes;
        final int symbols;

        private Encoded(int[][] least, String data, int start) {
            ByteOut out = new ByteOut();
            out.write('{', "ABC".charAt(start));
            int set = start;
            int i = 0;
            int symbols = 0;
            while (i < data.length()) {
                char c = data.charAt(i);
                if (set == C && pairAt(data, i) && least[i][C] == 1 + least[i + 2][C]) {
                    out.write((data.charAt(i) - '0') * 10 + data.charAt(i + 1) - '0');
                    i += 2;
                    symbols++;
                    continue;
                }
                int next = nextSet(least, data, i, set);
                if (next != set) {
                    out.write('{', "ABC".charAt(next));
                    set = next;
                    symbols++;
                    continue;
                }
                if (!in(set, c)) {
                    out.write('{', 'S');
                    symbols++;
                }
                if (c == '{') {
                    out.write('{');
                }
                out.write(c);
                i++;
                symbols++;
            }
            this.bytes = out.toByteArray();
            this.symbols = symbols;
        }

        /** The set the cheapest way on from position i in set {@code set} continues in. */
        private static int nextSet(int[][] least, String data, int i, int set) {
            char c = data.charAt(i);
            if (set != C) {
                int other = 1 - set;
                int stay = in(set, c) ? 1 + least[i + 1][set] : in(other, c) ? 2 + least[i + 1][set] : NONE;
                if (stay <= least[i][set]) {
                    return set;
                }
                if (pairAt(data, i) && 1 + 1 + least[i + 2][C] == least[i][set]) {
                    return C;
                }
                return other;
            }
            return 1 + least[i][B] == least[i][C] ? B : A;
        }
    }
}
