// The page of orvane-probe-formations-ui. It holds no data of its own: everything comes from the
// program's API, which wants the session token the program put in this page's address.
'use strict';

const MAX_CUSTOM_FORMATIONS = 10;
// Kept for the tab, so that reloading the page after the address bar lost the token still works.
const token = (() => {
  const given = new URLSearchParams(location.hash.slice(1)).get('token');
  if (given) sessionStorage.setItem('token', given);
  return given || sessionStorage.getItem('token') || '';
})();

const state = {
  folder: '',
  accounts: [],      // as /api/accounts gives them
  package: null,     // {fileName, text, formations} of a package file the player opened
  picks: new Map(),  // row key -> {account, id} or {packageIndex}
  targets: new Set(),
  selectedRow: null,
  preview: null,     // account -> result of the last preview of the current picks
  browsing: '',
};

const $ = (id) => document.getElementById(id);

// Builds an element; text always goes in as text, never as markup.
function el(tag, props = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(props)) {
    if (key === 'class') node.className = value;
    else if (key === 'on') for (const [event, fn] of Object.entries(value)) node.addEventListener(event, fn);
    else if (key in node) node[key] = value;
    else node.setAttribute(key, value);
  }
  for (const child of children) {
    if (child !== null && child !== undefined) node.append(child);
  }
  return node;
}

function svgEl(tag, attributes = {}) {
  const node = document.createElementNS('http://www.w3.org/2000/svg', tag);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, String(value));
  return node;
}

// ---- Talking to the program ----

class StoppedError extends Error {}

class ApiError extends Error {
  constructor(message, status) {
    super(message);
    this.status = status;
  }
}

async function api(method, path, body) {
  const headers = { 'X-Token': token };
  if (body !== undefined) headers['Content-Type'] = 'application/json';
  let response;
  try {
    response = await fetch(path, {
      method, headers, cache: 'no-store',
      body: body === undefined ? undefined : JSON.stringify(body),
    });
  } catch (e) {
    // The server is gone: the program was ended from its console or its window was closed.
    showStopped();
    throw new StoppedError('stopped');
  }
  // The program refuses every request of a page that lacks this run's token.
  if (response.status === 403) {
    showNoKey();
    throw new StoppedError('no key');
  }
  if (!response.ok) {
    let message = response.statusText;
    try { message = (await response.json()).error || message; } catch (e) { /* not JSON */ }
    throw new ApiError(message, response.status);
  }
  return response;
}

const getJson = async (path) => (await api('GET', path)).json();
const postJson = async (path, body) => (await api('POST', path, body)).json();
const query = (params) => new URLSearchParams(params).toString();

function showStopped() {
  $('app').hidden = true;
  $('quit').disabled = true;
  $('stopped').hidden = false;
}

// Opened from a bookmark, the history or another tab, or left from an earlier run.
function showNoKey() {
  sessionStorage.removeItem('token');
  $('app').hidden = true;
  $('quit').disabled = true;
  $('no-key').hidden = false;
}

// ---- Errors in words a player can act on ----

function explain(text) {
  let m;
  if ((m = /^target would contain (\d+) custom formations/.exec(text))) {
    return `It would then hold ${m[1]} formations, but the game client keeps at most ${MAX_CUSTOM_FORMATIONS}. ` +
      'Untick some formations, or delete some in the game first.';
  }
  if (/^read /.test(text)) return 'The file could not be read. Check that it exists and that you may open it.';
  if (/^decode /.test(text)) return 'This file is not a settings file this program can read. It was left as it is.';
  if (/^backup /.test(text)) return 'No backup copy could be made, so the account was not changed. Is the disk full or the folder read-only?';
  if (/^write /.test(text)) {
    return 'The file could not be written. Close the game client and try again; if the account looks wrong, restore it from its backup.';
  }
  if (/^settings directory: /.test(text)) return 'The folder could not be opened. Check the path.';
  if (/^package: /.test(text)) return 'This is not a formation package file, or it is damaged.';
  if (text === 'unsupported formation package') return 'This package file is of a kind this program does not read.';
  if (/^rebuild settings|^encode settings/.test(text)) return 'The changed settings could not be encoded; the account was not changed.';
  return '';
}

