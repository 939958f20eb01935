package net.vellamoor.printerio;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.locks.ReentrantLock;
import java.util.concurrent.locks.StampedLock;

/**
 * The Java side's mirror of the library's three port tables, and the one
 * place that knows how their locks keep every printer's handle right.
 * Handles are positions: a port's handle counts the entries of the ports
 * opened before it, and removing a port's entries moves the later ones down.
 * So, per table:
 * <ul>
 * <li>calls on ports (writes, status queries) take their port's
 * {@link Port#turn}, then hold {@link Table#positions} shared: calls on
 * different ports run side by side, and a port that is stuck holds up no
 * other;</li>
 * <li>opens hold {@code positions} shared too, since an append moves
 * nothing, and take turns with each other through {@link Table#opening};</li>
 * <li>a close only queues its port. A releaser thread of the table's own
 * waits until it can hold {@code positions} alone, which it gets as soon as
 * no call and no open is in flight, and then closes every queued port and
 * renumbers the rest. No caller ever runs another printer's close, and a
 * close never waits for a caller to come back and finish it.</li>
 * <li>an open of a port that is still queued for closing (the same
 * transport, parameters and time-out) takes the queued port back instead of
 * asking the library, whose entry still holds the device.</li>
 * </ul>
 * Shared holds are tried without waiting first, and a shared hold does not
 * queue behind a releaser that waits: it waits only while a release runs.
 */
final class PortTables {
    static final PortTables NATIVE = new PortTables(NativePorts.IOPORT);

    /** One open port: its entries in its table, its handle, and the turn its calls take. */
    static final class Port {
        final Table table;
        final int portType;
        final int entries;  // a network printer is two entries: data and status connection
        private final byte[] parameters;
        private final int timeoutMs;
        final ReentrantLock turn = new ReentrantLock();
        // The count each native write reports; calls take turns, so one serves all.
        final int[] written = new int[1];
        // Set at open, renumbered by releases while they hold the positions
        // alone, read by calls that hold them shared.
        private int handle;
        private long sharedHold;  // the stamp of the call in progress; guarded by turn

        private Port(Table table, int portType, byte[] parameters, int timeoutMs) {
            this.table = table;
            this.portType = portType;
            this.entries = portType == IOPort.NETWORK ? 2 : 1;
            this.parameters = parameters.clone();
            this.timeoutMs = timeoutMs;
        }

        /** The library's handle; valid only between {@link PortTables#enter} and {@link PortTables#leave}. */
        int handle() {
            return handle;
        }

        private boolean openedAs(byte[] otherParameters, int otherTimeoutMs) {
            return timeoutMs == otherTimeoutMs && Arrays.equals(parameters, otherParameters);
        }
    }

    /** One table: its locks, its ports in the order of their entries, and the ports waiting to close. */
    static final class Table {
        // Held shared by every call, so it keeps no count per thread: a
        // StampedLock's shared hold is one compare-and-set each way.
        private final StampedLock positions = new StampedLock();
        private final ReentrantLock opening = new ReentrantLock();
        private final NativePorts natives;
        // Changed by opens (holding opening and positions shared) and by
        // releases (holding positions alone), so each sees it whole.
        private final List<Port> ports = new ArrayList<>();
        private final List<Port> closing = new ArrayList<>();  // guarded by this
        private boolean releasing;  // a releaser thread runs; guarded by this

        private Table(NativePorts natives) {
            this.natives = natives;
        }

        /** Queues the port for the releaser, starting one when none runs. */
        void closeLater(Port port) {
            synchronized (this) {
                closing.add(port);
                if (releasing) {
                    return;
                }
                releasing = true;
            }
            Thread releaser = new Thread(this::releaseQueued, "vellamoor-printerio port releaser");
            releaser.setDaemon(true);
            releaser.start();
        }

        // Runs until the queue is empty. It waits for the positions without
        // holding anything else, so opens and calls go on while it waits.
        private void releaseQueued() {
            while (true) {
                long alone = positions.writeLock();
                try {
                    List<Port> due;
                    synchronized (this) {
                        if (closing.isEmpty()) {
                            releasing = false;
                            return;
                        }
                        due = new ArrayList<>(closing);
                        closing.clear();
                    }
                    for (Port port : due) {
                        natives.close(port.handle);
                        ports.remove(port);
                        renumber();
                    }
                } finally {
                    positions.unlockWrite(alone);
                }
            }
        }

