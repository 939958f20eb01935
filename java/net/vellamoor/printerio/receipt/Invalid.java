package net.vellamoor.printerio.receipt;

/** A reason an element cannot print, before it is known which element it was. */
final class Invalid extends RuntimeException {
    private static final long serialVersionUID = 1L;

    Invalid(String reason) {
        super(reason, null, false, false);
    }

    ReceiptException named(String element) {
        return new ReceiptException(element, getMessage());
    }
}
