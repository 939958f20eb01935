package net.vellamoor.printerio;

/** A job that was not sent because the printer said it cannot print; {@link #status()} says why. */
public class PrinterNotReadyException extends PrinterException {
    private static final long serialVersionUID = 1L;

    private final PrinterStatus status;

    public PrinterNotReadyException(String message, PrinterStatus status) {
        super(message);
        this.status = status;
    }

    /** The state the printer reported before the job would have been sent. */
    public PrinterStatus status() {
        return status;
    }
}
