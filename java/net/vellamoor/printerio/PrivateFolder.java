package net.vellamoor.printerio;

import java.io.IOException;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.AclEntry;
import java.nio.file.attribute.AclEntryPermission;
import java.nio.file.attribute.AclEntryType;
import java.nio.file.attribute.AclFileAttributeView;
import java.nio.file.attribute.BasicFileAttributes;
import java.nio.file.attribute.FileAttribute;
import java.nio.file.attribute.PosixFileAttributeView;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.nio.file.attribute.UserPrincipal;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.EnumSet;
import java.util.List;
import java.util.Map;
import java.util.Properties;
import java.util.Set;

/**
 * Where the loader may put a library it extracts: only into a folder that
 * the current user owns, that nobody else can write and that is not a
 * symbolic link. A folder another account can write lets that account swap
 * the file between the check of its bytes and the load, and so run its own
 * code in this JVM; a fixed name in a shared temporary folder is such a
 * place as soon as someone else creates it first.
 *
 * <p>Places, in order: the folder named by {@value #FOLDER_PROPERTY} (and
 * then only it); else the user's cache folder ({@code $XDG_CACHE_HOME} or
 * {@code ~/.cache} on Linux, {@code %LOCALAPPDATA%} on Windows) with a
 * folder per release; else a fresh owner-only folder under
 * {@code java.io.tmpdir}, removed when the JVM exits.
 */
final class PrivateFolder {
    static final String FOLDER_PROPERTY = "vellamoor.printerio.folder";
    private static final LinkOption[] NO_FOLLOW = {LinkOption.NOFOLLOW_LINKS};
    private static final Set<PosixFilePermission> OWNER_ONLY = PosixFilePermissions.fromString("rwx------");
    // On Windows these may write anywhere anyway; any other writer disqualifies a folder.
    private static final List<String> WINDOWS_ADMINISTRATORS =
        Arrays.asList("NT AUTHORITY\\SYSTEM", "BUILTIN\\Administrators");
    private static final Set<AclEntryPermission> WINDOWS_WRITES = EnumSet.of(AclEntryPermission.WRITE_DATA,
        AclEntryPermission.APPEND_DATA, AclEntryPermission.DELETE_CHILD, AclEntryPermission.WRITE_OWNER,
        AclEntryPermission.WRITE_ACL);

    /** One place to try: how to name it in an error, and how to make it ready. */
    interface Candidate {
        String describe();

        /** Creates the folder if needed and checks it; throws with the reason it cannot be used. */
        Path prepare() throws IOException;

        /** True when only this place may be used (the user named it). */
        boolean exclusive();
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
        Path temp = Paths.get(properties.getProperty("java.io.tmpdir", "."));
        places.add(new Candidate() {
            @Override
            public String describe() {
                return "a new private folder in " + temp;
            }

            @Override
            public Path prepare() throws IOException {
                Path folder = Files.createTempDirectory(temp, "vellamoor-printerio-", ownerOnly(temp));
                folder.toFile().deleteOnExit();
                check(folder);
                return folder;
            }

            @Override
            public boolean exclusive() {
                return false;
            }
        });
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
                if (!Files.exists(folder, NO_FOLLOW)) {
                    Files.createDirectories(folder.getParent());
                    try {
                        Files.createDirectory(folder, ownerOnly(folder.getParent()));
                    } catch (FileAlreadyExistsException raced) {
                        // Another JVM made it a moment ago; the check below decides.
                    }
                }
                check(folder);
                return folder;
            }

            @Override
            public boolean exclusive() {
                return exclusive;
            }
        };
    }

    private static FileAttribute<?>[] ownerOnly(Path near) {
        if (!posix(near)) {
            return new FileAttribute<?>[0];
        }
        return new FileAttribute<?>[] {PosixFilePermissions.asFileAttribute(OWNER_ONLY)};
    }

    private static boolean posix(Path path) {
        return path.getFileSystem().supportedFileAttributeViews().contains("posix");
    }

    /** Throws unless folder is a real folder of the current user's that nobody else can write. */
    static void check(Path folder) throws IOException {
        checkPrivate(folder, true);
    }

    /** Throws unless file is a regular file of the current user's that nobody else can write. */
    static void checkFile(Path file) throws IOException {
        checkPrivate(file, false);
    }

    private static void checkPrivate(Path path, boolean folder) throws IOException {
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
        String writers = posix(path) ? posixWriters(path) : windowsWriters(path, owner);
        if (!writers.isEmpty()) {
            throw new IOException(path + " can be written by " + writers);
        }
    }

    private static String posixWriters(Path path) throws IOException {
        Set<PosixFilePermission> permissions =
            Files.getFileAttributeView(path, PosixFileAttributeView.class, NO_FOLLOW).readAttributes().permissions();
        List<String> writers = new ArrayList<>();
        if (permissions.contains(PosixFilePermission.GROUP_WRITE)) {
            writers.add("its group");
        }
        if (permissions.contains(PosixFilePermission.OTHERS_WRITE)) {
            writers.add("everyone");
        }
        return String.join(" and ", writers);
    }

    private static String windowsWriters(Path path, UserPrincipal owner) throws IOException {
        AclFileAttributeView acl = Files.getFileAttributeView(path, AclFileAttributeView.class, NO_FOLLOW);
        if (acl == null) {
            return "";
        }
        List<String> writers = new ArrayList<>();
        for (AclEntry entry : acl.getAcl()) {
            String who = entry.principal().getName();
            boolean writes = entry.type() == AclEntryType.ALLOW
                && !Collections.disjoint(entry.permissions(), WINDOWS_WRITES);
            if (writes && !entry.principal().equals(owner) && !WINDOWS_ADMINISTRATORS.contains(who)
                && !who.equals("CREATOR OWNER") && !writers.contains(who)) {
                writers.add(who);
            }
        }
        return String.join(", ", writers);
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
