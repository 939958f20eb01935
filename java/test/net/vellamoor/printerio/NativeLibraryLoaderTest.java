package net.vellamoor.printerio;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNotNull;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.nio.file.attribute.UserPrincipal;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Properties;

import org.junit.Assume;
import org.junit.Before;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

public class NativeLibraryLoaderTest {
    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    /** Records every attempt; loads succeed only for the names and paths allowed (null: any path). */
    private static final class FakePlatform implements NativeLibraryLoader.Platform {
        final List<String> calls = new ArrayList<>();
        List<String> loadable = new ArrayList<>();
        final Map<String, byte[]> resources = new HashMap<>();
        String refusal;

        @Override
        public void load(String path) {
            calls.add("load " + path);
            if (refusal != null) {
                String message = refusal;
                refusal = null;
                throw new UnsatisfiedLinkError(path + ": " + message);
            }
            if (loadable != null && !loadable.contains(path)) {
                throw new UnsatisfiedLinkError(path + ": not a loadable library");
            }
        }

        @Override
        public void loadLibrary(String name) {
            calls.add("loadLibrary " + name);
            if (loadable == null || !loadable.contains(name)) {
                throw new UnsatisfiedLinkError("no " + name + " in java.library.path");
            }
        }

        @Override
        public InputStream resource(String name) {
            byte[] bytes = resources.get(name);
            return bytes == null ? null : new ByteArrayInputStream(bytes);
        }

        String lastLoad() {
            return calls.get(calls.size() - 1).substring("load ".length());
        }
    }

    private static final byte[] SO = {0x7F, 'E', 'L', 'F', 1, 2, 3};
    private FakePlatform platform;
    private Properties properties;
    private Map<String, String> environment;
    private File cache;
    private File shared;

    @Before
    public void setUp() throws Exception {
        platform = new FakePlatform();
        properties = new Properties();
        properties.setProperty("os.name", "Linux");
        properties.setProperty("os.arch", "amd64");
        shared = temp.newFolder().getAbsoluteFile();
        properties.setProperty("java.io.tmpdir", shared.getPath());
        properties.setProperty("java.library.path", "/opt/pos/lib");
        properties.setProperty("user.home", temp.newFolder().getPath());
        cache = new File(temp.newFolder().getAbsoluteFile(), "cache");
        environment = new HashMap<>();
        environment.put("XDG_CACHE_HOME", cache.getPath());
        platform.resources.put(NativeLibraryLoader.RESOURCE_FOLDER + "libVellamoorJIOx64.so", SO);
    }

    private NativeLibraryLoader loader() {
        return new NativeLibraryLoader(platform, properties, environment);
    }

    private File cachedCopy() {
        return new File(cache, "vellamoor-printerio/" + NativeLibraryLoader.VERSION + "/"
            + NativeLibraryLoader.hashedName("libVellamoorJIOx64.so", SO));
    }

    @Test
    public void choosesByOperatingSystemAndArchitectureTogether() {
        String[][] cases = {{"Windows 10", "x86", "VellamoorJIOx32.dll"}, {"Windows 11", "amd64", "VellamoorJIOx64.dll"},
            {"Linux", "amd64", "libVellamoorJIOx64.so"}, {"Linux", "x86_64", "libVellamoorJIOx64.so"},
            {"Linux", "aarch64", "libVellamoorJIOaarch64.so"}, {"Linux", "arm64", "libVellamoorJIOaarch64.so"},
            {"Linux", "riscv64", null}, {"Windows 11", "aarch64", null},
            {"Mac OS X", "x86_64", null}};
        for (String[] c : cases) {
            properties.setProperty("os.name", c[0]);
            properties.setProperty("os.arch", c[1]);
            NativePlatform chosen = NativePlatform.of(properties);
            assertEquals(c[0] + " " + c[1], c[2], chosen == null ? null : chosen.fileName);
        }
    }

    @Test
    public void anUnsupportedPlatformSaysSoBeforeExtractingAnything() {
        properties.setProperty("os.arch", "riscv64");
        platform.loadable = null;
        try {
            loader().load();
            fail("riscv64 has no library in this jar");
        } catch (UnsatisfiedLinkError e) {
            assertTrue(e.getMessage(), e.getMessage().startsWith("unsupported platform: Linux riscv64"));
            assertTrue(e.getMessage(), e.getMessage().contains("libVellamoorJIOx64.so (Linux x86-64)"));
        }
        assertTrue("nothing tried: " + platform.calls, platform.calls.isEmpty());
        assertFalse("nothing extracted", cache.exists());
        assertEquals(0, shared.list().length);
    }

