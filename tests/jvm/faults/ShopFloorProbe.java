import java.io.File;
import net.vellamoor.printerio.IOPort;

/**
 * One shop-floor fault, tried through IOPort in a process of its own (a
 * network namespace, another account); prints what the caller saw.
 *   no-route            open 10.255.255.1: handle, milliseconds, descriptors left over
 *   reopen N            open and close COM N twice: both handles
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
        byte[] port = {Byte.parseByte(args[1]), 1};
        StringBuilder handles = new StringBuilder();
        for (int i = 0; i < 2; i++) {
            int handle = IOPort.nativeOpenPort(IOPort.SERIAL, port, 500);
            handles.append(handle).append(' ');
            IOPort.nativeClosePort(handle);
        }
        System.out.println(handles.toString().trim());
    }

    private static int descriptors() {
        String[] open = new File("/proc/self/fd").list();
        return open == null ? -1 : open.length;
    }
}
