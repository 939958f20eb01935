package net.vellamoor.printerio.receipt;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.Map;
import java.util.Properties;
import javax.imageio.ImageIO;

/**
 * Writes the jobs that the receipt proof draws on the virtual printer and
 * reads back, in one JVM: for every built-in profile every symbology with
 * data that fits 58 mm paper, a QR and a PDF417 code
 * ({@code codes-PROFILE.bin}); for every language its sample encoded for
 * the profile it suits ({@code language-XX.bin}), with the profile's name
 * and the text printed ({@code language-XX.txt}: the profile, then the
 * lines, UTF-8); the codes for each profile file named after the folder
 * ({@code codes-FILE.bin}, FILE without {@code .properties}); the Polish
 * sample for a printer with PC437 alone, its Polish letters drawn as
 * pictures ({@code language-pl-pictured.bin}); and the sample logo as
 * {@code logo.png}, the picture the README's program reads.
 */
public final class ProofJobs {
    private ProofJobs() {
    }

    static Receipt codes() {
        Receipt.Builder b = Receipt.builder().align(Align.CENTER);
        Barcode[] barcodes = {Barcode.upcA("03600029145"), Barcode.upcE("0425261"), Barcode.ean13("400638133393"),
            Barcode.ean8("9638507"), Barcode.code39("VJ-39"), Barcode.itf("12345678"), Barcode.codabar("A40156B"),
            Barcode.code93("Code93"), Barcode.code128("VJ 0012345678")};
        for (Barcode barcode : barcodes) {
            b.barcode(barcode.height(60)).feed(1);
        }
        return b.qr("https://example.com/r/2026-0001 Grüße €").feed(1).pdf417("PDF417 receipt 2026-0001")
                .feed(3).cut().build();
    }

    public static void main(String[] args) throws IOException {
        Path out = Paths.get(args[0]);
        Files.createDirectories(out);
        for (String name : Profile.builtInNames()) {
            Profile profile = Profile.builtIn(name);
            Files.write(out.resolve("codes-" + name + ".bin"), codes().encode(profile));
        }
        for (int i = 1; i < args.length; i++) {
            Path file = Paths.get(args[i]);
            String name = file.getFileName().toString().replaceFirst("\\.properties$", "");
            Files.write(out.resolve("codes-" + name + ".bin"), codes().encode(Profile.load(file)));
        }
        Properties onlyPc437 = new Properties();
        onlyPc437.setProperty("extends", "generic-80mm");
        onlyPc437.setProperty("code.pages", "0:IBM437");
        Files.write(out.resolve("language-pl-pictured.bin"), ComposeDemo.language(ComposeDemo.LANGUAGES.get("pl"))
                .encode(Profile.of("only PC437", onlyPc437), Unmappable.IMAGE));
        ImageIO.write(ComposeDemo.logo(), "png", out.resolve("logo.png").toFile());
        for (Map.Entry<String, String[]> language : ComposeDemo.LANGUAGES.entrySet()) {
            String[] sample = language.getValue();
            Files.write(out.resolve("language-" + language.getKey() + ".bin"),
                    ComposeDemo.language(sample).encode(Profile.builtIn(sample[0])));
            // The sample's lines, then its closing line: the title and 12.50 apart.
            String text = String.join("\n", Arrays.asList(sample)) + "\n" + sample[1] + " 12.50\n";
            Files.write(out.resolve("language-" + language.getKey() + ".txt"), text.getBytes(StandardCharsets.UTF_8));
        }
    }
}
