package net.vellamoor.printerio;

import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.locks.ReentrantLock;

/**
 * The Java side's mirror of the library's three port tables: which printers
 * are open, in which order, and one lock per table. The library takes no
 * locks, so every native call that touches a table is made holding that
 * table's lock; calls on different transports never wait for each other.
 * Handles are positions, so a printer's handle is worked out from its place
 * in the mirror each time it is used.
 */
final class PortTables {
    static final PortTables NATIVE = new PortTables(NativePorts.IOPORT);

    /** One table: its lock and its printers in the order the library appended their entries. */
    static final class Table {
        final ReentrantLock lock = new ReentrantLock();
        final List<Printer> printers = new ArrayList<>();
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
