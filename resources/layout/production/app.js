// Norvane Installer page.
//
// Runs in the program's browser control (the Windows control in its IE11
// document mode, WebKitGTK on Linux) and in any ordinary browser, where the
// built-in emulator stands in for the program. Keep it ES5: no Promise,
// fetch, arrow functions, classes, let/const or template strings.
//
// The program reaches the page through the globals ClientAPI, AreaAPI and
// ProductAPI; the page reaches the program through window.external, resolved
// once at start-up (see resolveMethods).
(function (window, document) {
    'use strict';

    // ------------------------------------------------------------------
    // Small helpers

    var hasOwn = Object.prototype.hasOwnProperty;

    function each(list, fn) {
        for (var i = 0; i < list.length; i++) {
            fn(list[i], i);
        }
    }

    function some(list, fn) {
        for (var i = 0; i < list.length; i++) {
            if (fn(list[i], i)) {
                return true;
            }
        }
        return false;
    }

    function hasClass(node, name) {
        return node.nodeType === 1 && (' ' + (node.getAttribute('class') || '') + ' ').indexOf(' ' + name + ' ') >= 0;
    }

    function setClass(node, name, on) {
        var list = (node.getAttribute('class') || '').split(/\s+/);
        var out = [];
        each(list, function (c) {
            if (c && c !== name) {
                out.push(c);
            }
        });
        if (on) {
            out.push(name);
        }
        node.setAttribute('class', out.join(' '));
    }

    // Element.closest is missing in IE11.
    function closest(node, test, stop) {
        while (node && node !== stop && node.nodeType === 1) {
            if (test(node)) {
                return node;
            }
            node = node.parentNode;
        }
        return null;
    }

    // el('div', {'class': 'x'}, [children]) builds a node. Strings become text
    // nodes, so text from the program or the dictionary is never parsed as HTML.
    function el(tag, attrs, children) {
        var node = document.createElement(tag);
        var name;
        if (attrs) {
            for (name in attrs) {
                if (hasOwn.call(attrs, name) && attrs[name] !== null && attrs[name] !== undefined) {
                    node.setAttribute(name, String(attrs[name]));
                }
            }
        }
        append(node, children);
        return node;
    }

    function append(node, children) {
        if (children === null || children === undefined) {
            return node;
        }
        if (typeof children === 'string' || typeof children === 'number') {
            node.appendChild(document.createTextNode(String(children)));
        } else if (children.nodeType) {
            node.appendChild(children);
        } else {
            each(children, function (child) {
                append(node, child);
            });
        }
        return node;
    }

    function clear(node) {
        while (node.firstChild) {
            node.removeChild(node.firstChild);
        }
    }

    function byId(id) {
        return document.getElementById(id);
    }

    function logProblem(what, error) {
        if (window.console && window.console.log) {
            window.console.log('Norvane Installer: ' + what + (error ? ': ' + (error.message || error) : ''));
        }
    }

    var LANDING_ADDRESS = 'https://www.norvanelab.com/free/';

    // ------------------------------------------------------------------
    // Built-in emulator: answers like the program with sample data, so the
    // page can be opened from disk in an ordinary browser. It follows the
    // program's selection rules closely enough for the page to be tried out.
    //
    // The address can ask it for the harder cases, comma-separated:
    //   index.html?emulate=failed       the first run fails for some products
    //   index.html?emulate=restart      runs end with a restart needed
    //   index.html?emulate=nocatalogue  the catalogue could not be loaded

    var emulator = (function () {
        var calls = [];
        var asked = (function () {
            var out = {};
            var m = /[?&]emulate=([^&#]*)/.exec(window.location.search || '');
            var words = [];
            try {
                words = m ? decodeURIComponent(m[1]).split(',') : [];
            } catch (e) {
                logProblem('cannot read the address', e);
            }
            each(words, function (word) {
                out[word] = true;
            });
            return out;
        }());
        var SAMPLE_FAILURES = [
            { result: 'downloadFailed' },
            { result: 'exitCode', code: 1603 },
            { result: 'damaged' },
            { result: 'startFailed' },
            { result: 'diskFull' },
            { result: 'notInstalled' },
            { result: 'busy' }
        ];
        var SUITE = ['fortress', 'shield', 'guard', 'scout'];
        var areas = [
            { id: 'Device', state: 0 },
            { id: 'Privacy', state: 0 },
            { id: 'Money', state: 0 },
            { id: 'Family', state: 0 },
            { id: 'Data', state: 0 },
            { id: 'Business', state: 2 }
        ];
        var products = [
            { id: 'vault', state: 0, areas: ['Data', 'Business'] },
            { id: 'fortress', state: 0, areas: ['Device', 'Privacy', 'Money'] },
            { id: 'tidy', state: 0, areas: ['Device'] },
            { id: 'patcher', state: 0, areas: ['Device', 'Business'] },
            { id: 'kidzone', state: 0, areas: ['Family'] },
            { id: 'shield', state: 0, areas: ['Device', 'Money'] },
            { id: 'guard', state: 0, areas: ['Device', 'Privacy'] },
            { id: 'scout', state: 0, areas: ['Device'] }
        ];
        var percent = 0;
        var installTimer = null;
        // The run in progress: product ids, and whether it may fail (only a
        // first run asked for with "failed"; Try again then succeeds).
        var run = { ids: [], mayFail: false };
        var outcome = { result: 'none', restartNeeded: 0, products: [] };

        function find(list, id) {
            for (var i = 0; i < list.length; i++) {
                if (list[i].id === id) {
                    return list[i];
                }
            }
            return null;
        }

        // The program may call back while the page is still inside its own
        // call (Windows) or later (Linux); answering later keeps the page
        // honest about not relying on either.
        function notify(api, method, arg) {
            window.setTimeout(function () {
                var target = window[api];
                if (target && typeof target[method] === 'function') {
                    if (arg === undefined) {
                        target[method]();
                    } else {
                        target[method](arg);
                    }
                }
            }, 0);
        }

        function suiteExclusive(id) {
            var start = -1;
            var i;
            for (i = 0; i < SUITE.length; i++) {
                if (SUITE[i] === id) {
                    start = i;
                }
            }
            if (start < 0) {
                return;
            }
            for (i = start; i < SUITE.length; i++) {
                var member = find(products, SUITE[i]);
                if (member && member.state === 1) {
                    each(SUITE, function (other) {
                        var p = find(products, other);
                        if (p && other !== member.id) {
                            p.state = 0;
                        }
                    });
                    return;
                }
            }
        }

        function suiteFallback(id) {
            for (var i = 0; i < SUITE.length - 1; i++) {
                if (SUITE[i] === id) {
                    var next = find(products, SUITE[i + 1]);
                    if (next) {
                        next.state = 1;
                    }
                }
            }
        }

        function recomputeProducts() {
            each(products, function (p) {
                p.state = 0;
                each(areas, function (a) {
                    if (a.state === 1 && p.areas.join(',').split(',').indexOf(a.id) >= 0) {
                        p.state = 1;
                    }
                });
            });
            suiteExclusive('fortress');
        }

        function setArea(name, state) {
            var area = find(areas, name);
            if (area) {
                area.state = state;
            }
            recomputeProducts();
            notify('AreaAPI', 'CollectionChanged');
        }

        function stopTimer() {
            if (installTimer !== null) {
                window.clearInterval(installTimer);
                installTimer = null;
            }
        }

        function startRun(ids, mayFail) {
            notify('ClientAPI', 'GoToPage', 3);
            stopTimer();
            run = { ids: ids, mayFail: mayFail };
            percent = 0;
            installTimer = window.setInterval(function () {
                percent = Math.min(100, percent + 1 + Math.floor(Math.random() * 3));
                notify('ClientAPI', 'ChangedAttr', 'installPercents');
                if (percent >= 100) {
                    finish(false);
                }
            }, 200);
        }

        // Like the program: every product of the run gets its result, the
        // page is told the outcome changed, then sent to its last page.
        function finish(stopped) {
            stopTimer();
            var reached = stopped ? Math.floor(percent * run.ids.length / 100) : run.ids.length;
            var failures = 0;
            var installed = 0;
            var products = [];
            each(run.ids, function (id, i) {
                var entry = { id: id, result: 'installed' };
                if (i >= reached) {
                    entry.result = 'notRun';
                } else if (run.mayFail && i % 2 === 0) {
                    var sample = SAMPLE_FAILURES[failures % SAMPLE_FAILURES.length];
                    entry.result = sample.result;
                    if (sample.code !== undefined) {
                        entry.code = sample.code;
                    }
                    failures++;
                } else {
                    installed++;
                }
                products.push(entry);
            });
            outcome = {
                result: stopped ? 'stopped' : (failures ? 'failed' : 'installed'),
                restartNeeded: asked.restart && installed ? 1 : 0,
                products: products
            };
            notify('ClientAPI', 'ChangedAttr', 'installOutcome');
            notify('ClientAPI', 'GoToPage', 4);
        }

        function failedIds() {
            var out = [];
            each(outcome.products, function (p) {
                if (p.result !== 'installed' && p.result !== 'alreadyInstalled' && p.result !== 'notRun') {
                    out.push(p.id);
                }
            });
            return out;
        }

        var eula = '<h2>Norvane free products: licence terms</h2>' +
            '<p>This sample text stands in for the licence agreement that the program carries. ' +
            'In the program, this page shows the full agreement.</p>' +
            '<h3>1. Use of the software</h3><p>You may install and use the software on the devices you own or control.</p>' +
            '<h3>2. Updates</h3><p>The software may download and install updates that keep its protection current.</p>' +
            '<h3>3. Privacy</h3><p>Usage statistics help us improve the installer. They hold no personal files or documents.</p>' +
            '<h3>4. No warranty</h3><p>The software is provided as it is, to the extent the law allows.</p>';
        var manual = '<h2>Getting started</h2>' +
            '<p>This sample text stands in for the user manual that the program carries.</p>' +
            '<ol><li>Choose the areas you want to protect, or pick single products.</li>' +
            '<li>Press Install. The installer downloads each product and runs its setup, one after another.</li>' +
            '<li>When all products are installed, close the installer.</li></ol>' +
            '<p>If your computer restarts during the installation, the installer carries on at the next logon.</p>';

        var methods = {
            Close: function () {
                stopTimer();
                window.close();
            },
            Minimize: function () {},
            IsCppConnected: function () {
                return 0;
            },
            GetInstallPercents: function () {
                return percent;
            },
            GetLanguage: function () {
                return 'en';
            },
            GetAreaCollection: function () {
                var out = [];
                each(areas, function (a, i) {
                    out.push({ id: a.id, state: a.state, protectAnother: i === 0 ? 1 : 0 });
                });
                return JSON.stringify(out, null, '\t');
            },
            GetProductCollection: function () {
                return asked.nocatalogue ? '[]' : JSON.stringify(products, null, '\t');
            },
            CheckAreaById: function (name) {
                setArea(name, 1);
            },
            UncheckAreaById: function (name) {
                setArea(name, 0);
            },
            CheckProductById: function (id) {
                var p = find(products, id);
                if (p) {
                    p.state = 1;
                }
                suiteExclusive(id);
                notify('ProductAPI', 'CollectionChanged');
            },
            UncheckProductById: function (id) {
                var p = find(products, id);
                if (p) {
                    p.state = 0;
                }
                suiteFallback(id);
                notify('ProductAPI', 'CollectionChanged');
            },
            OpenUrl: function () {},
            GetAttr: function (name) {
                if (name === 'eula') {
                    return eula;
                }
                if (name === 'userManual') {
                    return manual;
                }
                if (name === 'shareLink') {
                    return LANDING_ADDRESS;
                }
                if (name === 'qrCode') {
                    return '../external/qrCode.png';
                }
                if (name === 'installOutcome') {
                    return JSON.stringify(outcome);
                }
                return '';
            },
            StartInstall: function () {
                var ids = [];
                each(asked.nocatalogue ? [] : products, function (p) {
                    if (p.state === 1) {
                        ids.push(p.id);
                    }
                });
                startRun(ids, !!asked.failed);
            },
            StopInstall: function () {
                // Like the program: the installer reports its own end.
                if (installTimer !== null) {
                    finish(true);
                }
            },
            // Runs again only the products that failed, and sends the page to
            // its installing page itself.
            RetryInstall: function () {
                var ids = failedIds();
                if (installTimer === null && outcome.result === 'failed' && ids.length) {
                    startRun(ids, false);
                }
            },
            WindowIsReady: function () {
                notify('ClientAPI', 'ChangedAttr', 'qrCode');
            },
            SendOtherDevice: function () {},
            Share: function () {},
            SendShareMessage: function () {},
            ReportIEVersion: function () {},
            UserClick: function () {}
        };

        // Every call that reaches the emulator is recorded, for a look in the
        // browser's console.
        var recorded = {};
        each(Object.keys(methods), function (name) {
            recorded[name] = function () {
                calls.push({ name: name, args: Array.prototype.slice.call(arguments) });
                return methods[name].apply(null, arguments);
            };
        });

        return { methods: recorded, calls: calls };
    }());

    window.NorvaneEmulator = emulator;

    // ------------------------------------------------------------------
    // Bridge to the program

    // Every name the page may call. The last four are not offered by the
    // program; they fall through to the page's own substitutes.
    var METHOD_NAMES = [
        'Close', 'Minimize', 'IsCppConnected', 'GetInstallPercents', 'GetLanguage',
        'GetAreaCollection', 'GetProductCollection', 'CheckAreaById', 'UncheckAreaById',
        'CheckProductById', 'UncheckProductById', 'OpenUrl', 'GetAttr', 'StartInstall',
        'StopInstall', 'WindowIsReady', 'SendOtherDevice', 'Share', 'SendShareMessage',
        'ReportIEVersion', 'UserClick', 'RetryInstall',
        'SetLanguage', 'GetLanguageCollection', 'GetIsProductSelected', 'GetIsAreaSelected'
    ];
    var PLACEHOLDER_TEXT = 'unavailable';
    var resolved = {};

    // The Windows control hands out every member of the program's object as
    // an object (typeof "object", or "unknown" in some modes) and throws for
    // names it does not know; WebKitGTK gives plain functions.
    function hostOffers(host, name) {
        try {
            var member = host[name];
            var kind = typeof member;
            return member !== undefined && member !== null &&
                (kind === 'function' || kind === 'object' || kind === 'unknown');
        } catch (e) {
            return false;
        }
    }

    // Host methods have no apply() in the Windows control: call them with
    // the argument count spelled out.
    function hostMethod(name) {
        return function (a, b) {
            var host = window.external;
            switch (arguments.length) {
            case 0:
                return host[name]();
            case 1:
                return host[name](a);
            default:
                return host[name](a, b);
            }
        };
    }

    function globalMethod(name) {
        return function () {
            return window[name].apply(window, arguments);
        };
    }

    function placeholder() {
        return PLACEHOLDER_TEXT;
    }

    function resolveMethods() {
        var host = null;
        try {
            host = window.external || null;
        } catch (e) {
            host = null;
        }
        each(METHOD_NAMES, function (name) {
            if (host && hostOffers(host, name)) {
                resolved[name] = { source: 'program', fn: hostMethod(name) };
            } else if (typeof window[name] === 'function') {
                resolved[name] = { source: 'global', fn: globalMethod(name) };
            } else if (hasOwn.call(emulator.methods, name)) {
                resolved[name] = { source: 'emulator', fn: emulator.methods[name] };
            } else {
                resolved[name] = { source: 'placeholder', fn: placeholder };
            }
        });
    }

    // A failing call (a host error, a timed-out bridge) must not take the
    // page down with it; the caller sees undefined.
    function call(name) {
        var entry = resolved[name];
        var args = Array.prototype.slice.call(arguments, 1);
        if (!entry) {
            logProblem('unknown method ' + name);
            return undefined;
        }
        try {
            switch (args.length) {
            case 0:
                return entry.fn();
            case 1:
                return entry.fn(args[0]);
            default:
                return entry.fn(args[0], args[1]);
            }
        } catch (e) {
            logProblem(name + ' failed', e);
            return undefined;
        }
    }

    function callText(name, arg) {
        var value = arguments.length > 1 ? call(name, arg) : call(name);
        return value === undefined || value === null ? '' : String(value);
    }

    // ------------------------------------------------------------------
    // Text dictionary

    var dictionary = {};

    function chooseDictionary(language) {
        var all = window.externalDictionaries || {};
        if (language && hasOwn.call(all, language)) {
            return all[language];
        }
        return hasOwn.call(all, 'en') ? all.en : {};
    }

    function t(key) {
        return hasOwn.call(dictionary, key) ? String(dictionary[key]) : key;
    }

    function hasText(key) {
        return hasOwn.call(dictionary, key);
    }

    // ------------------------------------------------------------------
    // State mirrored from the program

    var state = {
        currentPage: 0,
        route: '',
        lastMainRoute: '',
        areas: [],
        products: [],
        anyAreaSelected: false,
        anyProductSelected: false,
        attrs: {
            installPercents: 0,
            isCppConnected: 0,
            language: 'en',
            eula: '',
            userManual: '',
            shareLink: '',
            qrCode: '',
            installOutcome: null
        }
    };

    function isArray(value) {
        return Object.prototype.toString.call(value) === '[object Array]';
    }

    function parseList(text) {
        var list;
        try {
            list = JSON.parse(text);
        } catch (e) {
            logProblem('collection is not JSON', e);
            return [];
        }
        return isArray(list) ? list : [];
    }

    function toState(value) {
        var n = Number(value);
        return isFinite(n) ? Math.round(n) : 0;
    }

    function readAreas() {
        var out = [];
        each(parseList(callText('GetAreaCollection')), function (item) {
            if (item && typeof item.id === 'string') {
                out.push({ id: item.id, state: toState(item.state), protectAnother: toState(item.protectAnother) === 1 });
            }
        });
        state.areas = out;
        state.anyAreaSelected = some(out, function (a) {
            return a.state === 1;
        });
    }

    function readProducts() {
        var out = [];
        each(parseList(callText('GetProductCollection')), function (item) {
            if (item && typeof item.id === 'string') {
                var areas = [];
                if (isArray(item.areas)) {
                    each(item.areas, function (a) {
                        if (typeof a === 'string') {
                            areas.push(a);
                        }
                    });
                }
                out.push({ id: item.id, state: toState(item.state), areas: areas });
            }
        });
        state.products = out;
        state.anyProductSelected = some(out, function (p) {
            return p.state === 1;
        });
    }

    // How the last run ended, as the program tells it in the attribute
    // "installOutcome". Anything the page cannot read leaves `result` empty:
    // the last page then claims neither success nor failure.
    var OUTCOME_RESULTS = { installed: 1, stopped: 1, failed: 1, none: 1 };

    function parseOutcome(text) {
        var out = { result: '', restartNeeded: false, products: [] };
        var value;
        try {
            value = JSON.parse(text);
        } catch (e) {
            logProblem('installOutcome is not JSON', e);
            return out;
        }
        if (!value || typeof value !== 'object' || isArray(value)) {
            return out;
        }
        if (typeof value.result === 'string' && hasOwn.call(OUTCOME_RESULTS, value.result)) {
            out.result = value.result;
        }
        out.restartNeeded = toState(value.restartNeeded) === 1;
        if (isArray(value.products)) {
            each(value.products, function (p) {
                if (p && typeof p.id === 'string' && typeof p.result === 'string') {
                    var code = typeof p.code === 'number' && isFinite(p.code) && Math.floor(p.code) === p.code ? p.code : null;
                    out.products.push({ id: p.id, result: p.result, code: code });
                }
            });
        }
        return out;
    }

    function readPercents() {
        var n = Number(call('GetInstallPercents'));
        state.attrs.installPercents = isFinite(n) ? Math.max(0, Math.min(100, Math.round(n))) : 0;
    }

    var ATTRIBUTE_READERS = {
        installPercents: readPercents,
        isCppConnected: function () {
            state.attrs.isCppConnected = toState(call('IsCppConnected'));
        },
        language: function () {
            state.attrs.language = callText('GetLanguage') || 'en';
        },
        eula: function () {
            state.attrs.eula = callText('GetAttr', 'eula');
        },
        userManual: function () {
            state.attrs.userManual = callText('GetAttr', 'userManual');
        },
        shareLink: function () {
            state.attrs.shareLink = callText('GetAttr', 'shareLink');
        },
        qrCode: function () {
            state.attrs.qrCode = callText('GetAttr', 'qrCode');
        },
        installOutcome: function () {
            state.attrs.installOutcome = parseOutcome(callText('GetAttr', 'installOutcome'));
        }
    };

    // ------------------------------------------------------------------
    // Routes

    var PAGE_ROUTES = [
        'simplePage/welcome',
        'install',
        'custom_install',
        'simplePage/install_progress',
        'simplePage/install_done',
        'simplePage/eula'
    ];
    // Anchors that lead to numbered routes under a shorter name.
    var ROUTE_ALIASES = { custom: 'custom_install' };
    var DOCUMENT_ROUTES = { 'simplePage/eula': 1, 'simplePage/legal-notes': 1, 'simplePage/manual': 1 };
    var views = {};

    function routeFromHash(hash) {
        var route = String(hash || '').replace(/^#/, '');
        if (hasOwn.call(ROUTE_ALIASES, route)) {
            route = ROUTE_ALIASES[route];
        }
        return hasOwn.call(views, route) ? route : '';
    }

    function pageNumberOf(route) {
        for (var i = 0; i < PAGE_ROUTES.length; i++) {
            if (PAGE_ROUTES[i] === route) {
                return i;
            }
        }
        return -1;
    }

    var mainRegion = null;
    var currentView = null;

    function show(route, options) {
        if (!hasOwn.call(views, route)) {
            return;
        }
        if (currentView && currentView.leave) {
            currentView.leave();
        }
        state.route = route;
        if (!hasOwn.call(DOCUMENT_ROUTES, route)) {
            state.lastMainRoute = route;
        }
        var number = pageNumberOf(route);
        if (number >= 0) {
            state.currentPage = number;
        }
        if (('#' + route) !== window.location.hash && routeFromHash(window.location.hash) !== route) {
            try {
                window.location.hash = route;
            } catch (e) {
                logProblem('cannot set the address', e);
            }
        }
        currentView = views[route];
        clear(mainRegion);
        mainRegion.setAttribute('data-route', route);
        var content = currentView.build();
        content.setAttribute('class', 'page ' + (content.getAttribute('class') || ''));
        mainRegion.appendChild(content);
        mainRegion.scrollTop = 0;
        if (!options || !options.keepFocus) {
            var heading = content.getElementsByTagName('h1')[0];
            if (heading) {
                heading.setAttribute('tabindex', '-1');
                try {
                    heading.focus();
                } catch (e) {
                    // An element that cannot take focus yet is no reason to stop.
                }
            }
        }
    }

    function onHashChange() {
        var route = routeFromHash(window.location.hash);
        if (route && route !== state.route) {
            show(route);
        }
    }

    // Redraws the current page after the program changed its data, keeping
    // the keyboard focus on the same control.
    function refreshCurrent() {
        if (!currentView || !currentView.refresh) {
            return;
        }
        var active = document.activeElement;
        var focusKey = active && active.getAttribute ? active.getAttribute('data-focus-key') : null;
        currentView.refresh();
        if (focusKey) {
            var nodes = mainRegion.getElementsByTagName('*');
            for (var i = 0; i < nodes.length; i++) {
                if (nodes[i].getAttribute('data-focus-key') === focusKey) {
                    nodes[i].focus();
                    break;
                }
            }
        }
    }

    // ------------------------------------------------------------------
    // Shared pieces of the pages

    function heading(text, id) {
        return el('h1', { id: id || null }, text);
    }

    function routeLink(route, text, attrs) {
        var a = el('a', attrs || {}, text);
        a.setAttribute('href', '#' + route);
        return a;
    }

    function button(text, attrs, onClick) {
        var b = el('button', attrs || {}, text);
        b.setAttribute('type', 'button');
        if (onClick) {
            b.onclick = function (event) {
                if (b.getAttribute('aria-disabled') === 'true') {
                    return false;
                }
                onClick(event || window.event);
                return false;
            };
        }
        return b;
    }

    function setDisabled(node, disabled) {
        node.setAttribute('aria-disabled', disabled ? 'true' : 'false');
        setClass(node, 'is-disabled', disabled);
    }

    function areaName(id) {
        return hasText(id) ? t(id) : id;
    }

    // A tile that behaves as a check box: Space and Enter toggle it like a
    // click. `onToggle` receives the state the tile showed when it was used.
    function checkTile(kind, id, tileState, label, body, onToggle) {
        var checked = tileState === 1;
        var box = el('div', {
            'class': 'tile-check',
            role: 'checkbox',
            tabindex: '0',
            'aria-checked': checked ? 'true' : 'false',
            'aria-label': label,
            'data-focus-key': kind + ':' + id
        }, body);
        var tile = el('div', {
            'class': 'tile tile-' + kind + (checked ? ' is-checked' : '') + (tileState === 2 ? ' is-suggested' : ''),
            'data-id': id,
            'data-state': tileState
        }, [box, el('span', { 'class': 'tile-mark', 'aria-hidden': 'true' })]);
        tile.onclick = function (event) {
            var target = (event || window.event).target || (event || window.event).srcElement;
            if (closest(target, function (n) {
                return n.tagName === 'A';
            }, tile)) {
                return;
            }
            onToggle(id, tileState);
        };
        box.onkeydown = function (event) {
            var e = event || window.event;
            if (e.keyCode === 32 || e.keyCode === 13) {
                if (e.preventDefault) {
                    e.preventDefault();
                }
                onToggle(id, tileState);
                return false;
            }
            return true;
        };
        return tile;
    }

    // Turns the path the program gives for the QR-code picture into an
    // address an <img> can load. Anything that is neither a plain path nor a
    // file address is refused.
    function pictureAddress(path) {
        var text = String(path || '');
        var prefix = '';
        var rest;
        if (!text || /[\u0000-\u001f"<>]/.test(text)) {
            return '';
        }
        if (/^[A-Za-z]:[\\\/]/.test(text)) {
            prefix = 'file:///' + text.substring(0, 2) + '/';
            rest = text.substring(3);
        } else if (/^\\\\/.test(text)) {
            prefix = 'file://';
            rest = text.substring(2);
        } else if (text.charAt(0) === '/') {
            prefix = 'file:///';
            rest = text.substring(1);
        } else if (/^file:\/\//i.test(text)) {
            return text;
        } else if (text.indexOf(':') < 0) {
            rest = text;
        } else {
            return '';
        }
        var parts = rest.replace(/\\/g, '/').split('/');
        var encoded = [];
        each(parts, function (part) {
            encoded.push(part === '..' || part === '.' ? part : encodeURIComponent(part));
        });
        return prefix + encoded.join('/');
    }

    // A pragmatic e-mail check: one @, a dotted domain, and none of the
    // characters that could end or extend a mailto: address or a command.
    var EMAIL_PATTERN = /^[A-Za-z0-9._+\-']+@[A-Za-z0-9](?:[A-Za-z0-9\-]*[A-Za-z0-9])?(?:\.[A-Za-z0-9](?:[A-Za-z0-9\-]*[A-Za-z0-9])?)+$/;

    function isEmail(text) {
        var value = String(text || '');
        return value.length <= 254 && EMAIL_PATTERN.test(value) &&
            value.indexOf('..') < 0 && value.charAt(0) !== '.' && value.split('@')[0].slice(-1) !== '.';
    }

    function trim(text) {
        return String(text || '').replace(/^\s+|\s+$/g, '');
    }

    // A form with one e-mail field. `send` gets the trimmed address once it
    // passes the check.
    function emailForm(options) {
        var inputId = options.id + '-input';
        var errorId = options.id + '-error';
        var input = el('input', {
            id: inputId,
            type: 'email',
            'class': 'text-input',
            placeholder: options.placeholder,
            autocomplete: 'email',
            spellcheck: 'false',
            'aria-describedby': (options.hintId ? options.hintId + ' ' : '') + errorId,
            'data-focus-key': inputId
        });
        var error = el('p', { id: errorId, 'class': 'field-error', role: 'alert' });
        var submit = button(options.submitText, { 'class': 'btn btn-primary', id: options.id + '-submit' });
        var form = el('form', { 'class': 'mail-form', id: options.id, novalidate: 'novalidate', action: '#' }, [
            el('label', { 'for': inputId, 'class': 'field-label' }, options.label),
            input,
            error,
            el('div', { 'class': 'actions' }, [options.back, submit])
        ]);
        function attempt() {
            var value = trim(input.value);
            if (!isEmail(value)) {
                input.setAttribute('aria-invalid', 'true');
                clear(error);
                append(error, [el('span', { 'class': 'field-error-icon', 'aria-hidden': 'true' }, '!'), ' ', options.placeholder]);
                input.focus();
                return;
            }
            input.removeAttribute('aria-invalid');
            clear(error);
            options.send(value);
        }
        submit.onclick = function () {
            attempt();
            return false;
        };
        form.onsubmit = function (event) {
            if (event && event.preventDefault) {
                event.preventDefault();
            }
            attempt();
            return false;
        };
        input.oninput = function () {
            if (input.getAttribute('aria-invalid') === 'true' && isEmail(trim(input.value))) {
                input.removeAttribute('aria-invalid');
                clear(error);
            }
        };
        return form;
    }

    // Licence and manual: HTML fragments that the program carries in its
    // own resources. Their links must not navigate the page away.
    function documentBox(html, labelId) {
        var box = el('div', { 'class': 'document', tabindex: '0', role: 'document', 'aria-labelledby': labelId });
        box.innerHTML = html;
        box.onclick = function (event) {
            var e = event || window.event;
            var target = e.target || e.srcElement;
            if (closest(target, function (n) {
                return n.tagName === 'A';
            }, box)) {
                if (e.preventDefault) {
                    e.preventDefault();
                }
                return false;
            }
            return true;
        };
        return box;
    }

    // The licence, legal notes and manual can be opened from anywhere; Back
    // returns to the page they were opened from.
    function backTarget(fallback) {
        return state.lastMainRoute || fallback;
    }

    // ------------------------------------------------------------------
    // Pages

    var ieVersionReported = false;

    function browserVersionText() {
        var mode = document.documentMode;
        if (mode) {
            return 'IE_' + mode;
        }
        var ua = window.navigator.userAgent || '';
        var m = /MSIE (\d+)/.exec(ua) || /Trident\/.*rv:(\d+)/.exec(ua);
        return m ? 'IE_' + m[1] : 'Not IE';
    }

    function startInstall() {
        call('StartInstall');
    }

    // The areas page starts an installation only while an area is checked;
    // an area that brought no product with it would start an empty run.
    function canInstallAreas() {
        return state.anyAreaSelected && state.anyProductSelected;
    }

    // The program answers an empty product collection when its catalogue
    // could not be loaded or lists no product. The pages that choose
    // products then say so in place of choices and an Install that could
    // not work.
    function catalogueMissing() {
        return state.products.length === 0;
    }

    function catalogueNotice() {
        return el('p', { 'class': 'notice', id: 'catalogue-notice', role: 'alert' }, t('CatalogueUnavailable'));
    }

    // Shows either the page's choices or its notice.
    function showChoices(choices, notice) {
        var missing = catalogueMissing();
        each(choices, function (node) {
            node.style.display = missing ? 'none' : '';
        });
        notice.style.display = missing ? '' : 'none';
    }

    // The page may have read the collection before the program had its
    // catalogue; ask again before telling the user it is missing.
    function rereadIfMissing() {
        if (catalogueMissing()) {
            readAreas();
            readProducts();
        }
    }

    views['simplePage/welcome'] = {
        build: function () {
            var choose = routeLink('install', t('Continue'), {
                'class': 'btn btn-primary btn-large',
                id: 'continue',
                role: 'button',
                'data-click-id': 'continueClicked'
            });
            return el('div', { 'class': 'page-welcome' }, [
                el('div', { 'class': 'welcome-art', 'aria-hidden': 'true' }),
                el('div', { 'class': 'welcome-text' }, [
                    heading(t('WelcomeTitle')),
                    el('p', { 'class': 'lead' }, t('WelcomeText')),
                    choose,
                    el('p', { 'class': 'eula-notice' }, [
                        t('EulaAcceptNotice'), ' ',
                        routeLink('simplePage/eula', t('EulaAcceptLink'), { id: 'eula-link' })
                    ])
                ])
            ]);
        }
    };

    views.install = {
        build: function () {
            rereadIfMissing();
            var grid = el('div', { 'class': 'tiles tiles-areas', role: 'group', 'aria-labelledby': 'areas-title' });
            var installButton = button(t('Install'), { 'class': 'btn btn-primary', id: 'install-button' }, function () {
                if (canInstallAreas()) {
                    startInstall();
                }
            });
            var intro = el('p', { 'class': 'intro' }, [
                t('AreasText'), ' ',
                routeLink('custom', t('ClickHere'), { id: 'custom-link', 'data-click-id': 'customInstall' }),
                '.'
            ]);
            var actions = el('div', { 'class': 'actions' }, [
                routeLink('simplePage/install_default', t('MoreInfo'), { 'class': 'link-quiet', id: 'more-info' }),
                installButton
            ]);
            var notice = catalogueNotice();
            var page = el('div', { 'class': 'page-areas' }, [
                heading(t('WelcomeText'), 'areas-title'),
                notice,
                intro,
                grid,
                actions
            ]);
            function draw() {
                showChoices([intro, grid, actions], notice);
                clear(grid);
                each(state.areas, function (area) {
                    var body = [
                        el('span', { 'class': 'area-icon area-icon-' + area.id.toLowerCase(), 'aria-hidden': 'true' }),
                        el('span', { 'class': 'tile-title' }, areaName(area.id))
                    ];
                    var tile = checkTile('area', area.id, area.state, areaName(area.id), body, function (id, shown) {
                        call(shown === 1 ? 'UncheckAreaById' : 'CheckAreaById', id);
                    });
                    if (area.protectAnother) {
                        tile.appendChild(routeLink('simplePage/protect-another', t('ProtectAnotherDevice'), {
                            'class': 'protect-another',
                            'data-click-id': 'protectAnotherDevice',
                            'data-focus-key': 'protect:' + area.id
                        }));
                    }
                    grid.appendChild(tile);
                });
                setDisabled(installButton, !canInstallAreas());
            }
            this.refresh = draw;
            draw();
            if (!ieVersionReported) {
                ieVersionReported = true;
                call('ReportIEVersion', browserVersionText());
            }
            return page;
        }
    };

    views.custom_install = {
        build: function () {
            rereadIfMissing();
            var grid = el('div', { 'class': 'tiles tiles-products', role: 'group', 'aria-labelledby': 'custom-title' });
            var installButton = button(t('Install'), { 'class': 'btn btn-primary', id: 'install-button' }, function () {
                if (state.anyProductSelected) {
                    startInstall();
                }
            });
            var notice = catalogueNotice();
            var page = el('div', { 'class': 'page-custom' }, [
                heading(t('CustomInstallTitle'), 'custom-title'),
                notice,
                grid,
                el('div', { 'class': 'actions' }, [
                    routeLink('install', t('Back'), { 'class': 'btn btn-secondary', role: 'button', id: 'back' }),
                    installButton
                ])
            ]);
            function draw() {
                showChoices([grid, installButton], notice);
                clear(grid);
                each(state.products, function (product) {
                    var text = hasText(product.id) ? t(product.id) : product.id;
                    var chips = [];
                    each(product.areas, function (a) {
                        chips.push(el('span', { 'class': 'chip' }, areaName(a)));
                    });
                    var body = [
                        el('span', { 'class': 'product-icon', 'aria-hidden': 'true' }),
                        el('span', { 'class': 'product-text' }, [
                            el('span', { 'class': 'product-description' }, text),
                            el('span', { 'class': 'chips' }, chips)
                        ])
                    ];
                    grid.appendChild(checkTile('product', product.id, product.state, text, body, function (id, shown) {
                        call(shown === 1 ? 'UncheckProductById' : 'CheckProductById', id);
                    }));
                });
                setDisabled(installButton, !state.anyProductSelected);
            }
            this.refresh = draw;
            draw();
            return page;
        }
    };

    views['simplePage/install_default'] = {
        build: function () {
            rereadIfMissing();
            var list = el('ul', { 'class': 'product-list', 'aria-labelledby': 'default-title' });
            var installButton = button(t('Install'), { 'class': 'btn btn-primary', id: 'install-button' }, function () {
                if (canInstallAreas()) {
                    startInstall();
                }
            });
            var custom = routeLink('custom', t('CustomInstall'), { 'class': 'btn btn-secondary', role: 'button', 'data-click-id': 'customInstall' });
            var notice = catalogueNotice();
            var page = el('div', { 'class': 'page-default' }, [
                heading(t('MoreInfo'), 'default-title'),
                notice,
                list,
                el('div', { 'class': 'actions' }, [
                    routeLink('install', t('Back'), { 'class': 'btn btn-secondary', role: 'button', id: 'back' }),
                    custom,
                    installButton
                ])
            ]);
            function draw() {
                showChoices([list, custom, installButton], notice);
                clear(list);
                each(state.products, function (product) {
                    if (product.state === 1) {
                        list.appendChild(el('li', null, [
                            el('span', { 'class': 'product-icon', 'aria-hidden': 'true' }),
                            el('span', null, hasText(product.id) ? t(product.id) : product.id)
                        ]));
                    }
                });
                setDisabled(installButton, !canInstallAreas());
            }
            this.refresh = draw;
            draw();
            return page;
        }
    };

    // Estimates the time left from the average speed since the first report.
    var estimate = {
        start: null,
        startPercent: 0,
        reset: function () {
            this.start = null;
            this.startPercent = 0;
        },
        seconds: function (percent, now) {
            if (this.start === null || percent < this.startPercent) {
                this.start = now;
                this.startPercent = percent;
                return -1;
            }
            var elapsed = (now - this.start) / 1000;
            var done = percent - this.startPercent;
            if (elapsed < 1 || done <= 0 || percent >= 100) {
                return -1;
            }
            return Math.max(1, Math.ceil((100 - percent) * elapsed / done));
        }
    };

    var SLIDE_COUNT = 3;
    var SLIDE_SECONDS = 6;

    views['simplePage/install_progress'] = {
        build: function () {
            var view = this;
            var fill = el('div', { 'class': 'progress-fill' });
            var bar = el('div', {
                'class': 'progress',
                id: 'progress',
                role: 'progressbar',
                'aria-valuemin': '0',
                'aria-valuemax': '100',
                'aria-labelledby': 'progress-title'
            }, fill);
            var percentText = el('span', { 'class': 'progress-percent', id: 'progress-percent' });
            var remaining = el('span', { 'class': 'progress-remaining', id: 'progress-remaining' });
            var slides = [];
            var dots = [];
            var current = 0;
            var paused = false;
            var i;
            for (i = 1; i <= SLIDE_COUNT; i++) {
                var n = '0' + i;
                slides.push(el('div', { 'class': 'slide', id: 'slide-' + i, 'aria-hidden': i === 1 ? 'false' : 'true' }, [
                    el('div', { 'class': 'slide-art slide-art-' + i, 'aria-hidden': 'true' }),
                    el('div', { 'class': 'slide-text' }, [
                        el('h2', null, t('SlideTitle' + n)),
                        el('p', { 'class': 'slide-under' }, el('a', { href: '#', 'class': 'js_open_url', 'data-id': 'slide-' + n, tabindex: i === 1 ? '0' : '-1' }, t('SlideUnderTitle' + n))),
                        el('p', { 'class': 'slide-sub' }, t('SlideSubtitle' + n))
                    ])
                ]));
            }
            function showSlide(index) {
                current = (index + SLIDE_COUNT) % SLIDE_COUNT;
                each(slides, function (s, k) {
                    setClass(s, 'is-current', k === current);
                    s.setAttribute('aria-hidden', k === current ? 'false' : 'true');
                    s.getElementsByTagName('a')[0].setAttribute('tabindex', k === current ? '0' : '-1');
                });
                each(dots, function (d, k) {
                    d.setAttribute('aria-pressed', k === current ? 'true' : 'false');
                    setClass(d, 'is-current', k === current);
                });
            }
            for (i = 0; i < SLIDE_COUNT; i++) {
                dots.push(button('', {
                    'class': 'dot',
                    'aria-label': t('SlideTitle0' + (i + 1)),
                    'data-focus-key': 'dot:' + i
                }, (function (k) {
                    return function () {
                        showSlide(k);
                    };
                }(i))));
            }
            var carousel = el('div', { 'class': 'slides' }, [el('div', { 'class': 'slide-stage' }, slides), el('div', { 'class': 'dots' }, dots)]);
            function pause() {
                paused = true;
            }
            function resume() {
                paused = false;
            }
            carousel.onmouseover = pause;
            carousel.onmouseout = resume;
            if (carousel.addEventListener) {
                carousel.addEventListener('focusin', pause, false);
                carousel.addEventListener('focusout', resume, false);
            }
            showSlide(0);
            this.timer = window.setInterval(function () {
                if (!paused) {
                    showSlide(current + 1);
                }
            }, SLIDE_SECONDS * 1000);

            var stop = button(t('Stop'), { 'class': 'btn btn-secondary', id: 'stop-button' }, function () {
                setDisabled(stop, true);
                call('StopInstall');
            });
            var page = el('div', { 'class': 'page-progress' }, [
                el('h1', { id: 'progress-title' }, [el('span', { 'class': 'loader', 'aria-hidden': 'true' }), t('AppInstalling')]),
                carousel,
                el('div', { 'class': 'progress-box' }, [
                    bar,
                    el('div', { 'class': 'progress-line' }, [percentText, remaining])
                ]),
                el('div', { 'class': 'actions' }, [stop])
            ]);
            estimate.reset();
            this.refresh = function () {
                var p = state.attrs.installPercents;
                fill.style.width = p + '%';
                bar.setAttribute('aria-valuenow', String(p));
                bar.setAttribute('aria-valuetext', p + ' %');
                clear(percentText);
                append(percentText, p + ' %');
                var secs = estimate.seconds(p, new Date().getTime());
                clear(remaining);
                if (secs > 0) {
                    append(remaining, t('Remaining') + ' ' + secs + ' ' + t('Seconds'));
                }
            };
            view.refresh();
            return page;
        },
        leave: function () {
            if (this.timer) {
                window.clearInterval(this.timer);
                this.timer = null;
            }
        }
    };

    // Product results that leave the product on the computer; "notRun" is
    // not a failure either, but the product is still missing.
    var INSTALLED_RESULTS = { installed: 1, alreadyInstalled: 1 };
    var KNOWN_REASONS = {
        notRun: 1,
        downloadFailed: 1,
        damaged: 1,
        startFailed: 1,
        diskFull: 1,
        notInstalled: 1,
        busy: 1,
        exitCode: 1
    };

    function productName(id) {
        return hasText('ProductName_' + id) ? t('ProductName_' + id) : id;
    }

    // A word or two on why a product is missing. A result this page does
    // not know yet still reads as not installed.
    function missingReason(product) {
        if (product.result === 'exitCode') {
            return product.code === null ? t('FailReason_other') : t('FailReason_exitCode').replace('{code}', String(product.code));
        }
        return hasOwn.call(KNOWN_REASONS, product.result) ? t('FailReason_' + product.result) : t('FailReason_other');
    }

    var DONE_TITLES = {
        installed: 'DoneSuccessTitle',
        none: 'DoneSuccessTitle',
        stopped: 'DoneStoppedTitle',
        failed: 'DoneFailedTitle'
    };

    // The last page says how the run ended. Only a run that installed
    // everything (or no run at all) is reported as ready to use; an outcome
    // the page cannot read gets a neutral text.
    function drawDone(page, outcome) {
        var result = outcome.result;
        var success = result === 'installed' || result === 'none';
        var missing = [];
        if (!success) {
            each(outcome.products, function (p) {
                if (!hasOwn.call(INSTALLED_RESULTS, p.result)) {
                    missing.push(el('li', { 'data-id': p.id, 'data-result': p.result }, [
                        el('span', { 'class': 'missing-name' }, productName(p.id)),
                        ' ',
                        el('span', { 'class': 'missing-reason' }, missingReason(p))
                    ]));
                }
            });
        }
        var buttons = [];
        if (success) {
            buttons.push(routeLink('simplePage/share', t('ShareIt'), { 'class': 'btn btn-secondary', role: 'button', id: 'share-button', 'data-click-id': 'shareIt' }));
        }
        if (result === 'failed') {
            var retry = button(t('TryAgain'), { 'class': 'btn btn-primary', id: 'retry-button', 'data-focus-key': 'retry' }, function () {
                // The program runs the failed products again and sends the
                // page to its installing page itself.
                setDisabled(retry, true);
                call('RetryInstall');
            });
            buttons.push(retry);
        }
        buttons.push(button(t('Close'), {
            'class': 'btn ' + (result === 'failed' ? 'btn-secondary' : 'btn-primary'),
            id: 'close-button',
            'data-focus-key': 'close'
        }, function () {
            call('Close');
        }));

        clear(page);
        page.setAttribute('data-outcome', result || 'unknown');
        setClass(page, 'has-list', missing.length > 0);
        append(page, [
            el('div', { 'class': 'done-art done-art-' + (success ? 'success' : result || 'ended'), 'aria-hidden': 'true' }),
            heading(t(hasOwn.call(DONE_TITLES, result) ? DONE_TITLES[result] : 'DoneEndedTitle'), 'done-title'),
            outcome.restartNeeded ? el('p', { 'class': 'done-restart', id: 'done-restart' }, t('DoneRestartNeeded')) : null,
            missing.length ? [
                el('p', { 'class': 'missing-label', id: 'missing-label' }, t('DoneNotInstalled')),
                el('ul', { 'class': 'missing-list', id: 'missing-list', 'aria-labelledby': 'missing-label' }, missing)
            ] : null,
            el('div', { 'class': 'actions actions-center' }, buttons)
        ]);
    }

    views['simplePage/install_done'] = {
        build: function () {
            var page = el('div', { 'class': 'page-done' });
            ATTRIBUTE_READERS.installOutcome();
            this.refresh = function () {
                drawDone(page, state.attrs.installOutcome);
            };
            this.refresh();
            return page;
        }
    };

    function documentPage(titleKey, attr, id) {
        return {
            build: function () {
                var titleId = id + '-title';
                return el('div', { 'class': 'page-document' }, [
                    heading(t(titleKey), titleId),
                    documentBox(state.attrs[attr], titleId),
                    el('div', { 'class': 'actions' }, [
                        routeLink(backTarget('simplePage/welcome'), t('Back'), { 'class': 'btn btn-secondary', role: 'button', id: 'back' })
                    ])
                ]);
            }
        };
    }

    views['simplePage/eula'] = documentPage('EulaTitle', 'eula', 'eula');
    views['simplePage/legal-notes'] = documentPage('LegalNotes', 'eula', 'legal');
    views['simplePage/manual'] = documentPage('UserManual', 'userManual', 'manual');

    var NETWORKS = [
        { id: 'facebook', name: 'Facebook' },
        { id: 'linkedin', name: 'LinkedIn' },
        { id: 'twitter', name: 'Twitter' }
    ];

    views['simplePage/share'] = {
        build: function () {
            var buttons = [];
            each(NETWORKS, function (n) {
                buttons.push(button([el('span', { 'class': 'social-icon social-' + n.id, 'aria-hidden': 'true' }), n.name], {
                    'class': 'btn btn-social',
                    'data-id': n.id
                }, function () {
                    call('Share', n.id);
                }));
            });
            buttons.push(routeLink('simplePage/share-mail', [el('span', { 'class': 'social-icon social-email', 'aria-hidden': 'true' }), t('Share')], {
                'class': 'btn btn-social',
                role: 'button',
                id: 'share-mail-link'
            }));
            var link = el('input', {
                type: 'text',
                id: 'share-link',
                'class': 'text-input share-link',
                readonly: 'readonly',
                'aria-labelledby': 'share-title'
            });
            link.value = state.attrs.shareLink;
            link.onfocus = function () {
                link.select();
            };
            var qr = el('div', { 'class': 'qr-box' });
            this.refresh = function () {
                clear(qr);
                // The layout's own copy stands in until the program names one.
                var src = pictureAddress(state.attrs.qrCode) || 'img/qr-code.png';
                if (src) {
                    qr.appendChild(el('img', { 'class': 'qr', id: 'qr-code', src: src, alt: state.attrs.shareLink, width: '148', height: '148' }));
                }
                link.value = state.attrs.shareLink;
            };
            this.refresh();
            return el('div', { 'class': 'page-share' }, [
                heading(t('ShareTitle'), 'share-title'),
                el('div', { 'class': 'share-body' }, [
                    el('div', { 'class': 'share-options' }, [el('div', { 'class': 'social-buttons' }, buttons), link]),
                    qr
                ]),
                el('div', { 'class': 'actions' }, [
                    routeLink('simplePage/install_done', t('Back'), { 'class': 'btn btn-secondary', role: 'button', id: 'back' })
                ])
            ]);
        }
    };

    views['simplePage/share-mail'] = {
        build: function () {
            return el('div', { 'class': 'page-form' }, [
                heading(t('ShareTitle')),
                el('p', { id: 'share-mail-hint', 'class': 'intro' }, t('MessagePlaseholder')),
                emailForm({
                    id: 'share-mail',
                    label: t('ToPlaceholder'),
                    placeholder: t('ToPlaceholder'),
                    hintId: 'share-mail-hint',
                    submitText: t('SendMessage'),
                    back: routeLink('simplePage/share', t('Back'), { 'class': 'btn btn-secondary', role: 'button', id: 'back' }),
                    send: function (address) {
                        // The program composes the message itself.
                        call('SendShareMessage', address, ' ');
                        show('simplePage/share');
                    }
                })
            ]);
        }
    };

    views['simplePage/protect-another'] = {
        build: function () {
            return el('div', { 'class': 'page-form' }, [
                heading(t('ProtectAnotherTitle')),
                el('p', { id: 'protect-hint', 'class': 'intro' }, t('ProtectAnotherText')),
                emailForm({
                    id: 'protect',
                    label: t('EmailPlaceholder'),
                    placeholder: t('EmailPlaceholder'),
                    hintId: 'protect-hint',
                    submitText: t('SubmitButton'),
                    back: routeLink('install', t('Back'), { 'class': 'btn btn-secondary', role: 'button', id: 'back' }),
                    send: function (address) {
                        call('SendOtherDevice', address);
                        show('install');
                    }
                })
            ]);
        }
    };

    // ------------------------------------------------------------------
    // Header and footer

    // No dictionary entry names the minimise button; this is its spoken name.
    var MINIMIZE_LABEL = 'Minimize';

    function buildHeader(region) {
        clear(region);
        append(region, [
            el('div', { 'class': 'drag-strip', id: 'drag-strip' }, [
                el('span', { 'class': 'logo', 'aria-hidden': 'true' }),
                el('span', { 'class': 'header-title', id: 'header-title' }, t('HeaderTitle'))
            ]),
            el('div', { 'class': 'window-controls', dir: 'ltr' }, [
                button(el('span', { 'class': 'glyph glyph-minimize', 'aria-hidden': 'true' }), {
                    'class': 'window-button',
                    id: 'minimize-button',
                    'aria-label': MINIMIZE_LABEL,
                    title: MINIMIZE_LABEL
                }, function () {
                    call('Minimize');
                }),
                button(el('span', { 'class': 'glyph glyph-close', 'aria-hidden': 'true' }), {
                    'class': 'window-button window-close',
                    id: 'header-close-button',
                    'aria-label': t('Close'),
                    title: t('Close')
                }, function () {
                    call('Close');
                })
            ])
        ]);
    }

    function buildFooter(region) {
        clear(region);
        append(region, [
            el('nav', { 'class': 'footer-links', 'aria-label': t('HeaderTitle') }, [
                el('a', { href: '#', 'class': 'js_open_url', 'data-id': 'my-norvane', id: 'my-norvane' }, t('MyNorvane')),
                routeLink('simplePage/legal-notes', t('LegalNotes'), { id: 'legal-link' }),
                routeLink('simplePage/manual', t('UserManual'), { id: 'manual-link' })
            ]),
            el('span', { 'class': 'footer-language' }, t('Language') + ': ' + t('LangName_' + state.attrs.language))
        ]);
    }

    // ------------------------------------------------------------------
    // Clicks anywhere on the page

    function onDocumentClick(event) {
        var e = event || window.event;
        var target = e.target || e.srcElement;
        var clickNode = closest(target, function (n) {
            return n.getAttribute('data-click-id') !== null;
        });
        if (clickNode) {
            call('UserClick', clickNode.getAttribute('data-click-id'));
        }
        var urlNode = closest(target, function (n) {
            return hasClass(n, 'js_open_url');
        });
        if (urlNode) {
            if (e.preventDefault) {
                e.preventDefault();
            }
            e.returnValue = false;
            call('OpenUrl', urlNode.getAttribute('data-id') || '');
        }
    }

    // Links styled as buttons answer Space like buttons do.
    function onDocumentKeyDown(event) {
        var e = event || window.event;
        var target = e.target || e.srcElement;
        if (e.keyCode === 32 && target && target.tagName === 'A' && target.getAttribute('role') === 'button') {
            if (e.preventDefault) {
                e.preventDefault();
            }
            target.click();
        }
    }

    // ------------------------------------------------------------------
    // Objects the program calls

    window.ClientAPI = {
        GoToPage: function (number) {
            var n = Number(number);
            if (n >= 0 && n < PAGE_ROUTES.length && Math.floor(n) === n) {
                if (n === 3) {
                    readPercents();
                }
                show(PAGE_ROUTES[n]);
            }
        },
        ChangedAttr: function (name) {
            var key = String(name);
            if (hasOwn.call(ATTRIBUTE_READERS, key)) {
                ATTRIBUTE_READERS[key]();
                if (key === 'installPercents' && state.route === 'simplePage/install_progress') {
                    refreshCurrent();
                } else if ((key === 'qrCode' || key === 'shareLink') && state.route === 'simplePage/share') {
                    refreshCurrent();
                } else if (key === 'installOutcome' && state.route === 'simplePage/install_done') {
                    refreshCurrent();
                }
            }
        }
    };

    window.AreaAPI = {
        // Checking an area changes the products too, and only this
        // notification says so.
        CollectionChanged: function () {
            readAreas();
            readProducts();
            refreshCurrent();
        }
    };

    window.ProductAPI = {
        CollectionChanged: function () {
            readProducts();
            refreshCurrent();
        }
    };

    // ------------------------------------------------------------------
    // Start-up

    function start() {
        resolveMethods();
        ATTRIBUTE_READERS.language();
        dictionary = chooseDictionary(state.attrs.language);
        var root = document.documentElement;
        var rtl = t('RTL') === '1';
        root.setAttribute('dir', rtl ? 'rtl' : 'ltr');
        root.setAttribute('lang', state.attrs.language);
        setClass(root, 'rtl', rtl);
        document.title = t('HeaderTitle');

        ATTRIBUTE_READERS.isCppConnected();
        ATTRIBUTE_READERS.eula();
        ATTRIBUTE_READERS.userManual();
        ATTRIBUTE_READERS.shareLink();
        readPercents();
        readAreas();
        readProducts();

        mainRegion = byId('main-region');
        buildHeader(byId('header-region'));
        buildFooter(byId('footer-region'));
        if (document.addEventListener) {
            document.addEventListener('click', onDocumentClick, false);
            document.addEventListener('keydown', onDocumentKeyDown, false);
            window.addEventListener('hashchange', onHashChange, false);
        }
        show(PAGE_ROUTES[0], { keepFocus: true });

        // Last: the program shows its window only now.
        call('WindowIsReady');
    }

    start();
}(window, document));
