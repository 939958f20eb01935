"""The native methods every build of the library exports: the six of IOPort,
which never change, and DataPath's beside them, each with the bytes of its
arguments (the stdcall decoration of the 32-bit DLL)."""

METHODS = [("IOPort", "nativeOpenPort", 20), ("IOPort", "nativeClosePort", 12), ("IOPort", "nativeWritePort", 28),
           ("IOPort", "nativeReadPort", 28), ("IOPort", "nativeResetDevice", 12),
           ("IOPort", "nativeGetParsedStatus", 16), ("DataPath", "nativeRead", 20)]


def jni_name(java_class, method):
    return "Java_net_vellamoor_printerio_%s_%s" % (java_class, method)
