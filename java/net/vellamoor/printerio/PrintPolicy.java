package net.vellamoor.printerio;

/**
 * {@link Printer#print}: a job goes only to a printer that says it can
 * print, and what happens once it has gone never reads as "not sent".
 */
final class PrintPolicy {
    private PrintPolicy() {}

    static PrinterStatus print(Printer printer, byte[] job) throws PrinterException {
        PrinterStatus before = printer.status();
        if (!before.isReady()) {
            throw new PrinterNotReadyException("the " + printer + " cannot print: " + before, before);
        }
        printer.write(job);
        try {
            return printer.status();
        } catch (PrinterException e) {
            throw new JobSentException("the " + printer + " took the whole job (" + job.length
                    + " bytes), but its state after it is unknown: " + e.getMessage(), job.length, e);
        }
    }
}
