package net.vellamoor.printerio;

import java.io.IOException;
import java.io.OutputStream;
import java.time.Duration;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.locks.Lock;
import java.util.concurrent.locks.ReentrantLock;

/**
 * One open receipt printer: a serial COM port, the first USB printer, or a
 * network printer (print data on TCP 9100, status on 4000). Safe to use
 * from any number of threads, and any number of printers may be open at
 * once: calls on one printer take turns, calls on different printers run
 * side by side, so a printer that stops taking data holds up no other.
 *
 * <pre>
 * try (Printer printer = Printer.openNetwork("192.168.1.100", 2000)) {
 *     printer.write(receipt);
 *     if (printer.status().paperNearEnd()) { ... }
 * }
 * </pre>
 *
 * <p>Every call blocks until the library's call returns, which is bounded by
 * the time-out given at open except for serial and USB writes, which wait
 * until the driver has taken the bytes. A thread waiting for its turn can be
 * interrupted: its call then throws a {@link PrinterException} and the
 * thread's interrupt status is kept. Time-outs are whole milliseconds, 0 for
 * no limit; negative ones are refused.
 *
 * <p>{@link #print(byte[])} sends a job only to a printer that reports it can
 * print and returns the state after the job; {@link #watch} reports every
 * change of state to a listener.
 *
 * <p>Do not call {@link IOPort} directly while printers are open through
 * this class: the library numbers ports by position, and this class can keep
 * every printer talking to its own port only when it sees every open and
 * close.
 */
public final class Printer implements AutoCloseable {
    private static final int[] SPEEDS = {IOPort.SPEED_INDEX_1_BPS, IOPort.SPEED_INDEX_2_BPS,
        IOPort.SPEED_INDEX_3_BPS, IOPort.SPEED_INDEX_4_BPS};

    private final PortTables.Table table;
    private final NativePorts natives;
    final int portType;
    final int entries;  // a network printer is two entries: data and status connection
    // The library's handle: set at open, renumbered by closes while they hold
    // the table's positions alone, read by calls that hold them shared.
    int handle;
    private final String name;
    private volatile boolean closed;  // written under watches' monitor
    final ReentrantLock turn = new ReentrantLock();  // calls on this printer take turns
    private final List<StatusWatch> watches = new ArrayList<>();  // guarded by itself
    // The count each native write reports; calls take turns, so one serves all.
    private final int[] written = new int[1];
    private long sharedHold;  // the stamp of the call in progress on the table's positions; guarded by turn

    private Printer(PortTables tables, int portType, String name) {
        this.table = tables.table(portType);
        this.natives = tables.natives;
        this.portType = portType;
        this.entries = portType == IOPort.NETWORK ? 2 : 1;
        this.name = name;
    }

    /**
     * Opens COM{@code comPort} (1 to 127) at 9600, 19200, 38400 or 115200
     * bits per second; {@code timeoutMs} bounds each read (0: no limit).
     */
    public static Printer openSerial(int comPort, int bitsPerSecond, int timeoutMs) throws PrinterException {
        return openSerial(PortTables.NATIVE, comPort, bitsPerSecond, timeoutMs);
    }

    /**
     * Opens the network printer at a dotted IPv4 address; {@code timeoutMs}
     * bounds the connection wait and every send and receive.
     */
    public static Printer openNetwork(String address, int timeoutMs) throws PrinterException {
        return openNetwork(PortTables.NATIVE, address, timeoutMs);
    }

    /** Opens the first USB printer of an accepted make; {@code timeoutMs} bounds each read. */
    public static Printer openUsb(int timeoutMs) throws PrinterException {
        return openUsb(PortTables.NATIVE, timeoutMs);
    }

    /** {@link #openSerial(int, int, int)} with the time-out as a {@link Duration} (zero: no limit). */
    public static Printer openSerial(int comPort, int bitsPerSecond, Duration timeout) throws PrinterException {
        return openSerial(comPort, bitsPerSecond, milliseconds(timeout));
    }

    /** {@link #openNetwork(String, int)} with the time-out as a {@link Duration} (zero: no limit). */
    public static Printer openNetwork(String address, Duration timeout) throws PrinterException {
        return openNetwork(address, milliseconds(timeout));
    }

    /** {@link #openUsb(int)} with the time-out as a {@link Duration} (zero: no limit). */
    public static Printer openUsb(Duration timeout) throws PrinterException {
        return openUsb(milliseconds(timeout));
    }

