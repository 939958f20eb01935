package net.vellamoor.printerio;

import java.io.IOException;
import java.nio.file.Path;
import java.nio.file.attribute.FileAttribute;
import java.nio.file.attribute.UserPrincipal;

/**
 * How one kind of file system says who may write a file or folder: POSIX
 * modes or Windows access lists. {@link PrivateFolder} decides where to go;
 * a policy says whether a place is private and makes the places it creates
 * so.
 */
interface FolderPolicy {
    /** The attributes a new folder or file is created with, so that it is private from its first moment. */
    FileAttribute<?>[] ownerOnly();

    /**
     * Makes a folder or file private after the fact where the attributes at
     * creation cannot: {@code createdHere} says this JVM just created it.
     */
    void makePrivate(Path path, UserPrincipal me, boolean createdHere) throws IOException;

    /** Who else can write {@code path}, in words; empty when nobody. */
    String otherWriters(Path path, UserPrincipal owner) throws IOException;

    /**
     * A folder above {@code folder} through which another account could
     * move it away between the check and the load, in words; empty when none.
     */
    String unsafeParent(Path folder, UserPrincipal me) throws IOException;

    static FolderPolicy of(Path path) {
        return path.getFileSystem().supportedFileAttributeViews().contains("posix")
            ? new PosixFolderPolicy() : new WindowsFolderPolicy();
    }
}
