package net.vellamoor.printerio.receipt;

import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.io.Reader;
import java.nio.charset.Charset;
import java.nio.charset.IllegalCharsetNameException;
import java.nio.charset.StandardCharsets;
import java.nio.charset.UnsupportedCharsetException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashSet;
import java.util.List;
import java.util.Properties;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.ConcurrentMap;

/**
 * What a printer can do, read from a plain properties file: paper width in
 * dots and density, characters per line in fonts A and B, its code pages
 * with their {@code ESC t} numbers, its multibyte font, whether it draws QR
 * and PDF417 codes itself, and the raster command and band height it takes
 * pictures with. A profile may start from another with {@code extends}.
 *
 * <pre>
 * name = Counter printer
 * extends = generic-80mm
 * width.dots = 576
 * density.dpi = 203
 * font.a.columns = 48
 * font.b.columns = 64
 * code.pages = 0:IBM437, 2:IBM850, 16:windows-1252
 * multibyte = none            (or GB18030, Big5, Shift_JIS, KS_X_1001)
 * qr = native                 (or image: drawn from ZXing)
 * pdf417 = native
 * raster = GS v 0             (or GS ( L, ESC *)
 * raster.band.height = 256
 * </pre>
 *
 * Built-in profiles ({@link #builtInNames()}) load by name; any other from
 * a file. A missing or unknown key, a width that is not a multiple of 8 or
 * a charset this JVM lacks is an error at load. Profiles are immutable and
 * safe to share between threads.
 */
public final class Profile {
    private static final String BUILT_IN_FOLDER = "profiles/";
    private static final List<String> BUILT_IN = Collections.unmodifiableList(Arrays.asList(
            "generic-58mm", "generic-80mm", "generic-80mm-180dpi", "multibyte-80mm-gb18030",
            "multibyte-80mm-big5", "multibyte-80mm-shift-jis", "multibyte-80mm-ks-x-1001"));
    private static final Set<String> KEYS = new HashSet<>(Arrays.asList("name", "extends", "width.dots",
            "density.dpi", "font.a.columns", "font.b.columns", "code.pages", "multibyte", "qr", "pdf417",
            "raster", "raster.band.height"));
    // ESC * bands are 24 rows; a GS ( L band must fit its 16-bit length with the 10 bytes before the data.
    static final int ESC_STAR_BAND = 24;
    private static final int MAX_EXTENDS = 8;
    private static final ConcurrentMap<String, Profile> LOADED = new ConcurrentHashMap<>();

    private final String name;
    private final int widthDots;
    private final int dpi;
    private final int columnsA;
    private final int columnsB;
    private final List<CodePage> codePages;
    private final MultibyteMode multibyte;
    private final boolean nativeQr;
    private final boolean nativePdf417;
    private final RasterCommand raster;
    private final int bandHeight;
    private volatile CharTable charTable;  // built at first use, then shared

    private Profile(String source, Properties p) {
        this.name = p.getProperty("name", source);
        this.widthDots = number(source, p, "width.dots", 8, 4096);
        if (widthDots % 8 != 0) {
            throw invalid(source, "width.dots " + widthDots + " is not a multiple of 8");
        }
        this.dpi = number(source, p, "density.dpi", 100, 600);
        this.columnsA = number(source, p, "font.a.columns", 1, widthDots);
        this.columnsB = number(source, p, "font.b.columns", 1, widthDots);
        this.codePages = Collections.unmodifiableList(codePages(source, required(source, p, "code.pages")));
        String mode = required(source, p, "multibyte");
        this.multibyte = mode.equalsIgnoreCase("none") ? null : MultibyteMode.parse(mode);
        if (multibyte == null && !mode.equalsIgnoreCase("none")) {
            throw invalid(source, "multibyte '" + mode + "' is not none, GB18030, Big5, Shift_JIS or KS_X_1001");
        }
        this.nativeQr = nativeOrImage(source, p, "qr");
        this.nativePdf417 = nativeOrImage(source, p, "pdf417");
        String command = required(source, p, "raster");
        this.raster = RasterCommand.parse(command);
        if (raster == null) {
            throw invalid(source, "raster '" + command + "' is not GS v 0, GS ( L or ESC *");
        }
        int band = number(source, p, "raster.band.height", 1, 65535);
        int widest = (65535 - 10) / (widthDots / 8);
        if (raster == RasterCommand.GS_PAREN_L && band > widest) {
            throw invalid(source, "raster.band.height " + band + " is more than a GS ( L band of "
                    + widthDots + " dots holds (" + widest + ")");
        }
        this.bandHeight = raster == RasterCommand.ESC_STAR ? ESC_STAR_BAND : band;
    }

