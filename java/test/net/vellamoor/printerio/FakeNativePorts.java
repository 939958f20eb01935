package net.vellamoor.printerio;

import java.io.ByteArrayOutputStream;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * The library's port tables as the natives keep them: entries by position,
 * a network printer as two entries, closing moves later entries down. Each
 * port is a named device that records what was written to it and answers a
 * status query with its own name's first byte, so a test sees which device
 * a handle reached. Calls that overlap on one table are counted, and each
 * call lingers a little to give overlaps a chance.
 */
final class FakeNativePorts implements NativePorts {
    final AtomicInteger overlaps = new AtomicInteger();
    final Map<String, ByteArrayOutputStream> received = new HashMap<>();
    /**
     * Devices the calling thread's next opens reach, by port type; an open
     * with none waiting fails. Kept per thread so that what a thread
     * announced and the open it then makes are one step: two threads
     * opening at once can never swap devices.
     */
    private final ThreadLocal<Map<Integer, List<String>>> nextDevices =
        ThreadLocal.withInitial(HashMap::new);
    /** Bytes a write takes at most; 0 takes nothing. */
    volatile int writeLimit = Integer.MAX_VALUE;
    /** The parameters of the last open. */
    volatile byte[] lastParameters;
    /** What a status query reports: these positions of the status array set, or no answer at all. */
    volatile int[] statusFlags = {IOPort.STATUS_OFFLINE};
    volatile boolean silent;

    private final List<List<String>> tables = new ArrayList<>();
    private final AtomicInteger[] inCall = {new AtomicInteger(), new AtomicInteger(), new AtomicInteger(),
        new AtomicInteger()};

    FakeNativePorts() {
        for (int type = 0; type <= 3; type++) {
            tables.add(new ArrayList<String>());
        }
    }

    void willOpen(int portType, String device) {
        nextDevices.get().computeIfAbsent(portType, type -> new ArrayList<>()).add(device);
    }

    synchronized byte[] receivedBy(String device) {
        ByteArrayOutputStream bytes = received.get(device);
        return bytes == null ? new byte[0] : bytes.toByteArray();
    }

    private void enter(int portType) {
        if (inCall[portType].incrementAndGet() > 1) {
            overlaps.incrementAndGet();
        }
        Thread.yield();
    }

    private void leave(int portType) {
        inCall[portType].decrementAndGet();
    }

    /** The device a handle names, or null; index 0 names the last entry. */
    private String deviceAt(int handle) {
        List<String> table = tables.get((handle >> 8) & 0xFF);
        int index = handle & 0xFF;
        if (table.isEmpty() || index > table.size()) {
            return null;
        }
        return table.get((index == 0 ? table.size() : index) - 1);
    }

    @Override
    public int open(int portType, byte[] parameters, int timeoutMs) {
        enter(portType);
        lastParameters = parameters.clone();
        try {
            List<String> waiting = nextDevices.get().get(portType);
            if (waiting == null || waiting.isEmpty()) {
                return 0;
            }
            String device = waiting.remove(0);
            List<String> table = tables.get(portType);
            table.add(device);
            int index = table.size();
            if (portType == IOPort.NETWORK) {
                table.add(device + " status");
            }
            return portType * 256 + index;
        } finally {
            leave(portType);
        }
    }

    @Override
    public int write(int handle, byte[] data, int from, int to, int[] written) {
        int portType = (handle >> 8) & 0xFF;
        enter(portType);
        try {
            String device = deviceAt(handle);
            int count = Math.min(to - from, writeLimit);
            if (device == null || count <= 0) {
                written[0] = 0;
                return 0;
            }
            synchronized (this) {
                ByteArrayOutputStream bytes = received.get(device);
                if (bytes == null) {
                    bytes = new ByteArrayOutputStream();
                    received.put(device, bytes);
                }
                bytes.write(data, 0, count);
            }
            written[0] = count;
            return 1;
        } finally {
            leave(portType);
        }
    }

    @Override
    public int status(int handle, byte[] status) {
        int portType = (handle >> 8) & 0xFF;
        enter(portType);
        try {
            String device = deviceAt(handle);
            if (device == null || silent) {
                return 0;
            }
            for (int position : statusFlags) {
                status[position] = 1;
            }
            status[8] = 1;
            status[9] = (byte) device.charAt(0);
            return 1;
        } finally {
            leave(portType);
        }
    }

    @Override
    public int close(int handle) {
        int portType = (handle >> 8) & 0xFF;
        enter(portType);
        try {
            List<String> table = tables.get(portType);
            int index = handle & 0xFF;
            if (deviceAt(handle) != null) {
                int position = (index == 0 ? table.size() : index) - 1;
                if (portType == IOPort.NETWORK) {
                    table.remove(position + 1);
                }
                table.remove(position);
            }
            return 1;
        } finally {
            leave(portType);
        }
    }
}
