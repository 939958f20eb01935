package net.vellamoor.printerio;

import java.util.Objects;
import java.util.concurrent.TimeUnit;

/**
 * Asks one printer for its state at a fixed rate and tells a listener of
 * every change, "not answering" and back included, in the spirit of status
 * events. Runs on a daemon thread of its own and ends with {@link #close()}
 * or when the printer closes. The first answer is always reported, with
 * {@code previous} null; a printer that has not answered yet is not
 * reported, so the listener never sees two nulls.
 *
 * <p>Queries start every interval from the watch's start, whatever the
 * query and the listener take; a tick that finds the previous one still
 * running is skipped, not queued.
 *
 * <p>A pushed watch ({@link Printer#watchPushed}) switches the printer's
 * automatic status back on and reports each block the printer sends as it
 * comes, without asking; only an interval without any block brings a
 * query, which tells a printer that stopped answering. A printer that sends
 * no block within the first interval (or second, whichever is longer) does
 * not push, and the watch asks it every interval instead, as it does once a
 * read of the data path fails (a USB printer unplugged, say). The states a
 * pushed watch reports carry their flags in the automatic status back
 * layout, so a pushed state and a queried one compare alike.
 */
public final class StatusWatch implements AutoCloseable {
    private final Printer printer;
    private final StatusListener listener;
    private final long intervalNanos;
    private final Thread thread;
    private final StatusWatches registry;
    private final boolean pushed;
    private volatile boolean stopped;
    // Touched only by the watch's thread: the state last reported, and
    // whether queried states are turned into the status back layout (once
    // the printer has pushed, so that they compare alike with its blocks).
    private PrinterStatus last;
    private boolean statusBackLayout;

    StatusWatch(Printer printer, long intervalNanos, StatusListener listener, StatusWatches registry) {
        this(printer, intervalNanos, listener, registry, false);
    }

    StatusWatch(Printer printer, long intervalNanos, StatusListener listener, StatusWatches registry,
            boolean pushed) {
        this.pushed = pushed;
        this.printer = printer;
        this.listener = Objects.requireNonNull(listener, "listener");
        this.intervalNanos = intervalNanos;
        this.registry = registry;
        this.thread = new Thread(this::run, "status watch of the " + printer);
        this.thread.setDaemon(true);
    }

    void start() {
        thread.start();
    }

    /** Whether the watch still asks the printer. */
    public boolean isActive() {
        return !stopped && thread.isAlive();
    }

    /**
     * Stops the watch and returns at once, without waiting for the watch's
     * thread: a query in progress ends within the printer's time-out, and a
     * call to the listener that is under way, or that the thread is just
     * starting, may still run once.
     */
    @Override
    public void close() {
        stopped = true;
        thread.interrupt();
        registry.remove(this);
    }

    /**
     * When the tick after {@code now} starts, for ticks every
     * {@code interval} from {@code start}: the next one still ahead, so a
     * tick that ran long skips the ones it overlapped.
     */
    static long nextTick(long start, long interval, long now) {
        long elapsed = now - start;
        return start + (elapsed / interval + 1) * interval;
    }

    private void run() {
        if (!pushed || !runPushed()) {
            runPolled();
        }
    }

    // GS a 15: status back on drawer, online/offline, error and paper sensor changes.
    private static final byte[] STATUS_BACK_ON = {0x1d, 'a', 0x0f};
    private static final byte[] NO_ID = new byte[4];
    private static final long FIRST_BLOCK_WAIT_NANOS = TimeUnit.SECONDS.toNanos(2);

    // The watch reads in short slices and rests between them without the
    // printer's turn, so that the printer's other calls (a job, a write) wait
    // at most one slice for it, whatever the interval.
    private static final int PUSH_READ_MS = 10;
    private static final long PUSH_REST_MS = 20;

    /**
     * Reports what the printer pushes; false when it does not push, or its
     * data path fails, and the watch should ask instead.
     */
    private boolean runPushed() {
        PrinterAnswers answers = new PrinterAnswers();
        byte[] buffer = new byte[64];
        try {
            printer.write(STATUS_BACK_ON);
        } catch (PrinterException e) {
            return false;
        }
        long firstBlockBy = System.nanoTime() + Math.max(intervalNanos, FIRST_BLOCK_WAIT_NANOS);
        long quietSince = System.nanoTime();
        boolean pushedOnce = false;
        while (!stopped && printer.isOpen()) {
            int got;
            try {
                got = printer.readDataPath(buffer, PUSH_READ_MS);
            } catch (PrinterException e) {
                got = DataPath.PORT_GONE;
            }
            long now = System.nanoTime();
            if (stopped || !printer.isOpen()) {
                return true;
            }
            if (got < 0) {
                // A read that failed ends no watch: asking tells whether the printer still answers.
                statusBackLayout = pushedOnce;
                return false;
            }
            if (!pushedOnce && got == 0 && now - firstBlockBy > 0) {
                return false;
            }
            PrinterStatus current;
            if (got > 0) {
                answers.take(buffer, got, NO_ID);
                pushedOnce |= answers.lastStatus() != null;
                current = answers.lastStatus();
                quietSince = now;
            } else if (pushedOnce && now - quietSince >= intervalNanos) {
                // A quiet interval: ask, so that a printer switched off shows as not answering.
                current = inStatusBackLayout(query());
                quietSince = now;
            } else {
                try {
                    TimeUnit.MILLISECONDS.sleep(PUSH_REST_MS);
                } catch (InterruptedException e) {
                    return true;
                }
                continue;
            }
            if (current != null || pushedOnce) {
                report(current);
            }
        }
        return true;
    }

    // The flags of a queried state as a status back block reports them.
    static PrinterStatus inStatusBackLayout(PrinterStatus status) {
        if (status == null) {
            return null;
        }
        byte[] block = {(byte) (0x10 | (status.drawerSignal() ? 0x04 : 0) | (status.offline() ? 0x08 : 0)
            | (status.coverOpen() ? 0x20 : 0)), (byte) (status.autoCutterError() ? 0x08 : 0),
            (byte) ((status.paperNearEnd() ? 0x03 : 0) | (status.paperEnd() ? 0x0C : 0)), 0};
        return PrinterAnswers.statusBack(block);
    }

    private void runPolled() {
        long start = System.nanoTime();
        while (!stopped && printer.isOpen()) {
            PrinterStatus current = statusBackLayout ? inStatusBackLayout(query()) : query();
            if (stopped || !printer.isOpen()) {
                return;
            }
            report(current);
            try {
                long now = System.nanoTime();
                TimeUnit.NANOSECONDS.sleep(nextTick(start, intervalNanos, now) - now);
            } catch (InterruptedException e) {
                return;
            }
        }
    }

    private PrinterStatus query() {
        try {
            return printer.status();
        } catch (PrinterException e) {
            return null;
        }
    }

    // Before the first answer is as when not answering: no report.
    private void report(PrinterStatus current) {
        if (!Objects.equals(last, current)) {
            tell(last, current);
        }
        last = current;
    }

    // A listener that throws, even an Error, does not end the watch; what it
    // threw goes to the thread's handler, as an uncaught one would.
    private void tell(PrinterStatus previous, PrinterStatus current) {
        try {
            listener.statusChanged(previous, current);
        } catch (RuntimeException | Error e) {
            thread.getUncaughtExceptionHandler().uncaughtException(thread, e);
        }
    }
}
