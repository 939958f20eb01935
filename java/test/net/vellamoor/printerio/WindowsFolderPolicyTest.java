package net.vellamoor.printerio;

import static org.junit.Assert.assertEquals;

import java.nio.file.attribute.AclEntry;
import java.nio.file.attribute.AclEntryFlag;
import java.nio.file.attribute.AclEntryPermission;
import java.nio.file.attribute.AclEntryType;
import java.nio.file.attribute.UserPrincipal;
import java.util.ArrayList;
import java.util.EnumSet;
import java.util.List;
import org.junit.Test;

/** The Windows decisions on accounts and access lists, as data: accounts are SIDs, whatever their names. */
public class WindowsFolderPolicyTest {
    /** An account as the JDK's Windows principals are: equal when their SIDs are. */
    private static final class Account implements UserPrincipal {
        final String sid;
        final String name;

        Account(String sid, String name) {
            this.sid = sid;
            this.name = name;
        }

        @Override
        public String getName() {
            return name;
        }

        @Override
        public boolean equals(Object other) {
            return other instanceof Account && ((Account) other).sid.equals(sid);
        }

        @Override
        public int hashCode() {
            return sid.hashCode();
        }
    }

    private static final Account ME = new Account("S-1-5-21-1004336348-1177238915-682003330-1001", "KASSE1\\anna");
    private static final Account ME_AGAIN = new Account(ME.sid, "anna");
    private static final Account SYSTEM = new Account("S-1-5-18", "NT-AUTORITÄT\\SYSTEM");
    private static final Account ADMINISTRATORS = new Account("S-1-5-32-544", "VORDEFINIERT\\Administratoren");
    private static final Account TRUSTED_INSTALLER = new Account(
        "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", "NT SERVICE\\TrustedInstaller");
    private static final Account USERS = new Account("S-1-5-32-545", "VORDEFINIERT\\Benutzer");

    private static AclEntry entry(AclEntryType type, Account who, AclEntryPermission permission,
            AclEntryFlag... flags) {
        AclEntry.Builder entry = AclEntry.newBuilder().setType(type).setPrincipal(who).setPermissions(permission);
        if (flags.length > 0) {
            entry.setFlags(flags);
        }
        return entry.build();
    }

    private static AclEntry allow(Account who, AclEntryPermission permission, AclEntryFlag... flags) {
        return entry(AclEntryType.ALLOW, who, permission, flags);
    }

    @Test
    public void theListThisLibraryWritesLetsOnlyTheOwnerWrite() {
        for (boolean folder : new boolean[] {true, false}) {
            List<AclEntry> acl = WindowsFolderPolicy.ownerOnly(ME, folder);
            assertEquals("folder " + folder, "", WindowsFolderPolicy.otherWriters(ME, acl));
            assertEquals("folder " + folder, EnumSet.allOf(AclEntryPermission.class), acl.get(0).permissions());
            assertEquals("inherited by the extracted file", folder, acl.get(0).flags().contains(AclEntryFlag.FILE_INHERIT));
        }
    }

    @Test
    public void otherWritersAreTheAccountsThatAreNotTheOwner() {
        // entries of a %LOCALAPPDATA% folder on a German Windows, and what each says
        Object[][] cases = {
            {allow(ME_AGAIN, AclEntryPermission.WRITE_DATA), ""},
            {allow(SYSTEM, AclEntryPermission.WRITE_DATA), "NT-AUTORITÄT\\SYSTEM"},
            {allow(ADMINISTRATORS, AclEntryPermission.APPEND_DATA), "VORDEFINIERT\\Administratoren"},
            {allow(TRUSTED_INSTALLER, AclEntryPermission.WRITE_OWNER), "NT SERVICE\\TrustedInstaller"},
            {allow(USERS, AclEntryPermission.DELETE_CHILD), "VORDEFINIERT\\Benutzer"},
            {allow(USERS, AclEntryPermission.DELETE), "VORDEFINIERT\\Benutzer"},
            {allow(USERS, AclEntryPermission.READ_DATA), ""},
            {allow(USERS, AclEntryPermission.WRITE_DATA, AclEntryFlag.INHERIT_ONLY), ""},
            {entry(AclEntryType.DENY, USERS, AclEntryPermission.WRITE_DATA), ""},
        };
        List<AclEntry> all = new ArrayList<>();
        for (Object[] c : cases) {
            AclEntry entry = (AclEntry) c[0];
            all.add(entry);
            assertEquals(entry.toString(), c[1], WindowsFolderPolicy.otherWriters(ME, java.util.Collections.singletonList(entry)));
        }
        all.add(allow(SYSTEM, AclEntryPermission.WRITE_ACL));
        assertEquals("each once", "NT-AUTORITÄT\\SYSTEM, VORDEFINIERT\\Administratoren, "
            + "NT SERVICE\\TrustedInstaller, VORDEFINIERT\\Benutzer", WindowsFolderPolicy.otherWriters(ME, all));
    }

    @Test
    public void onlyTheUsersOwnPlacesOrOnesJustCreatedAreMadePrivate() {
        Object[][] cases = {{ME_AGAIN, false, true}, {ADMINISTRATORS, true, true}, {ADMINISTRATORS, false, false},
            {SYSTEM, false, false}, {USERS, false, false}};
        for (Object[] c : cases) {
            Account owner = (Account) c[0];
            assertEquals(owner.name + ", created here " + c[1], c[2],
                WindowsFolderPolicy.mayMakePrivate(owner, ME, (Boolean) c[1]));
        }
    }
}
