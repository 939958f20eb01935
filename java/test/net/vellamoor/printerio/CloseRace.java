package net.vellamoor.printerio;

import java.util.concurrent.Semaphore;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicReference;

/**
 * Races the close of one printer against a call on another printer of the
 * same transport, over the fake natives, round after round: each round
 * opens A, starts a status query on B on a second thread and, once that
 * query is inside the natives, closes A. The close comes a little later
 * each round, so that over the rounds it lands on every point of the call's
 * way out. A close that is not carried out within the settle time, with no
 * call in flight, is lost. Run as a program for long runs:
 * {@code java ... net.vellamoor.printerio.CloseRace ROUNDS [SETTLE_MS]}.
 */
final class CloseRace {
    private static volatile int sink;

    private CloseRace() {}

    /** The closes lost in this many rounds. */
    static long lostCloses(int rounds, long settleMillis) throws Exception {
        FakeNativePorts natives = new FakeNativePorts();
        natives.statusFlags = new int[0];
        PortTables tables = new PortTables(natives);
        natives.willOpen(IOPort.SERIAL, "B");
        Printer other = Printer.openSerial(tables, 2, 9600, 500);
        Semaphore go = new Semaphore(0);
        Semaphore done = new Semaphore(0);
        AtomicReference<Throwable> failure = new AtomicReference<>();
        Thread caller = new Thread(() -> {
            try {
                while (true) {
                    go.acquire();
                    other.status();
                    done.release();
                }
            } catch (InterruptedException e) {
                // the run is over
            } catch (Throwable e) {
                failure.set(e);
                done.release();
            }
        }, "close race caller");
        caller.setDaemon(true);
        caller.start();
        long lost = 0;
        try {
            for (int round = 0; round < rounds; round++) {
                natives.willOpen(IOPort.SERIAL, "A");
                Printer closing = Printer.openSerial(tables, 1, 9600, 500);
                int queries = natives.statusQueries.get();
                go.release();
                while (natives.statusQueries.get() == queries && failure.get() == null) {
                    Thread.onSpinWait();
                }
                spin(round % 1024);
                closing.close();
                done.acquire();
                if (failure.get() != null) {
                    throw new IllegalStateException("round " + round, failure.get());
                }
                if (!settled(natives, settleMillis)) {
                    lost++;
                    other.status();  // a later call may pick the close up; else nothing can
                    if (!settled(natives, settleMillis)) {
                        throw new IllegalStateException("round " + round + ": a close is lost for good");
                    }
                }
            }
        } finally {
            caller.interrupt();
        }
        if (natives.overlaps.get() != 0) {
            throw new IllegalStateException(natives.overlaps.get() + " calls overlapped in the table");
        }
        return lost;
    }

    private static void spin(int steps) {
        for (int i = 0; i < steps; i++) {
            sink += i;
        }
    }

    // Only B's entry is left once A's close has been carried out.
    private static boolean settled(FakeNativePorts natives, long settleMillis) {
        long deadline = System.nanoTime() + TimeUnit.MILLISECONDS.toNanos(settleMillis);
        while (natives.entries(IOPort.SERIAL) != 1) {
            if (System.nanoTime() > deadline) {
                return false;
            }
            Thread.yield();
        }
        return true;
    }

    public static void main(String[] args) throws Exception {
        int rounds = Integer.parseInt(args[0]);
        long settleMillis = args.length > 1 ? Long.parseLong(args[1]) : 10_000;
        long started = System.nanoTime();
        long lost = lostCloses(rounds, settleMillis);
        System.out.printf("%d rounds, %d closes lost, %.1f s%n", rounds, lost, (System.nanoTime() - started) / 1e9);
        System.exit(lost == 0 ? 0 : 1);
    }
}
