package net.vellamoor.printerio.receipt;

import java.awt.BasicStroke;
import java.awt.Color;
import java.awt.GradientPaint;
import java.awt.Graphics2D;
import java.awt.RenderingHints;
import java.awt.image.BufferedImage;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * Writes the job of a sample receipt, encoded for a printer profile, to a
 * file: for trying profiles against a printer or the virtual printer.
 *
 * <pre>
 * java -cp vellamoor-printerio.jar net.vellamoor.printerio.receipt.ComposeDemo \
 *     --profile generic-80mm --sample language:de --out de.bin
 * </pre>
 *
 * Samples: {@code receipt} (a logo, a table, a barcode and a QR code),
 * {@code codes} (every barcode symbology, QR and PDF417),
 * {@code language:XX} (a receipt in one language); or {@code --text FILE}
 * (each line of a UTF-8 file), or {@code --image FILE} (a picture across the
 * paper). {@code --list} prints the profiles, the languages with the
 * profile each suits, and their text. Exits 0 on success, 2 for bad
 * arguments, 3 when the receipt cannot be encoded (the message says why).
 */
public final class ComposeDemo {
    /** Language code: {suggested profile, title, lines...}. */
    static final Map<String, String[]> LANGUAGES = new LinkedHashMap<>();

    static {
        LANGUAGES.put("de", new String[] {"generic-80mm", "Quittung", "Grüße aus München",
            "Äpfel und Öl für die Straße", "Zwölf Boxkämpfer jagen Viktor quer über den großen Sylter Deich"});
        LANGUAGES.put("fr", new String[] {"generic-80mm", "Reçu", "Crème brûlée à la façon de Noël",
            "Où est l'élève français", "Portez ce vieux whisky au juge blond qui fume"});
        LANGUAGES.put("pl", new String[] {"generic-80mm", "Paragon", "Zażółć gęślą jaźń",
            "Pchnąć w tę łódź jeża lub ośm skrzyń fig", "Łódź, Gdańsk, Poznań, Wrocław"});
        LANGUAGES.put("cs", new String[] {"generic-80mm", "Účtenka", "Příliš žluťoučký kůň úpěl ďábelské ódy",
            "Dobrý den, děkujeme za nákup", "Čeština, řeka, ňadro, ťukat"});
        LANGUAGES.put("ru", new String[] {"generic-80mm", "Кассовый чек", "Съешь же ещё этих мягких",
            "французских булок, да выпей чаю", "Спасибо за покупку"});
        LANGUAGES.put("el", new String[] {"generic-80mm", "Απόδειξη", "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία",
            "Ευχαριστούμε για την αγορά", "Καλημέρα σας"});
        LANGUAGES.put("tr", new String[] {"generic-80mm", "Fiş", "Pijamalı hasta yağız şoföre çabucak güvendi",
            "Teşekkür ederiz, iyi günler", "Işık, ağaç, üzüm, göz"});
        LANGUAGES.put("ja", new String[] {"multibyte-80mm-shift-jis", "領収書", "お買い上げありがとうございます",
            "合計金額は千二百円です", "またのご来店をお待ちしております"});
        LANGUAGES.put("zh-Hans", new String[] {"multibyte-80mm-gb18030", "收据", "谢谢惠顾，欢迎再次光临",
            "总计金额为十二元五角", "请保留此收据作为凭证"});
        LANGUAGES.put("zh-Hant", new String[] {"multibyte-80mm-big5", "收據", "謝謝惠顧，歡迎再次光臨",
            "總計金額為十二元五角", "請保留此收據作為憑證"});
        LANGUAGES.put("ko", new String[] {"multibyte-80mm-ks-x-1001", "영수증", "구매해 주셔서 감사합니다",
            "합계 금액은 만 이천 원입니다", "다음에 또 방문해 주세요"});
    }

    private ComposeDemo() {
    }

    public static void main(String[] args) {
        Map<String, String> options = new LinkedHashMap<>();
        for (int i = 0; i < args.length; i++) {
            if (args[i].equals("--list")) {
                options.put("list", "");
            } else if (args[i].startsWith("--") && i + 1 < args.length) {
                options.put(args[i].substring(2), args[++i]);
            } else {
                usage("unexpected argument " + args[i]);
            }
        }
        if (options.containsKey("list")) {
            list();
            return;
        }
        try {
            Profile profile = profile(options.getOrDefault("profile", "generic-80mm"));
            Unmappable unmappable = Unmappable.valueOf(options.getOrDefault("unmappable", "replace")
                    .toUpperCase(Locale.ROOT));
            Receipt receipt = receipt(options);
            byte[] job = receipt.encode(profile, unmappable);
            String out = options.get("out");
            if (out == null) {
                usage("no --out FILE");
            }
            Files.write(Paths.get(out), job);
            System.out.println("wrote " + job.length + " bytes for " + profile + " to " + out);
        } catch (ReceiptException e) {
            System.err.println(e.getMessage());
            System.exit(3);
        } catch (IllegalArgumentException | IOException e) {
            usage(e.getMessage());
        }
    }

    private static Profile profile(String name) throws IOException {
        return name.endsWith(".properties") ? Profile.load(Paths.get(name)) : Profile.builtIn(name);
    }

