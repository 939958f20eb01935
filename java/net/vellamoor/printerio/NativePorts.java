package net.vellamoor.printerio;

/**
 * The native calls the printer API makes, one method per {@link IOPort}
 * native it uses. {@link #IOPORT} delegates to {@code IOPort}; tests put a
 * fake in its place.
 */
interface NativePorts {
    /** Makes sure the natives can be called; a library that cannot load is a checked failure. */
    default void ensureLoaded() throws PrinterException {}

    int open(int portType, byte[] parameters, int timeoutMs);

    int write(int handle, byte[] data, int from, int to, int[] written);

    int status(int handle, byte[] status);

    int close(int handle);

    /** {@link DataPath#nativeRead}; a port that cannot be read reads as gone. */
    default int readData(int handle, byte[] buffer, int timeoutMs) {
        return DataPath.PORT_GONE;
    }

    NativePorts IOPORT = new NativePorts() {
        @Override
        public void ensureLoaded() throws PrinterException {
            try {
                NativeLibraryLoader.loadOnce();
            } catch (UnsatisfiedLinkError e) {
                throw new PrinterException(e.getMessage(), e);
            }
        }

        @Override
        public int open(int portType, byte[] parameters, int timeoutMs) {
            return IOPort.nativeOpenPort(portType, parameters, timeoutMs);
        }

        @Override
        public int write(int handle, byte[] data, int from, int to, int[] written) {
            return IOPort.nativeWritePort(handle, data, from, to, written);
        }

        @Override
        public int status(int handle, byte[] status) {
            return IOPort.nativeGetParsedStatus(handle, status);
        }

        @Override
        public int readData(int handle, byte[] buffer, int timeoutMs) {
            return DataPath.nativeRead(handle, buffer, timeoutMs);
        }

        @Override
        public int close(int handle) {
            return IOPort.nativeClosePort(handle);
        }
    };
}