    static Printer openSerial(PortTables tables, int comPort, int bitsPerSecond, int timeoutMs)
            throws PrinterException {
        if (comPort < 1 || comPort > Byte.MAX_VALUE) {
            throw new IllegalArgumentException("COM port " + comPort + " is not between 1 and 127");
        }
        byte[] parameters = {(byte) comPort, (byte) speedIndex(bitsPerSecond)};
        return open(tables, IOPort.SERIAL, parameters, timeoutMs, "serial printer on COM" + comPort);
    }

    static Printer openNetwork(PortTables tables, String address, int timeoutMs) throws PrinterException {
        return open(tables, IOPort.NETWORK, octets(address), timeoutMs, "network printer at " + address);
    }

    static Printer openUsb(PortTables tables, int timeoutMs) throws PrinterException {
        return open(tables, IOPort.USB, new byte[0], timeoutMs, "USB printer");
    }

    private static Printer open(PortTables tables, int portType, byte[] parameters, int timeoutMs, String name)
            throws PrinterException {
        if (timeoutMs < 0) {
            throw new IllegalArgumentException("time-out " + timeoutMs + " ms is negative (0 means no limit)");
        }
        tables.natives.ensureLoaded();
        Printer printer = new Printer(tables, portType, name);
        printer.waitFor(printer.table.changes, "open");
        try {
            int expected = printer.table.nextHandle(portType);
            int handle = tables.natives.open(portType, parameters, timeoutMs);
            if (handle == 0) {
                throw new PrinterException("could not open the " + name);
            }
            if (handle != expected) {
                tables.natives.close(handle);
                throw new PrinterException("could not open the " + name + ": the library named it " + handle
                        + " where " + expected + " was due; is IOPort used directly beside Printer?");
            }
            printer.handle = handle;
            printer.table.printers.add(printer);
            return printer;
        } finally {
            printer.table.changes.unlock();
            printer.table.closeWaitingPrinters(tables.natives);
        }
    }

    /** Writes the whole array. */
    public void write(byte[] data) throws PrinterException {
        write(data, 0, data.length);
    }

    /**
     * Sends a job only to a printer that can print: asks for the state
     * first, refuses with a {@link PrinterNotReadyException} carrying it when
     * the printer is offline, its cover is open, its paper is out or its
     * cutter failed, else writes the whole job and returns the state after
     * it (paper near end is reported there, not refused).
     */
    public PrinterStatus print(byte[] job) throws PrinterException {
        PrinterStatus before = status();
        if (!before.isReady()) {
            throw new PrinterNotReadyException("the " + name + " cannot print: " + before, before);
        }
        write(job);
        return status();
    }

    /**
     * This printer as an {@link OutputStream}: each write is a
     * {@link #write(byte[], int, int)}, its failures an {@link IOException}
     * whose cause is the {@link PrinterException}. Closing the stream leaves
     * the printer open.
     */
    public OutputStream outputStream() {
        return new OutputStream() {
            @Override
            public void write(int b) throws IOException {
                write(new byte[] {(byte) b}, 0, 1);
            }

            @Override
            public void write(byte[] data, int offset, int length) throws IOException {
                try {
                    Printer.this.write(data, offset, length);
                } catch (PrinterException e) {
                    throw new IOException(e.getMessage(), e);
                }
            }
        };
    }

    /**
     * Asks the printer for its state every {@code interval} and tells
     * {@code listener} of each change; see {@link StatusWatch}. The watch
     * ends when it is closed or when this printer closes.
     */
    public StatusWatch watch(Duration interval, StatusListener listener) {
        if (interval.isNegative() || interval.isZero()) {
            throw new IllegalArgumentException("interval " + interval + " is not positive");
        }
        StatusWatch watch = new StatusWatch(this, interval.toNanos(), listener);
        synchronized (watches) {
            watches.add(watch);
        }
        watch.start();
        return watch;
    }

    /** Whether this printer is open: true from its open until its close. */
    public boolean isOpen() {
        return !closed;
    }

