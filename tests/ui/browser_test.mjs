// The window program's page in a real browser, Chromium or Firefox, driven over WebDriver BiDi
// as a player would: the table of six accounts at 1280 x 760 with its bar and header in reach,
// the picture of every formation, a package file opened and applied with the keyboard alone,
// preview, apply and undo, downloads of ticked formations, and an accessibility check after the
// folder is open and after a preview; then room made in a full account, a formation renamed and
// accounts named. Saves screenshots of the table, the picture, the results and the named
// accounts in OUT_FOLDER.
//
// Usage: node browser_test.mjs chromium|firefox UI_PROGRAM CLI_PROGRAM EXAMPLES NODE_DEPS OUT_FOLDER
//
// Exits 77 (skipped) only where the browser or the npm packages are missing, and fails instead
// under CI, which installs them.
import { spawn, execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';

const SKIPPED = 77;
const BROWSERS = {
  chromium: { browser: 'chrome', executablePath: '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] },
  firefox: { browser: 'firefox', executablePath: '/usr/bin/firefox-esr', args: [] },
};
const [which, uiProgram, cliProgram, examples, nodeDeps, outFolder] = process.argv.slice(2);

function skip(why) {
  if (process.env.CI === 'true') {
    console.log(`browser_test: failed: ${why}, and CI must run this test`);
    process.exit(1);
  }
  console.log(`browser_test: skipped: ${why} (scripts/install-deps installs it)`);
  process.exit(SKIPPED);
}

const settings = BROWSERS[which];
if (!settings) {
  console.log(`browser_test: unknown browser ${which}`);
  process.exit(2);
}
if (!fs.existsSync(settings.executablePath)) skip(`${settings.executablePath} is missing`);
const require = createRequire(path.resolve(nodeDeps, 'package.json'));
let puppeteer;
let axeSource;
try {
  puppeteer = require('puppeteer-core');
  axeSource = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
} catch (e) {
  skip(`the npm packages puppeteer-core and axe-core are missing from ${nodeDeps}`);
}

function check(condition, what) {
  if (!condition) throw new Error(`failed: ${what}`);
  console.log(`ok: ${what}`);
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), `orvane-${which}-`));
const folder = path.join(work, 'settings_Default');
fs.cpSync(examples, folder, { recursive: true });
// Six accounts, as many as the page must fit into 1280 pixels without sideways scrolling.
fs.copyFileSync(path.join(examples, 'core_user_1001.dat'), path.join(folder, 'core_user_1005.dat'));
fs.copyFileSync(path.join(examples, 'core_user_1002.dat'), path.join(folder, 'core_user_1006.dat'));
const accountFile = (account) => path.join(folder, `core_user_${account}.dat`);
const cliList = (account) => execFileSync(cliProgram, ['list', accountFile(account)], { encoding: 'utf8' });
const shot = (name) => path.join(outFolder, `ui-${which}-${name}.png`);

// A friend's package with the formations a picture must also draw well.
const probe = (x, y, z, range) => ({ x, y, z, range });
const friendPackage = path.join(work, 'friend.json');
fs.writeFileSync(friendPackage, JSON.stringify({
  format: 'kelvo-probe-formations',
  version: 1,
  formations: [
    { id: 1, name: 'All In One Spot', probes: [probe(5, 5, 5, 8), probe(5, 5, 5, 8), probe(5, 5, 5, 2)] },
    { id: 2, name: 'Lone Probe', probes: [probe(-3000000, 12, 400, 4)] },
    { id: 3, name: 'Huge Ranges', probes: [probe(0, 0, 0, 1e6), probe(1, 0, 0, 1e6), probe(0, 1, 1, 1e6), probe(1, 1, 0, 1e6)] },
  ],
}, null, 2));

