'use strict';
// Draws the two PNG pictures of the layout: the QR code of the landing
// address (shown on the share page, and packaged as the fallback picture the
// program names when it downloaded none) and the favicon. Run by hand when
// the landing address changes; the PNGs are committed, this generator is not
// part of the build or the tests:
//
//   (in a scratch folder) npm install --no-save --package-lock=false qrcode@1.5.4
//   NODE_PATH=<scratch>/node_modules:tests/page/node_modules node tests/page/make-pictures.js
//
// qr-code.test.js decodes the committed QR pictures and checks the address.
const fs = require('fs');
const path = require('path');
const QRCode = require('qrcode');
const { PNG } = require('pngjs');
const { LANDING_ADDRESS } = require('./landing');

const layout = path.join(__dirname, '..', '..', 'resources', 'layout');

// 8 pixels per module and the standard 4-module quiet zone: the page shows
// it at half size, so it stays sharp at 200 % scale.
const qrOptions = { errorCorrectionLevel: 'M', margin: 4, scale: 8, color: { dark: '#000000', light: '#ffffff' } };

// 32 x 32 shield in the page's blue, drawn with 4x4 supersampling.
function favicon() {
  const size = 32;
  const png = new PNG({ width: size, height: size });
  const inside = (x, y) => {
    const cx = 16;
    if (y < 3 || y > 30) return false;
    if (y < 17) return Math.abs(x - cx) <= 12 - Math.max(0, 4 - y) * 1.5;
    const t = (y - 17) / 13;
    return Math.abs(x - cx) <= 12 * Math.sqrt(Math.max(0, 1 - t * t));
  };
  for (let y = 0; y < size; y++) {
    for (let x = 0; x < size; x++) {
      let hits = 0;
      for (let sy = 0; sy < 4; sy++) for (let sx = 0; sx < 4; sx++) if (inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4)) hits++;
      const i = (y * size + x) * 4;
      png.data[i] = 0x15; png.data[i + 1] = 0x65; png.data[i + 2] = 0xc0; png.data[i + 3] = Math.round(255 * hits / 16);
    }
  }
  return PNG.sync.write(png);
}

(async () => {
  for (const file of [path.join(layout, 'external', 'qrCode.png'), path.join(layout, 'production', 'img', 'qr-code.png')]) {
    await QRCode.toFile(file, LANDING_ADDRESS, qrOptions);
    console.log('wrote', path.relative(process.cwd(), file));
  }
  const ico = path.join(layout, 'production', 'favicon.png');
  fs.writeFileSync(ico, favicon());
  console.log('wrote', path.relative(process.cwd(), ico));
})().catch((e) => { console.error(e); process.exit(1); });
