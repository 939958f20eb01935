package net.vellamoor.printerio;

/**
 * A job that went to the printer whole, after which something failed: the
 * status query that follows it, say. The job must not be sent again;
 * {@link #bytesSent()} says how much went out and the cause says what
 * failed.
 */
public class JobSentException extends PrinterException {
    private static final long serialVersionUID = 1L;

    private final int bytesSent;

    public JobSentException(String message, int bytesSent, Throwable cause) {
        super(message, cause);
        this.bytesSent = bytesSent;
    }

    /** The bytes of the job that the printer took: all of it. */
    public int bytesSent() {
        return bytesSent;
    }
}
