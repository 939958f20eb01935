package net.vellamoor.printerio.receipt;

/**
 * Input a receipt cannot print: raised while the receipt is built or
 * encoded, always before a byte is sent. The message names the element
 * ("element 4 (barcode EAN-13 4006381333932)") and the reason.
 */
public class ReceiptException extends IllegalArgumentException {
    private static final long serialVersionUID = 1L;

    private final String element;
    private final String reason;

    public ReceiptException(String element, String reason) {
        super(element + ": " + reason);
        this.element = element;
        this.reason = reason;
    }

    /** The element at fault, as the message names it. */
    public String element() {
        return element;
    }

    /** Why it cannot print. */
    public String reason() {
        return reason;
    }
}
