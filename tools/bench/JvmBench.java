import java.io.DataInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

import jssc.SerialPort;
import net.vellamoor.printerio.Printer;

/**
 * The printer API in the real JVM beside what a Java developer would use
 * without it: java.net.Socket for a network printer, jSSC for a serial one.
 * Both sides of a row are open at once, on the same printer, and take turns
 * in slices of 20 ms, the side that goes first alternating from pair to
 * pair: on a virtual machine whose speed drifts by tens of percent within
 * seconds, only turns this short see the same machine. The ratio is the
 * median over the pairs of printer-API rate / peer rate. Prints one CSV line
 * per row: name, bytes per call, then for each side its calls and seconds
 * summed over the slices, then the ratio.
 *
 * Arguments: ADDRESS COM_PORT TTY_PATH SECONDS [ROW]. SECONDS is each side's
 * measured time per row. The network printer at ADDRESS is played here (a
 * sink on 9100, ASB answers on 4000); the serial one answers DLE EOT n on
 * the pseudo-terminal TTY_PATH, which the library knows as COM_PORT. Both
 * sides hold that terminal at once, which its exclusive mode allows only to
 * root. ROW measures only the rows whose names start with it.
 */
public final class JvmBench {
    private static final double SLICE_SECONDS = 0.02;
    private static final double WARM_UP_SECONDS = 0.5;
    private static final int BITS_PER_SECOND = 115200;
    private static final int TIMEOUT_MS = 2000;
    private static final byte[] ESC_V_0 = {0x1B, 0x76, 0x00};

    /** One side of a row, open: call() is what is timed. */
    private interface Side extends AutoCloseable {
        void call() throws Exception;
    }

    private interface Opener {
        Side open() throws Exception;
    }

    private record Row(String name, int bytes, Opener library, Opener peer) {}

    public static void main(String[] args) throws Exception {
        String address = args[0];
        int comPort = Integer.parseInt(args[1]);
        String tty = args[2];
        double seconds = Double.parseDouble(args[3]);
        startNetworkPrinter(address);

        List<Row> rows = new ArrayList<>();
        for (int size : new int[] {64, 1024, 65536}) {
            byte[] job = job(size);
            rows.add(new Row("network write " + size + " B", size,
                    () -> printerSide(Printer.openNetwork(address, TIMEOUT_MS), p -> p.write(job)),
                    () -> socketWrite(address, job)));
        }
        rows.add(new Row("network status", 0,
                () -> printerSide(Printer.openNetwork(address, TIMEOUT_MS), Printer::status),
                () -> socketStatus(address)));
        for (int size : new int[] {64, 1024, 65536}) {
            byte[] job = job(size);
            rows.add(new Row("serial write " + size + " B", size,
                    () -> printerSide(Printer.openSerial(comPort, BITS_PER_SECOND, TIMEOUT_MS), p -> p.write(job)),
                    () -> jsscWrite(tty, job)));
        }
        rows.add(new Row("serial status", 0,
                () -> printerSide(Printer.openSerial(comPort, BITS_PER_SECOND, TIMEOUT_MS), Printer::status),
                () -> jsscStatus(tty)));

        for (Row row : rows) {
            if (args.length < 5 || row.name().startsWith(args[4])) {
                measure(row, seconds);
            }
        }
        System.exit(0);
    }

    private static void measure(Row row, double seconds) throws Exception {
        int pairs = (int) Math.max(1, Math.round(seconds / SLICE_SECONDS));
        double[] ratios = new double[pairs];
        long[] calls = new long[2];
        long[] nanos = new long[2];
        try (Side library = row.library().open(); Side peer = row.peer().open()) {
            Side[] sides = {library, peer};  // 0: the printer API, 1: its peer
            for (Side side : sides) {
                run(side, WARM_UP_SECONDS);
            }
            for (int pair = 0; pair < pairs; pair++) {
                double[] rates = new double[2];
                for (int turn = 0; turn < 2; turn++) {
                    int side = (pair + turn) % 2;
                    long[] result = run(sides[side], SLICE_SECONDS);
                    calls[side] += result[0];
                    nanos[side] += result[1];
                    rates[side] = result[0] / (double) result[1];
                }
                ratios[pair] = rates[0] / rates[1];
            }
        }
        Arrays.sort(ratios);
        System.out.printf("%s,%d,%d,%.6f,%d,%.6f,%.4f%n", row.name(), row.bytes(), calls[0], nanos[0] / 1e9,
                calls[1], nanos[1] / 1e9, ratios[pairs / 2]);
    }