function errorBlock(text) {
  const advice = explain(text);
  return el('div', {},
    advice ? el('div', { class: 'error-text' }, advice) : null,
    el('div', { class: advice ? 'raw' : 'error-text' }, text));
}

function showMessage(id, text, isError) {
  const box = $(id);
  box.replaceChildren();
  box.classList.toggle('error', Boolean(isError));
  if (!text) return;
  box.append(isError ? errorBlock(text) : text);
}

async function guarded(id, action) {
  try {
    await action();
  } catch (e) {
    if (e instanceof StoppedError) return;
    showMessage(id, e.message, true);
  }
}

// ---- Choosing the folder ----

async function loadFolders() {
  const found = $('found');
  const reply = await getJson('/api/folders');
  found.replaceChildren();
  if (reply.folders.length === 0) {
    found.append(el('option', { value: '' }, 'None found: type, paste or browse to a folder'));
  } else {
    found.append(el('option', { value: '' }, `${reply.folders.length} found: pick one`));
    for (const folder of reply.folders) found.append(el('option', { value: folder }, folder));
  }
  state.browsing = reply.home || '';
  if (reply.folders.length > 0) {
    found.value = reply.folders[0];
    await openFolder(reply.folders[0]);
  }
}

async function openFolder(folder) {
  folder = folder.trim();
  if (!folder) return;
  $('folder-path').value = folder;
  showMessage('folder-message', 'Reading the account files…', false);
  const reply = await getJson('/api/accounts?' + query({ folder }));
  if (folder !== state.folder) {
    state.picks.clear();
    state.targets.clear();
    state.selectedRow = null;
  }
  state.folder = folder;
  state.accounts = reply.accounts;
  state.preview = null;
  showMessage('folder-message', reply.accounts.length === 0
    ? 'This folder holds no account files (core_user_….dat).'
    : `${reply.accounts.length} account file(s) in this folder.`, false);
  for (const account of [...state.targets]) {
    if (!state.accounts.some((a) => a.account === account)) state.targets.delete(account);
  }
  render();
}

async function browse(path) {
  const reply = await getJson('/api/browse?' + query({ path }));
  state.browsing = reply.path;
  $('browser').hidden = false;
  $('browse-path').textContent = reply.path || 'Drives';
  $('browse-accounts').textContent = reply.account_files > 0 ? `${reply.account_files} account file(s) here` : '';
  $('browse-up').disabled = reply.parent === null;
  $('browse-up').dataset.path = reply.parent === null ? '' : reply.parent;
  $('browse-pick').disabled = !reply.path;
  const list = $('browse-list');
  list.replaceChildren();
  for (const folder of reply.folders) {
    list.append(el('li', {}, el('button', {
      type: 'button', on: { click: () => guarded('folder-message', () => browse(folder.path)) },
    }, folder.name)));
  }
}

// ---- The table ----

// Names are grouped as the merge compares them: only the letters A to Z ignore case.
const rowKey = (name) => name.replace(/[A-Z]/g, (c) => c.toLowerCase());

function buildRows() {
  const rows = new Map();
  const row = (name) => {
    const key = rowKey(name);
    if (!rows.has(key)) rows.set(key, { key, name, holders: new Map(), packageIndexes: [] });
    return rows.get(key);
  };
  for (const account of state.accounts) {
    for (const formation of account.formations) {
      const entry = row(formation.name);
      if (!entry.holders.has(account.account)) entry.holders.set(account.account, []);
      entry.holders.get(account.account).push(formation);
    }
  }
  if (state.package) {
    state.package.formations.forEach((formation, index) => row(formation.name).packageIndexes.push(index));
  }
  return [...rows.values()].sort((a, b) => a.name.localeCompare(b.name) || a.key.localeCompare(b.key));
}

