'use strict';
// The page in headless Chromium, opened from disk: against its own emulator,
// and against a recording stand-in for the program's window.external.
const { describe, test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { launch, open, route, waitRoute, emulatorCalls, programInit, ROUTES, LINKED_ROUTES } = require('./helpers');

const PROGRAM_METHODS = [
  'Close', 'Minimize', 'IsCppConnected', 'GetInstallPercents', 'GetLanguage', 'GetAreaCollection',
  'GetProductCollection', 'CheckAreaById', 'UncheckAreaById', 'CheckProductById', 'UncheckProductById',
  'OpenUrl', 'GetAttr', 'StartInstall', 'StopInstall', 'WindowIsReady', 'SendOtherDevice', 'Share',
  'SendShareMessage', 'ReportIEVersion', 'UserClick',
];

const AREAS = (states, protect = 'Device') => JSON.stringify(['Device', 'Privacy', 'Money', 'Family', 'Data', 'Business']
  .map((id, i) => ({ id, state: states[i], protectAnother: id === protect ? 1 : 0 })));
const PRODUCTS = (list) => JSON.stringify(list.map(([id, state, areas]) => ({ id, state, areas })));

// A program stand-in that offers every method; `answers` override its replies.
function program(answers = {}) {
  return {
    init: programInit,
    initArg: {
      offer: PROGRAM_METHODS,
      answers: Object.assign({
        IsCppConnected: 1,
        GetLanguage: 'en',
        GetInstallPercents: 'fn:return window.__percent || 0;',
        GetAreaCollection: AREAS([0, 0, 0, 0, 0, 2]),
        GetProductCollection: PRODUCTS([['fortress', 0, ['Device']], ['vault', 0, ['Data']]]),
        GetAttr: 'fn:return ({eula: "<p>terms</p>", userManual: "<p>manual</p>", shareLink: "https://example.invalid/x", qrCode: ""})[args[0]];',
      }, answers),
    },
  };
}

const programCalls = (page, name) => page.evaluate((n) => window.__programCalls
  .filter((c) => !n || c.name === n).map((c) => ({ name: c.name, args: c.args })), name || null);

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser.close(); });

describe('routes', () => {
  test('GoToPage shows the route of each page number, and ignores unknown numbers', async () => {
    const page = await open(browser);
    assert.equal(await route(page), ROUTES[0]);
    for (let n = 0; n < ROUTES.length; n++) {
      await page.evaluate((x) => window.ClientAPI.GoToPage(x), n);
      assert.equal(await route(page), ROUTES[n], `page ${n}`);
      assert.equal(await page.evaluate(() => location.hash), '#' + ROUTES[n]);
      assert.ok((await page.locator('#main-region h1').innerText()).length > 0);
    }
    for (const bad of [6, -1, 1.5, 'x']) {
      await page.evaluate((x) => window.ClientAPI.GoToPage(x), bad);
      assert.equal(await route(page), ROUTES[5], `GoToPage(${bad})`);
    }
    assert.deepEqual(page.errors, []);
  });

  test('the anchors #install and #custom and the linked routes open their pages', async () => {
    const page = await open(browser);
    for (const [hash, expected] of [['install', 'install'], ['custom', 'custom_install'], ...LINKED_ROUTES.map((r) => [r, r])]) {
      await page.evaluate((h) => { location.hash = h; }, hash);
      await waitRoute(page, expected);
    }
  });
});

