package net.vellamoor.printerio;

import java.util.Objects;
import java.util.concurrent.TimeUnit;

/**
 * Asks one printer for its state at a fixed interval and tells a listener of
 * every change, "not answering" and back included, in the spirit of status
 * events. Runs on a daemon thread of its own and ends with {@link #close()}
 * or when the printer closes. The first query is always reported, with
 * {@code previous} null.
 */
public final class StatusWatch implements AutoCloseable {
    private final Printer printer;
    private final StatusListener listener;
    private final long intervalNanos;
    private final Thread thread;
    private volatile boolean stopped;

    StatusWatch(Printer printer, long intervalNanos, StatusListener listener) {
        this.printer = printer;
        this.listener = Objects.requireNonNull(listener, "listener");
        this.intervalNanos = intervalNanos;
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
    }

    private void run() {
        PrinterStatus last = null;
        boolean first = true;
        while (!stopped && printer.isOpen()) {
            PrinterStatus current = query();
            if (stopped || !printer.isOpen()) {
                return;
            }
            if (first || !Objects.equals(last, current)) {
                tell(last, current);
            }
            last = current;
            first = false;
            try {
                TimeUnit.NANOSECONDS.sleep(intervalNanos);
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

    // A listener that throws does not end the watch; its exception goes to
    // the thread's handler, as an uncaught one would.
    private void tell(PrinterStatus previous, PrinterStatus current) {
        try {
            listener.statusChanged(previous, current);
        } catch (RuntimeException e) {
            thread.getUncaughtExceptionHandler().uncaughtException(thread, e);
        }
    }
}