    /**
     * Writes {@code length} bytes of {@code data} from {@code offset}. A
     * printer that takes only part of a job is offered the rest; one that
     * takes nothing more ends the write with an {@link IncompleteWriteException}
     * that tells how far it got.
     */
    public void write(byte[] data, int offset, int length) throws PrinterException {
        if (offset < 0 || length < 0 || offset > data.length - length) {
            throw new IndexOutOfBoundsException("offset " + offset + ", length " + length + ", array " + data.length);
        }
        enter("write to");
        try {
            int done = 0;
            while (done < length) {
                int handle = openHandle("write to");
                // The library always sends from element 0, so a slice is copied.
                byte[] rest = offset + done == 0 ? data : Arrays.copyOfRange(data, offset + done, offset + length);
                written[0] = 0;
                if (natives.write(handle, rest, 0, length - done, written) != 1 || written[0] <= 0) {
                    throw new IncompleteWriteException("the " + name + " took " + done + " of " + length
                            + " bytes", done);
                }
                done += written[0];
            }
        } finally {
            leave();
        }
    }

    /** Asks the printer for its state. */
    public PrinterStatus status() throws PrinterException {
        enter("ask");
        try {
            byte[] array = new byte[PrinterStatus.ARRAY_LENGTH];
            if (natives.status(openHandle("ask"), array) != 1) {
                throw new PrinterException("the " + name + " did not answer the status query");
            }
            return PrinterStatus.fromArray(array);
        } finally {
            leave();
        }
    }

    /**
     * Closes the port and ends its status watches; later calls fail, a second
     * close does nothing. Returns at once: while calls on printers of this
     * transport are in flight (this printer's own, stuck on a printer that
     * stopped reading, say), the port is released when the last of them ends.
     */
    @Override
    public void close() {
        synchronized (watches) {
            for (StatusWatch watch : watches) {
                watch.close();
            }
            watches.clear();
            if (closed) {
                return;
            }
            closed = true;
        }
        table.closeLater(this, natives);
    }

    @Override
    public String toString() {
        return name;
    }

    // A call takes this printer's turn, then holds the table's positions
    // shared. Tried first without waiting: a free turn needs no wait, and the
    // shared hold does not queue behind an open or close that waits, so a
    // printer that is stuck in a call holds up no other.
    private void enter(String action) throws PrinterException {
        if (!turn.tryLock()) {
            waitFor(turn, action);
        }
        long stamp = table.positions.tryReadLock();
        if (stamp == 0) {
            try {
                stamp = table.positions.readLockInterruptibly();
            } catch (InterruptedException e) {
                turn.unlock();
                throw interrupted(action, e);
            }
        }
        sharedHold = stamp;
    }

    private void leave() {
        table.positions.unlockRead(sharedHold);
        turn.unlock();
        table.closeWaitingPrinters(natives);
    }

    // Waiting can be interrupted; the interrupt status is kept for the caller
    // to see.
    private void waitFor(Lock lock, String action) throws PrinterException {
        try {
            lock.lockInterruptibly();
        } catch (InterruptedException e) {
            throw interrupted(action, e);
        }
    }

    private PrinterException interrupted(String action, InterruptedException e) {
        Thread.currentThread().interrupt();
        return new PrinterException("interrupted while waiting to " + action + " the " + name, e);
    }

    private static int milliseconds(Duration timeout) {
        if (timeout.isNegative()) {
            throw new IllegalArgumentException("time-out " + timeout + " is negative (zero means no limit)");
        }
        if (timeout.compareTo(Duration.ofMillis(Integer.MAX_VALUE)) > 0) {
            throw new IllegalArgumentException("time-out " + timeout + " is longer than " + Integer.MAX_VALUE + " ms");
        }
        return (int) TimeUnit.NANOSECONDS.toMillis(timeout.toNanos());
    }

    private int openHandle(String action) throws PrinterException {
        if (closed) {
            throw new PrinterException("cannot " + action + " the " + name + ": it is closed");
        }
        return handle;
    }

    private static int speedIndex(int bitsPerSecond) {
        for (int i = 0; i < SPEEDS.length; i++) {
            if (SPEEDS[i] == bitsPerSecond) {
                return i + 1;
            }
        }
        throw new IllegalArgumentException(bitsPerSecond + " bps is not one of " + Arrays.toString(SPEEDS));
    }

    private static byte[] octets(String address) {
        String[] parts = address.split("\\.", -1);
        if (parts.length != 4) {
            throw new IllegalArgumentException("not a dotted IPv4 address: " + address);
        }
        byte[] octets = new byte[4];
        for (int i = 0; i < 4; i++) {
            try {
                int value = Integer.parseInt(parts[i]);
                if (value < 0 || value > 255) {
                    throw new NumberFormatException();
                }
                octets[i] = (byte) value;
            } catch (NumberFormatException e) {
                throw new IllegalArgumentException("not a dotted IPv4 address: " + address);
            }
        }
        return octets;
    }
}