// A data folder of its own, so that no running window program takes this start over.
const server = spawn(uiProgram, ['--no-browser', folder], {
  stdio: ['ignore', 'pipe', 'pipe'],
  env: { ...process.env, XDG_STATE_HOME: path.join(work, 'state') },
});
let serverErr = '';
server.stderr.on('data', (d) => { serverErr += d; });
const serverExit = new Promise((resolve) => server.on('exit', (code) => resolve(code)));
let browser;
let exitCode = 1;
try {
  const address = await new Promise((resolve, reject) => {
    const lines = readline.createInterface({ input: server.stdout });
    lines.once('line', resolve);
    server.once('exit', () => reject(new Error('the program ended before printing its address')));
  });
  check(/^http:\/\/127\.0\.0\.1:\d+\/#token=/.test(address), `the program prints its address with the token: ${address}`);

  // A busy machine can take a while to start a browser.
  browser = await puppeteer.launch({ ...settings, headless: true, protocol: 'webDriverBiDi', timeout: 120000 });
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 760 });
  const dialogs = [];
  page.on('dialog', async (dialog) => {
    dialogs.push(dialog.message());
    await dialog.accept();
  });
  await page.goto(address);

  const waitFor = (fn, ...args) => page.waitForFunction(fn, { timeout: 60000, polling: 100 }, ...args);
  const text = (selector) => page.$eval(selector, (e) => e.textContent);
  const rowButton = (name) => `#table tbody tr[data-key="${name.toLowerCase()}"] th.name button`;
  const pick = (name, account) => `input[aria-label="take ${name} from ${account}"]`;
  const target = (account) => `input[aria-label="copy to ${account}"]`;

  async function noAxeViolation(when) {
    await page.evaluate(axeSource);
    const violations = await page.evaluate(async () => {
      const result = await window.axe.run(document, { resultTypes: ['violations'] });
      return result.violations.map((v) => `${v.id} (${v.impact}): ${v.help}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
    });
    check(violations.length === 0, `axe-core finds no violation ${when}${violations.length ? ': ' + violations.join('; ') : ''}`);
  }

  // ---- The table of six accounts, fitting a laptop screen ----
  await waitFor(() => document.querySelectorAll('th.account-head').length === 6);
  check(await page.$eval('#folder-path', (e) => e.value) === folder, 'the folder given on the command line is opened');
  const counts = await page.$$eval('th.account-head', (ths) => Object.fromEntries(ths.map((th) => [th.dataset.account, th.querySelector('.count').textContent])));
  check(JSON.stringify(counts) === JSON.stringify({ 1001: '3 / 10', 1002: '0 / 10', 1003: '9 / 10', 1004: '2 / 10', 1005: '3 / 10', 1006: '0 / 10' }),
    `each column counts its formations against ten: ${JSON.stringify(counts)}`);
  const layout = await page.evaluate(() => {
    const bar = document.getElementById('actions-section').getBoundingClientRect();
    return { scrollWidth: document.documentElement.scrollWidth, width: innerWidth, barTop: bar.top, barBottom: bar.bottom, height: document.documentElement.clientHeight };
  });
  check(layout.scrollWidth <= layout.width, `six accounts fit ${layout.width} pixels without sideways scrolling (${layout.scrollWidth})`);
  check(layout.barTop >= 0 && layout.barBottom <= layout.height + 0.5, `Preview and Apply are on screen (${Math.round(layout.barTop)} to ${Math.round(layout.barBottom)} of ${layout.height})`);
  const scrolled = await page.evaluate(() => {
    const wrap = document.querySelector('.table-wrap');
    wrap.scrollTop = wrap.scrollHeight;
    const head = document.querySelector('#table thead th.account-head').getBoundingClientRect();
    return { overflows: wrap.scrollHeight > wrap.clientHeight + 1, headTop: head.top, wrapTop: wrap.getBoundingClientRect().top };
  });
  check(scrolled.overflows && Math.abs(scrolled.headTop - scrolled.wrapTop) <= 2,
    'with the table scrolled to its end, its header row of "copy to" ticks is still in view');
  await page.evaluate(() => { document.querySelector('.table-wrap').scrollTop = 0; });
  await page.screenshot({ path: shot('table') });
  console.log(`screenshot: ${shot('table')}`);
  await noAxeViolation('with a folder open');

  // ---- The picture of every formation ----
  // Each probe is in exactly one dot, and has its ring; rings to scale share one scale with the
  // scale bar, which is a round length of at least 40 pixels.
  async function checkPicture(name, expectedMode) {
    await page.click(rowButton(name));
    await waitFor((n) => document.getElementById('picture-title').textContent === n && !document.getElementById('picture-section').hidden, name);
    const views = await page.evaluate(() => ['top-view', 'side-view'].map((id) => {
      const svg = document.getElementById(id);
      return {
        id,
        mode: svg.dataset.mode,
        dots: [...svg.querySelectorAll('g.probe')].map((g) => ({
          probes: g.dataset.probes.split(' ').map(Number),
          count: g.querySelector('.count') ? Number(g.querySelector('.count').textContent) : 1,
          x: Number(g.querySelector('circle.dot').getAttribute('cx')),
          y: Number(g.querySelector('circle.dot').getAttribute('cy')),
          focusable: g.getAttribute('tabindex') === '0' && /^From (above|the side), Probe \d+: x /.test(g.getAttribute('aria-label')),
          labels: g.querySelectorAll('.ring-label').length,
        })),
        rings: [...svg.querySelectorAll('circle.range')].map((c) => ({ probe: Number(c.dataset.probe), r: Number(c.getAttribute('r')) })),
        bar: svg.querySelector('.scale-bar') && { length: Number(svg.querySelector('.scale-bar').dataset.length), pixels: Number(svg.querySelector('.scale-bar').dataset.pixels) },
      };
    }));
    const stored = await page.$$eval('#probe-table tbody tr', (rows) => rows.map((r) => [...r.cells].map((c) => c.textContent)));
    const labels = await page.$$eval('svg [aria-label]', (nodes) => nodes.map((n) => n.getAttribute('aria-label')));
    check(new Set(labels).size === labels.length, `${name}: every dot has a name of its own`);
    const n = stored.length;
    const all = Array.from({ length: n }, (_, i) => i + 1);
    for (const view of views) {
      const where = `${name}, ${view.id}`;
      const inDots = view.dots.flatMap((d) => d.probes).sort((a, b) => a - b);
      check(JSON.stringify(inDots) === JSON.stringify(all), `${where}: each of the ${n} probes is in exactly one dot`);
      check(view.dots.every((d) => d.count === d.probes.length && d.focusable), `${where}: a dot of several probes shows their count, and each dot can be focused`);
      check(view.dots.every((d) => d.x >= 0 && d.x <= 340 && d.y >= 0 && d.y <= 340), `${where}: every dot is inside the view`);
      const ranged = stored.filter((row) => Number(row[4]) !== 0).map((row) => Number(row[0]));
      check(JSON.stringify(view.rings.map((r) => r.probe).sort((a, b) => a - b)) === JSON.stringify(ranged), `${where}: each probe with a range has its ring`);
      check(view.mode === expectedMode, `${where}: ranges drawn as ${expectedMode} (${view.mode})`);
      if (view.mode === 'scale') {
        const scales = view.rings.map((r) => r.r / Math.abs(Number(stored[r.probe - 1][4])));
        check(scales.every((s) => Math.abs(s - scales[0]) < 1e-6 * scales[0]), `${where}: every ring is to one scale`);
        check(!view.bar || Math.abs(view.bar.pixels / view.bar.length - scales[0]) < 1e-6 * scales[0], `${where}: the scale bar is to the rings' scale`);
      } else {
        check(view.rings.every((r) => r.r >= 10) && view.dots.every((d) => d.labels === 1), `${where}: each ring has a readable size and its range written beside it`);
      }
      if (view.bar) {
        const mantissa = view.bar.length / 10 ** Math.floor(Math.log10(view.bar.length) + 1e-9);
        check(view.bar.pixels >= 40 && [1, 2, 5].some((m) => Math.abs(mantissa - m) < 1e-9), `${where}: the scale bar is ${view.bar.length}, ${Math.round(view.bar.pixels)} pixels`);
      }
    }
    return { views, stored };
  }

  const names = await page.$$eval('#table tbody th.name button', (buttons) => buttons.map((b) => b.textContent));
  check(names.length >= 10, `a row per formation name: ${names.join(', ')}`);
  // The examples' ranges are tiny beside positions in the millions; one probe alone has no spread.
  const single = await page.$$eval('#table tbody tr', (rows) => rows.filter((r) => / 1 probe\b/.test(r.textContent)).map((r) => r.querySelector('th.name').textContent));
  for (const name of names) await checkPicture(name, single.includes(name) ? 'scale' : 'small');
  const ring = await checkPicture('Relic Ring', 'small');
  check(ring.stored.length === 5, 'the table under the picture lists the five probes of Relic Ring as stored');
  await page.$eval('#top-view g.probe', (g) => g.focus());
  check((await text('#probe-focus')).startsWith('Probe '), 'focus on a probe shows its values');
  await page.screenshot({ path: shot('picture') });
  console.log(`screenshot: ${shot('picture')}`);

  // ---- Keyboard only: open the friend's package, tick, apply ----
  // A click on the heading puts the start of Tab's sequence at the top of the page.
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.click('h1');
  const order = [];
  async function tab(shift) {
    if (shift) await page.keyboard.down('Shift');
    await page.keyboard.press('Tab');
    if (shift) await page.keyboard.up('Shift');
    const focused = await page.evaluate(() => {
      const e = document.activeElement;
      return e ? (e.id ? `#${e.id}` : e.getAttribute('aria-label') || e.textContent.trim()) : '';
    });
    order.push(focused);
    return focused;
  }
  async function tabTo(wanted, shift = false) {
    for (let i = 0; i < 200; i++) if ((await tab(shift)) === wanted) return;
    throw new Error(`failed: Tab never reached ${wanted}; reached ${order.slice(-20).join(' | ')}`);
  }
  await tabTo('#upload');
  const at = (name) => order.indexOf(name);
  check(at('#folder-path') < at('copy to 1001') && at('copy to 1001') < at('take Relic Ring from 1001') &&
    at('take Relic Ring from 1001') < at('#upload'), 'Tab goes through the folder, the ticks and the file input in order');
  const [chooser] = await Promise.all([page.waitForFileChooser({ timeout: 30000 }), page.keyboard.press(' ')]);
  await chooser.accept([friendPackage]);
  await waitFor(() => document.querySelector('th.package-head'));
  check((await text('#table-message')).includes('friend.json: 3 formation(s)'), 'Space on the file input opens the package file');
  await tabTo('take Lone Probe from the package file', true);
  await page.keyboard.press(' ');
  await waitFor(() => document.querySelector('input[aria-label="take Lone Probe from the package file"]').checked);
  check(await page.evaluate(() => document.activeElement.getAttribute('aria-label')) === 'take Lone Probe from the package file',
    'the tick keeps the focus while the table is redrawn');
  await tabTo('copy to 1006', true);
  await page.keyboard.press(' ');
  await waitFor(() => document.querySelector('input[aria-label="copy to 1006"]').checked);
  check(await page.$eval('#undo-all', (e) => e.hidden), 'Undo everything is hidden until the page has changed an account');
  await tabTo('#apply');
  await page.keyboard.press('Enter');
  await waitFor(() => /changed/.test(document.querySelector('#results .results-heading')?.textContent || ''));
  check(dialogs.pop().startsWith('Copy Lone Probe to account 1006?'), 'the confirm box names the formation and the account');
  check(!(await page.$eval('#undo-all', (e) => e.hidden)), 'Undo everything shows once the page has changed an account');
  check(cliList('1006') === '1 formation(s)\nLone Probe\t1 probe(s)\n', 'keyboard alone applied the package formation to 1006');

  for (const [name, mode] of [['All In One Spot', 'scale'], ['Lone Probe', 'scale'], ['Huge Ranges', 'large']]) {
    await checkPicture(name, mode);
  }
  const spot = await checkPicture('All In One Spot', 'scale');
  check(spot.views.every((v) => v.dots.length === 1 && v.dots[0].count === 3), 'three probes at one spot are one dot that says 3');

  // ---- A package of ticks from the friend's package, then from two accounts ----
  await page.evaluate(() => {
    window.savedFiles = [];
    const create = URL.createObjectURL;
    URL.createObjectURL = (blob) => { window.lastBlob = blob; return create.call(URL, blob); };
    HTMLAnchorElement.prototype.click = function () {
      const name = this.download;
      window.lastBlob.text().then((content) => window.savedFiles.push({ name, content }));
    };
  });
  const saved = async (count) => {
    await waitFor((n) => window.savedFiles.length === n, count);
    return (await page.evaluate(() => window.savedFiles))[count - 1];
  };
  await page.click('#download');
  let file = await saved(1);
  check(file.name === 'Lone Probe.json' && JSON.parse(file.content).formations.map((f) => f.name).join() === 'Lone Probe',
    `the ticks of a friend's package download as one package: ${file.name}`);
  await page.click(pick('Relic Ring', '1001'));
  await page.click(pick('Hex Spread', '1003'));
  await page.click('#download');
  file = await saved(2);
  check(file.name === 'Hex Spread + 1 more.json' && JSON.parse(file.content).formations.map((f) => f.name).join() === 'Hex Spread,Relic Ring',
    `ticks from two accounts download as one package named for what it holds: ${file.name}`);
  await page.click(pick('Hex Spread', '1003'));
  await page.click('th.package-head button');

  // ---- Preview, apply, undo ----
  await page.click(pick('Pinpoint Cluster', '1001'));
  for (const account of ['1006', '1004', '1002']) await page.click(target(account));
  await page.click('#preview');
  await waitFor(() => document.querySelectorAll('#results .result').length === 2);
  const previews = await page.$$eval('#results .result', (rs) => rs.map((r) => [r.dataset.account, r.textContent]));
  check(previews.map((p) => p[0]).join() === '1002,1004', 'results come in the table\'s account order');
  check(previews.every((p) => p[1].includes('Would add 2')), 'the preview shows what each account would gain');
  check(await text('#results .results-heading') === 'Preview: 2 accounts would change', 'the preview heading says what would happen');
  check(cliList('1002').startsWith('0 formation(s)'), 'a preview writes nothing');
  await noAxeViolation('after a preview');
  await page.click('#apply');
  await waitFor(() => /changed/.test(document.querySelector('#results .results-heading')?.textContent || ''));
  check(dialogs.pop().startsWith('Copy Pinpoint Cluster and Relic Ring to accounts 1002 and 1004?'), 'the confirm box names the formations and the accounts');
  check(await text('#results .results-heading') === '2 accounts changed', 'the heading says what happened');
  check(cliList('1002') === '2 formation(s)\nPinpoint Cluster\t4 probe(s)\nRelic Ring\t5 probe(s)\n', 'the command line lists the two new formations of account 1002');
  await page.screenshot({ path: shot('results') });
  console.log(`screenshot: ${shot('results')}`);
  await page.click('#undo-all');
  await waitFor(() => document.querySelector('#results .results-heading')?.textContent.includes('restored'));
  // 1006 was changed by the keyboard apply above, since the folder was opened: it goes back too.
  check(dialogs.pop().startsWith('Put accounts 1002, 1004 and 1006 back'), 'Undo everything names the accounts it puts back');
  check(await text('#results .results-heading') === '3 accounts restored', 'the heading says what was restored');
  for (const [account, copied] of [['1002', '1002'], ['1004', '1004'], ['1006', '1002']]) {
    check(fs.readFileSync(accountFile(account)).equals(fs.readFileSync(path.join(examples, `core_user_${copied}.dat`))),
      `Undo everything gives back the original bytes of ${account}`);
  }
  for (const account of ['1001', '1002', '1004']) await page.click(target(account));
  await page.click('#apply');
  await waitFor(() => document.querySelector('#results .results-heading')?.textContent.includes('not changed'));
  check(await text('#results .results-heading') === '1 account not changed', 'the heading counts the accounts not changed');
  dialogs.length = 0;

  // ---- Errors that name their file, a folder as players paste it ----
  await page.evaluate(() => { const input = document.getElementById('upload'); input.value = ''; });
  const upload = await page.$('#upload');
  await upload.uploadFile(accountFile('1003'));
  await waitFor(() => document.getElementById('table-message').textContent.includes('not a package'));
  check((await text('#table-message')).includes("this is an account's settings file, not a package (core_user_1003.dat)"),
    'a settings file opened as a package is named as such');
  await page.$eval('#folder-path', (e) => { e.value = ''; });
  await page.type('#folder-path', `"${path.join(work, 'missing')}"`);
  await page.keyboard.press('Enter');
  await waitFor(() => document.getElementById('folder-message').textContent.includes('missing'));
  check((await text('#folder-message')).includes(`(${path.join(work, 'missing')})`), 'a folder that cannot be opened is named in the error');
  await page.$eval('#folder-path', (e) => { e.value = ''; });
  await page.type('#folder-path', `  "${folder}" `);
  await page.keyboard.press('Enter');
  await waitFor((f) => document.getElementById('folder-path').value === f, folder);
  check(await page.$$eval('th.account-head', (ths) => ths.length) === 6, 'a folder pasted in quotes opens');

  // ---- Make room in a full account, rename a formation, name an account ----
  dialogs.length = 0;
  await page.reload();
  await waitFor(() => document.querySelectorAll('th.account-head').length === 6);
  const held = Number(cliList('1003').split(' ')[0]);
  await page.click(pick('Survey Line', '1004'));
  await page.click(pick('Anchor Point', '1004'));
  await page.click(target('1003'));
  await page.click('#preview');
  await waitFor(() => document.querySelector('#results .make-room'));
  check((await text('#results .result[data-account="1003"]')).includes(`tick at least ${held - 8} formation${held === 9 ? '' : 's'} of account 1003 to remove first`),
    'a preview that finds an account full offers to make room in it');
  await page.click('input[aria-label^="make room: remove Tight Cross "]');
  await page.click('input[aria-label^="make room: remove Scout Pair "]');
  await page.click('#results .make-room button');
  await waitFor(() => /Would add 2/.test(document.querySelector('#results .result[data-account="1003"]')?.textContent || ''));
  check(dialogs.pop().startsWith('Remove Scout Pair and Tight Cross from account 1003?'), 'the confirm box names the formations to remove and the account');
  check(!/Tight Cross|Scout Pair/.test(cliList('1003')), 'making room removed the formations ticked');
  await page.click('#apply');
  await waitFor(() => /changed/.test(document.querySelector('#results .results-heading')?.textContent || ''));
  dialogs.pop();
  const full = cliList('1003');
  check(full.startsWith(`${held} formation(s)`) && full.includes('Survey Line') && full.includes('Anchor Point'),
    'the formations ticked then fit the account made room in');

  await page.click('button[aria-label="Edit: rename or remove formations of 1001"]');
  await page.focus('button[aria-label="Rename Wide Sweep in 1001"]');
  await page.keyboard.press('Enter');
  await waitFor(() => document.activeElement?.getAttribute('aria-label') === 'New name for Wide Sweep in 1001');
  await page.$eval('input[aria-label="New name for Wide Sweep in 1001"]', (e) => e.select());
  await page.keyboard.type('Broad Sweep');
  await page.keyboard.press('Enter');
  await waitFor(() => document.activeElement?.getAttribute('aria-label') === 'Rename Broad Sweep in 1001');
  check(cliList('1001').includes('Broad Sweep\t8 probe(s)') && !cliList('1001').includes('Wide Sweep'),
    'Enter in the name field renames the formation, and the focus comes back to its Rename button');
  const labels = await page.$$eval('#table [aria-label]', (nodes) => nodes.map((n) => `${n.tagName} ${n.getAttribute('aria-label')}`));
  check(new Set(labels).size === labels.length, 'every control of the table has a name of its own while a column is edited');
  await noAxeViolation('with a column open for renaming and removing');

  const before = fs.readFileSync(accountFile('1001'));
  await page.click('button[aria-label="Name account 1001"]');
  await waitFor(() => document.activeElement?.getAttribute('aria-label') === 'Name for account 1001');
  await page.keyboard.type('Main');
  await page.keyboard.press('Enter');
  await waitFor(() => document.querySelector('th[data-account="1001"] .given-name')?.textContent === 'Main');
  await page.click('button[aria-label="Name account 1003"]');
  await waitFor(() => document.activeElement?.getAttribute('aria-label') === 'Name for account 1003');
  await page.keyboard.type('Hauler');
  await page.keyboard.press('Enter');
  await waitFor(() => document.querySelector('th[data-account="1003"] .given-name')?.textContent === 'Hauler');
  check(fs.readFileSync(accountFile('1001')).equals(before), 'naming an account leaves its settings file as it is');
  check(JSON.parse(fs.readFileSync(path.join(work, 'state', 'orvane-probe-formations', 'account-names.json'), 'utf8'))[folder]['1003'] === 'Hauler',
    'the names are kept in the program\'s data folder');
  const heads = await page.$$eval('th.account-head', (ths) => ths.map((th) => [th.dataset.account, th.querySelector('.changed')?.textContent || '']));
  check(heads.every(([, changed]) => /^changed (just now|\d+ (minute|hour|day)s? ago)/.test(changed)), `each column says when its file changed: ${heads.map((h) => h[1]).join(' | ')}`);
  const played = await page.$$eval('th.account-head .played-last', (marks) => marks.map((m) => m.closest('th').dataset.account));
  check(played.length <= 1 && played[0] !== '1001',
    `an account this page wrote, beside its backup, is never taken for the one played last: ${played.join()}`);
  await page.click('th[data-account="1001"] button.history');
  await waitFor(() => document.querySelector('#restore-points h3')?.textContent === 'Restore points of account 1001 (Main)');
  check((await text('#restore-points')).includes('before renaming Wide Sweep to Broad Sweep'), 'the restore points show the name beside the number, and the rename\'s point');
  await noAxeViolation('with named accounts');
  await page.evaluate(() => { window.scrollTo(0, 0); document.querySelector('.table-wrap').scrollTop = 0; });
  await page.screenshot({ path: shot('names') });
  console.log(`screenshot: ${shot('names')}`);

  await page.click('#quit');
  await waitFor(() => !document.getElementById('stopped').hidden);
  check(await serverExit === 0, 'Quit ends the program');
  check(serverErr.includes('has stopped'), 'the program says it has stopped');
  console.log(`browser_test (${which}): passed`);
  exitCode = 0;
} catch (e) {
  console.log(e.stack || String(e));
} finally {
  if (browser) await browser.close().catch(() => {});
  if (server.exitCode === null) server.kill();
  fs.rmSync(work, { recursive: true, force: true });
}
process.exit(exitCode);
