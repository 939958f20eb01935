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
 * <li>the file named by the system property {@value #PATH_PROPERTY};</li>
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
            String where = "system property " + PATH_PROPERTY + " = " + path;
            if (tryLoad(where, attempts, () -> platform.load(new File(path).getAbsolutePath()))) {
                return where;
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
        for (PrivateFolder.Candidate place : PrivateFolder.candidates(properties, environment, VERSION)) {
            String where = "jar resource " + resource + " extracted into " + place.describe();
            try {
                Path file = extractInto(place.prepare(), hashedName(target.fileName, image), image);
                where = "jar resource " + resource + " extracted to " + file + " in " + place.describe();
                if (loadChecked(file, image)) {
                    return where;
                }
                // Another class loader of this JVM has that file; this one gets a copy of its own.
                Path copy = Files.createTempFile(file.getParent(), stem(file), extension(target.fileName));
                copy.toFile().deleteOnExit();
                Files.write(copy, image);
                if (loadChecked(copy, image)) {
                    return "jar resource " + resource + " copied to " + copy + " for this class loader";
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
        return fileName.substring(0, fileName.lastIndexOf('.')) + "-" + sha256(image).substring(0, 16)
                + extension(fileName);
    }

    private static String stem(Path file) {
        String name = file.getFileName().toString();
        return name.substring(0, name.lastIndexOf('.')) + "-";
    }

    private static String extension(String fileName) {
        return fileName.substring(fileName.lastIndexOf('.'));
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
