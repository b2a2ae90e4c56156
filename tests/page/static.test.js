'use strict';
// Checks of the layout's files that need no browser: the dictionary, the
// start page's loading order and the QR-code pictures.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const vm = require('vm');
const { PNG } = require('pngjs');
const jsQR = require('jsqr');
const { LANDING_ADDRESS } = require('./landing');

const layout = path.join(__dirname, '..', '..', 'resources', 'layout');
const production = path.join(layout, 'production');
const read = (f) => fs.readFileSync(path.join(production, f), 'utf8');

const KEYS = [
  'RTL', 'Language', 'LangName_en', 'HeaderTitle', 'MyNorvane', 'WelcomeTitle', 'WelcomeText',
  'EulaAcceptNotice', 'EulaAcceptLink', 'AreasText', 'ClickHere',
  'Device', 'Privacy', 'Money', 'Family', 'Data', 'Business',
  'CustomInstallTitle', 'MoreInfo',
  'scout', 'guard', 'shield', 'fortress', 'vault', 'kidzone', 'paysafe', 'patcher', 'tidy',
  'ShareTitle', 'ToPlaceholder', 'MessagePlaseholder', 'ProtectAnotherTitle', 'ProtectAnotherText',
  'EmailPlaceholder', 'ProtectAnotherDevice',
  'SlideTitle01', 'SlideTitle02', 'SlideTitle03', 'SlideUnderTitle01', 'SlideUnderTitle02',
  'SlideUnderTitle03', 'SlideSubtitle01', 'SlideSubtitle02', 'SlideSubtitle03',
  'AppInstalling', 'Remaining', 'Seconds', 'DoneSuccessTitle', 'EulaTitle', 'LegalNotes', 'UserManual',
  'Continue', 'Close', 'SendMessage', 'SubmitButton', 'Share', 'Install', 'CustomInstall', 'Stop',
  'ShareIt', 'Back',
  // The last page's outcomes and the empty-catalogue notice.
  'DoneStoppedTitle', 'DoneFailedTitle', 'DoneEndedTitle', 'DoneRestartNeeded', 'DoneNotInstalled', 'TryAgain',
  'FailReason_notRun', 'FailReason_downloadFailed', 'FailReason_damaged', 'FailReason_startFailed',
  'FailReason_diskFull', 'FailReason_notInstalled', 'FailReason_busy', 'FailReason_exitCode', 'FailReason_other',
  'ProductName_scout', 'ProductName_guard', 'ProductName_shield', 'ProductName_fortress', 'ProductName_vault',
  'ProductName_kidzone', 'ProductName_paysafe', 'ProductName_patcher', 'ProductName_tidy',
  'CatalogueUnavailable',
];

const FIXED_TEXTS = {
  RTL: '0',
  HeaderTitle: 'Norvane Installer',
  WelcomeTitle: 'Welcome to Norvane Installer',
  WelcomeText: 'What would you like to protect?',
  AppInstalling: 'Installing the application...',
  DoneSuccessTitle: 'Your protection is now ready to use.',
  EulaTitle: 'License Agreement',
  Continue: 'Choose',
  ClickHere: 'click here',
  ProtectAnotherDevice: 'protect another device',
  TryAgain: 'Try again',
};

function loadDictionary() {
  const sandbox = { window: {} };
  vm.runInNewContext(read('en.js'), sandbox, { filename: 'en.js' });
  return sandbox.window.externalDictionaries;
}

test('en.js registers every key, in order, with the fixed texts', () => {
  const all = loadDictionary();
  assert.deepEqual(Object.keys(all), ['en']);
  assert.deepEqual(Object.keys(all.en), KEYS);
  for (const [key, text] of Object.entries(FIXED_TEXTS)) assert.equal(all.en[key], text, key);
  for (const key of KEYS) assert.ok(typeof all.en[key] === 'string' && all.en[key].length > 0, key);
});

test('every literal key the page looks up exists in the dictionary', () => {
  const dict = loadDictionary().en;
  const used = new Set();
  for (const m of read('app.js').matchAll(/\bt\('([A-Za-z0-9_]+)'\)/g)) used.add(m[1]);
  assert.ok(used.size > 20, 'the lookup pattern still matches the page script');
  const missing = [...used].filter((k) => !Object.prototype.hasOwnProperty.call(dict, k));
  assert.deepEqual(missing, []);
});

test('index.html: IE=edge, en.js then the page script, each with a ?v= time stamp', () => {
  const html = read('index.html');
  assert.match(html, /<meta http-equiv="X-UA-Compatible" content="IE=edge">/);
  assert.match(html, /charset=utf-8/i);
  const writes = [...html.matchAll(/document\.write\('<script[^']*src="([a-z]+\.js)\?v=' \+ stamp/g)].map((m) => m[1]);
  assert.deepEqual(writes, ['en.js', 'app.js']);
  assert.match(html, /var stamp = new Date\(\)\.getTime\(\);/);
  for (const id of ['header-region', 'main-region', 'footer-region']) assert.match(html, new RegExp(`id="${id}"`));
  assert.match(html, /<td class="main">/);
});

test('the QR-code pictures encode the landing address, which the emulator shares too', () => {
  for (const file of [path.join(layout, 'external', 'qrCode.png'), path.join(production, 'img', 'qr-code.png')]) {
    const png = PNG.sync.read(fs.readFileSync(file));
    const code = jsQR(new Uint8ClampedArray(png.data), png.width, png.height);
    assert.ok(code, `${file} holds a readable QR code`);
    assert.equal(code.data, LANDING_ADDRESS);
  }
  assert.match(read('app.js'), new RegExp(`var LANDING_ADDRESS = '${LANDING_ADDRESS.replace(/[./]/g, '\\$&')}';`));
});
