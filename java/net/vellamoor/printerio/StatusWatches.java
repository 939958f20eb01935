package net.vellamoor.printerio;

import java.util.ArrayList;
import java.util.List;

/** The watches running on one printer: each leaves when it closes, and all close with the printer. */
final class StatusWatches {
    private final List<StatusWatch> running = new ArrayList<>();  // guarded by this
    private boolean closed;  // guarded by this

    /** Adds and starts the watch; false, with nothing started, once the printer has closed. */
    synchronized boolean start(StatusWatch watch) {
        if (closed) {
            return false;
        }
        running.add(watch);
        watch.start();
        return true;
    }

    synchronized void remove(StatusWatch watch) {
        running.remove(watch);
    }

    /** Closes every watch; later {@link #start} calls refuse. False when already closed. */
    boolean closeAll() {
        List<StatusWatch> closing;
        synchronized (this) {
            if (closed) {
                return false;
            }
            closed = true;
            closing = new ArrayList<>(running);
            running.clear();
        }
        for (StatusWatch watch : closing) {
            watch.close();
        }
        return true;
    }

    synchronized int size() {
        return running.size();
    }
}
