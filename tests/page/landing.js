'use strict';
// The maker's free-products landing page: the program's default share link,
// and the address the packaged QR-code picture encodes.
module.exports = { LANDING_ADDRESS: 'https://www.norvanelab.com/free/' };