    /** The names {@link #builtIn} knows. */
    public static List<String> builtInNames() {
        return BUILT_IN;
    }

    /** A built-in profile by name, e.g. {@code generic-80mm}; read once, then shared. */
    public static Profile builtIn(String name) {
        if (!BUILT_IN.contains(name)) {
            throw new IllegalArgumentException("no built-in printer profile '" + name + "'; built in: " + BUILT_IN);
        }
        return LOADED.computeIfAbsent(name, Profile::readBuiltInProfile);
    }

    private static Profile readBuiltInProfile(String name) {
        try {
            return new Profile(name, resolve(name, readBuiltIn(name), null, 0));
        } catch (IOException e) {
            throw new IllegalStateException("built-in profile " + name + " is missing from the jar", e);
        }
    }

    /**
     * A profile from a file; {@code extends} names a built-in profile or a
     * file beside this one (without {@code .properties}).
     */
    public static Profile load(Path file) throws IOException {
        return new Profile(file.toString(), resolve(file.toString(), readFile(file), file.getParent(), 0));
    }

    /** A profile from properties already read (keys as in a profile file). */
    public static Profile of(String name, Properties properties) {
        try {
            return new Profile(name, resolve(name, copy(properties), null, 0));
        } catch (IOException e) {
            throw new IllegalArgumentException("profile " + name + ": " + e.getMessage(), e);
        }
    }

    public String name() {
        return name;
    }

    /** Printable dots per line: 384 on 58 mm paper, 512 or 576 on 80 mm. */
    public int widthDots() {
        return widthDots;
    }

    /** Dots per inch, 180 or 203 for most printers. */
    public int dpi() {
        return dpi;
    }

    /** Characters per line in a font at normal width. */
    public int columns(TextStyle.Font font) {
        return font == TextStyle.Font.A ? columnsA : columnsB;
    }

    /** The printer's code pages in order of preference. */
    public List<CodePage> codePages() {
        return codePages;
    }

    /** The printer's double-byte font, or null when it has none. */
    public MultibyteMode multibyte() {
        return multibyte;
    }

    /** Whether the printer draws QR codes itself ({@code GS ( k}); otherwise they are sent as pictures. */
    public boolean nativeQr() {
        return nativeQr;
    }

    /** Whether the printer draws PDF417 codes itself; otherwise they are sent as pictures. */
    public boolean nativePdf417() {
        return nativePdf417;
    }

    public RasterCommand raster() {
        return raster;
    }

    /** The tallest picture band sent in one command, in dots. */
    public int bandHeight() {
        return bandHeight;
    }

    CharTable charTable() {
        CharTable table = charTable;
        if (table == null) {
            table = new CharTable(codePages, multibyte);
            charTable = table;
        }
        return table;
    }

    @Override
    public String toString() {
        return name + " (" + widthDots + " dots, " + dpi + " dpi)";
    }