    @Test
    public void thePropertyComesFirstThenTheLibraryPath() {
        String path = new File(temp.getRoot(), "custom.so").getAbsolutePath();
        properties.setProperty(NativeLibraryLoader.PATH_PROPERTY, path);
        platform.loadable.add(path);
        platform.loadable.add("VellamoorJIOx64");
        loader().load();
        assertEquals("[load " + path + "]", platform.calls.toString());

        platform.calls.clear();
        platform.loadable.remove(path);
        String where = loader().load();
        assertEquals("[load " + path + ", loadLibrary VellamoorJIOx64]", platform.calls.toString());
        assertTrue(where, where.startsWith("System.loadLibrary"));
    }

    @Test
    public void extractsIntoTheUsersCacheUnderItsHashAndReusesAnIdenticalCopy() throws Exception {
        platform.loadable = null;
        loader().load();
        File copy = cachedCopy();
        assertEquals(copy.getAbsolutePath(), platform.lastLoad());
        assertArrayEquals(SO, Files.readAllBytes(copy.toPath()));
        assertEquals("rwx------", PosixFilePermissions.toString(Files.getPosixFilePermissions(copy.getParentFile().toPath())));

        assertTrue(copy.setLastModified(0));
        loader().load();
        assertEquals("an identical copy is not written again", 0, copy.lastModified());
        assertEquals("nothing is left beside it", 1, copy.getParentFile().list().length);

        Files.write(copy.toPath(), new byte[] {0});
        loader().load();
        assertArrayEquals("a damaged copy is replaced", SO, Files.readAllBytes(copy.toPath()));
    }

    @Test
    public void aCacheFolderOthersCouldWriteIsRefusedForAFreshPrivateOne() throws Exception {
        String[] plants = {"writable by its group", "writable by everyone", "a symbolic link", "another user's"};
        for (String plant : plants) {
            setUp();
            platform.loadable = null;
            File folder = cachedCopy().getParentFile();
            assertTrue(folder.getParentFile().mkdirs());
            Path planted = temp.newFolder().toPath();
            switch (plant) {
                case "writable by its group":
                    Files.createDirectory(folder.toPath(), PosixFilePermissions.asFileAttribute(
                        PosixFilePermissions.fromString("rwx------")));
                    Files.setPosixFilePermissions(folder.toPath(), PosixFilePermissions.fromString("rwxrwx---"));
                    break;
                case "writable by everyone":
                    Files.createDirectory(folder.toPath());
                    Files.setPosixFilePermissions(folder.toPath(), PosixFilePermissions.fromString("rwxrwxrwx"));
                    break;
                case "a symbolic link":
                    Files.createSymbolicLink(folder.toPath(), planted);
                    break;
                default:
                    Assume.assumeTrue("giving a folder away needs root", "root".equals(System.getProperty("user.name")));
                    Files.createDirectory(folder.toPath());
                    UserPrincipal nobody = folder.toPath().getFileSystem().getUserPrincipalLookupService()
                        .lookupPrincipalByName("nobody");
                    Files.setOwner(folder.toPath(), nobody);
            }
            String where = loader().load();
            File loaded = new File(platform.lastLoad());
            assertEquals(plant, shared.getAbsoluteFile(), loaded.getParentFile().getParentFile());
            assertTrue(plant + ": " + where, where.contains(loaded.getPath()));
            assertEquals(plant, "rwx------",
                PosixFilePermissions.toString(Files.getPosixFilePermissions(loaded.getParentFile().toPath())));
            assertEquals(plant + ": nothing was put into the planted folder", 0, planted.toFile().list().length);
        }
    }