    /** Calls made and nanoseconds taken in a slice of about the given length. */
    private static long[] run(Side side, double seconds) throws Exception {
        long start = System.nanoTime();
        long end = start + (long) (seconds * 1e9);
        long calls = 0;
        long now;
        do {
            for (int i = 0; i < 8; i++) {
                side.call();
            }
            calls += 8;
            now = System.nanoTime();
        } while (now < end);
        return new long[] {calls, now - start};
    }

    private static byte[] job(int size) {
        byte[] job = new byte[size];
        for (int i = 0; i < size; i++) {
            job[i] = (byte) ('A' + i % 26);  // text only: no command a printer would answer
        }
        return job;
    }

    private interface PrinterCall {
        void call(Printer printer) throws Exception;
    }

    private static Side printerSide(Printer printer, PrinterCall call) {
        return new Side() {
            @Override
            public void call() throws Exception {
                call.call(printer);
            }

            @Override
            public void close() {
                printer.close();
            }
        };
    }

    private static Side socketWrite(String address, byte[] job) throws IOException {
        Socket data = new Socket(address, 9100);
        OutputStream out = data.getOutputStream();
        return new Side() {
            @Override
            public void call() throws IOException {
                out.write(job);
            }

            @Override
            public void close() throws IOException {
                data.close();
            }
        };
    }

    private static Side socketStatus(String address) throws IOException {
        Socket status = new Socket(address, 4000);
        status.setSoTimeout(TIMEOUT_MS);
        OutputStream out = status.getOutputStream();
        DataInputStream in = new DataInputStream(status.getInputStream());
        byte[] reply = new byte[3];
        return new Side() {
            @Override
            public void call() throws IOException {
                out.write(ESC_V_0);
                in.readFully(reply);
            }

            @Override
            public void close() throws IOException {
                status.close();
            }
        };
    }

    private static SerialPort openJssc(String tty) throws Exception {
        SerialPort port = new SerialPort(tty);
        port.openPort();
        port.setParams(BITS_PER_SECOND, SerialPort.DATABITS_8, SerialPort.STOPBITS_1, SerialPort.PARITY_NONE);
        return port;
    }

    private static Side jsscWrite(String tty, byte[] job) throws Exception {
        SerialPort port = openJssc(tty);
        return new Side() {
            @Override
            public void call() throws Exception {
                if (!port.writeBytes(job)) {
                    throw new IOException("jSSC write failed");
                }
            }

            @Override
            public void close() throws Exception {
                port.closePort();
            }
        };
    }

    // The library's exchange by hand: unread input dropped, then DLE EOT 1
    // to 4, each answered by one byte. jSSC's timed read polls with sleeps
    // of a millisecond, so the blocking read is the fast peer.
    private static Side jsscStatus(String tty) throws Exception {
        SerialPort port = openJssc(tty);
        return new Side() {
            @Override
            public void call() throws Exception {
                port.purgePort(SerialPort.PURGE_RXCLEAR);
                for (byte n = 1; n <= 4; n++) {
                    port.writeBytes(new byte[] {0x10, 0x04, n});
                    port.readBytes(1);
                }
            }

            @Override
            public void close() throws Exception {
                port.closePort();
            }
        };
    }

    /** A network printer as fast as loopback allows: a sink on 9100, ASB answers on 4000. */
    private static void startNetworkPrinter(String address) throws IOException {
        InetAddress host = InetAddress.getByName(address);
        serve(host, 9100, connection -> {
            InputStream in = connection.getInputStream();
            byte[] buffer = new byte[1 << 16];
            while (in.read(buffer) > 0) {
                // drained
            }
        });
        serve(host, 4000, connection -> {
            DataInputStream in = new DataInputStream(connection.getInputStream());
            OutputStream out = connection.getOutputStream();
            byte[] request = new byte[3];
            byte[] online = {0x10, 0x00, 0x00};
            while (true) {
                in.readFully(request);
                out.write(online);
            }
        });
    }

    private interface Connection {
        void serve(Socket connection) throws IOException;
    }

    private static void serve(InetAddress host, int port, Connection handler) throws IOException {
        ServerSocket listener = new ServerSocket();
        listener.setReuseAddress(true);
        listener.bind(new InetSocketAddress(host, port), 64);
        daemon(() -> {
            while (true) {
                Socket connection = listener.accept();
                connection.setTcpNoDelay(true);
                daemon(() -> {
                    try (Socket open = connection) {
                        handler.serve(open);
                    }
                });
            }
        });
    }

    private interface Task {
        void run() throws IOException;
    }

    private static void daemon(Task task) {
        Thread thread = new Thread(() -> {
            try {
                task.run();
            } catch (IOException e) {
                // the connection ended
            }
        });
        thread.setDaemon(true);
        thread.start();
    }
}
