package net.vellamoor.printerio.receipt;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.function.IntUnaryOperator;

/**
 * Rows of text in columns, each cell wrapped within its column and placed
 * left, centred or right; wide (CJK) characters count two cells. Columns are
 * a fixed number of cells, as wide as their widest cell ({@link Column#fit}),
 * or share what is left ({@code 0} cells). Built by adding rows; a receipt
 * takes a copy when the table is added, so a table may be reused. Not
 * thread-safe while rows are added.
 *
 * <pre>
 * Table.of(Table.Column.left(0), Table.Column.right(4), Table.Column.right(8))
 *     .row("Flat white", "2", "6.40")
 *     .row("Croissant aux amandes", "1", "3.10")
 * </pre>
 */
public final class Table {
    private static final int FIT = -1;

    /** One column: its width in cells (0: a share of the rest) and where its cells sit. */
    public static final class Column {
        final int cells;
        final Align align;

        private Column(int cells, Align align) {
            this.cells = cells;
            this.align = align;
        }

        // A width of -1 would otherwise pass as a fitted column.
        private static Column sized(int cells, Align align) {
            if (cells < 0) {
                throw new IllegalArgumentException("column width " + cells + " is negative");
            }
            return new Column(cells, align);
        }

        public static Column left(int cells) {
            return sized(cells, Align.LEFT);
        }

        public static Column center(int cells) {
            return sized(cells, Align.CENTER);
        }

        public static Column right(int cells) {
            return sized(cells, Align.RIGHT);
        }

        /** As wide as its widest cell (as far as the line allows). */
        public static Column fit(Align align) {
            return new Column(FIT, align);
        }
    }

    private final List<Column> columns;
    private final List<int[][]> rows;
    private int gap = 1;

    private Table(List<Column> columns, List<int[][]> rows) {
        this.columns = columns;
        this.rows = rows;
    }

    public static Table of(Column... columns) {
        if (columns.length == 0) {
            throw new IllegalArgumentException("a table needs at least one column");
        }
        return new Table(Collections.unmodifiableList(new ArrayList<>(Arrays.asList(columns))), new ArrayList<>());
    }

    /** Cells between columns (1 unless set). */
    public Table gap(int cells) {
        if (cells < 0) {
            throw new IllegalArgumentException("gap " + cells + " is negative");
        }
        gap = cells;
        return this;
    }

    /** Adds a row: one text per column (missing ones are empty). */
    public Table row(String... cells) {
        if (cells.length > columns.size()) {
            throw new ReceiptException("table row " + (rows.size() + 1), cells.length + " cells for "
                    + columns.size() + " columns");
        }
        int[][] row = new int[columns.size()][];
        for (int i = 0; i < row.length; i++) {
            try {
                row[i] = i < cells.length ? TextLayout.codePoints(cells[i]) : new int[0];
            } catch (Invalid e) {
                throw e.named("table row " + (rows.size() + 1) + ", column " + (i + 1));
            }
        }
        rows.add(row);
        return this;
    }

    Table copy() {
        Table copy = new Table(columns, Collections.unmodifiableList(new ArrayList<>(rows)));
        copy.gap = gap;
        return copy;
    }

    int rowCount() {
        return rows.size();
    }

    /** The lines the rows make on a line of {@code total} cells. */
    List<int[]> lines(int total, IntUnaryOperator cells, boolean keepPadding) {
        int[] widths = widths(total, cells);
        List<int[]> lines = new ArrayList<>();
        for (int[][] row : rows) {
            List<List<int[]>> wrapped = new ArrayList<>();
            int height = 1;
            for (int c = 0; c < row.length; c++) {
                List<int[]> cellLines = TextLayout.wrap(row[c], widths[c], cells);
                wrapped.add(cellLines);
                height = Math.max(height, cellLines.size());
            }
            for (int y = 0; y < height; y++) {
                lines.add(line(wrapped, y, widths, cells, keepPadding));
            }
        }
        return lines;
    }

    private int[] line(List<List<int[]>> wrapped, int y, int[] widths, IntUnaryOperator cells, boolean keepPadding) {
        int length = 0;
        for (int c = 0; c < widths.length; c++) {
            length += widths[c] + gap + (y < wrapped.get(c).size() ? wrapped.get(c).get(y).length : 0);
        }
        int[] line = new int[length];
        int at = 0;
        for (int c = 0; c < widths.length; c++) {
            int[] text = y < wrapped.get(c).size() ? wrapped.get(c).get(y) : new int[0];
            at = TextLayout.append(line, at, text, TextLayout.width(text, cells), widths[c], columns.get(c).align);
            if (c + 1 < widths.length) {
                Arrays.fill(line, at, at + gap, ' ');
                at += gap;
            }
        }
        int end = at;
        while (!keepPadding && end > 0 && line[end - 1] == ' ') {
            end--;
        }
        return Arrays.copyOf(line, end);
    }

    private int[] widths(int total, IntUnaryOperator cells) {
        int[] widths = new int[columns.size()];
        int used = gap * (widths.length - 1);
        int shares = 0;
        for (int c = 0; c < widths.length; c++) {
            int w = columns.get(c).cells;
            if (w == FIT) {
                for (int[][] row : rows) {
                    w = Math.max(w, TextLayout.width(row[c], cells));
                }
                w = Math.max(w, 1);
            }
            widths[c] = w;
            used += w;
            shares += w == 0 ? 1 : 0;
        }
        if (used + shares > total) {
            shrinkFitted(widths, used + shares - total, total);
            used = total - shares;
        }
        int left = total - used;
        for (int c = 0, share = 0; c < widths.length; c++) {
            if (widths[c] == 0) {
                widths[c] = left / shares + (share++ < left % shares ? 1 : 0);
            }
        }
        return widths;
    }

    /** Takes cells from the columns that fit their text, widest first, until the line is wide enough. */
    private void shrinkFitted(int[] widths, int over, int total) {
        while (over > 0) {
            int widest = -1;
            for (int c = 0; c < widths.length; c++) {
                if (columns.get(c).cells == FIT && widths[c] > 1 && (widest < 0 || widths[c] > widths[widest])) {
                    widest = c;
                }
            }
            if (widest < 0) {
                throw new Invalid("the columns and gaps need " + (total + over) + " cells, a line of this size has "
                        + total);
            }
            widths[widest]--;
            over--;
        }
    }
}