describe('start-up and the program bridge', () => {
  test('calls go to the program; WindowIsReady comes last; the areas page reports the browser', async () => {
    const page = await open(browser, program());
    const names = (await programCalls(page)).map((c) => c.name);
    assert.equal(names[names.length - 1], 'WindowIsReady');
    assert.equal(names.filter((n) => n === 'WindowIsReady').length, 1);
    assert.ok(names.includes('GetAreaCollection') && names.includes('GetProductCollection'));
    assert.deepEqual(await emulatorCalls(page), [], 'nothing falls through to the emulator');
    assert.equal(names.includes('ReportIEVersion'), false);

    await page.click('#continue');
    await waitRoute(page, 'install');
    assert.deepEqual(await programCalls(page, 'UserClick'), [{ name: 'UserClick', args: ['continueClicked'] }]);
    assert.deepEqual(await programCalls(page, 'ReportIEVersion'), [{ name: 'ReportIEVersion', args: ['Not IE'] }]);
  });

  test('a method the program lacks falls back to a global function, then to the emulator', async () => {
    const page = await open(browser, {
      init: (arg) => {
        (new Function('arg', 'return (' + arg.programInit + ')(arg.setup);'))(arg);
        window.UserClick = function (id) { window.__globalClicks = (window.__globalClicks || []).concat([id]); };
      },
      initArg: { programInit: programInit.toString(), setup: { offer: ['WindowIsReady', 'GetLanguage'], answers: { GetLanguage: 'en' } } },
    });
    await page.click('#continue');
    await waitRoute(page, 'install');
    assert.deepEqual(await page.evaluate(() => window.__globalClicks), ['continueClicked']);
    assert.deepEqual((await programCalls(page)).map((c) => c.name), ['GetLanguage', 'WindowIsReady']);
    // The rest answered from the emulator's sample data: six area tiles.
    assert.equal(await page.locator('.tiles-areas .tile').count(), 6);
    assert.ok((await emulatorCalls(page, 'GetAreaCollection')).length > 0);
  });

  test('program text is shown as text, and only a path or file address becomes the QR picture', async () => {
    const cases = [
      ['C:\\Users\\A B\\AppData\\Local\\N\\qrCode.png', 'file:///C:/Users/A%20B/AppData/Local/N/qrCode.png'],
      ['/home/u/.local/share/N/layout/external/qrCode.png', 'file:///home/u/.local/share/N/layout/external/qrCode.png'],
      ['/tmp/a#b.png', 'file:///tmp/a%23b.png'],
      ['javascript:alert(1)', 'img/qr-code.png'],
      ['', 'img/qr-code.png'],
    ];
    for (const [qr, expected] of cases) {
      const page = await open(browser, program({
        GetAreaCollection: JSON.stringify([{ id: '<b id="injected">x</b>', state: 0, protectAnother: 0 }]),
        GetAttr: `fn:return ({shareLink: '<img id="injected2" src=x>', qrCode: ${JSON.stringify(qr)}})[args[0]] || "";`,
      }));
      await page.evaluate(() => { window.ClientAPI.GoToPage(1); });
      assert.equal(await page.locator('#injected').count(), 0);
      assert.equal(await page.locator('.tile-title').innerText(), '<b id="injected">x</b>');
      await page.evaluate(() => { location.hash = 'simplePage/share'; });
      await waitRoute(page, 'simplePage/share');
      await page.evaluate(() => window.ClientAPI.ChangedAttr('qrCode'));
      assert.equal(await page.locator('#injected2').count(), 0);
      assert.equal(await page.inputValue('#share-link'), '<img id="injected2" src=x>');
      assert.equal(await page.getAttribute('#qr-code', 'src'), expected, qr);
      await page.context().close();
    }
  });
});

