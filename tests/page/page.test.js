'use strict';
// The page in headless Chromium, opened from disk: against its own emulator,
// and against a recording stand-in for the program's window.external.
const { describe, test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const { launch, open, route, waitRoute, emulatorCalls, programInit, ROUTES, LINKED_ROUTES, LAYOUT } = require('./helpers');

const PROGRAM_METHODS = [
  'Close', 'Minimize', 'IsCppConnected', 'GetInstallPercents', 'GetLanguage', 'GetAreaCollection',
  'GetProductCollection', 'CheckAreaById', 'UncheckAreaById', 'CheckProductById', 'UncheckProductById',
  'OpenUrl', 'GetAttr', 'StartInstall', 'StopInstall', 'WindowIsReady', 'SendOtherDevice', 'Share',
  'SendShareMessage', 'ReportIEVersion', 'UserClick', 'RetryInstall',
];
// Names the page asks for that the program has never offered.
const PROBED_METHODS = ['SetLanguage', 'GetLanguageCollection', 'GetIsProductSelected', 'GetIsAreaSelected'];

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

// A stand-in that offers only `offer` (the rest falls to the emulator), on
// a page that may run right to left.
function partialProgram(offer, answers, rtl = false) {
  return {
    init: (arg) => {
      if (arg.rtl) {
        let d;
        Object.defineProperty(window, 'externalDictionaries', {
          configurable: true, set: (v) => { d = v; }, get: () => { if (d && d.en) d.en.RTL = '1'; return d; },
        });
      }
      (new Function('arg', 'return (' + arg.programInit + ')(arg.setup);'))(arg);
    },
    initArg: { rtl, programInit: programInit.toString(), setup: { offer, answers } },
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

  test("the page's method list is the program's methods and the four probes; each reaches the program", async () => {
    const script = fs.readFileSync(path.join(LAYOUT, 'production', 'app.js'), 'utf8');
    const list = /var\s+METHOD_NAMES\s*=\s*\[([^\]]*)\]/.exec(script);
    assert.ok(list, 'METHOD_NAMES is in app.js');
    const names = [...list[1].matchAll(/'([^']*)'/g)].map((m) => m[1]);
    assert.deepEqual([...names].sort(), [...PROGRAM_METHODS, ...PROBED_METHODS].sort());

    // With a program that offers everything, even RetryInstall never falls
    // through to the emulator.
    const page = await open(browser, program({ GetAttr: 'fn:return args[0] === "installOutcome" ? \'{"result":"failed","restartNeeded":0,"products":[{"id":"vault","result":"damaged"}]}\' : "";' }));
    await page.evaluate(() => window.ClientAPI.GoToPage(4));
    await page.click('#retry-button');
    assert.deepEqual(await programCalls(page, 'RetryInstall'), [{ name: 'RetryInstall', args: [] }]);
    assert.deepEqual(await emulatorCalls(page), []);
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

describe('the last page tells how the run ended', () => {
  // The program's outcome for each case, and what the page must show:
  // the title's dictionary key, the missing products as [name, reason],
  // whether Try again and Share are offered and the restart line shown.
  const FAILED_ALL = {
    result: 'failed',
    restartNeeded: 1,
    products: [
      { id: 'scout', result: 'installed' }, { id: 'guard', result: 'alreadyInstalled' },
      { id: 'vault', result: 'downloadFailed' }, { id: 'fortress', result: 'damaged' },
      { id: 'tidy', result: 'startFailed' }, { id: 'patcher', result: 'diskFull' },
      { id: 'kidzone', result: 'notInstalled' }, { id: 'shield', result: 'busy' },
      { id: 'paysafe', result: 'exitCode', code: -1073741819 },
      { id: '<img src=x onerror="window.__injected=1">', result: 'exitCode' },
      { id: 'nextyear', result: 'somethingNew' },
    ],
  };
  const CASES = [
    { label: 'installed', outcome: { result: 'installed', restartNeeded: 0, products: [{ id: 'scout', result: 'installed' }, { id: 'vault', result: 'alreadyInstalled' }] },
      title: 'DoneSuccessTitle', missing: [], share: true },
    { label: 'installed, restart needed', outcome: { result: 'installed', restartNeeded: 1, products: [{ id: 'scout', result: 'installed' }] },
      title: 'DoneSuccessTitle', missing: [], share: true, restart: true },
    { label: 'no run', outcome: { result: 'none', restartNeeded: 0, products: [] }, title: 'DoneSuccessTitle', missing: [], share: true },
    { label: 'stopped', outcome: { result: 'stopped', restartNeeded: 0, products: [{ id: 'scout', result: 'installed' }, { id: 'vault', result: 'notRun' }] },
      title: 'DoneStoppedTitle', missing: [['ProductName_vault', 'FailReason_notRun']] },
    { label: 'failed, every reason', outcome: FAILED_ALL, title: 'DoneFailedTitle', retry: true, restart: true,
      missing: [
        ['ProductName_vault', 'FailReason_downloadFailed'], ['ProductName_fortress', 'FailReason_damaged'],
        ['ProductName_tidy', 'FailReason_startFailed'], ['ProductName_patcher', 'FailReason_diskFull'],
        ['ProductName_kidzone', 'FailReason_notInstalled'], ['ProductName_shield', 'FailReason_busy'],
        ['ProductName_paysafe', (d) => d.FailReason_exitCode.replace('{code}', '-1073741819')],
        [() => FAILED_ALL.products[9].id, 'FailReason_other'], [() => 'nextyear', 'FailReason_other'],
      ] },
    { label: 'failed, unreadable product list', outcome: '{"result":"failed","restartNeeded":"yes","products":"vault"}',
      title: 'DoneFailedTitle', missing: [], retry: true },
    // What the page cannot read claims neither success nor failure; the
    // products it can read are still listed.
    { label: 'unknown result', outcome: '{"result":"exploded","products":[{"id":"vault","result":"damaged"}]}',
      title: 'DoneEndedTitle', missing: [['ProductName_vault', 'FailReason_damaged']] },
    ...['', '{', 'null', '[]', '"installed"', '{"result":"Installed"}', '{"result":{"toString":1}}', '{"result":"constructor"}', undefined]
      .map((text) => ({ label: `unreadable ${JSON.stringify(text)}`, outcome: text, title: 'DoneEndedTitle', missing: [] })),
  ];

  test('each outcome gives its text, its list of missing products and its buttons', async () => {
    const page = await open(browser, program({
      GetAttr: 'fn:return args[0] === "installOutcome" ? window.__outcome : "";',
    }));
    const dict = await page.evaluate(() => window.externalDictionaries.en);
    const text = (x) => (typeof x === 'function' ? x(dict) : dict[x]);
    for (const c of CASES) {
      await page.evaluate((o) => { window.__outcome = o; window.ClientAPI.GoToPage(3); window.ClientAPI.GoToPage(4); },
        typeof c.outcome === 'object' ? JSON.stringify(c.outcome) : c.outcome);
      assert.equal(await route(page), ROUTES[4], c.label);
      assert.equal(await page.innerText('#main-region h1'), dict[c.title], c.label);
      const missing = await page.locator('#missing-list li').evaluateAll((items) => items.map((li) => [
        li.querySelector('.missing-name').textContent, li.querySelector('.missing-reason').textContent]));
      assert.deepEqual(missing, c.missing.map(([name, reason]) => [text(name), text(reason)]), c.label);
      assert.equal(await page.locator('#retry-button').count(), c.retry ? 1 : 0, c.label);
      assert.equal(await page.locator('#share-button').count(), c.share ? 1 : 0, c.label);
      assert.equal(await page.locator('#done-restart').count(), c.restart ? 1 : 0, c.label);
      if (c.restart) assert.equal(await page.innerText('#done-restart'), dict.DoneRestartNeeded);
      assert.equal(await page.locator('#close-button').count(), 1, c.label);
    }
    assert.equal(await page.evaluate(() => window.__injected), undefined, 'a product id is shown as text');
    assert.equal((await programCalls(page, 'GetAttr')).filter((x) => x.args[0] === 'installOutcome').length, CASES.length,
      'the page reads the outcome each time it builds its last page');
    await page.click('#close-button');
    assert.equal((await programCalls(page, 'Close')).length, 1);
    assert.deepEqual(page.errors, []);
  });

  test('ChangedAttr("installOutcome") redraws the last page; Try again calls RetryInstall once', async () => {
    const page = await open(browser, program({
      GetAttr: 'fn:return args[0] === "installOutcome" ? window.__outcome : "";',
    }));
    const dict = await page.evaluate(() => window.externalDictionaries.en);
    await page.evaluate(() => { window.__outcome = '{"result":"none","restartNeeded":0,"products":[]}'; window.ClientAPI.GoToPage(4); });
    assert.equal(await page.innerText('#main-region h1'), dict.DoneSuccessTitle);
    await page.evaluate(() => {
      window.__outcome = JSON.stringify({ result: 'failed', restartNeeded: 0, products: [{ id: 'vault', result: 'downloadFailed' }] });
      window.ClientAPI.ChangedAttr('installOutcome');
    });
    assert.equal(await route(page), ROUTES[4]);
    assert.equal(await page.innerText('#main-region h1'), dict.DoneFailedTitle);
    assert.equal(await page.innerText('#missing-list .missing-name'), dict.ProductName_vault);

    await page.click('#retry-button');
    assert.equal(await page.getAttribute('#retry-button', 'aria-disabled'), 'true');
    await page.click('#retry-button', { force: true });
    assert.deepEqual(await programCalls(page, 'RetryInstall'), [{ name: 'RetryInstall', args: [] }]);
    assert.equal(await route(page), ROUTES[4], 'the program, not the page, starts the next run');
    await page.evaluate(() => window.ClientAPI.GoToPage(3));
    assert.equal(await route(page), ROUTES[3]);
    // An outcome announced during a run does not take the page away from it.
    await page.evaluate(() => window.ClientAPI.ChangedAttr('installOutcome'));
    assert.equal(await route(page), ROUTES[3]);
    assert.deepEqual(page.errors, []);
  });

  test("the emulator's runs end with their outcome: a sample failure, Try again, a stop", async () => {
    const page = await open(browser, { query: '?emulate=failed' });
    const dict = await page.evaluate(() => window.externalDictionaries.en);
    await page.clock.install();
    await page.evaluate(() => window.NorvaneEmulator.methods.CheckAreaById('Device'));
    const run = JSON.parse(await page.evaluate(() => window.NorvaneEmulator.methods.GetProductCollection()))
      .filter((p) => p.state === 1).map((p) => p.id);
    assert.ok(run.length >= 2);
    await page.evaluate(() => window.NorvaneEmulator.methods.StartInstall());
    await page.clock.runFor(30000);
    await waitRoute(page, ROUTES[4]);
    assert.equal(await page.innerText('#main-region h1'), dict.DoneFailedTitle);
    const failed = await page.locator('#missing-list li').evaluateAll((items) => items.map((li) => li.getAttribute('data-id')));
    assert.ok(failed.length > 0 && failed.length < run.length, failed.join());
    assert.ok(failed.every((id) => run.includes(id)));

    await page.click('#retry-button');
    await page.clock.runFor(1000);
    await waitRoute(page, ROUTES[3]);
    await page.clock.runFor(30000);
    await waitRoute(page, ROUTES[4]);
    assert.equal(await page.innerText('#main-region h1'), dict.DoneSuccessTitle);
    assert.deepEqual(JSON.parse(await page.evaluate(() => window.NorvaneEmulator.methods.GetAttr('installOutcome'))).products
      .map((p) => [p.id, p.result]), failed.map((id) => [id, 'installed']), 'Try again ran only the failed products');

    await page.evaluate(() => window.NorvaneEmulator.methods.StartInstall());
    await page.clock.runFor(1000);
    await waitRoute(page, ROUTES[3]);
    await page.click('#stop-button');
    await page.clock.runFor(1000);
    await waitRoute(page, ROUTES[4]);
    assert.equal(await page.innerText('#main-region h1'), dict.DoneStoppedTitle);
    assert.equal(await page.locator('#retry-button').count(), 0);
    assert.deepEqual(page.errors, []);
  });
});

describe('empty catalogue', () => {
  test('with no product the choosing pages show the notice and no usable Install', async () => {
    const page = await open(browser, program({
      GetAreaCollection: AREAS([0, 0, 0, 0, 0, 2]),
      GetProductCollection: 'fn:return window.__products || "[]";',
    }));
    const dict = await page.evaluate(() => window.externalDictionaries.en);
    for (const r of ['install', 'custom_install', 'simplePage/install_default']) {
      await page.evaluate((x) => { location.hash = x; }, r);
      await waitRoute(page, r);
      assert.equal(await page.innerText('#catalogue-notice'), dict.CatalogueUnavailable, r);
      assert.equal(await page.isVisible('#install-button'), false, r);
      assert.equal(await page.locator('.tile:visible').count(), 0, r);
      await page.evaluate(() => document.getElementById('install-button').click());
    }
    assert.deepEqual(await programCalls(page, 'StartInstall'), []);

    // A catalogue that arrives later: the areas page asks again when built,
    // and a CollectionChanged brings the choices back on a page already shown.
    await page.evaluate(() => { window.__products = JSON.stringify([{ id: 'fortress', state: 0, areas: ['Device'] }]); });
    await page.evaluate(() => { location.hash = 'install'; });
    await waitRoute(page, 'install');
    assert.equal(await page.isVisible('#catalogue-notice'), false);
    assert.equal(await page.locator('.tile:visible').count(), 6);
    assert.equal(await page.isVisible('#install-button'), true);
    await page.evaluate(() => { window.__products = '[]'; window.ProductAPI.CollectionChanged(); });
    assert.equal(await page.isVisible('#catalogue-notice'), true);
    await page.evaluate(() => { window.__products = JSON.stringify([{ id: 'fortress', state: 1, areas: ['Device'] }]); window.ProductAPI.CollectionChanged(); });
    assert.equal(await page.isVisible('#catalogue-notice'), false);
    assert.deepEqual(page.errors, []);
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

  for (const rtl of [false, true]) {
    test(`a long list of failures and the empty-catalogue notice fit too (${rtl ? 'right to left' : 'left to right'})`, async () => {
      const outcome = JSON.stringify({
        result: 'failed',
        restartNeeded: 1,
        products: ['vault', 'fortress', 'tidy', 'patcher', 'kidzone', 'shield', 'guard', 'scout']
          .map((id) => ({ id, result: 'busy' })),
      });
      const page = await open(browser, partialProgram(['GetAttr', 'GetProductCollection'], {
        GetAttr: `fn:return args[0] === 'installOutcome' ? ${JSON.stringify(outcome)} : '';`,
        GetProductCollection: '[]',
      }, rtl));
      for (const n of [4, 1, 2]) {
        await page.evaluate((x) => window.ClientAPI.GoToPage(x), n);
        await checkLayout(page, ROUTES[n]);
      }
      await page.evaluate(() => window.ClientAPI.GoToPage(4));
      // Eight products fit without scrolling.
      assert.equal(await page.evaluate(() => { const l = document.getElementById('missing-list'); return l.scrollHeight <= l.clientHeight; }), true);
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
