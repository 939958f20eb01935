package net.vellamoor.printerio;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.File;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.Properties;

/**
 * Finds and loads the native library for the running JVM, once per class
 * loader. Places are tried in this order:
 * <ol>
 * <li>the file named by the system property {@value #PATH_PROPERTY}; when
 * another class loader of this JVM has loaded that file, a private copy of
 * it (never the jar's own library, which may be another build);</li>
 * <li>{@code System.loadLibrary} with the library's name for this operating
 * system and architecture ({@code VellamoorJIOx32} on 32-bit Windows,
 * {@code VellamoorJIOx64} on 64-bit Windows and x86-64 Linux), found on
 * {@code java.library.path};</li>
 * <li>the library packed in this jar, extracted into a private folder (see
 * {@link PrivateFolder}) under a name that carries a hash of its bytes, and
 * compared with the jar's bytes again just before it is loaded.</li>
 * </ol>
 * A platform this jar carries no library for gets an "unsupported platform"
 * error before anything is extracted. When nothing loads, one
 * {@link UnsatisfiedLinkError} names the platform and every place tried with
 * its own error; later attempts in this class loader give the same message.
 */
final class NativeLibraryLoader {
    static final String PATH_PROPERTY = "vellamoor.printerio.library";
    static final String VERSION = releaseVersion();
    static final String RESOURCE_FOLDER = "/net/vellamoor/printerio/native/";
    // What the JVM says when another class loader already has the file loaded.
    private static final String LOADED_ELSEWHERE = "another classloader";

    /** What loading needs from the platform; replaced in tests. */
    interface Platform {
        void load(String path);

        void loadLibrary(String name);

        InputStream resource(String name);
    }

    private static String loadedFrom;
    private static String failure;

    private final Platform platform;
    private final Properties properties;
    private final Map<String, String> environment;

    NativeLibraryLoader(Platform platform, Properties properties, Map<String, String> environment) {
        this.platform = platform;
        this.properties = properties;
        this.environment = environment;
    }

    /**
     * Loads the library for this JVM the first time it is called and
     * remembers the outcome: later calls return where it came from, or throw
     * an error with the first attempt's message.
     */
    static synchronized String loadOnce() {
        if (loadedFrom == null && failure == null) {
            try {
                loadedFrom = forThisJvm().load();
            } catch (UnsatisfiedLinkError e) {
                failure = e.getMessage();
            }
        }
        if (failure != null) {
            throw new UnsatisfiedLinkError(failure);
        }
        return loadedFrom;
    }

    static NativeLibraryLoader forThisJvm() {
        return new NativeLibraryLoader(new Platform() {
            @Override
            public void load(String path) {
                System.load(path);
            }

            @Override
            public void loadLibrary(String name) {
                System.loadLibrary(name);
            }

            @Override
            public InputStream resource(String name) {
                return NativeLibraryLoader.class.getResourceAsStream(name);
            }
        }, System.getProperties(), System.getenv());
    }

    /**
     * The release this jar belongs to, which the build writes into it;
     * "dev" for classes compiled outside a release jar.
     */
    private static String releaseVersion() {
        Properties release = new Properties();
        try (InputStream in = NativeLibraryLoader.class.getResourceAsStream("version.properties")) {
            if (in != null) {
                release.load(in);
            }
        } catch (IOException e) {
            return "dev";
        }
        return release.getProperty("version", "dev");
    }

    /** Loads the library, or throws one error that lists every attempt. */
    String load() {
        List<String> attempts = new ArrayList<>();
        String path = properties.getProperty(PATH_PROPERTY);
        if (path != null && !path.isEmpty()) {
            String named = loadNamed(new File(path).getAbsoluteFile(), attempts);
            if (named != null) {
                return named;
            }
        }
        NativePlatform target = NativePlatform.of(properties);
        if (target == null) {
            attempts.add(0, NativePlatform.unsupported(properties));
            throw new UnsatisfiedLinkError(String.join("\n  ", attempts));
        }
        String where = "System.loadLibrary(\"" + target.libraryName() + "\") on java.library.path = "
                + properties.getProperty("java.library.path", "");
        if (tryLoad(where, attempts, () -> platform.loadLibrary(target.libraryName()))) {
            return where;
        }
        String extracted = loadFromJar(target, attempts);
        if (extracted != null) {
            return extracted;
        }
        throw new UnsatisfiedLinkError("Cannot load " + target + " (os.arch " + properties.getProperty("os.arch", "?")
                + "). Tried:\n  " + String.join("\n  ", attempts));
    }

    /**
     * Loads the file the property names. When another class loader of this
     * JVM has that file loaded, this one gets a private copy of the same
     * file, never the jar's library: one JVM maps one build.
     */
    private String loadNamed(File file, List<String> attempts) {
        String where = "system property " + PATH_PROPERTY + " = " + file;
        try {
            platform.load(file.getPath());
            return where;
        } catch (UnsatisfiedLinkError | SecurityException e) {
            if (!String.valueOf(e.getMessage()).contains(LOADED_ELSEWHERE)) {
                attempts.add(where + ": " + e.getMessage());
                return null;
            }
        }
        byte[] image;
        try {
            image = Files.readAllBytes(file.toPath());
        } catch (IOException e) {
            throw new UnsatisfiedLinkError(where + ": loaded by another class loader, and unreadable for a copy: " + e);
        }
        String copied = extractAndLoad(where, file.getName(), image, attempts);
        if (copied == null) {
            throw new UnsatisfiedLinkError(where + " is loaded by another class loader, and no private copy of it"
                    + " could be loaded:\n  " + String.join("\n  ", attempts));
        }
        return copied;
    }