describe('areas page', () => {
  test('Install stays inactive until an area is checked, then starts the installation', async () => {
    const page = await open(browser);
    await page.click('#continue');
    await waitRoute(page, 'install');
    assert.equal(await page.getAttribute('#install-button', 'aria-disabled'), 'true');
    await page.click('#install-button', { force: true });
    assert.deepEqual(await emulatorCalls(page, 'StartInstall'), []);
    assert.equal(await route(page), 'install');

    await page.click('.tile[data-id="Privacy"]');
    await page.waitForSelector('#install-button[aria-disabled="false"]');
    await page.click('#install-button');
    await waitRoute(page, ROUTES[3]);
    assert.equal((await emulatorCalls(page, 'StartInstall')).length, 1);
  });

  test('an area checked without any product does not start an empty installation', async () => {
    const page = await open(browser, program({ GetAreaCollection: AREAS([0, 0, 0, 1, 0, 2]) }));
    await page.evaluate(() => window.ClientAPI.GoToPage(1));
    assert.equal(await page.getAttribute('#install-button', 'aria-disabled'), 'true');
    await page.click('#install-button', { force: true });
    assert.deepEqual(await programCalls(page, 'StartInstall'), []);
  });

  test('tile clicks and keys check or uncheck by the state shown; state 2 checks', async () => {
    const page = await open(browser, program({
      GetAreaCollection: AREAS([1, 0, 0, 0, 0, 2]),
      GetProductCollection: PRODUCTS([['fortress', 1, ['Device']]]),
    }));
    await page.evaluate(() => window.ClientAPI.GoToPage(1));
    await page.click('.tile[data-id="Device"] .tile-title');
    await page.click('.tile[data-id="Business"]');
    await page.click('.tile[data-id="Money"]');
    await page.focus('.tile[data-id="Data"] .tile-check');
    await page.keyboard.press('Space');
    await page.focus('.tile[data-id="Device"] .tile-check');
    await page.keyboard.press('Enter');
    const calls = (await programCalls(page)).filter((c) => /AreaById$/.test(c.name));
    assert.deepEqual(calls, [
      { name: 'UncheckAreaById', args: ['Device'] },
      { name: 'CheckAreaById', args: ['Business'] },
      { name: 'CheckAreaById', args: ['Money'] },
      { name: 'CheckAreaById', args: ['Data'] },
      { name: 'UncheckAreaById', args: ['Device'] },
    ]);
    assert.equal(await page.getAttribute('.tile[data-id="Device"] .tile-check', 'aria-checked'), 'true');
    assert.equal(await page.getAttribute('.tile[data-id="Business"] .tile-check', 'aria-checked'), 'false');
  });

  test('CollectionChanged redraws the tiles and keeps the keyboard focus', async () => {
    const page = await open(browser);
    await page.evaluate(() => window.ClientAPI.GoToPage(1));
    await page.focus('.tile[data-id="Money"] .tile-check');
    await page.keyboard.press('Space');
    await page.waitForSelector('.tile[data-id="Money"] .tile-check[aria-checked="true"]');
    assert.equal(await page.evaluate(() => document.activeElement.getAttribute('data-focus-key')), 'area:Money');
    await page.keyboard.press('Space');
    await page.waitForSelector('.tile[data-id="Money"] .tile-check[aria-checked="false"]');
  });

  test('the protect-another link is on the flagged tile only and does not toggle it', async () => {
    for (const flagged of ['Device', 'Money']) {
      const page = await open(browser, program({ GetAreaCollection: AREAS([0, 0, 0, 0, 0, 2], flagged) }));
      await page.evaluate(() => window.ClientAPI.GoToPage(1));
      assert.equal(await page.locator('.protect-another').count(), 1);
      assert.equal(await page.locator(`.tile[data-id="${flagged}"] .protect-another`).count(), 1);
      await page.click('.protect-another');
      await waitRoute(page, 'simplePage/protect-another');
      const calls = await programCalls(page);
      assert.deepEqual(calls.filter((c) => c.name === 'UserClick'), [{ name: 'UserClick', args: ['protectAnotherDevice'] }]);
      assert.deepEqual(calls.filter((c) => /ById$/.test(c.name)), []);
      await page.context().close();
    }
  });

  test('"click here" leads to the custom page, whose tiles check and uncheck products', async () => {
    const page = await open(browser);
    await page.evaluate(() => window.ClientAPI.GoToPage(1));
    await page.click('#custom-link');
    await waitRoute(page, 'custom_install');
    assert.deepEqual(await emulatorCalls(page, 'UserClick'), [{ name: 'UserClick', args: ['customInstall'] }]);
    const ids = await page.locator('.tiles-products .tile').evaluateAll((n) => n.map((x) => x.getAttribute('data-id')));
    const expected = JSON.parse(await page.evaluate(() => window.NorvaneEmulator.methods.GetProductCollection())).map((p) => p.id);
    assert.deepEqual(ids, expected);
    assert.equal(await page.getAttribute('#install-button', 'aria-disabled'), 'true');
    await page.click('.tile[data-id="guard"]');
    await page.waitForSelector('.tile[data-id="guard"] .tile-check[aria-checked="true"]');
    assert.equal(await page.getAttribute('#install-button', 'aria-disabled'), 'false');
    await page.click('.tile[data-id="guard"]');
    // Unchecking a suite product checks the next one (the emulator follows the program's rule).
    await page.waitForSelector('.tile[data-id="scout"] .tile-check[aria-checked="true"]');
    assert.deepEqual((await emulatorCalls(page)).filter((c) => /ProductById$/.test(c.name)), [
      { name: 'CheckProductById', args: ['guard'] },
      { name: 'UncheckProductById', args: ['guard'] },
    ]);
  });
});