function render() {
  $('accounts-section').hidden = state.accounts.length === 0 && !state.package;
  $('actions-section').hidden = $('accounts-section').hidden;
  const rows = buildRows();
  for (const key of [...state.picks.keys()]) if (!rows.some((r) => r.key === key)) state.picks.delete(key);

  const table = $('table');
  table.replaceChildren();
  const head = el('tr', {}, el('th', { scope: 'col' }, 'Formation'));
  for (const account of state.accounts) head.append(accountHeader(account));
  if (state.package) {
    head.append(el('th', { class: 'package-head', scope: 'col' },
      el('div', {}, 'Package file'), el('div', { class: 'muted' }, state.package.fileName),
      el('div', { class: 'buttons' }, el('button', {
        type: 'button', class: 'small', on: { click: closePackage },
      }, 'Close'))));
  }
  table.append(el('thead', {}, head));

  const body = el('tbody');
  for (const row of rows) {
    const tr = el('tr', { class: row.key === state.selectedRow ? 'selected' : '' });
    tr.dataset.key = row.key;
    tr.append(el('th', { class: 'name', scope: 'row' }, el('button', {
      type: 'button', on: { click: () => selectRow(row) },
    }, row.name)));
    for (const account of state.accounts) tr.append(accountCell(row, account));
    if (state.package) tr.append(packageCell(row));
    body.append(tr);
  }
  if (rows.length === 0) {
    body.append(el('tr', {}, el('td', { colSpan: state.accounts.length + 2, class: 'muted' }, 'No account holds any custom formation yet.')));
  }
  table.append(body);
  renderSummary();
  if (state.selectedRow) {
    const row = rows.find((r) => r.key === state.selectedRow);
    if (row) drawRow(row); else $('picture-section').hidden = true;
  }
}

function accountHeader(account) {
  const th = el('th', { class: 'account-head' + (state.targets.has(account.account) ? ' target' : ''), scope: 'col' });
  th.dataset.account = account.account;
  th.append(el('div', {}, account.account === '' ? '(no name)' : account.account));
  if (account.error) {
    th.append(el('div', { class: 'error-text' }, explain(account.error) || account.error));
    th.title = account.error;
  } else {
    const full = account.custom_count >= MAX_CUSTOM_FORMATIONS;
    th.append(el('span', { class: 'count' + (full ? ' full' : '') }, `${account.custom_count} / ${MAX_CUSTOM_FORMATIONS}`));
    const box = el('input', {
      type: 'checkbox', checked: state.targets.has(account.account), class: 'target-box',
      on: {
        change: (e) => {
          if (e.target.checked) state.targets.add(account.account); else state.targets.delete(account.account);
          clearPreview();
          render();
        },
      },
    });
    th.append(el('label', {}, box, ' copy to'));
  }
  const buttons = el('div', { class: 'buttons' });
  if (!account.error && account.formations.length > 0) {
    buttons.append(el('button', {
      type: 'button', class: 'small', title: 'Save every formation of this account as a package file',
      on: { click: () => guarded('table-message', () => downloadPackage(account.account, [])) },
    }, 'Package'));
  }
  if (account.has_backup) {
    buttons.append(el('button', {
      type: 'button', class: 'small restore', title: 'Put the file back as it was before the last apply',
      on: { click: () => guarded('results', () => restore(account.account)) },
    }, 'Restore'));
  }
  th.append(buttons);
  return th;
}

function pickedHere(row, pick) {
  const current = state.picks.get(row.key);
  if (!current) return false;
  if ('packageIndex' in pick) return current.packageIndex === pick.packageIndex;
  return current.account === pick.account && current.id === pick.id;
}

function pickBox(row, pick, label) {
  return el('label', {}, el('input', {
    type: 'checkbox', class: 'pick-box', checked: pickedHere(row, pick),
    on: { change: (e) => { setPick(row, pick, e.target.checked); } },
  }), label);
}

// One source per name: the merge would skip a second formation of the same name anyway. Picks
// come either from accounts or from the package file, as one apply takes either.
function setPick(row, pick, on) {
  if (on) {
    const fromPackage = 'packageIndex' in pick;
    let dropped = false;
    for (const [key, other] of [...state.picks]) {
      if (('packageIndex' in other) !== fromPackage) {
        state.picks.delete(key);
        dropped = true;
      }
    }
    state.picks.set(row.key, pick);
    showMessage('table-message', dropped
      ? (fromPackage ? 'Formations come from the package file or from accounts, not both: the ticks on accounts were cleared.'
        : 'Formations come from accounts or from the package file, not both: the ticks on the package were cleared.')
      : '', false);
  } else if (pickedHere(row, pick)) {
    state.picks.delete(row.key);
  }
  clearPreview();
  render();
}

