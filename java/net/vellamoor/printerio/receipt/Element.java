package net.vellamoor.printerio.receipt;

/** One part of a receipt: describes itself for messages and writes itself through an {@link Encoder}. */
interface Element {
    void encode(Encoder encoder);

    String describe();
}