describe('progress and done pages', () => {
  test('GoToPage(3) then ChangedAttr("installPercents") shows the percentage and the time left', async () => {
    const page = await open(browser, program());
    await page.clock.install();
    await page.clock.setFixedTime(new Date('2030-01-01T10:00:00Z'));
    await page.evaluate(() => { window.__percent = 0; window.ClientAPI.GoToPage(3); });
    assert.equal(await route(page), ROUTES[3]);
    assert.equal(await page.getAttribute('#progress', 'aria-valuenow'), '0');
    await page.evaluate(() => { window.__percent = 10; window.ClientAPI.ChangedAttr('installPercents'); });
    assert.equal(await page.innerText('#progress-remaining'), '', 'no guess without a measured speed');
    await page.clock.setFixedTime(new Date('2030-01-01T10:00:08Z'));
    await page.evaluate(() => { window.__percent = 50; window.ClientAPI.ChangedAttr('installPercents'); });
    assert.equal(await page.getAttribute('#progress', 'aria-valuenow'), '50');
    assert.equal(await page.innerText('#progress-percent'), '50 %');
    assert.equal(await page.evaluate(() => document.querySelector('.progress-fill').style.width), '50%');
    // 50 points in the 8 s since the page opened: the other 50 take 8 s more.
    assert.equal(await page.innerText('#progress-remaining'), 'Time remaining: 8 seconds');
    await page.evaluate(() => { window.__percent = 250; window.ClientAPI.ChangedAttr('installPercents'); });
    assert.equal(await page.getAttribute('#progress', 'aria-valuenow'), '100');

    await page.click('#stop-button');
    assert.equal((await programCalls(page, 'StopInstall')).length, 1);
    assert.equal(await route(page), ROUTES[3], 'the page waits for the program to report the end');
    await page.evaluate(() => window.ClientAPI.GoToPage(4));
    await page.click('#close-button');
    assert.equal((await programCalls(page, 'Close')).length, 1);
  });

  test('the emulator runs an installation through to the done page; Share leads on', async () => {
    const page = await open(browser);
    await page.clock.install();
    await page.evaluate(() => { window.NorvaneEmulator.methods.CheckAreaById('Family'); });
    await page.evaluate(() => window.NorvaneEmulator.methods.StartInstall());
    await page.clock.runFor(1000);
    await waitRoute(page, ROUTES[3]);
    assert.ok(Number(await page.getAttribute('#progress', 'aria-valuenow')) > 0);
    await page.clock.runFor(30000);
    await waitRoute(page, ROUTES[4]);
    await page.click('#share-button');
    await waitRoute(page, 'simplePage/share');
    assert.deepEqual(await emulatorCalls(page, 'UserClick'), [{ name: 'UserClick', args: ['shareIt'] }]);
    await page.click('.btn-social[data-id="linkedin"]');
    assert.deepEqual(await emulatorCalls(page, 'Share'), [{ name: 'Share', args: ['linkedin'] }]);
  });
});

describe('links and window buttons', () => {
  test('js_open_url elements, header buttons and data-click-id reach the program', async () => {
    const page = await open(browser, program());
    await page.click('#my-norvane');
    await page.click('#minimize-button');
    await page.click('#header-close-button');
    await page.evaluate(() => window.ClientAPI.GoToPage(3));
    await page.click('.slide.is-current .js_open_url');
    const calls = (await programCalls(page)).filter((c) => ['OpenUrl', 'Minimize', 'Close'].includes(c.name));
    assert.deepEqual(calls, [
      { name: 'OpenUrl', args: ['my-norvane'] },
      { name: 'Minimize', args: [] },
      { name: 'Close', args: [] },
      { name: 'OpenUrl', args: ['slide-01'] },
    ]);
    assert.equal(await route(page), ROUTES[3], 'opening a link does not change the page');
  });
});

describe('e-mail forms', () => {
  const INVALID = ['', '   ', 'plain', 'a@b', 'a b@example.org', 'a@example.org?subject=x',
    'a@example.org&cc=b@example.org', 'a@example.org>', '"a"@example.org', 'a..b@example.org',
    'a.@example.org', 'a@-example.org', 'a@example..org', 'a,b@example.org', 'a@exa%20mple.org'];
  const VALID = [['friend@example.org', 'friend@example.org'], ['  Mixed.Case+tag@mail.example.co.uk ', 'Mixed.Case+tag@mail.example.co.uk']];

  for (const form of [
    { route: 'simplePage/share-mail', id: 'share-mail', method: 'SendShareMessage', args: (a) => [a, ' '], after: 'simplePage/share' },
    { route: 'simplePage/protect-another', id: 'protect', method: 'SendOtherDevice', args: (a) => [a], after: 'install' },
  ]) {
    test(`${form.method} only with an address that passes the check`, async () => {
      const page = await open(browser, program());
      for (const bad of INVALID) {
        await page.evaluate((r) => { location.hash = r; }, form.route);
        await waitRoute(page, form.route);
        await page.fill(`#${form.id}-input`, bad);
        await page.press(`#${form.id}-input`, 'Enter');
        assert.equal(await page.getAttribute(`#${form.id}-input`, 'aria-invalid'), 'true', JSON.stringify(bad));
        assert.ok((await page.innerText(`#${form.id}-error`)).length > 0);
      }
      assert.deepEqual(await programCalls(page, form.method), []);
      for (const [typed, sent] of VALID) {
        await page.evaluate((r) => { location.hash = r; }, form.route);
        await waitRoute(page, form.route);
        await page.fill(`#${form.id}-input`, typed);
        await page.click(`#${form.id}-submit`);
        await waitRoute(page, form.after);
        const calls = await programCalls(page, form.method);
        assert.deepEqual(calls[calls.length - 1].args, form.args(sent));
      }
      assert.equal((await programCalls(page, form.method)).length, VALID.length);
    });
  }
});

