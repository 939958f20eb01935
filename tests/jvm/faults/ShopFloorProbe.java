import java.io.File;
import net.vellamoor.printerio.IOPort;
import net.vellamoor.printerio.Printer;
import net.vellamoor.printerio.PrinterException;

/**
 * One shop-floor fault, tried through IOPort in a process of its own (a
 * network namespace, another account); prints what the caller saw.
 *   no-route            open 10.255.255.1: handle, milliseconds, descriptors left over
 *   reopen N            open and close COM N twice: both handles
 *   busy-reopen A B     while a 256 KiB job is stuck on COM A, close COM B and
 *                       open it again at once through Printer: "reopened" and
 *                       the milliseconds, or "failed" and the message
 */
public final class ShopFloorProbe {
    public static void main(String[] args) {
        if (args[0].equals("no-route")) {
            int before = descriptors();
            long started = System.nanoTime();
            int handle = IOPort.nativeOpenPort(IOPort.NETWORK, new byte[] {10, (byte) 255, (byte) 255, 1}, 3000);
            long ms = (System.nanoTime() - started) / 1_000_000;
            System.out.println(handle + " " + ms + " " + (descriptors() - before));
            return;
        }
        if (args[0].equals("busy-reopen")) {
            busyReopen(Integer.parseInt(args[1]), Integer.parseInt(args[2]));
            return;
        }
        byte[] port = {Byte.parseByte(args[1]), 1};
        StringBuilder handles = new StringBuilder();
        for (int i = 0; i < 2; i++) {
            int handle = IOPort.nativeOpenPort(IOPort.SERIAL, port, 500);
            handles.append(handle).append(' ');
            IOPort.nativeClosePort(handle);
        }
        System.out.println(handles.toString().trim());
    }

    private static void busyReopen(int busyPort, int tillPort) {
        try (Printer busy = Printer.openSerial(busyPort, 115200, 2000)) {
            Printer till = Printer.openSerial(tillPort, 115200, 2000);
            Thread writer = new Thread(() -> {
                try {
                    busy.write(new byte[256 * 1024]);
                } catch (PrinterException e) {
                    System.out.println("failed " + e.getMessage());
                }
            });
            writer.start();
            Thread.sleep(500);  // the busy printer has stopped reading
            till.close();
            long started = System.nanoTime();
            try (Printer again = Printer.openSerial(tillPort, 115200, 2000)) {
                again.write(new byte[] {0x1b, '@'});
                System.out.println("reopened " + (System.nanoTime() - started) / 1_000_000 + " "
                    + again.status().isReady());
            } catch (PrinterException e) {
                System.out.println("failed " + e.getMessage().replace(' ', '_'));
            }
            writer.join();
        } catch (PrinterException | InterruptedException e) {
            System.out.println("failed " + e);
        }
    }

    private static int descriptors() {
        String[] open = new File("/proc/self/fd").list();
        return open == null ? -1 : open.length;
    }
}
