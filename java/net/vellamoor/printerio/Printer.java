package net.vellamoor.printerio;

import java.io.OutputStream;
import java.time.Duration;
import java.util.concurrent.CompletableFuture;

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
 * no limit; negative ones are refused, and a {@link Duration} under a
 * millisecond counts as one.
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
    private final NativePorts natives;
    private final PortTables.Port port;
    private final String name;
    private final StatusWatches watches = new StatusWatches();
    private volatile boolean closed;

    private Printer(NativePorts natives, PortTables.Port port, String name) {
        this.natives = natives;
        this.port = port;
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
        return openSerial(comPort, bitsPerSecond, OpenParameters.milliseconds(timeout));
    }

    /** {@link #openNetwork(String, int)} with the time-out as a {@link Duration} (zero: no limit). */
    public static Printer openNetwork(String address, Duration timeout) throws PrinterException {
        return openNetwork(address, OpenParameters.milliseconds(timeout));
    }

    /** {@link #openUsb(int)} with the time-out as a {@link Duration} (zero: no limit). */
    public static Printer openUsb(Duration timeout) throws PrinterException {
        return openUsb(OpenParameters.milliseconds(timeout));
    }

    static Printer openSerial(PortTables tables, int comPort, int bitsPerSecond, int timeoutMs)
            throws PrinterException {
        byte[] parameters = OpenParameters.serial(comPort, bitsPerSecond);
        return open(tables, IOPort.SERIAL, parameters, timeoutMs, "serial printer on COM" + comPort);
    }

    static Printer openNetwork(PortTables tables, String address, int timeoutMs) throws PrinterException {
        byte[] parameters = OpenParameters.network(address);
        return open(tables, IOPort.NETWORK, parameters, timeoutMs, "network printer at " + address);
    }

    static Printer openUsb(PortTables tables, int timeoutMs) throws PrinterException {
        return open(tables, IOPort.USB, new byte[0], timeoutMs, "USB printer");
    }

    private static Printer open(PortTables tables, int portType, byte[] parameters, int timeoutMs, String name)
            throws PrinterException {
        OpenParameters.checkTimeout(timeoutMs);
        tables.natives.ensureLoaded();
        return new Printer(tables.natives, tables.open(portType, parameters, timeoutMs, name), name);
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
     * it (paper near end is reported there, not refused). Once the job has
     * gone whole, a failure to read the state after it is a
     * {@link JobSentException}: the job must not be sent again. A job the
     * printer took only in part is an {@link IncompleteWriteException}.
     */
    public PrinterStatus print(byte[] job) throws PrinterException {
        return PrintPolicy.print(this, job);
    }

    /**
     * Prints a job and waits for the printer to confirm it: returns
     * {@link PrintOutcome.Result#PRINTED} only when the printer's processing
     * reached the end of the job within {@code timeout}, counted from the
     * call; see {@link PrintOutcome} for the other two ends. Never throws for
     * a printer fault: every fault is an outcome. Blocks until the outcome is
     * known, which is within the time-out once the job is sent (the status
     * query before it is bounded by the open's time-out, and serial and USB
     * sends wait until the driver has taken the job, as {@link #write} does);
     * other calls on this printer wait meanwhile. Needs a printer that
     * answers the process ID response request; one that does not never
     * confirms.
     *
     * @throws IllegalArgumentException when the time-out is not positive
     *     (here 0 is not "no limit": a confirmation needs a bound)
     */
    public PrintOutcome printConfirmed(byte[] job, Duration timeout) {
        return ConfirmedPrint.print(this, job, timeout);
    }

    /** {@link #printConfirmed} on a thread of the library's own; the job is copied first. */
    public CompletableFuture<PrintOutcome> printConfirmedAsync(byte[] job, Duration timeout) {
        return ConfirmedPrint.printAsync(this, job, timeout);
    }

    /**
     * This printer as an {@link OutputStream}: each write is a
     * {@link #write(byte[], int, int)}, its failures an {@link java.io.IOException}
     * whose cause is the {@link PrinterException}. Closing the stream leaves
     * the printer open.
     */
    public OutputStream outputStream() {
        return new PrinterOutputStream(this);
    }

    /**
     * Asks the printer for its state every {@code interval} and tells
     * {@code listener} of each change; see {@link StatusWatch}. The watch
     * ends when it is closed or when this printer closes.
     *
     * @throws IllegalStateException when this printer is closed
     */
    public StatusWatch watch(Duration interval, StatusListener listener) {
        if (interval.isNegative() || interval.isZero()) {
            throw new IllegalArgumentException("interval " + interval + " is not positive");
        }
        StatusWatch watch = new StatusWatch(this, interval.toNanos(), listener, watches);
        if (!watches.start(watch)) {
            throw new IllegalStateException("cannot watch the " + name + ": it is closed");
        }
        return watch;
    }

    /**
     * Like {@link #watch}, but the printer tells of each change itself
     * (automatic status back, switched on by the watch), so the listener
     * hears of it as it happens; an interval without word from the printer
     * brings one query, and a printer that does not push is asked every
     * interval.
     *
     * @throws IllegalStateException when this printer is closed
     */
    public StatusWatch watchPushed(Duration interval, StatusListener listener) {
        if (interval.isNegative() || interval.isZero()) {
            throw new IllegalArgumentException("interval " + interval + " is not positive");
        }
        StatusWatch watch = new StatusWatch(this, interval.toNanos(), listener, watches, true);
        if (!watches.start(watch)) {
            throw new IllegalStateException("cannot watch the " + name + ": it is closed");
        }
        return watch;
    }

    /** Whether this printer is open: true from its open until its close. */
    public boolean isOpen() {
        return !closed;
    }

    /**
     * Writes {@code length} bytes of {@code data} from {@code offset}. A
     * printer that takes only part of a job is offered the rest; one that
     * takes nothing more, or a close from another thread between two parts,
     * ends the write with an {@link IncompleteWriteException} that tells how
     * far it got.
     */
    public void write(byte[] data, int offset, int length) throws PrinterException {
        if (offset < 0 || length < 0 || offset > data.length - length) {
            throw new IndexOutOfBoundsException("offset " + offset + ", length " + length + ", array " + data.length);
        }
        enter("write to");
        try {
            ChunkedWrite.send(natives, port, this, data, offset, length);
        } finally {
            PortTables.leave(port);
        }
    }

    /** What the printer sent on its data path; see {@link DataPath#nativeRead}. */
    int readDataPath(byte[] buffer, int timeoutMs) throws PrinterException {
        enter("read from");
        try {
            return natives.readData(port.handle(), buffer, timeoutMs);
        } finally {
            PortTables.leave(port);
        }
    }

    /** Asks the printer for its state. */
    public PrinterStatus status() throws PrinterException {
        enter("ask");
        try {
            byte[] array = new byte[PrinterStatus.ARRAY_LENGTH];
            if (natives.status(port.handle(), array) != 1) {
                throw new PrinterException("the " + name + " did not answer the status query");
            }
            return PrinterStatus.fromArray(array);
        } finally {
            PortTables.leave(port);
        }
    }

    /**
     * Closes the port and ends its status watches; later calls fail, a second
     * close does nothing. Returns at once: the port is released as soon as
     * no call on a printer of its transport is in flight (this printer's own,
     * stuck on a printer that stopped reading, say), on a thread of its own.
     * Opening the same port again meanwhile takes it back.
     */
    @Override
    public void close() {
        // Marked first, so that a call after any close() returned fails, the
        // close of a thread that lost the race to another included.
        closed = true;
        if (!watches.closeAll()) {
            return;
        }
        PortTables.close(port);
    }

    @Override
    public String toString() {
        return name;
    }

    /** The watches running on this printer. */
    int watchCount() {
        return watches.size();
    }

    /** The turn that calls on this printer take; a confirmed job holds it throughout. */
    java.util.concurrent.locks.ReentrantLock turn() {
        return port.turn;
    }

    // Every call, an empty write included, fails once the printer is closed.
    private void enter(String action) throws PrinterException {
        PortTables.enter(port, action, name);
        if (closed) {
            PortTables.leave(port);
            throw new PrinterException("cannot " + action + " the " + name + ": it is closed");
        }
    }
}
