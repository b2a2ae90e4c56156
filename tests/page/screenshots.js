'use strict';
// Writes a picture of every page at the window's size, for a look by eye:
//   node tests/page/screenshots.js OUT_FOLDER [scale] [rtl]
const path = require('path');
const fs = require('fs');
const { launch, open, waitRoute, ROUTES, LINKED_ROUTES } = require('./helpers');

(async () => {
  const out = process.argv[2];
  const scale = Number(process.argv[3] || 1);
  const rtl = process.argv[4] === 'rtl';
  if (!out) throw new Error('usage: screenshots.js OUT_FOLDER [scale] [rtl]');
  fs.mkdirSync(out, { recursive: true });
  const browser = await launch();
  try {
    const init = rtl ? () => { let d; Object.defineProperty(window, 'externalDictionaries', { configurable: true, set(v) { d = v; }, get() { if (d && d.en) d.en.RTL = '1'; return d; } }); } : undefined;
    const page = await open(browser, { scale, init });
    const shoot = async (name) => {
      await page.waitForTimeout(350);
      await page.screenshot({ path: path.join(out, name + '.png') });
    };
    await page.evaluate(() => window.AreaAPI && 0);
    await shoot('0-welcome');
    await page.evaluate(() => window.NorvaneEmulator.methods.CheckAreaById('Device'));
    await page.evaluate(() => window.ClientAPI.GoToPage(1));
    await shoot('1-install');
    await page.evaluate(() => window.ClientAPI.GoToPage(2));
    await shoot('2-custom_install');
    await page.evaluate(() => { location.hash = 'simplePage/install_default'; });
    await waitRoute(page, 'simplePage/install_default');
    await shoot('x-install_default');
    await page.evaluate(() => window.NorvaneEmulator.methods.StartInstall());
    await waitRoute(page, ROUTES[3]);
    await page.waitForTimeout(2500);
    await shoot('3-install_progress');
    await page.evaluate(() => window.NorvaneEmulator.methods.StopInstall());
    await waitRoute(page, ROUTES[4]);
    await shoot('4-install_done');
    await page.evaluate(() => window.ClientAPI.GoToPage(5));
    await shoot('5-eula');
    for (const r of LINKED_ROUTES) {
      if (r === 'simplePage/install_default') continue;
      await page.evaluate((x) => { location.hash = x; }, r);
      await waitRoute(page, r);
      await shoot('x-' + r.split('/')[1]);
    }
    await page.evaluate(() => { location.hash = 'simplePage/share-mail'; });
    await waitRoute(page, 'simplePage/share-mail');
    await page.fill('#share-mail-input', 'not an address');
    await page.click('#share-mail-submit');
    await shoot('x-share-mail-invalid');
    if (page.errors.length) console.error(page.errors);
  } finally {
    await browser.close();
  }
})().catch((e) => { console.error(e); process.exit(1); });
