// Composes the receipt proof's receipts with @point-of-sale/receipt-printer-encoder,
// the way a web POS would, for scripts/compare-peer.py:
//
//   node peer-receipts.js ORDER.json OUT_FOLDER
//
// ORDER holds `pages` (the printer's code pages, the encoder's page name to
// its ESC t number), `languages` (code to [title, lines...]), `codes` (true
// for the codes receipt) and `bench` (`rounds` and `pictures`: [{name,
// file, width, height, algorithms}], raw RGBA files). Writes
// language-XX.bin and codes.bin into OUT_FOLDER and prints one line per
// picture and algorithm: name, algorithm, median milliseconds. Every pair
// first runs as many untimed rounds, all before any is timed.
'use strict';

const fs = require('fs');
const path = require('path');
const ReceiptPrinterEncoder = require('@point-of-sale/receipt-printer-encoder');

const [orderFile, out] = process.argv.slice(2);
const order = JSON.parse(fs.readFileSync(orderFile, 'utf8'));

// The same printer as ours: 48 columns of font A, the pages of our profile
// under the numbers it gives them, pictures as GS v 0 rasters.
function encoder() {
  return new ReceiptPrinterEncoder({
    language: 'esc-pos', columns: 48, imageMode: 'raster', codepageMapping: order.pages,
  });
}

// As ComposeDemo's language sample: the title bold at double size,
// centred, the lines, a rule, the title and 12.50 apart, a feed and a cut.
function language(lines) {
  const [title, ...rest] = lines;
  const e = encoder().initialize().codepage('auto')
      .align('center').bold(true).size(2, 2).line(title).size(1, 1).bold(false).align('left');
  for (const line of rest) {
    e.line(line);
  }
  return e.rule().table([{width: 36, align: 'left'}, {width: 12, align: 'right'}], [[title, '12.50']])
      .newline(3).cut().encode();
}

// As ProofJobs' codes receipt.
function codes() {
  const e = encoder().initialize().align('center');
  const barcodes = [['03600029145', 'upca'], ['0425261', 'upce'], ['400638133393', 'ean13'], ['9638507', 'ean8'],
    ['VJ-39', 'code39'], ['12345678', 'itf'], ['A40156B', 'codabar'], ['Code93', 'code93'],
    ['VJ 0012345678', 'code128']];
  for (const [data, symbology] of barcodes) {
    e.barcode(data, symbology, 60).newline();
  }
  return e.qrcode('https://example.com/r/2026-0001 Grüße €').newline()
      .pdf417('PDF417 receipt 2026-0001').newline(3).cut().encode();
}

function times(picture, algorithm, rounds) {
  const data = new Uint8ClampedArray(fs.readFileSync(picture.file));
  const times = [];
  for (let round = 0; round < rounds; round++) {
    const start = process.hrtime.bigint();
    encoder().image({data, width: picture.width, height: picture.height}, picture.width, picture.height,
        algorithm).encode();
    times.push(Number(process.hrtime.bigint() - start) / 1e6);
  }
  return times.sort((a, b) => a - b);
}

fs.mkdirSync(out, {recursive: true});
for (const [code, lines] of Object.entries(order.languages || {})) {
  fs.writeFileSync(path.join(out, `language-${code}.bin`), language(lines));
}
if (order.codes) {
  fs.writeFileSync(path.join(out, 'codes.bin'), codes());
}
const bench = order.bench || {pictures: []};
for (const picture of bench.pictures) {
  for (const algorithm of picture.algorithms) {
    times(picture, algorithm, bench.rounds);
  }
}
for (const picture of bench.pictures) {
  for (const algorithm of picture.algorithms) {
    const median = times(picture, algorithm, bench.rounds)[Math.floor(bench.rounds / 2)];
    console.log(`${picture.name} ${algorithm} ${median.toFixed(3)}`);
  }
}