function accountCell(row, account) {
  const td = el('td');
  td.dataset.account = account.account;
  const held = row.holders.get(account.account) || [];
  if (held.length > 0) {
    td.className = 'holds';
    for (const formation of held) {
      const probes = formation.probes.length;
      td.append(el('div', {}, pickBox(row, { account: account.account, id: formation.id }, '✓'),
        ' ', el('span', { class: 'ids' }, `id ${formation.id}, ${probes} probe${probes === 1 ? '' : 's'}`)));
    }
  }
  const outcome = state.preview && state.preview.get(account.account);
  if (outcome && !outcome.error) {
    const added = outcome.added.find((a) => rowKey(a.name) === row.key);
    if (added) td.append(el('div', { class: 'will-add' }, `+ new, id ${added.id}`));
    else if (outcome.skipped.some((name) => rowKey(name) === row.key) && held.length > 0) {
      td.append(el('div', { class: 'will-skip' }, 'already here'));
    }
  }
  return td;
}

function packageCell(row) {
  const td = el('td');
  for (const index of row.packageIndexes) {
    const formation = state.package.formations[index];
    td.className = 'holds';
    td.append(el('div', {}, pickBox(row, { packageIndex: index }, '✓'), ' ',
      el('span', { class: 'ids' }, `${formation.probes.length} probe(s)`)));
  }
  return td;
}

// ---- The picture of a formation ----

function selectRow(row) {
  state.selectedRow = row.key;
  render();
}

function formationOf(row) {
  const pick = state.picks.get(row.key);
  if (pick && 'packageIndex' in pick) return { formation: state.package.formations[pick.packageIndex], from: 'the package file' };
  if (pick) {
    const held = row.holders.get(pick.account) || [];
    const formation = held.find((f) => f.id === pick.id);
    if (formation) return { formation, from: `account ${pick.account}` };
  }
  for (const [account, held] of row.holders) return { formation: held[0], from: `account ${account}` };
  if (row.packageIndexes.length > 0) return { formation: state.package.formations[row.packageIndexes[0]], from: 'the package file' };
  return null;
}

function drawRow(row) {
  const shown = formationOf(row);
  if (!shown) return;
  const { formation, from } = shown;
  $('picture-section').hidden = false;
  $('picture-title').textContent = formation.name;
  const count = formation.probes.length;
  const ranges = formation.probes.map((p) => p.range);
  const rangeText = count === 0 ? '' : Math.min(...ranges) === Math.max(...ranges)
    ? ` Scan range ${formatNumber(ranges[0])}.`
    : ` Scan ranges ${formatNumber(Math.min(...ranges))} to ${formatNumber(Math.max(...ranges))}.`;
  $('picture-caption').textContent = `${count} probe${count === 1 ? '' : 's'}, as held by ${from}. ` +
    `Each dot is a probe and its circle its scan range, to scale.${rangeText}`;
  drawView($('top-view'), formation.probes.map((p) => [p.x, p.z, p.range]), false);
  drawView($('side-view'), formation.probes.map((p) => [p.x, p.y, p.range]), true);
}

