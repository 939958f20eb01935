package net.vellamoor.printerio;

/** A printer call that did not do what was asked; the message says which call on which printer. */
public class PrinterException extends Exception {
    private static final long serialVersionUID = 1L;

    public PrinterException(String message) {
        super(message);
    }

    public PrinterException(String message, Throwable cause) {
        super(message, cause);
    }
}
