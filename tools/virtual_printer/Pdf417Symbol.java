import com.google.zxing.BinaryBitmap;
import com.google.zxing.DecodeHintType;
import com.google.zxing.NotFoundException;
import com.google.zxing.RGBLuminanceSource;
import com.google.zxing.Result;
import com.google.zxing.WriterException;
import com.google.zxing.common.HybridBinarizer;
import com.google.zxing.pdf417.PDF417Reader;
import com.google.zxing.pdf417.encoder.PDF417;

import java.awt.image.BufferedImage;
import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.Map;
import javax.imageio.ImageIO;

/**
 * PDF417 symbols for the virtual printer, through ZXing's encoder and reader.
 *
 * <p>{@code encode COLUMNS ROWS LEVEL TRUNCATED} reads the data bytes from
 * standard input and prints the symbol's rows of modules, top row first, one
 * line of 0 and 1 each (0 for a column or row count lets ZXing choose).
 * {@code decode PNG...} prints the text of every PDF417 symbol in the pictures,
 * one a line after the picture's index (from 0) and a space.
 */
public final class Pdf417Symbol {
    public static void main(String[] args) throws IOException, WriterException {
        if (args.length == 5 && args[0].equals("encode")) {
            encode(Integer.parseInt(args[1]), Integer.parseInt(args[2]), Integer.parseInt(args[3]),
                    args[4].equals("1"));
        } else if (args.length >= 2 && args[0].equals("decode")) {
            for (int i = 1; i < args.length; i++) {
                decode(i - 1, new File(args[i]));
            }
        } else {
            System.err.println("usage: encode COLUMNS ROWS LEVEL TRUNCATED < data | decode PNG...");
            System.exit(2);
        }
    }

    private static void encode(int columns, int rows, int level, boolean truncated)
            throws IOException, WriterException {
        // ISO-8859-1 keeps every data byte as one character, so byte compaction
        // carries the printer's bytes unchanged and no ECI is added.
        String data = new String(System.in.readAllBytes(), StandardCharsets.ISO_8859_1);
        PDF417 encoder = new PDF417(truncated);
        encoder.setDimensions(columns > 0 ? columns : 30, columns > 0 ? columns : 1,
                rows > 0 ? rows : 90, rows > 0 ? rows : 3);
        encoder.generateBarcodeLogic(data, level);
        // The matrix comes bottom row first.
        byte[][] matrix = encoder.getBarcodeMatrix().getScaledMatrix(1, 1);
        StringBuilder out = new StringBuilder();
        for (int y = matrix.length - 1; y >= 0; y--) {
            for (byte module : matrix[y]) {
                out.append(module == 1 ? '1' : '0');
            }
            out.append('\n');
        }
        System.out.print(out);
    }

    private static void decode(int index, File png) throws IOException {
        BufferedImage image = ImageIO.read(png);
        int[] pixels = image.getRGB(0, 0, image.getWidth(), image.getHeight(), null, 0, image.getWidth());
        BinaryBitmap bitmap = new BinaryBitmap(new HybridBinarizer(
                new RGBLuminanceSource(image.getWidth(), image.getHeight(), pixels)));
        try {
            for (Result result : new PDF417Reader().decodeMultiple(bitmap, Map.of(DecodeHintType.TRY_HARDER, true))) {
                System.out.println(index + " " + result.getText());
            }
        } catch (NotFoundException none) {
            // No symbol found: nothing printed.
        }
    }
}
