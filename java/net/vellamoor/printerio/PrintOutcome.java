package net.vellamoor.printerio;

import java.util.Objects;
import java.util.Optional;

/**
 * How a confirmed job ended ({@link Printer#printConfirmed}). Immutable; two
 * outcomes are equal when all their parts are.
 *
 * <ul>
 * <li>{@link Result#PRINTED}: the printer's processing reached the end of
 * the job and it said so within the time-out.</li>
 * <li>{@link Result#NOT_PRINTED}: nothing was sent; the printer refused
 * (its state tells why) or could not be asked. Safe to send again.</li>
 * <li>{@link Result#SENT_NOT_CONFIRMED}: the job, or {@link #bytesSent()}
 * of it, went out, but no confirmation came; the state is the last one
 * known. The receipt may be on paper, in part or whole: look before
 * printing it again.</li>
 * </ul>
 */
public final class PrintOutcome {
    /** The three ends of a confirmed job. */
    public enum Result { PRINTED, NOT_PRINTED, SENT_NOT_CONFIRMED }

    private final Result result;
    private final PrinterStatus status;  // null: unknown
    private final int bytesSent;
    private final String reason;

    PrintOutcome(Result result, PrinterStatus status, int bytesSent, String reason) {
        this.result = result;
        this.status = status;
        this.bytesSent = bytesSent;
        this.reason = reason;
    }

    public Result result() {
        return result;
    }

    /** Whether the printer confirmed the job. */
    public boolean printed() {
        return result == Result.PRINTED;
    }

    /** The printer's state at the end, as last reported; empty when it never answered. */
    public Optional<PrinterStatus> status() {
        return Optional.ofNullable(status);
    }

    /** Bytes of the job that went out: all of it when printed, none when not printed. */
    public int bytesSent() {
        return bytesSent;
    }

    /** What happened, in words. */
    public String reason() {
        return reason;
    }

    @Override
    public boolean equals(Object other) {
        if (!(other instanceof PrintOutcome)) {
            return false;
        }
        PrintOutcome that = (PrintOutcome) other;
        return result == that.result && Objects.equals(status, that.status) && bytesSent == that.bytesSent
            && reason.equals(that.reason);
    }

    @Override
    public int hashCode() {
        return Objects.hash(result, status, bytesSent, reason);
    }

    @Override
    public String toString() {
        return result + " (" + reason + "; " + bytesSent + " bytes sent; state "
            + (status == null ? "unknown" : status.toString()) + ")";
    }
}
