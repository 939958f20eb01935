package net.vellamoor.printerio;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNotNull;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.InputStream;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Properties;

import org.junit.Before;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

public class NativeLibraryLoaderTest {
    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    /** Records every attempt; loads succeed only for the names and paths allowed. */
    private static final class FakePlatform implements NativeLibraryLoader.Platform {
        final List<String> calls = new ArrayList<>();
        final List<String> loadable = new ArrayList<>();
        final Map<String, byte[]> resources = new HashMap<>();

        @Override
        public void load(String path) {
            calls.add("load " + path);
            if (!loadable.contains(path)) {
                throw new UnsatisfiedLinkError(path + ": not a loadable library");
            }
        }

        @Override
        public void loadLibrary(String name) {
            calls.add("loadLibrary " + name);
            if (!loadable.contains(name)) {
                throw new UnsatisfiedLinkError("no " + name + " in java.library.path");
            }
        }

        @Override
        public InputStream resource(String name) {
            byte[] bytes = resources.get(name);
            return bytes == null ? null : new ByteArrayInputStream(bytes);
        }
    }

    private FakePlatform platform;
    private Properties properties;

    @Before
    public void setUp() throws Exception {
        platform = new FakePlatform();
        properties = new Properties();
        properties.setProperty("sun.arch.data.model", "64");
        properties.setProperty("os.arch", "amd64");
        properties.setProperty("java.io.tmpdir", temp.getRoot().getPath());
        properties.setProperty("java.library.path", "C:\\pos\\lib");
    }

    private NativeLibraryLoader loader() {
        return new NativeLibraryLoader(platform, properties);
    }

    /** Packs a library into the fake jar; returns where the loader extracts it, a file it can load. */
    private File packInJar(String fileName, byte[] image) {
        platform.resources.put(NativeLibraryLoader.RESOURCE_FOLDER + fileName, image);
        File extracted = new File(temp.getRoot(), "vellamoor-printerio-" + NativeLibraryLoader.VERSION
                + File.separator + fileName);
        platform.loadable.add(extracted.getAbsolutePath());
        return extracted;
    }

    @Test
    public void namesTheLibraryByTheJvmsDataModel() {
        String[][] cases = {{"64", "amd64", "VellamoorJIOx64"}, {"32", "x86", "VellamoorJIOx32"},
            {"", "amd64", "VellamoorJIOx64"}, {"", "x86", "VellamoorJIOx32"}, {"unknown", "aarch64", "VellamoorJIOx64"}};
        for (String[] c : cases) {
            properties.setProperty("sun.arch.data.model", c[0]);
            properties.setProperty("os.arch", c[1]);
            assertEquals("data model '" + c[0] + "', os.arch " + c[1], c[2], loader().libraryName());
        }
    }

    @Test
    public void takesTheFileForTheOperatingSystemFromTheJar() {
        String[][] cases = {{"Windows 10", "VellamoorJIOx64.dll"}, {"Linux", "libVellamoorJIOx64.so"}};
        for (String[] c : cases) {
            properties.setProperty("os.name", c[0]);
            File expected = packInJar(c[1], new byte[] {1});
            loader().load();
            assertEquals(c[0], "load " + expected.getAbsolutePath(), platform.calls.get(platform.calls.size() - 1));
        }
    }

    @Test
    public void thePropertyComesFirst() {
        String path = new File(temp.getRoot(), "custom.dll").getAbsolutePath();
        properties.setProperty(NativeLibraryLoader.PATH_PROPERTY, path);
        platform.loadable.add(path);
        platform.loadable.add("VellamoorJIOx64");
        loader().load();
        assertEquals(1, platform.calls.size());
        assertEquals("load " + path, platform.calls.get(0));
    }

    @Test
    public void theLibraryPathComesNext() {
        properties.setProperty(NativeLibraryLoader.PATH_PROPERTY, "missing.dll");
        platform.loadable.add("VellamoorJIOx64");
        String where = loader().load();
        assertEquals("loadLibrary VellamoorJIOx64", platform.calls.get(1));
        assertTrue(where, where.startsWith("System.loadLibrary"));
    }

    @Test
    public void theJarsCopyIsExtractedIntoAVersionedFolderLast() throws Exception {
        byte[] dll = {'M', 'Z', 1, 2, 3};
        File expected = packInJar("VellamoorJIOx64.dll", dll);
        loader().load();
        assertEquals("load " + expected.getAbsolutePath(), platform.calls.get(platform.calls.size() - 1));
        assertArrayEquals(dll, Files.readAllBytes(expected.toPath()));
        loader().load();
        File[] left = expected.getParentFile().listFiles();
        assertNotNull(left);
        assertEquals("a second load leaves nothing beside the file", 1, left.length);
    }

    @Test
    public void aCopyAlreadyInPlaceIsReusedOnlyWhenItIsTheSameFile() throws Exception {
        byte[] dll = {'M', 'Z', 4, 5, 6};
        File target = packInJar("VellamoorJIOx64.dll", dll);
        assertTrue(target.getParentFile().mkdirs());

        // Another JVM's copy, which Windows would not let this one replace while it is loaded.
        Files.write(target.toPath(), dll);
        assertTrue(target.setLastModified(0));
        loader().load();
        assertEquals("an identical copy is not written again", 0, target.lastModified());

        Files.write(target.toPath(), new byte[] {'M', 'Z', 0});
        assertTrue(target.setLastModified(0));
        loader().load();
        assertArrayEquals("a stale copy is replaced", dll, Files.readAllBytes(target.toPath()));
    }

    @Test
    public void oneErrorListsEveryPlaceTried() {
        properties.setProperty(NativeLibraryLoader.PATH_PROPERTY, "C:\\pos\\vj.dll");
        try {
            loader().load();
            fail("no library can load");
        } catch (UnsatisfiedLinkError e) {
            String message = e.getMessage();
            for (String part : new String[] {"VellamoorJIOx64.dll", "64-bit JVM", "amd64", "C:\\pos\\vj.dll",
                "not a loadable library", "no VellamoorJIOx64 in java.library.path", "C:\\pos\\lib",
                "/net/vellamoor/printerio/native/VellamoorJIOx64.dll", "not in this jar"}) {
                assertTrue("message names '" + part + "':\n" + message, message.contains(part));
            }
        }
    }

    @Test
    public void theJarCarriesEveryLibrary() {
        for (String file : new String[] {"VellamoorJIOx32.dll", "VellamoorJIOx64.dll", "libVellamoorJIOx64.so"}) {
            String resource = NativeLibraryLoader.RESOURCE_FOLDER + file;
            assertNotNull(resource + " is packed in the jar", IOPort.class.getResource(resource));
        }
    }

    @Test
    public void thisLinuxJvmLoadsTheJarsOwnLibrary() {
        assertEquals("the natives answer once the jar's library is loaded", 1, IOPort.nativeResetDevice(0));
    }
}
