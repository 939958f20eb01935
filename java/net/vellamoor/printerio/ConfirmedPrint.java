package net.vellamoor.printerio;

import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.locks.ReentrantLock;

/**
 * {@link Printer#printConfirmed}: a job counts as printed only when the
 * printer says its processing got to the end of it.
 *
 * <p>After the job goes a process ID response request (GS ( H, fn 48) with
 * an ID of its own. The printer answers it only when its processing reaches
 * it, that is once every line before it is on paper, and the answer carries
 * the ID back, so a late answer to an earlier job is never taken for this
 * one's. Before the job, automatic status back is switched on (GS a), and
 * left on: the printer then reports paper end, cover and offline on its
 * own while the job waits, on the same path as the answer, and nothing
 * needs to be asked in between (a status query would discard what the port
 * holds, the answer with it). A pushed watch on the printer needs it on too.
 *
 * <p>The printer's turn is held from the first status query to the end, so
 * no other call on the printer (a watch's query, say) comes between.
 */
final class ConfirmedPrint {
    // GS a 15: status back on drawer, online/offline, error and paper sensor changes.
    private static final byte[] STATUS_BACK_ON = {0x1d, 'a', 0x0f};
    private static final int READ_SLICE_MS = 100;
    private static final AtomicInteger lastId = new AtomicInteger();
    private static final ExecutorService WAITERS = Executors.newCachedThreadPool(task -> {
        Thread thread = new Thread(task, "printer confirmation");
        thread.setDaemon(true);
        return thread;
    });

    private final Printer printer;
    private final byte[] job;
    private final long deadline;
    private final byte[] id = nextId();
    private final PrinterAnswers answers = new PrinterAnswers();
    private final byte[] buffer = new byte[256];

    private ConfirmedPrint(Printer printer, byte[] job, Duration timeout) {
        this.printer = printer;
        this.job = job;
        this.deadline = System.nanoTime() + timeout.toNanos();
    }

    static PrintOutcome print(Printer printer, byte[] job, Duration timeout) {
        checkTimeout(timeout);
        ReentrantLock turn = printer.turn();
        try {
            turn.lockInterruptibly();
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            return notPrinted(null, "interrupted while waiting for the printer's turn");
        }
        try {
            return new ConfirmedPrint(printer, job, timeout).run();
        } finally {
            turn.unlock();
        }
    }

    static CompletableFuture<PrintOutcome> printAsync(Printer printer, byte[] job, Duration timeout) {
        checkTimeout(timeout);
        byte[] copy = job.clone();
        return CompletableFuture.supplyAsync(() -> print(printer, copy, timeout), WAITERS);
    }

    private static void checkTimeout(Duration timeout) {
        if (timeout.isNegative() || timeout.isZero()) {
            throw new IllegalArgumentException("time-out " + timeout + " is not positive: a confirmation needs a bound");
        }
    }

    private PrintOutcome run() {
        PrinterStatus before;
        try {
            before = printer.status();
        } catch (PrinterException e) {
            return notPrinted(null, "the printer did not answer before the job: " + e.getMessage());
        }
        if (!before.isReady()) {
            return notPrinted(before, "the printer cannot print");
        }
        drain();
        byte[] request = processIdRequest(id);
        byte[] whole = new byte[STATUS_BACK_ON.length + job.length + request.length];
        System.arraycopy(STATUS_BACK_ON, 0, whole, 0, STATUS_BACK_ON.length);
        System.arraycopy(job, 0, whole, STATUS_BACK_ON.length, job.length);
        System.arraycopy(request, 0, whole, STATUS_BACK_ON.length + job.length, request.length);
        try {
            printer.write(whole);
        } catch (IncompleteWriteException e) {
            int sent = Math.max(0, Math.min(job.length, e.bytesWritten() - STATUS_BACK_ON.length));
            return sent == 0 ? notPrinted(before, "the printer took none of the job: " + e.getMessage())
                : unconfirmed(sent, "the printer took only part of the job: " + e.getMessage());
        } catch (PrinterException e) {
            return notPrinted(before, "the job could not be sent: " + e.getMessage());
        }
        return awaitConfirmation();
    }

    // Takes what the printer sent before this job (status back of an
    // earlier one, say). A port found gone is left to the send: a network
    // printer's data connection that the printer closed is made again
    // there, and a serial or USB port that is gone refuses the job.
    private void drain() {
        try {
            for (int reads = 0; reads < 8 && printer.readDataPath(buffer, 0) > 0; reads++) {
                // dropped
            }
        } catch (PrinterException e) {
            // the send that follows fails the same way
        }
    }

    private PrintOutcome awaitConfirmation() {
        while (true) {
            long leftMs = TimeUnit.NANOSECONDS.toMillis(deadline - System.nanoTime());
            if (leftMs <= 0) {
                return unconfirmed(job.length, "no confirmation within the time-out");
            }
            if (Thread.currentThread().isInterrupted()) {
                return unconfirmed(job.length, "interrupted while waiting for the confirmation");
            }
            int got;
            try {
                got = printer.readDataPath(buffer, (int) Math.min(leftMs, READ_SLICE_MS));
            } catch (PrinterException e) {
                return unconfirmed(job.length, "the printer's answers could not be read: " + e.getMessage());
            }
            if (got < 0) {
                return unconfirmed(job.length, "the port is gone");
            }
            if (got > 0 && answers.take(buffer, got, id)) {
                return printed();
            }
        }
    }

    private PrintOutcome printed() {
        return new PrintOutcome(PrintOutcome.Result.PRINTED, answers.lastStatus(), job.length, "confirmed");
    }

    private PrintOutcome unconfirmed(int sent, String reason) {
        return new PrintOutcome(PrintOutcome.Result.SENT_NOT_CONFIRMED, answers.lastStatus(), sent, reason);
    }

    private static PrintOutcome notPrinted(PrinterStatus status, String reason) {
        return new PrintOutcome(PrintOutcome.Result.NOT_PRINTED, status, 0, reason);
    }

    // GS ( H pL pH fn m d1..d4: fn = m = 48, four ID bytes that printers take as ASCII digits.
    static byte[] processIdRequest(byte[] id) {
        byte[] request = {0x1d, '(', 'H', 6, 0, 48, 48, 0, 0, 0, 0};
        System.arraycopy(id, 0, request, 7, 4);
        return request;
    }

    private static byte[] nextId() {
        int n = Math.floorMod(lastId.incrementAndGet(), 10000);
        return String.format("%04d", n).getBytes(StandardCharsets.US_ASCII);
    }
}
