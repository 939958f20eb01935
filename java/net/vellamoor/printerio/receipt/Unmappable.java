package net.vellamoor.printerio.receipt;

/** What the encoder does with a character that none of the printer's pages or fonts has. */
public enum Unmappable {
    /** Prints {@code ?} in its place. */
    REPLACE,
    /** Draws the line that holds it as a picture, with a system font that has the character. */
    IMAGE,
    /** Fails the encoding, naming the element and the character. */
    REJECT
}
