package net.vellamoor.printerio;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Properties;

/**
 * Finds and loads the native library for the running JVM, once. Places are
 * tried in this order:
 * <ol>
 * <li>the file named by the system property {@value #PATH_PROPERTY};</li>
 * <li>{@code System.loadLibrary} with the name for the JVM's data model,
 * {@code VellamoorJIOx32} on a 32-bit JVM and {@code VellamoorJIOx64} on a
 * 64-bit one (found on {@code java.library.path});</li>
 * <li>the library packed in this jar for the JVM's operating system and data
 * model ({@code VellamoorJIOx32.dll} and {@code VellamoorJIOx64.dll} on
 * Windows, {@code libVellamoorJIOx64.so} on Linux), extracted into a versioned
 * folder under the user's temporary directory.</li>
 * </ol>
 * When none works, one {@link UnsatisfiedLinkError} names the data model, the
 * library expected and every place tried with its own error.
 */
final class NativeLibraryLoader {
    static final String PATH_PROPERTY = "vellamoor.printerio.library";
    static final String VERSION = releaseVersion();
    static final String RESOURCE_FOLDER = "/net/vellamoor/printerio/native/";

    /** What loading needs from the platform; replaced in tests. */
    interface Platform {
        void load(String path);

        void loadLibrary(String name);

        InputStream resource(String name);
    }

    private final Platform platform;
    private final Properties properties;

    NativeLibraryLoader(Platform platform, Properties properties) {
        this.platform = platform;
        this.properties = properties;
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
        }, System.getProperties());
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

    /** "32" or "64": sun.arch.data.model where the JVM reports it, else guessed from os.arch. */
    String dataModel() {
        String model = properties.getProperty("sun.arch.data.model", "");
        if (model.equals("32") || model.equals("64")) {
            return model;
        }
        String arch = properties.getProperty("os.arch", "");
        return arch.contains("64") ? "64" : "32";
    }

    String libraryName() {
        return "VellamoorJIOx" + dataModel();
    }

    /** The library's file name on this JVM's operating system: a .so on Linux, else a DLL. */
    String libraryFileName() {
        boolean linux = properties.getProperty("os.name", "").startsWith("Linux");
        return linux ? "lib" + libraryName() + ".so" : libraryName() + ".dll";
    }

    /** Loads the library, or throws one error that lists every attempt. */
    String load() {
        List<String> attempts = new ArrayList<>();
        String name = libraryName();
        String path = properties.getProperty(PATH_PROPERTY);
        if (path != null && !path.isEmpty()) {
            String where = "system property " + PATH_PROPERTY + " = " + path;
            if (tryLoad(where, attempts, () -> platform.load(new File(path).getAbsolutePath()))) {
                return where;
            }
        }
        String where = "System.loadLibrary(\"" + name + "\") on java.library.path = "
                + properties.getProperty("java.library.path", "");
        if (tryLoad(where, attempts, () -> platform.loadLibrary(name))) {
            return where;
        }
        String extracted = loadFromJar(libraryFileName(), attempts);
        if (extracted != null) {
            return extracted;
        }
        throw new UnsatisfiedLinkError("Cannot load " + libraryFileName() + " for this " + dataModel()
                + "-bit JVM (os.arch " + properties.getProperty("os.arch", "?") + "). Tried:\n  "
                + String.join("\n  ", attempts));
    }

    private String loadFromJar(String fileName, List<String> attempts) {
        String resource = RESOURCE_FOLDER + fileName;
        File folder = new File(properties.getProperty("java.io.tmpdir", "."), "vellamoor-printerio-" + VERSION);
        File target = new File(folder, fileName);
        String where = "jar resource " + resource + " extracted to " + target;
        try (InputStream in = platform.resource(resource)) {
            if (in == null) {
                attempts.add(where + ": not in this jar");
                return null;
            }
            byte[] image = readAll(in);
            if (!holds(target.toPath(), image)) {
                extract(image, folder.toPath(), target.toPath());
            }
        } catch (IOException | RuntimeException e) {
            attempts.add(where + ": " + e);
            return null;
        }
        return tryLoad(where, attempts, () -> platform.load(target.getAbsolutePath())) ? where : null;
    }

    private static byte[] readAll(InputStream in) throws IOException {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        byte[] chunk = new byte[64 * 1024];
        for (int n; (n = in.read(chunk)) > 0; ) {
            out.write(chunk, 0, n);
        }
        return out.toByteArray();
    }

    // A copy that another JVM extracted and still has loaded cannot be
    // replaced on Windows; when it is already the right file it is used as it is.
    private static boolean holds(Path target, byte[] image) throws IOException {
        return Files.isRegularFile(target) && Files.size(target) == image.length
                && Arrays.equals(Files.readAllBytes(target), image);
    }

    // Writes beside the target and moves into place, so a second JVM never
    // loads a half-written file and a crash never leaves one behind.
    private static void extract(byte[] image, Path folder, Path target) throws IOException {
        Files.createDirectories(folder);
        Path partial = Files.createTempFile(folder, "extract", ".tmp");
        try {
            Files.write(partial, image);
            Files.move(partial, target, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
        } finally {
            Files.deleteIfExists(partial);
        }
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
