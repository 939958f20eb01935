package net.vellamoor.printerio.receipt;

/** Where a line, a picture or a code sits across the paper. */
public enum Align { LEFT, CENTER, RIGHT }
