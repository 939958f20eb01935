package net.vellamoor.printerio;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.attribute.AclEntry;
import java.nio.file.attribute.AclEntryFlag;
import java.nio.file.attribute.AclEntryPermission;
import java.nio.file.attribute.AclEntryType;
import java.nio.file.attribute.AclFileAttributeView;
import java.nio.file.attribute.FileAttribute;
import java.nio.file.attribute.UserPrincipal;
import java.util.ArrayList;
import java.util.Collections;
import java.util.EnumSet;
import java.util.List;
import java.util.Set;

/**
 * Private on Windows: owned by the user, and an access list that lets only
 * the owner write. Accounts are compared as the JDK compares principals, by
 * their SIDs, never by name: names depend on the system's language (SYSTEM
 * is "NT-AUTORITÄT\SYSTEM" on a German Windows, the administrators
 * "VORDEFINIERT\Administratoren").
 *
 * <p>Every folder inherits entries for SYSTEM and the administrators, and the
 * JDK offers no way to tell those accounts apart from others but their
 * localized names. So a place this library uses gets an explicit access
 * list instead, one entry for the user, inherited by the files made in it;
 * the check then needs to recognise only the owner. A folder this JVM
 * creates is taken as the user's even when the token makes new objects
 * owned by the administrators group (an elevated administrator), and so is
 * a file it writes.
 */
final class WindowsFolderPolicy implements FolderPolicy {
    private static final Set<AclEntryPermission> WRITES = EnumSet.of(AclEntryPermission.WRITE_DATA,
        AclEntryPermission.APPEND_DATA, AclEntryPermission.DELETE_CHILD, AclEntryPermission.DELETE,
        AclEntryPermission.WRITE_OWNER, AclEntryPermission.WRITE_ACL);

    @Override
    public FileAttribute<?>[] ownerOnly() {
        return new FileAttribute<?>[0];
    }

    @Override
    public void makePrivate(Path path, UserPrincipal me, boolean createdHere) throws IOException {
        AclFileAttributeView view = Files.getFileAttributeView(path, AclFileAttributeView.class,
            LinkOption.NOFOLLOW_LINKS);
        if (view == null) {
            return;  // a file system without access lists (FAT) has nothing to set
        }
        UserPrincipal owner = view.getOwner();
        if (!mayMakePrivate(owner, me, createdHere)) {
            return;
        }
        view.setAcl(ownerOnly(me, Files.isDirectory(path, LinkOption.NOFOLLOW_LINKS)));
        if (!owner.equals(me)) {
            view.setOwner(me);
        }
    }

    @Override
    public String otherWriters(Path path, UserPrincipal owner) throws IOException {
        AclFileAttributeView view = Files.getFileAttributeView(path, AclFileAttributeView.class,
            LinkOption.NOFOLLOW_LINKS);
        return view == null ? "" : otherWriters(owner, view.getAcl());
    }

    @Override
    public String unsafeParent(Path folder, UserPrincipal me) {
        // The folders above carry the inherited entries of SYSTEM and the
        // administrators, which only names could tell from others; the
        // folder's own list, which no longer inherits, keeps it in place:
        // moving it needs the right to delete it.
        return "";
    }

    /**
     * Whether a place may be made private: one the user owns, or one this
     * JVM just created (whose owner may be the administrators group).
     * Another account's folder is left as it is, and refused.
     */
    static boolean mayMakePrivate(UserPrincipal owner, UserPrincipal me, boolean createdHere) {
        return createdHere || owner.equals(me);
    }

    /** One entry: everything for the user, inherited by what is created in a folder. */
    static List<AclEntry> ownerOnly(UserPrincipal me, boolean folder) {
        AclEntry.Builder entry = AclEntry.newBuilder().setType(AclEntryType.ALLOW).setPrincipal(me)
            .setPermissions(EnumSet.allOf(AclEntryPermission.class));
        if (folder) {
            entry.setFlags(AclEntryFlag.FILE_INHERIT, AclEntryFlag.DIRECTORY_INHERIT);
        }
        return Collections.singletonList(entry.build());
    }

    /**
     * The accounts other than the owner that an access list lets write,
     * by name, each once. Entries that only pass on to new files (inherit
     * only) and entries that deny do not let anyone write this object.
     */
    static String otherWriters(UserPrincipal owner, List<AclEntry> acl) {
        List<String> writers = new ArrayList<>();
        for (AclEntry entry : acl) {
            boolean writes = entry.type() == AclEntryType.ALLOW
                && !entry.flags().contains(AclEntryFlag.INHERIT_ONLY)
                && !Collections.disjoint(entry.permissions(), WRITES);
            String who = entry.principal().getName();
            if (writes && !entry.principal().equals(owner) && !writers.contains(who)) {
                writers.add(who);
            }
        }
        return String.join(", ", writers);
    }
}
