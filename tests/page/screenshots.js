'use strict';
// Writes a picture of every page at the window's size, for a look by eye:
//   node tests/page/screenshots.js OUT_FOLDER [scale] [rtl]
const path = require('path');
const fs = require('fs');
const { launch, open, waitRoute, programInit, ROUTES, LINKED_ROUTES } = require('./helpers');

// Last-page outcomes given by a stand-in for the program's GetAttr (every
// other call goes to the emulator).
const OUTCOMES = {
  success: { result: 'installed', restartNeeded: 0, products: [{ id: 'scout', result: 'installed' }] },
  'failed-all-reasons': {
    result: 'failed',
    restartNeeded: 1,
    products: [
      { id: 'vault', result: 'downloadFailed' }, { id: 'fortress', result: 'damaged' },
      { id: 'tidy', result: 'startFailed' }, { id: 'patcher', result: 'diskFull' },
      { id: 'kidzone', result: 'notInstalled' }, { id: 'shield', result: 'busy' },
      { id: 'guard', result: 'exitCode', code: 1603 }, { id: 'scout', result: 'installed' },
      { id: 'paysafe', result: 'somethingNew' },
    ],
  },
  ended: '{"result": "exploded"',
};

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
    await shoot('4-install_done-stopped');
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
    await page.context().close();

    for (const [name, outcome] of Object.entries(OUTCOMES)) {
      const text = typeof outcome === 'string' ? outcome : JSON.stringify(outcome);
      const p = await open(browser, {
        scale,
        init: (arg) => {
          if (arg.rtl) {
            let d;
            Object.defineProperty(window, 'externalDictionaries', { configurable: true, set(v) { d = v; }, get() { if (d && d.en) d.en.RTL = '1'; return d; } });
          }
          (new Function('arg', 'return (' + arg.programInit + ')(arg.setup);'))(arg);
        },
        initArg: { rtl, programInit: programInit.toString(), setup: { offer: ['GetAttr'], answers: { GetAttr: `fn:return args[0] === 'installOutcome' ? ${JSON.stringify(text)} : '';` } } },
      });
      await p.evaluate(() => window.ClientAPI.GoToPage(4));
      await p.waitForTimeout(350);
      await p.screenshot({ path: path.join(out, '4-install_done-' + name + '.png') });
      if (p.errors.length) console.error(name, p.errors);
      await p.context().close();
    }

    // The emulator's own sample failure, then Try again through to the end.
    const f = await open(browser, { scale, init, query: '?emulate=failed,restart' });
    await f.evaluate(() => window.NorvaneEmulator.methods.CheckAreaById('Device'));
    // An emulated run takes about ten seconds.
    const runEnded = () => f.waitForFunction(() => document.getElementById('main-region').getAttribute('data-route') === 'simplePage/install_done', null, { timeout: 30000 });
    await f.evaluate(() => window.NorvaneEmulator.methods.StartInstall());
    await runEnded();
    await f.waitForTimeout(350);
    await f.screenshot({ path: path.join(out, '4-install_done-failed-emulator.png') });
    await f.click('#retry-button');
    await waitRoute(f, ROUTES[3]);
    await runEnded();
    await f.waitForTimeout(350);
    await f.screenshot({ path: path.join(out, '4-install_done-after-retry.png') });
    await f.context().close();

    const n = await open(browser, { scale, init, query: '?emulate=nocatalogue' });
    for (const r of [ROUTES[1], ROUTES[2], 'simplePage/install_default']) {
      await n.evaluate((x) => { location.hash = x; }, r);
      await waitRoute(n, r);
      await n.waitForTimeout(350);
      await n.screenshot({ path: path.join(out, 'nocatalogue-' + r.replace('/', '-') + '.png') });
    }
    if (n.errors.length) console.error(n.errors);
  } finally {
    await browser.close();
  }
})().catch((e) => { console.error(e); process.exit(1); });