    private static Properties resolve(String source, Properties own, Path folder, int depth) throws IOException {
        for (String key : own.stringPropertyNames()) {
            if (!KEYS.contains(key)) {
                throw invalid(source, "unknown key '" + key + "'");
            }
        }
        String parentName = own.getProperty("extends");
        if (parentName == null) {
            return own;
        }
        if (depth == MAX_EXTENDS) {
            throw invalid(source, "extends goes more than " + MAX_EXTENDS + " profiles deep");
        }
        Properties parent;
        if (BUILT_IN.contains(parentName)) {
            parent = resolve(parentName, readBuiltIn(parentName), null, depth + 1);
        } else if (folder != null) {
            Path file = folder.resolve(parentName + ".properties");
            parent = resolve(file.toString(), readFile(file), folder, depth + 1);
        } else {
            throw invalid(source, "extends '" + parentName + "', which is not a built-in profile");
        }
        Properties merged = copy(parent);
        merged.remove("name");
        for (String key : own.stringPropertyNames()) {
            merged.setProperty(key, own.getProperty(key));
        }
        merged.remove("extends");
        return merged;
    }

    private static Properties readBuiltIn(String name) throws IOException {
        InputStream in = Profile.class.getResourceAsStream(BUILT_IN_FOLDER + name + ".properties");
        if (in == null) {
            throw new IOException("no resource " + BUILT_IN_FOLDER + name + ".properties");
        }
        try (Reader reader = new InputStreamReader(in, StandardCharsets.UTF_8)) {
            Properties p = new Properties();
            p.load(reader);
            return p;
        }
    }

    private static Properties readFile(Path file) throws IOException {
        try (Reader reader = Files.newBufferedReader(file, StandardCharsets.UTF_8)) {
            Properties p = new Properties();
            p.load(reader);
            return p;
        }
    }

    private static Properties copy(Properties from) {
        Properties to = new Properties();
        for (String key : from.stringPropertyNames()) {
            to.setProperty(key, from.getProperty(key));
        }
        return to;
    }

    private static List<CodePage> codePages(String source, String list) {
        List<CodePage> pages = new ArrayList<>();
        Set<Integer> numbers = new HashSet<>();
        for (String entry : list.split(",")) {
            String[] parts = entry.trim().split(":", 2);
            if (parts.length != 2) {
                throw invalid(source, "code page '" + entry.trim() + "' is not NUMBER:CHARSET");
            }
            int number = parse(source, "code page number", parts[0].trim(), 0, 255);
            if (!numbers.add(number)) {
                throw invalid(source, "code page " + number + " is listed twice");
            }
            pages.add(new CodePage(number, singleByteCharset(source, parts[1].trim())));
        }
        if (pages.size() > CharTable.MAX_PAGES) {
            throw invalid(source, "more than " + CharTable.MAX_PAGES + " code pages");
        }
        return pages;
    }

    private static Charset singleByteCharset(String source, String name) {
        Charset charset;
        try {
            charset = Charset.forName(name);
        } catch (IllegalCharsetNameException | UnsupportedCharsetException e) {
            throw invalid(source, "code page charset '" + name + "' is not one this JVM has");
        }
        if (charset.newEncoder().maxBytesPerChar() != 1) {
            throw invalid(source, "code page charset '" + name + "' is not a single-byte charset");
        }
        return charset;
    }

    private static boolean nativeOrImage(String source, Properties p, String key) {
        String value = required(source, p, key);
        if (!value.equalsIgnoreCase("native") && !value.equalsIgnoreCase("image")) {
            throw invalid(source, key + " '" + value + "' is not native or image");
        }
        return value.equalsIgnoreCase("native");
    }

    private static int number(String source, Properties p, String key, int min, int max) {
        return parse(source, key, required(source, p, key), min, max);
    }

    private static int parse(String source, String what, String text, int min, int max) {
        int value;
        try {
            value = Integer.parseInt(text);
        } catch (NumberFormatException e) {
            throw invalid(source, what + " '" + text + "' is not a whole number");
        }
        if (value < min || value > max) {
            throw invalid(source, what + " " + value + " is not between " + min + " and " + max);
        }
        return value;
    }

    private static String required(String source, Properties p, String key) {
        String value = p.getProperty(key);
        if (value == null || value.trim().isEmpty()) {
            throw invalid(source, "no " + key + " given");
        }
        return value.trim();
    }

    private static IllegalArgumentException invalid(String source, String reason) {
        return new IllegalArgumentException("printer profile " + source + ": " + reason);
    }
}
