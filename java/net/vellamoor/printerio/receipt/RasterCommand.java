package net.vellamoor.printerio.receipt;

/** The command a printer takes pictures with; a profile names its preferred one. */
public enum RasterCommand {
    /** {@code GS v 0}: one raster band per command. */
    GS_V_0("GS v 0"),
    /** {@code GS ( L}: each band stored as graphics (function 112), then printed (function 50). */
    GS_PAREN_L("GS ( L"),
    /** {@code ESC *} in 24-dot double density, one 24-row band per line at 24-dot line spacing. */
    ESC_STAR("ESC *");

    private final String command;

    RasterCommand(String command) {
        this.command = command;
    }

    static RasterCommand parse(String value) {
        for (RasterCommand raster : values()) {
            if (raster.command.equalsIgnoreCase(value.trim()) || raster.name().equalsIgnoreCase(value.trim())) {
                return raster;
            }
        }
        return null;
    }

    @Override
    public String toString() {
        return command;
    }
}
