'use strict';
// Lints every script of the page as ES5 (the Windows browser control runs
// the page in its IE11 document mode), including the inline script of
// index.html. Browser globals are listed by hand so that newer ones (fetch,
// Promise, Map, ...) are reported as undefined.
const fs = require('fs');
const path = require('path');
const { ESLint } = require('eslint');

const root = path.join(__dirname, '..', '..');
const production = path.join(root, 'resources', 'layout', 'production');

const IE11_GLOBALS = {
  window: 'readonly', document: 'readonly', navigator: 'readonly', location: 'readonly',
  JSON: 'readonly', Math: 'readonly', Date: 'readonly', Object: 'readonly', Array: 'readonly',
  String: 'readonly', Number: 'readonly', RegExp: 'readonly', Error: 'readonly',
  isFinite: 'readonly', encodeURIComponent: 'readonly', setTimeout: 'readonly',
  clearTimeout: 'readonly', setInterval: 'readonly', clearInterval: 'readonly',
};

const NEWER_MEMBERS = ['includes', 'startsWith', 'endsWith', 'closest', 'find', 'findIndex',
  'assign', 'from', 'fill', 'repeat', 'padStart', 'padEnd', 'entries', 'values', 'append',
  'prepend', 'remove', 'replaceWith', 'matches', 'classList', 'dataset'];

const config = [{
  files: ['**/*.js'],
  languageOptions: { ecmaVersion: 5, sourceType: 'script', globals: IE11_GLOBALS },
  linterOptions: { reportUnusedDisableDirectives: 'error' },
  rules: {
    'no-undef': 'error',
    'no-unused-vars': ['error', { args: 'none', caughtErrors: 'none' }],
    'no-redeclare': 'error',
    'no-dupe-keys': 'error',
    'no-unreachable': 'error',
    'no-empty': ['error', { allowEmptyCatch: true }],
    'no-implicit-globals': 'off',
    eqeqeq: 'error',
    'no-eval': 'error',
    'no-implied-eval': 'error',
    'no-new-func': 'error',
    'no-restricted-properties': ['error', ...NEWER_MEMBERS.map((property) => ({
      property, message: 'not available in the IE11 document mode',
    }))],
  },
}];

async function main() {
  const eslint = new ESLint({ cwd: root, overrideConfigFile: true, overrideConfig: config });
  const files = fs.readdirSync(production).filter((f) => f.endsWith('.js')).map((f) => path.join(production, f));
  const results = await eslint.lintFiles(files);

  const html = fs.readFileSync(path.join(production, 'index.html'), 'utf8');
  const inline = /<script\b[^>]*>([\s\S]*?)<\/script>/gi;
  let m;
  let n = 0;
  while ((m = inline.exec(html))) {
    if (m[1].trim()) {
      n++;
      results.push(...await eslint.lintText(m[1], { filePath: path.join(production, `index.html.inline-${n}.js`) }));
    }
  }
  const formatter = await eslint.loadFormatter('stylish');
  const text = formatter.format(results);
  if (text) console.log(text);
  const errors = results.reduce((sum, r) => sum + r.errorCount + r.warningCount, 0);
  console.log(`eslint (ES5): ${files.length} files and ${n} inline script(s) of index.html, ${errors} problem(s)`);
  if (errors || n === 0) process.exit(1);
}

main().catch((e) => { console.error(e); process.exit(1); });