// Both axes of a view share one scale, so distances and circles are true to each other.
function drawView(svg, points, upIsPositive) {
  svg.replaceChildren();
  const v = (y) => (upIsPositive ? -y : y);
  let minX = Infinity; let maxX = -Infinity; let minY = Infinity; let maxY = -Infinity;
  for (const [x, y, range] of points) {
    const r = Math.abs(range);
    minX = Math.min(minX, x - r); maxX = Math.max(maxX, x + r);
    minY = Math.min(minY, v(y) - r); maxY = Math.max(maxY, v(y) + r);
  }
  if (!Number.isFinite(minX)) { minX = -1; maxX = 1; minY = -1; maxY = 1; }
  let size = Math.max(maxX - minX, maxY - minY);
  if (!(size > 0)) size = 2;
  const cx = (minX + maxX) / 2;
  const cy = (minY + maxY) / 2;
  const half = (size / 2) * 1.08;
  svg.setAttribute('viewBox', `${cx - half} ${cy - half} ${2 * half} ${2 * half}`);
  svg.append(svgEl('line', { class: 'axis', x1: cx - half, y1: 0, x2: cx + half, y2: 0 }));
  svg.append(svgEl('line', { class: 'axis', x1: 0, y1: cy - half, x2: 0, y2: cy + half }));
  const dot = half / 60;
  for (const [x, y, range] of points) {
    if (range > 0) svg.append(svgEl('circle', { class: 'range', cx: x, cy: v(y), r: Math.abs(range) }));
  }
  for (const [x, y, range] of points) {
    const probe = svgEl('circle', { class: 'probe', cx: x, cy: v(y), r: dot });
    const title = svgEl('title');
    title.textContent = `${x}, ${y}; range ${range}`;
    probe.append(title);
    svg.append(probe);
  }
  const label = svgEl('text', { x: cx - half * 0.96, y: cy + half * 0.94, 'font-size': half / 14, fill: '#5f6878' });
  label.textContent = `${formatNumber(2 * half)} across`;
  svg.append(label);
}

function formatNumber(value) {
  const magnitude = Math.abs(value);
  if (magnitude !== 0 && (magnitude >= 1e6 || magnitude < 1e-3)) return value.toExponential(2);
  return String(Math.round(value * 1000) / 1000);
}

// ---- Preview, apply, restore ----

function clearPreview() {
  state.preview = null;
  $('results').replaceChildren();
}

function pickedRequest(dryRun) {
  const request = { folder: state.folder, targets: [...state.targets], dry_run: dryRun };
  const rows = buildRows();
  const picks = rows.filter((row) => state.picks.has(row.key)).map((row) => state.picks.get(row.key));
  if (picks.length > 0 && 'packageIndex' in picks[0]) {
    request.package = state.package.text;
    request.pick = picks.map((p) => p.packageIndex);
  } else {
    request.formations = picks.map((p) => ({ account: p.account, id: p.id }));
  }
  return request;
}

function renderSummary() {
  const picks = state.picks.size;
  const targets = state.targets.size;
  $('selection-summary').textContent =
    `${picks} formation(s) ticked, ${targets} account(s) to copy them to.` +
    (picks === 0 || targets === 0 ? ' Tick at least one of each to preview.' : '');
  $('preview').disabled = picks === 0 || targets === 0;
  $('apply').disabled = picks === 0 || targets === 0;
  const fromOneAccount = [...state.picks.values()].every((p) => !('packageIndex' in p)) &&
    new Set([...state.picks.values()].map((p) => p.account)).size === 1;
  $('download').disabled = !fromOneAccount;
}

function resultBlock(result, applied) {
  const ok = !result.error;
  const box = el('div', { class: 'result ' + (ok ? 'ok' : 'failed') });
  box.dataset.account = result.account;
  box.append(el('h3', {}, `Account ${result.account}`));
  if (!ok) {
    box.append(el('div', {}, applied ? 'Not changed:' : 'Would not be changed:'), errorBlock(result.error));
    return box;
  }
  const added = result.added.map((a) => `${a.name} (id ${a.id})`).join(', ');
  box.append(el('div', { class: 'added' }, result.added.length === 0
    ? (applied ? 'Nothing new was added.' : 'Nothing new would be added.')
    : `${applied ? 'Added' : 'Would add'} ${result.added.length}: ${added}`));
  if (result.skipped.length > 0) {
    box.append(el('div', { class: 'skipped muted' }, `Already there, so left out: ${result.skipped.join(', ')}`));
  }
  box.append(el('div', { class: 'muted' }, `${result.custom_count} of ${MAX_CUSTOM_FORMATIONS} custom formations${applied ? '' : ' afterwards'}.`));
  return box;
}

function showResults(results, applied) {
  const box = $('results');
  box.replaceChildren();
  box.classList.remove('error');
  box.append(el('p', { class: 'hint' }, applied
    ? 'Applied. Each changed account was backed up first; use its Restore button to undo.'
    : 'Preview: nothing has been written yet.'));
  for (const result of results) box.append(resultBlock(result, applied));
}