    private static Receipt receipt(Map<String, String> options) throws IOException {
        if (options.containsKey("text")) {
            Receipt.Builder b = Receipt.builder();
            for (String line : Files.readAllLines(Paths.get(options.get("text")), StandardCharsets.UTF_8)) {
                b.text(line);
            }
            return b.feed(3).cut().build();
        }
        if (options.containsKey("image")) {
            ImageOptions image = ImageOptions.DEFAULT.fullWidth().dithering(Dithering.valueOf(
                    options.getOrDefault("dither", "floyd_steinberg").toUpperCase(Locale.ROOT).replace('-', '_')));
            return Receipt.builder().image(Paths.get(options.get("image")), image).feed(3).cut().build();
        }
        String sample = options.getOrDefault("sample", "receipt");
        if (sample.equals("receipt")) {
            return sampleReceipt();
        }
        if (sample.equals("codes")) {
            return codes();
        }
        if (sample.startsWith("language:") && LANGUAGES.containsKey(sample.substring(9))) {
            return language(LANGUAGES.get(sample.substring(9)));
        }
        throw new IllegalArgumentException("no sample " + sample + "; samples: receipt, codes, language:"
                + String.join("|", LANGUAGES.keySet()));
    }

    /** The receipt the README shows: a logo, a table, a barcode and a QR code. */
    static Receipt sampleReceipt() {
        TextStyle normal = TextStyle.NORMAL;
        return Receipt.builder()
                .align(Align.CENTER)
                .image(logo(), ImageOptions.DEFAULT.dithering(Dithering.ATKINSON))
                .text("CORNER CAFE", normal.bold().size(2, 2))
                .text("12 Harbour Street, Vellamoor")
                .align(Align.LEFT)
                .rule()
                .table(Table.of(Table.Column.left(0), Table.Column.right(3), Table.Column.right(8))
                        .row("Flat white", "2", "6.40")
                        .row("Croissant aux amandes, warmed", "1", "3.10")
                        .row("Crème brûlée", "1", "4.50")
                        .row("Mineral water 0.5 l", "3", "5.40"))
                .rule()
                .style(normal.bold())
                .leftRight("TOTAL", "€19.40")
                .style(normal)
                .leftRight("Card", "€19.40")
                .feed(1)
                .align(Align.CENTER)
                .barcode(Barcode.ean13("400638133393"))
                .feed(1)
                .qr("https://example.com/r/2026-0001")
                .text("Thank you!")
                .feed(3)
                .cut()
                .build();
    }

    /** Every symbology the printer draws, then QR and PDF417. */
    static Receipt codes() {
        Receipt.Builder b = Receipt.builder().align(Align.CENTER);
        Barcode[] barcodes = {Barcode.upcA("03600029145"), Barcode.upcE("0425261"), Barcode.ean13("400638133393"),
            Barcode.ean8("9638507"), Barcode.code39("CODE-39"), Barcode.itf("12345678"),
            Barcode.codabar("A40156B"), Barcode.code93("CODE93-1"), Barcode.code128("No. 0012345678")};
        for (Barcode barcode : barcodes) {
            b.text(barcode.symbology().toString()).barcode(barcode.height(60)).feed(1);
        }
        return b.text("QR").qr("https://example.com/r/2026-0001 Grüße €")
                .text("PDF417").pdf417("PDF417 receipt 2026-0001")
                .feed(3).cut().build();
    }

    static Receipt language(String[] language) {
        Receipt.Builder b = Receipt.builder().align(Align.CENTER)
                .text(language[1], TextStyle.NORMAL.bold().size(2, 2)).align(Align.LEFT);
        for (int i = 2; i < language.length; i++) {
            b.text(language[i]);
        }
        return b.rule().leftRight(language[1], "12.50").feed(3).cut().build();
    }

    /** A cup in a ring, shaded so that dithering shows. */
    static BufferedImage logo() {
        BufferedImage image = new BufferedImage(160, 120, BufferedImage.TYPE_INT_ARGB);
        Graphics2D g = image.createGraphics();
        try {
            g.setRenderingHint(RenderingHints.KEY_ANTIALIASING, RenderingHints.VALUE_ANTIALIAS_ON);
            g.setPaint(new GradientPaint(0, 0, Color.DARK_GRAY, 160, 120, new Color(200, 200, 200)));
            g.fillOval(20, 0, 120, 120);
            g.setColor(Color.WHITE);
            g.fillRoundRect(50, 40, 50, 45, 12, 12);
            g.setStroke(new BasicStroke(7));
            g.drawArc(88, 48, 26, 26, -90, 180);
            g.setStroke(new BasicStroke(3));
            g.drawLine(62, 20, 66, 34);
            g.drawLine(76, 18, 80, 34);
        } finally {
            g.dispose();
        }
        return image;
    }

    private static void list() {
        System.out.println("profiles: " + String.join(" ", Profile.builtInNames()));
        System.out.println("samples: receipt codes " + String.join(" ", languageSamples()));
        for (Map.Entry<String, String[]> entry : LANGUAGES.entrySet()) {
            String[] l = entry.getValue();
            System.out.println(entry.getKey() + "\t" + l[0] + "\t" + String.join(" | ",
                    Arrays.asList(l).subList(1, l.length)));
        }
    }

    private static List<String> languageSamples() {
        List<String> samples = new ArrayList<>();
        for (String code : LANGUAGES.keySet()) {
            samples.add("language:" + code);
        }
        return samples;
    }

    private static void usage(String problem) {
        System.err.println(problem);
        System.err.println("usage: ComposeDemo [--profile NAME|FILE.properties] [--sample receipt|codes|language:XX]"
                + " [--text FILE] [--image FILE [--dither floyd-steinberg|atkinson|ordered|threshold]]"
                + " [--unmappable replace|image|reject] --out FILE | --list");
        System.exit(2);
    }

}