        /** A port queued for closing that was opened with these arguments, taken off the queue; or null. */
        private synchronized Port takeBack(byte[] parameters, int timeoutMs) {
            for (Port port : closing) {
                if (port.openedAs(parameters, timeoutMs)) {
                    closing.remove(port);
                    return port;
                }
            }
            return null;
        }

        /** The handle the library gives the next open: its entries go after all the others. */
        private int nextHandle(int portType) {
            int entries = 0;
            for (Port port : ports) {
                entries += port.entries;
            }
            return handle(portType, entries);
        }

        // The library moved the entries after each removed one down.
        private void renumber() {
            int entriesBefore = 0;
            for (Port port : ports) {
                port.handle = handle(port.portType, entriesBefore);
                entriesBefore += port.entries;
            }
        }

        // A handle's index counts the entries before its port's first one.
        private static int handle(int portType, int entriesBefore) {
            return portType * 256 + 1 + entriesBefore;
        }
    }

    final NativePorts natives;
    private final Table[] byPortType;

    PortTables(NativePorts natives) {
        this.natives = natives;
        this.byPortType = new Table[] {null, new Table(natives), new Table(natives), new Table(natives)};
    }

    /**
     * Opens a port, or takes back one of the same transport, parameters and
     * time-out that is still waiting to be closed. {@code name} says which
     * printer in errors.
     */
    Port open(int portType, byte[] parameters, int timeoutMs, String name) throws PrinterException {
        Table table = byPortType[portType];
        lock(table.opening, "open", name);
        try {
            long shared = holdShared(table, "open", name);
            try {
                Port queued = table.takeBack(parameters, timeoutMs);
                return queued != null ? queued : openNew(table, portType, parameters, timeoutMs, name);
            } finally {
                table.positions.unlockRead(shared);
            }
        } finally {
            table.opening.unlock();
        }
    }

    private Port openNew(Table table, int portType, byte[] parameters, int timeoutMs, String name)
            throws PrinterException {
        int expected = table.nextHandle(portType);
        int handle = natives.open(portType, parameters, timeoutMs);
        if (handle == 0) {
            throw new PrinterException("could not open the " + name);
        }
        if (handle != expected) {
            natives.close(handle);
            throw new PrinterException("could not open the " + name + ": the library named it " + handle
                    + " where " + expected + " was due; is IOPort used directly beside Printer?");
        }
        Port port = new Port(table, portType, parameters, timeoutMs);
        port.handle = handle;
        table.ports.add(port);
        return port;
    }

    /**
     * Takes the port's turn, then holds its table's positions shared, so
     * that {@link Port#handle()} names the port until {@link #leave}. A
     * thread waiting here can be interrupted: it then throws, with its
     * interrupt status kept.
     */
    static void enter(Port port, String action, String name) throws PrinterException {
        if (!port.turn.tryLock()) {
            lock(port.turn, action, name);
        }
        try {
            port.sharedHold = holdShared(port.table, action, name);
        } catch (PrinterException e) {
            port.turn.unlock();
            throw e;
        }
    }

    static void leave(Port port) {
        port.table.positions.unlockRead(port.sharedHold);
        port.turn.unlock();
    }

    /** Queues the port's release; returns at once. */
    static void close(Port port) {
        port.table.closeLater(port);
    }

    private static long holdShared(Table table, String action, String name) throws PrinterException {
        long stamp = table.positions.tryReadLock();
        if (stamp != 0) {
            return stamp;
        }
        try {
            return table.positions.readLockInterruptibly();
        } catch (InterruptedException e) {
            throw interrupted(action, name, e);
        }
    }

    private static void lock(ReentrantLock lock, String action, String name) throws PrinterException {
        try {
            lock.lockInterruptibly();
        } catch (InterruptedException e) {
            throw interrupted(action, name, e);
        }
    }

    // The interrupt status is kept for the caller to see.
    private static PrinterException interrupted(String action, String name, InterruptedException e) {
        Thread.currentThread().interrupt();
        return new PrinterException("interrupted while waiting to " + action + " the " + name, e);
    }
}