    private String loadFromJar(NativePlatform target, List<String> attempts) {
        String resource = RESOURCE_FOLDER + target.fileName;
        byte[] image;
        try (InputStream in = platform.resource(resource)) {
            if (in == null) {
                attempts.add("jar resource " + resource + ": not in this jar");
                return null;
            }
            image = readAll(in);
        } catch (IOException e) {
            attempts.add("jar resource " + resource + ": " + e);
            return null;
        }
        return extractAndLoad("jar resource " + resource, target.fileName, image, attempts);
    }

    /** Puts image into the first private place that takes it and loads it from there; null when none did. */
    private String extractAndLoad(String source, String fileName, byte[] image, List<String> attempts) {
        for (PrivateFolder.Candidate place : PrivateFolder.candidates(properties, environment, VERSION)) {
            String where = source + " extracted into " + place.describe();
            try {
                Path file = extractInto(place.prepare(), hashedName(fileName, image), image);
                if (place.temporary()) {
                    // Marked after its folder, so it goes first and the folder can go too.
                    file.toFile().deleteOnExit();
                }
                where = source + " extracted to " + file + " in " + place.describe();
                if (loadChecked(file, image)) {
                    return where;
                }
                // Another class loader of this JVM has that file; this one gets a copy of its own.
                Path copy = Files.createTempFile(file.getParent(), stem(file), extension(fileName));
                copy.toFile().deleteOnExit();
                Files.write(copy, image);
                PrivateFolder.madeHere(copy);
                if (loadChecked(copy, image)) {
                    return source + " copied to " + copy + " for this class loader";
                }
            } catch (IOException | RuntimeException e) {
                attempts.add(where + ": " + e);
            } catch (UnsatisfiedLinkError e) {
                // A folder on a noexec mount refuses the load: the next place may not.
                attempts.add(where + ": " + e.getMessage());
            }
            if (place.exclusive()) {
                break;
            }
        }
        return null;
    }

    /**
     * Puts image into folder under name unless an identical file is there
     * already: Windows does not let a DLL that another JVM has loaded be
     * replaced, and the name carries the bytes' hash, so a file of that name
     * with other bytes is only ever a damaged copy.
     */
    private static Path extractInto(Path folder, String name, byte[] image) throws IOException {
        Path target = folder.resolve(name);
        if (holds(target, image)) {
            return target;
        }
        // Written beside the target and moved into place, so a second JVM
        // never loads a half-written file and a crash never leaves one behind.
        Path partial = Files.createTempFile(folder, "extract", ".tmp");
        try {
            Files.write(partial, image);
            PrivateFolder.madeHere(partial);
            Files.move(partial, target, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
        } finally {
            Files.deleteIfExists(partial);
        }
        return target;
    }

    /**
     * Loads file once it is checked to be the current user's, writable by
     * nobody else and still the jar's bytes. False when another class loader
     * of this JVM already has this very file loaded.
     */
    private boolean loadChecked(Path file, byte[] image) throws IOException {
        PrivateFolder.checkFile(file);
        if (!holds(file, image)) {
            throw new IOException(file + " does not hold the jar's bytes");
        }
        try {
            platform.load(file.toAbsolutePath().toString());
            return true;
        } catch (UnsatisfiedLinkError e) {
            String message = String.valueOf(e.getMessage());
            if (message.contains(LOADED_ELSEWHERE)) {
                return false;
            }
            throw e;
        }
    }

    /** libVellamoorJIOx64.so becomes libVellamoorJIOx64-<16 hex digits of its SHA-256>.so. */
    static String hashedName(String fileName, byte[] image) {
        return withoutExtension(fileName) + "-" + sha256(image).substring(0, 16) + extension(fileName);
    }

    private static String stem(Path file) {
        return withoutExtension(file.getFileName().toString()) + "-";
    }

    // A file the property names may have no extension.
    private static String withoutExtension(String fileName) {
        int dot = fileName.lastIndexOf('.');
        return dot < 0 ? fileName : fileName.substring(0, dot);
    }

    private static String extension(String fileName) {
        return fileName.substring(withoutExtension(fileName).length());
    }

    private static String sha256(byte[] image) {
        try {
            StringBuilder hex = new StringBuilder();
            for (byte b : MessageDigest.getInstance("SHA-256").digest(image)) {
                hex.append(String.format("%02x", b & 0xFF));
            }
            return hex.toString();
        } catch (NoSuchAlgorithmException e) {
            throw new IllegalStateException("every JVM has SHA-256", e);
        }
    }

    private static byte[] readAll(InputStream in) throws IOException {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        byte[] chunk = new byte[64 * 1024];
        for (int n; (n = in.read(chunk)) > 0; ) {
            out.write(chunk, 0, n);
        }
        return out.toByteArray();
    }

    private static boolean holds(Path target, byte[] image) throws IOException {
        return Files.isRegularFile(target, LinkOption.NOFOLLOW_LINKS) && Files.size(target) == image.length
                && Arrays.equals(Files.readAllBytes(target), image);
    }

    private static boolean tryLoad(String where, List<String> attempts, Runnable loading) {
        try {
            loading.run();
            return true;
        } catch (UnsatisfiedLinkError | SecurityException e) {
            attempts.add(where + ": " + e.getMessage());
            return false;
        }
    }
}