async function preview() {
  const reply = await postJson('/api/apply', pickedRequest(true));
  state.preview = new Map(reply.results.map((r) => [r.account, r]));
  render();
  showResults(reply.results, false);
}

async function apply() {
  const request = pickedRequest(false);
  const question = `Copy ${state.picks.size} formation(s) to ${request.targets.length} account(s)? ` +
    'Each account file is backed up before it is changed. Is the game client closed?';
  if (!window.confirm(question)) return;
  const reply = await postJson('/api/apply', request);
  state.preview = null;
  await openFolder(state.folder);
  showResults(reply.results, true);
}

async function restore(account) {
  if (!window.confirm(`Put account ${account} back as it was before the last apply? ` +
    'Changes made to it since then are lost. Is the game client closed?')) return;
  const reply = await postJson('/api/restore', { folder: state.folder, accounts: [account] });
  await openFolder(state.folder);
  const box = $('results');
  box.replaceChildren();
  for (const result of reply.results) {
    box.append(el('div', { class: 'result ' + (result.error ? 'failed' : 'ok') },
      el('h3', {}, `Account ${result.account}`),
      result.error ? errorBlock(result.error) : el('div', {}, 'Restored from its backup.')));
  }
}

// ---- Package files ----

async function downloadPackage(account, ids) {
  const params = { folder: state.folder, account };
  if (ids.length > 0) params.ids = ids.join(',');
  const response = await api('GET', '/api/package?' + query(params));
  const blob = await response.blob();
  const link = el('a', { href: URL.createObjectURL(blob), download: `formations-${account || 'account'}.json` });
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

async function downloadTicked() {
  const picks = [...state.picks.values()];
  if (picks.length === 0) return;
  await downloadPackage(picks[0].account, picks.map((p) => p.id));
}

async function upload(file) {
  const text = await file.text();
  const reply = await postJson('/api/read-package', { package: text });
  closePackage();
  state.package = { fileName: file.name, text, formations: reply.formations };
  clearPreview();
  render();
  showMessage('table-message', `${file.name}: ${reply.formations.length} formation(s). Tick them in the package column to copy them.`, false);
}

function closePackage() {
  for (const [key, pick] of [...state.picks]) if ('packageIndex' in pick) state.picks.delete(key);
  state.package = null;
  clearPreview();
  render();
}

// ---- Start ----

function start() {
  if (!token) {
    showNoKey();
    return;
  }
  // The token is not left in the address bar for others to see or for a bookmark to keep.
  history.replaceState(null, '', location.pathname);
  $('quit').addEventListener('click', async () => {
    try { await api('POST', '/api/quit', {}); } catch (e) { /* stopped either way */ }
    showStopped();
  });
  $('found').addEventListener('change', (e) => { if (e.target.value) guarded('folder-message', () => openFolder(e.target.value)); });
  $('open-folder').addEventListener('click', () => guarded('folder-message', () => openFolder($('folder-path').value)));
  $('folder-path').addEventListener('keydown', (e) => {
    if (e.key === 'Enter') guarded('folder-message', () => openFolder($('folder-path').value));
  });
  $('browse').addEventListener('click', () => guarded('folder-message', () => browse($('folder-path').value.trim() || state.browsing)));
  $('browse-up').addEventListener('click', (e) => guarded('folder-message', () => browse(e.target.dataset.path)));
  $('browse-close').addEventListener('click', () => { $('browser').hidden = true; });
  $('browse-pick').addEventListener('click', () => {
    $('browser').hidden = true;
    guarded('folder-message', () => openFolder(state.browsing));
  });
  $('preview').addEventListener('click', () => guarded('results', preview));
  $('apply').addEventListener('click', () => guarded('results', apply));
  $('download').addEventListener('click', () => guarded('table-message', downloadTicked));
  $('upload').addEventListener('change', (e) => {
    const file = e.target.files[0];
    e.target.value = '';
    if (file) guarded('table-message', () => upload(file));
  });
  guarded('folder-message', loadFolders);
}

start();