    @Test
    public void aFolderTheUserNamesIsCheckedAndUsedAlone() throws Exception {
        File chosen = temp.newFolder("chosen");
        properties.setProperty(PrivateFolder.FOLDER_PROPERTY, chosen.getPath());
        platform.loadable = null;
        loader().load();
        assertEquals(chosen.getAbsoluteFile(), new File(platform.lastLoad()).getParentFile());

        Files.setPosixFilePermissions(chosen.toPath(), PosixFilePermissions.fromString("rwxrwxrwx"));
        try {
            loader().load();
            fail("a folder everyone can write must not be used, nor another in its place");
        } catch (UnsatisfiedLinkError e) {
            assertTrue(e.getMessage(), e.getMessage().contains("can be written by"));
        }
        assertEquals(0, shared.list().length);
    }

    @Test
    public void aRefusedLoadGoesOnToTheNextPlaceAndASecondClassLoaderGetsItsOwnCopy() throws Exception {
        platform.loadable = null;
        platform.refusal = "failed to map segment from shared object";  // a noexec mount
        loader().load();
        assertEquals(shared.getAbsoluteFile(), new File(platform.lastLoad()).getParentFile().getParentFile());

        setUp();
        platform.loadable = null;
        platform.refusal = "Native Library " + cachedCopy() + " already loaded in another classloader";
        loader().load();
        File copy = new File(platform.lastLoad());
        assertEquals(cachedCopy().getParentFile(), copy.getParentFile());
        assertFalse(copy.equals(cachedCopy()));
        assertArrayEquals(SO, Files.readAllBytes(copy.toPath()));
    }

    @Test
    public void aSecondClassLoaderGetsACopyOfTheNamedFileNeverTheJars() throws Exception {
        byte[] ownBuild = {0x7F, 'E', 'L', 'F', 9, 9, 9};
        File named = temp.newFile("libpos.so");
        Files.write(named.toPath(), ownBuild);
        properties.setProperty(NativeLibraryLoader.PATH_PROPERTY, named.getPath());
        platform.loadable = null;
        platform.refusal = "Native Library " + named + " already loaded in another classloader";
        String where = loader().load();
        File copy = new File(platform.lastLoad());
        assertArrayEquals(where, ownBuild, Files.readAllBytes(copy.toPath()));
        assertFalse("the jar's library is not tried: " + platform.calls, platform.calls.toString().contains("loadLibrary"));
    }

    @Test
    public void aCacheFolderOthersCouldMoveAwayIsRefused() throws Exception {
        String[][] cases = {{"rwxrwxrwx", "", "refused"}, {"rwxrwxrwx", "sticky", "used"},
            {"rwxrwx---", "", "refused"}, {"rwxr-xr-x", "", "used"}};
        for (String[] c : cases) {
            setUp();
            platform.loadable = null;
            Path open = temp.newFolder().toPath();
            Files.setPosixFilePermissions(open, PosixFilePermissions.fromString(c[0]));
            if (c[1].equals("sticky")) {
                assertEquals(0, new ProcessBuilder("chmod", "+t", open.toString()).start().waitFor());
            }
            environment.put("XDG_CACHE_HOME", open.resolve("cache").toString());
            loader().load();
            boolean used = platform.lastLoad().startsWith(open.toString());
            assertEquals(c[0] + " " + c[1], c[2], used ? "used" : "refused");
        }
    }

    @Test
    public void oneErrorListsEveryPlaceTried() {
        properties.setProperty(NativeLibraryLoader.PATH_PROPERTY, "/opt/pos/vj.so");
        try {
            loader().load();
            fail("no library can load");
        } catch (UnsatisfiedLinkError e) {
            String message = e.getMessage();
            for (String part : new String[] {"libVellamoorJIOx64.so (Linux x86-64)", "amd64", "/opt/pos/vj.so",
                "not a loadable library", "no VellamoorJIOx64 in java.library.path", "/opt/pos/lib",
                "user cache folder", "a new private folder in " + shared}) {
                assertTrue("message names '" + part + "':\n" + message, message.contains(part));
            }
        }
    }

    @Test
    public void theJarCarriesEveryLibrary() {
        for (NativePlatform carried : NativePlatform.CARRIED) {
            String resource = NativeLibraryLoader.RESOURCE_FOLDER + carried.fileName;
            assertNotNull(resource + " is packed in the jar", IOPort.class.getResource(resource));
        }
    }

    @Test
    public void thisLinuxJvmLoadsTheJarsOwnLibrary() {
        assertEquals("the natives answer once the jar's library is loaded", 1, IOPort.nativeResetDevice(0));
    }
}
