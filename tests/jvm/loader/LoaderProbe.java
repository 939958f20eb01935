import java.io.File;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Paths;
import net.vellamoor.printerio.IOPort;
import net.vellamoor.printerio.Printer;
import net.vellamoor.printerio.PrinterException;

/**
 * Loads the library the way an application does and prints, one per line,
 * every copy of it that this process has mapped. With "second-loader" a
 * second class loader loads IOPort too; with "printer" it opens printers
 * through Printer twice and prints what each attempt threw. Then it prints
 * "loaded" and waits for a line on its input before it exits, so that the
 * copies can be looked at while they are loaded.
 */
public final class LoaderProbe {
    public static void main(String[] args) throws Exception {
        String mode = args.length > 0 ? args[0] : "";
        if (mode.equals("printer")) {
            for (int attempt = 1; attempt <= 2; attempt++) {
                try {
                    Printer.openNetwork("127.0.0.1", 100).close();
                    System.out.println("opened");
                } catch (PrinterException e) {
                    System.out.println("PrinterException " + e.getMessage().split("\n")[0] + " cause "
                        + e.getCause().getClass().getName());
                }
            }
        } else {
            loadAndList(mode);
        }
        System.out.println("loaded");
        System.out.flush();
        new java.io.BufferedReader(new java.io.InputStreamReader(System.in)).readLine();
    }

    private static void loadAndList(String mode) throws Exception {
        if (IOPort.nativeResetDevice(0) != 1) {
            throw new AssertionError("the natives do not answer");
        }
        if (mode.equals("second-loader")) {
            URL[] path = {new File(System.getProperty("probe.classes")).toURI().toURL()};
            try (URLClassLoader other = new URLClassLoader(path, ClassLoader.getSystemClassLoader().getParent())) {
                Method reset = other.loadClass("net.vellamoor.printerio.IOPort").getMethod("nativeResetDevice",
                    int.class);
                if ((Integer) reset.invoke(null, 0) != 1) {
                    throw new AssertionError("the second class loader's natives do not answer");
                }
            }
        }
        Files.lines(Paths.get("/proc/self/maps")).map(line -> line.replaceAll("^.* ", ""))
            .filter(file -> file.contains("VellamoorJIO")).distinct().forEach(System.out::println);
    }
}
