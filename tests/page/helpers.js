'use strict';
// Shared set-up of the page tests: one headless Chromium per test file, a
// fresh page per test, the page opened from disk like a user would.
const path = require('path');
const { pathToFileURL } = require('url');
const { chromium } = require('playwright-core');

const LAYOUT = path.join(__dirname, '..', '..', 'resources', 'layout');
const INDEX_URL = pathToFileURL(path.join(LAYOUT, 'production', 'index.html')).href;

const ROUTES = [
  'simplePage/welcome', 'install', 'custom_install', 'simplePage/install_progress',
  'simplePage/install_done', 'simplePage/eula',
];
const LINKED_ROUTES = [
  'simplePage/share', 'simplePage/share-mail', 'simplePage/protect-another',
  'simplePage/legal-notes', 'simplePage/manual', 'simplePage/install_default',
];

// playwright-core gives every launch a fresh temporary profile of its own.
async function launch() {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
  });
}

// Opens the page at the window's size. `init` runs in the page before any
// of its scripts (a stand-in for the program's window.external, a changed
// dictionary, ...). `query` is added to the address (the emulator's
// ?emulate=... cases). Page errors fail the test that opened the page.
async function open(browser, { init, initArg, scale = 1, query = '' } = {}) {
  const context = await browser.newContext({ viewport: { width: 858, height: 610 }, deviceScaleFactor: scale });
  // Generous bounds: the build machines are shared, and a page that opens
  // in a fraction of a second when idle took over 5 s under a parallel
  // build. A broken page still fails: it never gets there.
  context.setDefaultTimeout(15000);
  context.setDefaultNavigationTimeout(30000);
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(new Error(m.text())); });
  if (init) await page.addInitScript(init, initArg);
  await page.goto(INDEX_URL + query);
  await page.waitForSelector('#main-region[data-route]');
  page.errors = errors;
  return page;
}

function route(page) {
  return page.locator('#main-region').getAttribute('data-route');
}

async function waitRoute(page, expected) {
  await page.waitForFunction((r) => document.getElementById('main-region').getAttribute('data-route') === r, expected);
}

// Calls the emulator saw, optionally only those of one method.
function emulatorCalls(page, name) {
  return page.evaluate((n) => window.NorvaneEmulator.calls
    .filter((c) => !n || c.name === n).map((c) => ({ name: c.name, args: c.args })), name || null);
}

// Puts a recording stand-in for the program on window.external before the
// page starts. `offer` lists the methods it has; each answers with
// `answers[name]` (a value, or a function of the arguments) and records the
// call in window.__programCalls.
function programInit({ offer, answers }) {
  const calls = [];
  const external = {};
  offer.forEach((name) => {
    external[name] = function () {
      const args = Array.prototype.slice.call(arguments);
      calls.push({ name, args });
      const a = answers && answers[name];
      if (typeof a === 'string' && a.indexOf('fn:') === 0) return (new Function('args', a.slice(3)))(args);
      return a;
    };
  });
  Object.defineProperty(window, 'external', { value: external, configurable: true });
  window.__programCalls = calls;
}

module.exports = { launch, open, route, waitRoute, emulatorCalls, programInit, ROUTES, LINKED_ROUTES, LAYOUT, INDEX_URL };
