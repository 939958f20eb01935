package net.vellamoor.printerio;

import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.locks.ReentrantLock;
import java.util.concurrent.locks.StampedLock;

/**
 * The Java side's mirror of the library's three port tables: which printers
 * are open, in which order, and the locks that keep their handles right.
 * Handles are positions: a printer's handle counts the entries of the
 * printers before it, closes renumber the printers after the one they
 * remove, and nothing may move a position while a call uses it:
 * <ul>
 * <li>calls on printers (writes, status queries) hold {@link Table#positions}
 * shared, so calls on different printers of one transport run side by side
 * and a printer that is stuck holds up no other;</li>
 * <li>removing a printer's entries moves the later ones down, so the native
 * close runs only with {@code positions} held alone. A close that finds
 * calls in flight returns at once and leaves the printer in
 * {@link Table#closing}; the last call to leave the table closes it;</li>
 * <li>opens append at the end, which moves nothing, and take turns with
 * each other and with closes through {@link Table#changes}.</li>
 * </ul>
 * The library keeps each table's records in place while another thread
 * appends, so an open may run beside calls in flight.
 */
final class PortTables {
    static final PortTables NATIVE = new PortTables(NativePorts.IOPORT);

    /** One table: its locks and its printers in the order the library appended their entries. */
    static final class Table {
        // Held shared by every call, so it keeps no count per thread: a
        // StampedLock's shared hold is one compare-and-set each way.
        final StampedLock positions = new StampedLock();
        final ReentrantLock changes = new ReentrantLock();
        final List<Printer> printers = new CopyOnWriteArrayList<>();
        private final List<Printer> closing = new CopyOnWriteArrayList<>();
        // How many printers closing holds, counted apart because every call
        // looks on its way out: the counter sits beside the locks, while the
        // list's array is wherever its last change put it.
        private final AtomicInteger closesWaiting = new AtomicInteger();

        /** Leaves the printer for {@link #closeWaitingPrinters} to close. */
        void closeLater(Printer printer, NativePorts natives) {
            closing.add(printer);
            closesWaiting.incrementAndGet();
            closeWaitingPrinters(natives);
        }

        /**
         * Closes the printers waiting in {@link #closing} when no call is in
         * flight and no open is under way; otherwise whoever holds the table
         * calls this again when it leaves. Never waits.
         */
        void closeWaitingPrinters(NativePorts natives) {
            while (closesWaiting.get() > 0) {
                if (!changes.tryLock()) {
                    return;
                }
                try {
                    long alone = positions.tryWriteLock();
                    if (alone == 0) {
                        return;
                    }
                    try {
                        for (Printer printer : closing) {
                            natives.close(printer.handle);
                            printers.remove(printer);
                            closing.remove(printer);
                            closesWaiting.decrementAndGet();
                            renumber();
                        }
                    } finally {
                        positions.unlockWrite(alone);
                    }
                } finally {
                    changes.unlock();
                }
            }
        }

        /** The handle the library gives the next open: its entries go after all the others. */
        int nextHandle(int portType) {
            int entries = 0;
            for (Printer printer : printers) {
                entries += printer.entries;
            }
            return handle(portType, entries);
        }

        // The library moved the entries after each removed one down.
        private void renumber() {
            int entriesBefore = 0;
            for (Printer printer : printers) {
                printer.handle = handle(printer.portType, entriesBefore);
                entriesBefore += printer.entries;
            }
        }

        // A handle's index counts the entries before its printer's first one.
        private static int handle(int portType, int entriesBefore) {
            return portType * 256 + 1 + entriesBefore;
        }
    }

    final NativePorts natives;
    private final Table[] byPortType = {null, new Table(), new Table(), new Table()};

    PortTables(NativePorts natives) {
        this.natives = natives;
    }

    Table table(int portType) {
        return byPortType[portType];
    }
}
