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
 * a handle reached. Overlaps the library cannot take are counted: a close
 * beside any other call on its table, two opens or an open and a close on
 * one table, two calls on one port. Calls on different ports of one table
 * may overlap, as the library allows. Each call lingers a little to give
 * overlaps a chance. A device is opened by one entry at a time, as a serial
 * port in exclusive mode is: opening it again before its close fails.
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
    /** What the printer sends on its data path, one block a read; when none is left the read fails. */
    final java.util.concurrent.BlockingQueue<byte[]> pushes = new java.util.concurrent.LinkedBlockingQueue<>();
    /** Status queries answered before the printer falls silent; negative: no limit. */
    final AtomicInteger answersLeft = new AtomicInteger(-1);
    /** Status queries made, answered or not. */
    final AtomicInteger statusQueries = new AtomicInteger();
    /** The thread that made the last close. */
    volatile String lastCloseThread;
    /** Run inside each write after its bytes were taken: another thread's doing, mid-call. */
    volatile Runnable duringWrite;
    /** While set, writes wait for it: a printer that stopped taking data. */
    volatile java.util.concurrent.CountDownLatch writeGate;

    private final List<List<String>> tables = new ArrayList<>();
    private final int[] calls = new int[4];    // writes and status queries in flight, by port type
    private final int[] opens = new int[4];
    private final int[] closes = new int[4];
    private final java.util.Set<Integer> busyHandles = new java.util.HashSet<>();

    private enum Kind { OPEN, CALL, CLOSE }

    FakeNativePorts() {
        for (int type = 0; type <= 3; type++) {
            tables.add(new ArrayList<String>());
        }
    }

    void willOpen(int portType, String device) {
        nextDevices.get().computeIfAbsent(portType, type -> new ArrayList<>()).add(device);
    }

    int entries(int portType) {
        List<String> table = tables.get(portType);
        synchronized (table) {
            return table.size();
        }
    }

    synchronized byte[] receivedBy(String device) {
        ByteArrayOutputStream bytes = received.get(device);
        return bytes == null ? new byte[0] : bytes.toByteArray();
    }

    private synchronized void enter(Kind kind, int portType, int handle) {
        boolean clash = closes[portType] > 0
            || (kind == Kind.CLOSE && (calls[portType] > 0 || opens[portType] > 0))
            || (kind == Kind.OPEN && opens[portType] > 0)
            || (kind == Kind.CALL && !busyHandles.add(handle));
        if (clash) {
            overlaps.incrementAndGet();
        }
        count(kind)[portType]++;
        Thread.yield();
    }

    private synchronized void leave(Kind kind, int portType, int handle) {
        count(kind)[portType]--;
        if (kind == Kind.CALL) {
            busyHandles.remove(handle);
        }
    }

    private int[] count(Kind kind) {
        return kind == Kind.OPEN ? opens : kind == Kind.CALL ? calls : closes;
    }

    /** The device a handle names, or null; index 0 names the last entry. */
    private String deviceAt(int handle) {
        List<String> table = tables.get((handle >> 8) & 0xFF);
        int index = handle & 0xFF;
        synchronized (table) {
            if (table.isEmpty() || index > table.size()) {
                return null;
            }
            return table.get((index == 0 ? table.size() : index) - 1);
        }
    }

    @Override
    public int open(int portType, byte[] parameters, int timeoutMs) {
        enter(Kind.OPEN, portType, 0);
        lastParameters = parameters.clone();
        try {
            List<String> waiting = nextDevices.get().get(portType);
            if (waiting == null || waiting.isEmpty()) {
                return 0;
            }
            String device = waiting.remove(0);
            List<String> table = tables.get(portType);
            synchronized (table) {
                if (table.contains(device)) {
                    return 0;
                }
                table.add(device);
                int index = table.size();
                if (portType == IOPort.NETWORK) {
                    table.add(device + " status");
                }
                return portType * 256 + index;
            }
        } finally {
            leave(Kind.OPEN, portType, 0);
        }
    }

    @Override
    public int write(int handle, byte[] data, int from, int to, int[] written) {
        int portType = (handle >> 8) & 0xFF;
        enter(Kind.CALL, portType, handle);
        try {
            java.util.concurrent.CountDownLatch gate = writeGate;
            if (gate != null) {
                gate.await();
            }
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
            Runnable hook = duringWrite;
            if (hook != null) {
                hook.run();
            }
            return 1;
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            written[0] = 0;
            return 0;
        } finally {
            leave(Kind.CALL, portType, handle);
        }
    }

    @Override
    public int readData(int handle, byte[] buffer, int timeoutMs) {
        byte[] block = pushes.poll();
        if (block == null) {
            return DataPath.PORT_GONE;
        }
        System.arraycopy(block, 0, buffer, 0, block.length);
        return block.length;
    }

    @Override
    public int status(int handle, byte[] status) {
        int portType = (handle >> 8) & 0xFF;
        enter(Kind.CALL, portType, handle);
        try {
            statusQueries.incrementAndGet();
            String device = deviceAt(handle);
            if (device == null || silent || answersLeft.getAndUpdate(left -> left > 0 ? left - 1 : left) == 0) {
                return 0;
            }
            for (int position : statusFlags) {
                status[position] = 1;
            }
            status[8] = 1;
            status[9] = (byte) device.charAt(0);
            return 1;
        } finally {
            leave(Kind.CALL, portType, handle);
        }
    }

    @Override
    public int close(int handle) {
        int portType = (handle >> 8) & 0xFF;
        enter(Kind.CLOSE, portType, handle);
        lastCloseThread = Thread.currentThread().getName();
        try {
            List<String> table = tables.get(portType);
            int index = handle & 0xFF;
            synchronized (table) {
                if (deviceAt(handle) != null) {
                    int position = (index == 0 ? table.size() : index) - 1;
                    if (portType == IOPort.NETWORK) {
                        table.remove(position + 1);
                    }
                    table.remove(position);
                }
            }
            return 1;
        } finally {
            leave(Kind.CLOSE, portType, handle);
        }
    }
}
