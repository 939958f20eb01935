package net.vellamoor.printerio;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.attribute.FileAttribute;
import java.nio.file.attribute.PosixFileAttributeView;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.nio.file.attribute.UserPrincipal;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;

/**
 * Private on POSIX: owned by the user, no write bit for group or others,
 * created with mode 0700; every folder above owned by the user or root and
 * writable by nobody else unless its sticky bit keeps others from moving
 * entries they do not own (as on /tmp).
 */
final class PosixFolderPolicy implements FolderPolicy {
    private static final Set<PosixFilePermission> OWNER_ONLY = PosixFilePermissions.fromString("rwx------");
    private static final int GROUP_OR_OTHERS_WRITE = 0022;
    private static final int STICKY = 01000;

    @Override
    public FileAttribute<?>[] ownerOnly() {
        return new FileAttribute<?>[] {PosixFilePermissions.asFileAttribute(OWNER_ONLY)};
    }

    @Override
    public void makePrivate(Path path, UserPrincipal me, boolean createdHere) {
        // Created with ownerOnly(), and a folder made by another JVM is checked, not changed.
    }

    @Override
    public String otherWriters(Path path, UserPrincipal owner) throws IOException {
        Set<PosixFilePermission> permissions = Files.getFileAttributeView(path, PosixFileAttributeView.class,
            LinkOption.NOFOLLOW_LINKS).readAttributes().permissions();
        List<String> writers = new ArrayList<>();
        if (permissions.contains(PosixFilePermission.GROUP_WRITE)) {
            writers.add("its group");
        }
        if (permissions.contains(PosixFilePermission.OTHERS_WRITE)) {
            writers.add("everyone");
        }
        return String.join(" and ", writers);
    }

    @Override
    public String unsafeParent(Path folder, UserPrincipal me) throws IOException {
        // Both the path as named and where its links lead: a link is as safe as the folder holding it.
        Set<Path> parents = new LinkedHashSet<>();
        for (Path p = folder.toAbsolutePath().normalize().getParent(); p != null; p = p.getParent()) {
            parents.add(p);
        }
        for (Path p = folder.toRealPath().getParent(); p != null; p = p.getParent()) {
            parents.add(p);
        }
        for (Path parent : parents) {
            String fault = fault(parent, me);
            if (!fault.isEmpty()) {
                return parent + " " + fault;
            }
        }
        return "";
    }

    private static String fault(Path parent, UserPrincipal me) throws IOException {
        UserPrincipal owner = Files.getOwner(parent);
        if (!owner.equals(me) && ((Number) Files.getAttribute(parent, "unix:uid")).intValue() != 0) {
            return "belongs to " + owner.getName();
        }
        int mode = ((Number) Files.getAttribute(parent, "unix:mode")).intValue();
        if ((mode & GROUP_OR_OTHERS_WRITE) != 0 && (mode & STICKY) == 0) {
            return "can be written by others and has no sticky bit";
        }
        return "";
    }
}
