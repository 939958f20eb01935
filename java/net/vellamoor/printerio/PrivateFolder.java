package net.vellamoor.printerio;

import java.io.IOException;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.BasicFileAttributes;
import java.nio.file.attribute.UserPrincipal;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Properties;

/**
 * Where the loader may put a library it extracts: only into a folder that
 * the current user owns, that nobody else can write, that is not a symbolic
 * link and that nobody else can move away. A folder another account can
 * write lets that account swap the file between the check of its bytes and
 * the load, and so run its own code in this JVM; a fixed name in a shared
 * temporary folder is such a place as soon as someone else creates it first.
 * What "nobody else can write" means is the file system's
 * ({@link FolderPolicy}).
 *
 * <p>Places, in order: the folder named by {@value #FOLDER_PROPERTY} (and
 * then only it); else the user's cache folder ({@code $XDG_CACHE_HOME} or
 * {@code ~/.cache} on Linux, {@code %LOCALAPPDATA%} on Windows) with a
 * folder per release; else a fresh private folder under
 * {@code java.io.tmpdir}, removed with what is in it when the JVM exits.
 */
final class PrivateFolder {
    static final String FOLDER_PROPERTY = "vellamoor.printerio.folder";
    private static final LinkOption[] NO_FOLLOW = {LinkOption.NOFOLLOW_LINKS};

    /** One place to try: how to name it in an error, and how to make it ready. */
    interface Candidate {
        String describe();

        /** Creates the folder if needed and checks it; throws with the reason it cannot be used. */
        Path prepare() throws IOException;

        /** True when only this place may be used (the user named it). */
        boolean exclusive();

        /** True when the folder and what is put in it go when the JVM exits. */
        boolean temporary();
    }

    private PrivateFolder() {}

    static List<Candidate> candidates(Properties properties, Map<String, String> environment, String version) {
        List<Candidate> places = new ArrayList<>();
        String chosen = properties.getProperty(FOLDER_PROPERTY);
        if (chosen != null && !chosen.isEmpty()) {
            places.add(existing("folder " + FOLDER_PROPERTY + " = " + chosen, Paths.get(chosen), true));
            return places;
        }
        Path cache = userCache(properties, environment);
        if (cache != null) {
            places.add(existing("user cache folder", cache.resolve("vellamoor-printerio").resolve(version), false));
        }
        places.add(fresh(Paths.get(properties.getProperty("java.io.tmpdir", "."))));
        return places;
    }

    /** The user's cache folder, or null when the user has none we can name. */
    private static Path userCache(Properties properties, Map<String, String> environment) {
        boolean windows = properties.getProperty("os.name", "").startsWith("Windows");
        String variable = environment.get(windows ? "LOCALAPPDATA" : "XDG_CACHE_HOME");
        if (variable != null && Paths.get(variable).isAbsolute()) {
            return Paths.get(variable);
        }
        String home = properties.getProperty("user.home", "");
        return windows || home.isEmpty() || home.equals("?") ? null : Paths.get(home, ".cache");
    }

    private static Candidate existing(String description, Path folder, boolean exclusive) {
        return new Candidate() {
            @Override
            public String describe() {
                return description + " (" + folder + ")";
            }

            @Override
            public Path prepare() throws IOException {
                FolderPolicy policy = FolderPolicy.of(folder);
                boolean created = false;
                if (!Files.exists(folder, NO_FOLLOW)) {
                    Files.createDirectories(folder.getParent());
                    try {
                        Files.createDirectory(folder, policy.ownerOnly());
                        created = true;
                    } catch (FileAlreadyExistsException raced) {
                        // Another JVM made it a moment ago; the check below decides.
                    }
                }
                if (!Files.isSymbolicLink(folder)) {
                    policy.makePrivate(folder, currentUser(), created);
                }
                check(folder);
                return folder;
            }

            @Override
            public boolean exclusive() {
                return exclusive;
            }

            @Override
            public boolean temporary() {
                return false;
            }
        };
    }

    private static Candidate fresh(Path temp) {
        return new Candidate() {
            @Override
            public String describe() {
                return "a new private folder in " + temp;
            }

            @Override
            public Path prepare() throws IOException {
                FolderPolicy policy = FolderPolicy.of(temp);
                Path folder = Files.createTempDirectory(temp, "vellamoor-printerio-", policy.ownerOnly());
                folder.toFile().deleteOnExit();
                policy.makePrivate(folder, currentUser(), true);
                check(folder);
                return folder;
            }

            @Override
            public boolean exclusive() {
                return false;
            }

            @Override
            public boolean temporary() {
                return true;
            }
        };
    }

    /** Makes a file this JVM has just written private, where its creation could not. */
    static void madeHere(Path file) throws IOException {
        FolderPolicy.of(file).makePrivate(file, currentUser(), true);
    }

    /**
     * Throws unless folder is a real folder of the current user's that
     * nobody else can write or move away.
     */
    static void check(Path folder) throws IOException {
        UserPrincipal me = checkPrivate(folder, true);
        String parent = FolderPolicy.of(folder).unsafeParent(folder, me);
        if (!parent.isEmpty()) {
            throw new IOException(folder + " could be moved away: " + parent);
        }
    }

    /** Throws unless file is a regular file of the current user's that nobody else can write. */
    static void checkFile(Path file) throws IOException {
        checkPrivate(file, false);
    }

    private static UserPrincipal checkPrivate(Path path, boolean folder) throws IOException {
        BasicFileAttributes basic = Files.readAttributes(path, BasicFileAttributes.class, NO_FOLLOW);
        if (basic.isSymbolicLink()) {
            throw new IOException(path + " is a symbolic link");
        }
        if (folder ? !basic.isDirectory() : !basic.isRegularFile()) {
            throw new IOException(path + " is not a " + (folder ? "folder" : "regular file"));
        }
        UserPrincipal owner = Files.getOwner(path, NO_FOLLOW);
        UserPrincipal me = currentUser();
        if (!owner.equals(me)) {
            throw new IOException(path + " belongs to " + owner.getName() + ", not to " + me.getName());
        }
        String writers = FolderPolicy.of(path).otherWriters(path, owner);
        if (!writers.isEmpty()) {
            throw new IOException(path + " can be written by " + writers);
        }
        return me;
    }

    /**
     * The account this JVM runs as: looked up by name, or where the name is
     * unknown to the system (a container's uid without a passwd entry) the
     * owner of a file this JVM has just created.
     */
    private static UserPrincipal currentUser() throws IOException {
        try {
            return FileSystems.getDefault().getUserPrincipalLookupService()
                .lookupPrincipalByName(System.getProperty("user.name", ""));
        } catch (IOException unknownName) {
            Path probe = Files.createTempFile("vellamoor-owner", ".probe");
            try {
                return Files.getOwner(probe);
            } finally {
                Files.deleteIfExists(probe);
            }
        }
    }
}
