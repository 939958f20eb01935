package net.vellamoor.printerio;

import java.util.Locale;
import java.util.Properties;

/**
 * Which of the libraries in this jar fits a JVM, chosen by operating system
 * and processor architecture together: the data model alone would hand an
 * ARM machine an x86-64 library.
 */
final class NativePlatform {
    /** The libraries this jar carries. */
    static final NativePlatform[] CARRIED = {
        new NativePlatform("Windows", "x86", "VellamoorJIOx32.dll"),
        new NativePlatform("Windows", "x86-64", "VellamoorJIOx64.dll"),
        new NativePlatform("Linux", "x86-64", "libVellamoorJIOx64.so"),
        new NativePlatform("Linux", "aarch64", "libVellamoorJIOaarch64.so"),
    };

    final String os;
    final String arch;
    final String fileName;

    private NativePlatform(String os, String arch, String fileName) {
        this.os = os;
        this.arch = arch;
        this.fileName = fileName;
    }

    /** The library for the JVM these properties describe, or null when this jar has none for it. */
    static NativePlatform of(Properties properties) {
        String os = osFamily(properties.getProperty("os.name", ""));
        String arch = archFamily(properties.getProperty("os.arch", ""));
        for (NativePlatform carried : CARRIED) {
            if (carried.os.equals(os) && carried.arch.equals(arch)) {
                return carried;
            }
        }
        return null;
    }

    /** "unsupported platform: <os> <arch>" and what the jar carries instead. */
    static String unsupported(Properties properties) {
        StringBuilder message = new StringBuilder("unsupported platform: ")
                .append(properties.getProperty("os.name", "?")).append(' ')
                .append(properties.getProperty("os.arch", "?")).append("; this jar carries");
        String separator = " ";
        for (NativePlatform carried : CARRIED) {
            message.append(separator).append(carried);
            separator = ", ";
        }
        return message.toString();
    }

    static String osFamily(String osName) {
        if (osName.startsWith("Windows")) {
            return "Windows";
        }
        return osName.startsWith("Linux") ? "Linux" : osName;
    }

    /** The names JVMs report for one architecture, folded into one. */
    static String archFamily(String osArch) {
        switch (osArch.toLowerCase(Locale.ROOT)) {
            case "x86":
            case "i386":
            case "i486":
            case "i586":
            case "i686":
                return "x86";
            case "amd64":
            case "x86_64":
            case "x86-64":
                return "x86-64";
            case "aarch64":
            case "arm64":
                return "aarch64";
            default:
                return osArch;
        }
    }

    /** The name System.loadLibrary takes: the file name without "lib" and the extension. */
    String libraryName() {
        String name = fileName.substring(0, fileName.lastIndexOf('.'));
        return name.startsWith("lib") ? name.substring(3) : name;
    }

    @Override
    public String toString() {
        return fileName + " (" + os + " " + arch + ")";
    }
}
