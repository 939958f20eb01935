package net.vellamoor.printerio;

import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Random;

/**
 * The fault campaign's till (run by scripts/campaign.py against virtual
 * printers): prints numbered jobs as confirmed jobs round the given
 * printers, each job with a fault drawn at random and written into it as
 * the virtual printer's fault line, and prints one line per attempt:
 * transport, job, attempt, fault, result, bytes sent, milliseconds. A job
 * not printed (nothing sent) is tried again, up to five times; a job sent
 * but not confirmed is never sent again, as a till that leaves the check to
 * its operator. With --bench it instead times confirmation on a printer
 * that prints at once.
 */
public final class FaultCampaign {
    private static final String[] FAULTS = {"none", "none", "none", "none", "paper-out", "cover", "off", "mute",
        "close"};
    private static final int LINES = 8;
    private static final int ATTEMPTS = 5;

    public static void main(String[] args) throws Exception {
        Map<String, String> options = new LinkedHashMap<>();
        for (int i = 0; i + 1 < args.length; i += 2) {
            options.put(args[i], args[i + 1]);
        }
        int openMs = Integer.parseInt(options.getOrDefault("--open-timeout-ms", "1000"));
        List<String> names = new ArrayList<>();
        List<Printer> printers = new ArrayList<>();
        for (String target : options.get("--printers").split(",")) {
            names.add(target);
            printers.add(open(target, openMs));
        }
        try {
            if (options.containsKey("--bench")) {
                bench(printers.get(0), Integer.parseInt(options.get("--bench")));
            } else {
                campaign(names, printers, Integer.parseInt(options.get("--jobs")),
                    new Random(Long.parseLong(options.getOrDefault("--seed", "1"))),
                    Duration.ofMillis(Integer.parseInt(options.getOrDefault("--timeout-ms", "2000"))));
            }
        } finally {
            for (Printer printer : printers) {
                printer.close();
            }
        }
    }

    private static Printer open(String target, int openMs) throws PrinterException {
        String[] parts = target.split(":");
        switch (parts[0]) {
        case "serial":
            return Printer.openSerial(Integer.parseInt(parts[1]), 115200, openMs);
        case "usb":
            return Printer.openUsb(openMs);
        default:
            return Printer.openNetwork(parts[1], openMs);
        }
    }

    static byte[] job(String id, String faultLine, int faultAt) {
        StringBuilder text = new StringBuilder("\u001b@JOB " + id + " BEGIN\n");
        for (int line = 1; line <= LINES; line++) {
            if (line == faultAt && faultLine != null) {
                text.append(faultLine).append('\n');
            }
            text.append("JOB ").append(id).append(" line ").append(line).append(" of ").append(LINES)
                .append(" ....................\n");
        }
        return text.append("JOB ").append(id).append(" END\n\u001dV\u0000").toString()
            .getBytes(StandardCharsets.US_ASCII);
    }

    private static String faultLine(String fault, Random random) {
        switch (fault) {
        case "paper-out":
        case "cover":
            return "#fault " + fault + " " + (50 + random.nextInt(3000));
        case "off":
            return "#fault off " + (100 + random.nextInt(2500));
        case "none":
            return null;
        default:
            return "#fault " + fault;
        }
    }

    private static void campaign(List<String> names, List<Printer> printers, int jobs, Random random,
            Duration timeout) throws InterruptedException {
        for (int n = 0; n < jobs; n++) {
            int which = n % printers.size();
            String transport = names.get(which).split(":")[0];
            String fault = FAULTS[random.nextInt(FAULTS.length - (transport.equals("network") ? 0 : 1))];
            String id = String.format("%s-%05d", transport, n);
            byte[] faulty = job(id, faultLine(fault, random), 1 + random.nextInt(LINES));
            for (int attempt = 1; attempt <= ATTEMPTS; attempt++) {
                long started = System.nanoTime();
                PrintOutcome outcome = printers.get(which).printConfirmed(attempt == 1 ? faulty : job(id, null, 0),
                    timeout);
                long tookMs = (System.nanoTime() - started) / 1_000_000;
                System.out.println(String.join("\t", transport, id, Integer.toString(attempt),
                    attempt == 1 ? fault : "none", outcome.result().toString(),
                    Integer.toString(outcome.bytesSent()), Long.toString(tookMs), outcome.reason()));
                if (outcome.result() != PrintOutcome.Result.NOT_PRINTED) {
                    break;
                }
                Thread.sleep(300);
            }
        }
    }

    // Rounds of unconfirmed and confirmed jobs side by side, and for each
    // confirmed job the time from the end of its send to the answer.
    private static void bench(Printer printer, int jobs) throws Exception {
        byte[] job = job("bench", null, 0);
        byte[] buffer = new byte[64];
        long plainNs = 0;
        long printNs = 0;
        long confirmedNs = 0;
        long[] answerNs = new long[jobs];
        for (int n = 0; n < jobs; n++) {
            long started = System.nanoTime();
            printer.write(job);
            plainNs += System.nanoTime() - started;
            started = System.nanoTime();
            printer.print(job);
            printNs += System.nanoTime() - started;
            started = System.nanoTime();
            if (!printer.printConfirmed(job, Duration.ofSeconds(5)).printed()) {
                throw new IllegalStateException("bench job " + n + " not confirmed");
            }
            confirmedNs += System.nanoTime() - started;
            byte[] id = {'9', '9', '9', (byte) ('0' + n % 10)};
            printer.write(ConfirmedPrint.processIdRequest(id));
            long sent = System.nanoTime();
            PrinterAnswers answers = new PrinterAnswers();
            int got;
            do {
                got = printer.readDataPath(buffer, 1000);
            } while (got > 0 && !answers.take(buffer, got, id));
            answerNs[n] = System.nanoTime() - sent;
        }
        java.util.Arrays.sort(answerNs);
        System.out.printf("bench\tjobs %d of %d bytes%n", jobs, job.length);
        System.out.printf("bench\twrite (the system took the bytes)\t%.1f jobs/s%n", jobs / (plainNs / 1e9));
        System.out.printf("bench\tprint (state before and after)\t%.1f jobs/s%n", jobs / (printNs / 1e9));
        System.out.printf("bench\tprintConfirmed\t%.1f jobs/s%n", jobs / (confirmedNs / 1e9));
        System.out.printf("bench\tend of send to confirmation\tmedian %.2f ms, 90th %.2f ms%n",
            answerNs[jobs / 2] / 1e6, answerNs[jobs * 9 / 10] / 1e6);
    }
}
