'use strict';
// The maker's free-products landing page: the program's default share link,
// and the address the packaged QR-code picture encodes. Read from the
// build's settings, where it is kept once.
const fs = require('fs');
const path = require('path');

const settings = fs.readFileSync(path.join(__dirname, '..', '..', 'cmake', 'norvane.cmake'), 'utf8');
const match = /set\(NORVANE_LANDING_URL "([^"]+)"/.exec(settings);
if (!match) throw new Error('NORVANE_LANDING_URL not found in cmake/norvane.cmake');

module.exports = { LANDING_ADDRESS: match[1] };
