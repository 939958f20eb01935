import java.nio.charset.StandardCharsets;
import net.vellamoor.printerio.IOPort;

/**
 * Prints a receipt on one printer and reports its state: the example to copy.
 *
 * <pre>
 * java -cp vellamoor-printerio.jar:. PrintReceipt serial 3      (COM3 at 9600 bps)
 * java -cp vellamoor-printerio.jar:. PrintReceipt network 192.168.1.100
 * java -cp vellamoor-printerio.jar:. PrintReceipt usb
 * </pre>
 */
public final class PrintReceipt {
    private static final int TIMEOUT_MS = 2000;

    public static void main(String[] args) {
        if (args.length == 0) {
            System.err.println("usage: PrintReceipt serial <COM number> | network <a.b.c.d> | usb");
            System.exit(2);
        }
        int handle = open(args);
        if (handle == 0) {
            System.err.println("the printer did not open");
            System.exit(4);
        }
        try {
            byte[] receipt = receipt();
            int[] written = new int[1];
            if (IOPort.nativeWritePort(handle, receipt, 0, receipt.length, written) != 1 || written[0] != receipt.length) {
                System.err.println("the printer took " + written[0] + " of " + receipt.length + " bytes");
                System.exit(5);
            }
            byte[] status = new byte[137];
            if (IOPort.nativeGetParsedStatus(handle, status) != 1) {
                System.err.println("the printer did not answer the status query");
                System.exit(6);
            }
            System.out.println("printed " + written[0] + " bytes; printer " + describe(status));
        } finally {
            IOPort.nativeClosePort(handle);
        }
    }

    private static int open(String[] args) {
        switch (args[0]) {
            case "serial":
                return IOPort.nativeOpenPort(IOPort.SERIAL, new byte[] {Byte.parseByte(args[1]), 1}, TIMEOUT_MS);
            case "network":
                String[] parts = args[1].split("\\.");
                byte[] address = new byte[4];
                for (int i = 0; i < 4; i++) {
                    address[i] = (byte) Integer.parseInt(parts[i]);
                }
                return IOPort.nativeOpenPort(IOPort.NETWORK, address, TIMEOUT_MS);
            default:
                return IOPort.nativeOpenPort(IOPort.USB, new byte[0], TIMEOUT_MS);
        }
    }

    private static byte[] receipt() {
        String text = "\u001b@"                      // initialise
                + "\u001ba\u0001CORNER CAFE\n"      // centred
                + "\u001ba\u0000"
                + "1 x flat white        3.20\n"
                + "1 x croissant         2.10\n"
                + "TOTAL                 5.30\n\n\n"
                + "\u001dV\u0000";                  // cut
        return text.getBytes(StandardCharsets.ISO_8859_1);
    }

    /** The five flags at positions 0, 1, 2, 5 and 6 in words. */
    private static String describe(byte[] s) {
        StringBuilder words = new StringBuilder(s[1] == 0 ? "online" : "offline");
        if (s[0] != 0) words.append(", cover open");
        if (s[2] != 0) words.append(", auto-cutter error");
        if (s[5] != 0) words.append(", paper end");
        if (s[6] != 0) words.append(", paper near end");
        if (s[5] == 0 && s[6] == 0) words.append(", paper present");
        return words.toString();
    }
}
