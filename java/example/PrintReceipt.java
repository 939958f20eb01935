import java.nio.charset.StandardCharsets;
import net.vellamoor.printerio.JobSentException;
import net.vellamoor.printerio.Printer;
import net.vellamoor.printerio.PrinterException;
import net.vellamoor.printerio.PrinterNotReadyException;
import net.vellamoor.printerio.PrinterStatus;

/**
 * Prints a receipt on one printer and reports its state: the example to copy.
 *
 * <pre>
 * java -cp vellamoor-printerio.jar:. PrintReceipt serial 3      (COM3 at 9600 bps)
 * java -cp vellamoor-printerio.jar:. PrintReceipt network 192.168.1.100
 * java -cp vellamoor-printerio.jar:. PrintReceipt usb
 * </pre>
 *
 * Exits 0 when the receipt was sent (whether or not the printer then told
 * its state: never print it again), 2 for bad arguments, 4 when the printer
 * could not be opened or did not take the whole receipt, 5 when it reported
 * that it cannot print (nothing was sent).
 */
public final class PrintReceipt {
    private static final int TIMEOUT_MS = 2000;

    public static void main(String[] args) {
        if (args.length == 0) {
            System.err.println("usage: PrintReceipt serial <COM number> | network <a.b.c.d> | usb");
            System.exit(2);
        }
        byte[] receipt = receipt();
        try (Printer printer = open(args)) {
            PrinterStatus status = printer.print(receipt);
            System.out.println("printed " + receipt.length + " bytes; printer " + status);
        } catch (JobSentException e) {
            System.out.println("printed " + e.bytesSent() + " bytes; printer state unknown: " + e.getMessage());
        } catch (PrinterNotReadyException e) {
            System.err.println(e.getMessage());
            System.exit(5);
        } catch (PrinterException e) {
            System.err.println(e.getMessage());
            System.exit(4);
        }
    }

    private static Printer open(String[] args) throws PrinterException {
        switch (args[0]) {
            case "serial":
                return Printer.openSerial(Integer.parseInt(args[1]), 9600, TIMEOUT_MS);
            case "network":
                return Printer.openNetwork(args[1], TIMEOUT_MS);
            default:
                return Printer.openUsb(TIMEOUT_MS);
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
}
