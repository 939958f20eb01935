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
 */
public final class StatusWatch implements AutoCloseable {
    private final Printer printer;
    private final StatusListener listener;
    private final long intervalNanos;
    private final Thread thread;
    private final StatusWatches registry;
    private volatile boolean stopped;

    StatusWatch(Printer printer, long intervalNanos, StatusListener listener, StatusWatches registry) {
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
     * Stops the watch and returns at once; a query in progress ends within
     * the printer's time-out, and the listener is not called again.
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
        long start = System.nanoTime();
        PrinterStatus last = null;  // before the first answer as when not answering
        while (!stopped && printer.isOpen()) {
            PrinterStatus current = query();
            if (stopped || !printer.isOpen()) {
                return;
            }
            if (!Objects.equals(last, current)) {
                tell(last, current);
            }
            last = current;
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
