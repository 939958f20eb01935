package net.vellamoor.printerio.receipt;

/** How grey becomes black and white dots. */
public enum Dithering {
    /** Error diffusion to four neighbours (7/16, 3/16, 5/16, 1/16): photographs. */
    FLOYD_STEINBERG,
    /** Error diffusion of 6/8 of the error to six neighbours: crisper, lighter shadows. */
    ATKINSON,
    /** An 8 x 8 Bayer matrix: a regular pattern, no error carried. */
    ORDERED,
    /** Black below the threshold, white above: logos and line art. */
    THRESHOLD
}