describe('layout and keyboard', () => {
  // Every page, in both directions: nothing spills out of the window or the
  // main region, the drag strip holds no control, the window buttons sit
  // right of it, and nothing is loaded from outside the layout.
  async function checkLayout(page, label) {
    const problems = await page.evaluate(() => {
      const out = [];
      const doc = document.documentElement;
      if (doc.scrollWidth > 858 || doc.scrollHeight > 610) out.push(`document ${doc.scrollWidth}x${doc.scrollHeight}`);
      const main = document.getElementById('main-region').getBoundingClientRect();
      const visible = (n) => { const s = getComputedStyle(n); return s.visibility !== 'hidden' && s.display !== 'none' && n.getClientRects().length; };
      for (const n of document.querySelectorAll('#main-region *')) {
        if (!visible(n) || n.closest('.document, .product-list, .slide:not(.is-current)')) continue;
        const r = n.getBoundingClientRect();
        if (r.width && (r.left < main.left - 0.5 || r.right > main.right + 0.5 || r.top < main.top - 0.5 || r.bottom > main.bottom + 0.5)) {
          out.push(`${n.tagName}.${n.className} ${Math.round(r.left)},${Math.round(r.top)}-${Math.round(r.right)},${Math.round(r.bottom)}`);
        }
      }
      for (const n of document.querySelectorAll('a, button, input, [tabindex]')) {
        if (!visible(n)) continue;
        const r = n.getBoundingClientRect();
        if (r.top < 35 && r.left < 760 && r.width) out.push(`control in the drag strip: ${n.id || n.className}`);
      }
      for (const id of ['minimize-button', 'header-close-button']) {
        const r = document.getElementById(id).getBoundingClientRect();
        if (r.left < 760 || r.right > 858 || r.bottom > 35) out.push(`${id} at ${r.left},${r.top}`);
      }
      return out;
    });
    assert.deepEqual(problems, [], label);
  }

  for (const rtl of [false, true]) {
    test(`every page fits the 858 x 610 window (${rtl ? 'right to left' : 'left to right'})`, async () => {
      const requests = [];
      const page = await open(browser, {
        init: (on) => {
          if (!on) return;
          let d;
          Object.defineProperty(window, 'externalDictionaries', {
            configurable: true, set: (v) => { d = v; }, get: () => { if (d && d.en) d.en.RTL = '1'; return d; },
          });
        },
        initArg: rtl,
      });
      page.on('request', (r) => requests.push(r.url()));
      await page.evaluate(() => window.NorvaneEmulator.methods.CheckAreaById('Device'));
      assert.equal(await page.getAttribute('html', 'dir'), rtl ? 'rtl' : 'ltr');
      for (const r of [...ROUTES, ...LINKED_ROUTES]) {
        await page.evaluate((x) => { location.hash = x; }, r);
        await waitRoute(page, r);
        await page.evaluate(() => new Promise((res) => setTimeout(res, 50)));
        await checkLayout(page, r);
      }
      assert.deepEqual(requests.filter((u) => !u.startsWith('file:')), []);
      assert.deepEqual(page.errors, []);
    });
  }

  test('Tab reaches the controls in order and Enter and Space use them', async () => {
    const page = await open(browser);
    const order = [];
    for (let i = 0; i < 6; i++) {
      await page.keyboard.press('Tab');
      order.push(await page.evaluate(() => document.activeElement.id));
    }
    assert.deepEqual(order, ['minimize-button', 'header-close-button', 'continue', 'eula-link', 'my-norvane', 'legal-link']);
    await page.focus('#continue');
    await page.keyboard.press('Space');
    await waitRoute(page, 'install');
    await page.focus('#custom-link');
    await page.keyboard.press('Enter');
    await waitRoute(page, 'custom_install');
    await page.focus('#back');
    await page.keyboard.press('Space');
    await waitRoute(page, 'install');
    assert.equal(await page.evaluate(() => document.activeElement.tagName), 'H1', 'a new page takes the focus to its title');
  });
});
