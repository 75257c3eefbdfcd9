// The page of orvane-probe-formations-ui. It holds no data of its own: everything comes from the
// program's API, which wants the session token the program put in this page's address.
'use strict';

// Kept for the tab, so that reloading the page after the address bar lost the token still works.
const token = (() => {
  const given = new URLSearchParams(location.hash.slice(1)).get('token');
  if (given) sessionStorage.setItem('token', given);
  return given || sessionStorage.getItem('token') || '';
})();

const state = {
  info: { max_custom_formations: 10 },  // replaced by /api/info: the program owns its limits
  folder: '',
  accounts: [],      // as /api/accounts gives them, each with the version of its file
  package: null,     // {fileName, text, formations} of a package file the player opened
  picks: new Map(),  // row key -> {account, id, name} or {packageIndex}
  targets: new Set(),
  selectedRow: null,
  preview: null,     // account -> result of the last preview of the current picks
  browsing: '',
  busy: false,       // a request that writes is in flight: whatever would race it waits
  firstPoints: new Map(),  // account -> its first restore point since this folder was opened
  pointsShown: null, // {account, points} of the restore points on show
  editing: null,     // the account whose column offers Rename and Remove
  renaming: null,    // {account, id, name, draft} of the formation being renamed in place
  naming: null,      // {account, draft} of the account being given a name
};

// Each kind of request counts its sends; a reply to a send that a later one superseded (another
// folder, a preview of other ticks) is dropped.
const sends = { accounts: 0, preview: 0 };

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

// ---- Talking to the program ----

class StoppedError extends Error {}

class ApiError extends Error {
  constructor(message, status, code) {
    super(message);
    this.status = status;
    this.code = code || '';
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
    let code = '';
    try {
      const reply = await response.json();
      message = reply.error || message;
      code = reply.error_code || '';
    } catch (e) { /* not JSON */ }
    throw new ApiError(message, response.status, code);
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

// Advice by the error's code alone: the text beside it is for reading, never for matching.
function explain(code, detail = {}) {
  const limit = state.info.max_custom_formations;
  switch (code) {
    case 'over_limit':
      return (detail.custom_count ? `It would then hold ${detail.custom_count} formations, but ` : 'But ') +
        `the game client keeps at most ${limit}. Untick some formations, or remove some of the account's own (Edit in its column, or Make room below).`;
    case 'read_failed': return 'The file could not be read. Check that it exists and that you may open it.';
    case 'not_a_settings_file': return 'This file is not a settings file this program can read. It was left as it is.';
    case 'not_a_regular_file': return 'This is not an ordinary file (a pipe or a device, say), so it is not read.';
    case 'too_large': return 'This file is far larger than any settings file, so it is not read.';
    case 'outside_folder': return 'This account file is a link to a file outside the folder, so it is not changed here.';
    case 'changed_on_disk':
      return 'The file changed on disk since the page showed it (the game client or another program saved it), ' +
        'so nothing was written to it. The table now shows it as it is: check the ticks and try again.';
    case 'backup_failed': return 'No backup copy could be made, so the account was not changed. Is the disk full or the folder read-only?';
    case 'write_failed':
      return 'The file could not be written. Close the game client and try again; if the account looks wrong, restore it.';
    case 'no_backup': return 'This account has no backup yet: nothing was changed.';
    case 'no_such_restore_point': return 'That restore point is gone; the list is shown afresh.';
    case 'restore_point_failed': return 'No restore point could be kept for this change; the backup beside the file still holds the account as it was.';
    case 'folder_unreadable': return 'The folder could not be opened. Check the path.';
    case 'no_such_account': return 'That account file is no longer in the folder.';
    case 'bad_package': return 'This is not a formation package file, or it is damaged.';
    case 'unsupported_package': return 'This package file is of a kind this program does not read.';
    case 'encode_failed': return 'The changed settings could not be encoded; the account was not changed.';
    case 'no_free_id': return 'The account has no free formation number left; the account was not changed.';
    case 'no_such_formation': return 'That formation is no longer in the account; the table shows it as it is now.';
    case 'name_empty': return 'A formation needs a name.';
    case 'name_too_long': return `A name can hold at most ${state.info.max_name_characters} characters.`;
    case 'name_control_character': return 'A name cannot hold tabs, line breaks or other control characters.';
    case 'name_taken': return 'Another formation of this account already has that name (letter case aside). Pick another one.';
    default: return '';
  }
}

function errorBlock(text, code, detail) {
  const advice = explain(code, detail);
  return el('div', {},
    advice ? el('div', { class: 'error-text' }, advice) : null,
    el('div', { class: advice ? 'raw' : 'error-text' }, text));
}

function showMessage(id, text, isError, code) {
  const box = $(id);
  box.replaceChildren();
  box.classList.toggle('error', Boolean(isError));
  if (!text) return;
  const section = box.closest('section');
  if (section) section.hidden = false;
  box.append(isError ? errorBlock(text, code) : text);
}

async function guarded(id, action) {
  try {
    await action();
  } catch (e) {
    if (e instanceof StoppedError) return;
    // A refusal because a file changed shows the files as they are now, then why.
    if (e.code === 'changed_on_disk' && state.folder) {
      try { await refreshAccounts(); } catch (again) { /* shown on the next try */ }
    }
    showMessage(id, e.message, true, e.code);
  }
}

// Runs a request that writes: every button that writes waits until it is answered.
async function writing(action) {
  if (state.busy) return;
  state.busy = true;
  renderButtons();
  try {
    await action();
  } finally {
    state.busy = false;
    renderButtons();
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
  const reply = await readAccounts(folder);
  if (!reply) return;
  // The program understands quotes, %LOCALAPPDATA% and ~; the folder it opened is the one kept.
  folder = reply.folder;
  $('folder-path').value = folder;
  if (folder !== state.folder) {
    state.picks.clear();
    state.targets.clear();
    state.selectedRow = null;
    state.firstPoints.clear();
    state.pointsShown = null;
    clearPreview();
  }
  state.folder = folder;
  showMessage('folder-message', reply.accounts.length === 0
    ? 'This folder holds no account files (core_user_….dat).'
    : `${reply.accounts.length} account file(s) in this folder.`, false);
  takeAccounts(reply.accounts);
}

// The folder's accounts, or nothing when a later listing was asked for meanwhile.
async function readAccounts(folder) {
  const send = ++sends.accounts;
  const reply = await getJson('/api/accounts?' + query({ folder }));
  return send === sends.accounts ? reply : null;
}

// Shows the accounts as the files now are. A tick whose formation the account no longer holds
// under that id and name is dropped, and a preview made from other files is cleared.
function takeAccounts(accounts) {
  const before = new Map(state.accounts.map((a) => [a.account, a.version]));
  const changed = accounts.filter((a) => before.has(a.account) && before.get(a.account) !== a.version);
  state.accounts = accounts;
  for (const account of [...state.targets]) {
    if (!state.accounts.some((a) => a.account === account)) state.targets.delete(account);
  }
  const dropped = [];
  for (const [key, pick] of [...state.picks]) {
    if ('packageIndex' in pick) continue;
    const holder = state.accounts.find((a) => a.account === pick.account);
    const held = holder && holder.formations.some((f) => f.id === pick.id && f.name === pick.name);
    if (!held) {
      state.picks.delete(key);
      dropped.push(`${pick.name} (account ${pick.account})`);
    }
  }
  if (changed.length > 0 || dropped.length > 0) clearPreview();
  const lines = [];
  if (changed.length > 0) {
    lines.push(`Changed on disk since the page last read ${changed.length === 1 ? 'it' : 'them'}: ` +
      `account ${changed.map((a) => a.account).join(', ')}. The table shows the files as they are now.`);
  }
  if (dropped.length > 0) lines.push(`No longer there, so unticked: ${dropped.join(', ')}.`);
  if (lines.length > 0) showMessage('table-message', lines.join(' '), false);
  if (state.pointsShown && !state.accounts.some((a) => a.account === state.pointsShown.account)) {
    state.pointsShown = null;
  }
  render();
}

// Reads the open folder again, as after every change and whenever the page is looked at again.
async function refreshAccounts() {
  if (!state.folder) return;
  const reply = await readAccounts(state.folder);
  if (reply) takeAccounts(reply.accounts);
  if (state.pointsShown) await showPoints(state.pointsShown.account);
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

// A row per name as the merge compares names: the program gives each name its key.
function buildRows() {
  const rows = new Map();
  const row = (formation) => {
    const key = formation.name_key;
    if (!rows.has(key)) rows.set(key, { key, name: formation.name, holders: new Map(), packageIndexes: [] });
    return rows.get(key);
  };
  for (const account of state.accounts) {
    for (const formation of account.formations) {
      const entry = row(formation);
      if (!entry.holders.has(account.account)) entry.holders.set(account.account, []);
      entry.holders.get(account.account).push(formation);
    }
  }
  if (state.package) {
    state.package.formations.forEach((formation, index) => row(formation).packageIndexes.push(index));
  }
  return [...rows.values()].sort((a, b) => a.name.localeCompare(b.name) || a.key.localeCompare(b.key));
}

function render() {
  $('accounts-section').hidden = state.accounts.length === 0 && !state.package;
  $('actions-section').hidden = $('accounts-section').hidden;
  const rows = buildRows();
  for (const key of [...state.picks.keys()]) if (!rows.some((r) => r.key === key)) state.picks.delete(key);

  const table = $('table');
  // Redrawing the table must not lose the keyboard's place in it.
  const focused = document.activeElement && table.contains(document.activeElement)
    ? document.activeElement.dataset.focus : undefined;
  table.replaceChildren();
  const head = el('tr', {}, el('th', { scope: 'col' }, 'Formation'));
  for (const account of state.accounts) head.append(accountHeader(account));
  if (state.package) {
    head.append(el('th', { class: 'package-head', scope: 'col' },
      el('div', {}, 'Package file'), el('div', { class: 'muted' }, state.package.fileName),
      el('div', { class: 'buttons' }, el('button', {
        type: 'button', class: 'small', 'data-focus': 'close-package', 'aria-label': 'Close the package file',
        on: { click: closePackage },
      }, 'Close'))));
  }
  table.append(el('thead', {}, head));

  const body = el('tbody');
  for (const row of rows) {
    const tr = el('tr', { class: row.key === state.selectedRow ? 'selected' : '' });
    tr.dataset.key = row.key;
    tr.append(el('th', { class: 'name', scope: 'row' }, el('button', {
      type: 'button', 'data-focus': `name:${row.key}`, on: { click: () => selectRow(row) },
    }, row.name)));
    for (const account of state.accounts) tr.append(accountCell(row, account));
    if (state.package) tr.append(packageCell(row));
    body.append(tr);
  }
  if (rows.length === 0) {
    body.append(el('tr', {}, el('td', { colSpan: state.accounts.length + 2, class: 'muted' }, 'No account holds any custom formation yet.')));
  }
  table.append(body);
  if (focused) {
    const again = [...table.querySelectorAll('[data-focus]')].find((node) => node.dataset.focus === focused);
    if (again) again.focus();
  }
  renderSummary();
  renderPoints();
  if (state.selectedRow) {
    const row = rows.find((r) => r.key === state.selectedRow);
    if (row) drawRow(row); else $('picture-section').hidden = true;
  }
}

function accountHeader(account) {
  const th = el('th', { class: 'account-head' + (state.targets.has(account.account) ? ' target' : ''), scope: 'col' });
  th.dataset.account = account.account;
  th.append(el('div', { class: 'number' }, account.account === '' ? '(no number)' : account.account));
  th.append(accountNameLine(account));
  if (account.modified) {
    th.append(el('div', { class: 'changed muted' }, changedAgo(account.modified),
      account.played_last ? el('span', { class: 'played-last' }, 'played last') : null));
  }
  const limit = state.info.max_custom_formations;
  if (account.error) {
    th.append(el('div', { class: 'error-text' }, explain(account.error_code) || account.error));
    th.title = account.error;
  } else {
    const full = account.custom_count >= limit;
    th.append(el('span', { class: 'count' + (full ? ' full' : '') }, `${account.custom_count} / ${limit}`));
    const box = el('input', {
      type: 'checkbox', checked: state.targets.has(account.account), class: 'target-box',
      'data-focus': `target:${account.account}`,
      on: {
        change: (e) => {
          if (e.target.checked) state.targets.add(account.account); else state.targets.delete(account.account);
          clearPreview();
          render();
        },
      },
    });
    box.setAttribute('aria-label', `copy to ${account.account}`);
    th.append(el('label', {}, box, ' copy to'));
  }
  const buttons = el('div', { class: 'buttons' });
  if (!account.error && account.formations.length > 0) {
    buttons.append(el('button', {
      type: 'button', class: 'small', title: 'Save every formation of this account as a package file',
      'data-focus': `package:${account.account}`,
      'aria-label': `Package: save the formations of ${account.account} as a package file`,
      on: { click: () => guarded('table-message', () => downloadPackage(account.account)) },
    }, 'Package'));
  }
  if (!account.error && account.formations.length > 0) {
    const editing = state.editing === account.account;
    buttons.append(el('button', {
      type: 'button', class: 'small edit', 'aria-pressed': String(editing),
      'data-focus': `edit:${account.account}`,
      'aria-label': editing ? `Done renaming and removing formations of ${accountText(account.account)}`
        : `Edit: rename or remove formations of ${accountText(account.account)}`,
      on: { click: () => { state.editing = editing ? null : account.account; state.renaming = null; render(); } },
    }, editing ? 'Done' : 'Edit'));
  }
  if (account.has_backup) {
    buttons.append(el('button', {
      type: 'button', class: 'small restore writes', title: 'Put the file back as it was before the last apply',
      'data-focus': `restore:${account.account}`,
      'aria-label': `Restore ${account.account} as it was before the last apply`,
      disabled: state.busy,
      on: { click: () => guarded('results', () => restore(account.account)) },
    }, 'Restore'));
  }
  if (account.version) {
    buttons.append(el('button', {
      type: 'button', class: 'small history', title: 'The states this page can put the file back to',
      on: { click: () => guarded('results', () => showPoints(account.account)) },
    }, 'Restore points'));
  }
  th.append(buttons);
  return th;
}

// ---- Removing and renaming in an account's column ----

// "1001 (Main)" once the player has named the account, else its number.
function accountText(number) {
  const account = state.accounts.find((a) => a.account === number);
  return account && account.name ? `${number} (${account.name})` : number;
}

// An input that keeps its draft in `holder` across redraws: Enter saves, Escape gives up.
function inPlaceEditor(holder, focusKey, label, save, cancel) {
  const input = el('input', {
    type: 'text', class: 'in-place', value: holder.draft, 'data-focus': focusKey, spellcheck: false,
    maxLength: state.info.max_name_characters || 100,
    on: {
      input: (e) => { holder.draft = e.target.value; },
      keydown: (e) => {
        if (e.key === 'Enter') { e.preventDefault(); save(); }
        if (e.key === 'Escape') { e.preventDefault(); cancel(); }
      },
    },
  });
  input.setAttribute('aria-label', label);
  return input;
}

function editControls(account, formation, sameNamed) {
  const what = `${formation.name}${sameNamed ? ` (id ${formation.id})` : ''}`;
  const who = accountText(account.account);
  const key = `${account.account}:${formation.id}`;
  const box = el('div', { class: 'edit-controls' });
  const renaming = state.renaming;
  if (renaming && renaming.account === account.account && renaming.id === formation.id) {
    const save = () => guarded('table-message', () => saveRename());
    const cancel = () => { state.renaming = null; render(); };
    box.append(inPlaceEditor(renaming, `rename-input:${key}`, `New name for ${what} in ${who}`, save, cancel),
      el('button', { type: 'button', class: 'small writes', disabled: state.busy, 'data-focus': `rename-save:${key}`,
        'aria-label': `Save the new name of ${what} in ${who}`, on: { click: save } }, 'Save'),
      el('button', { type: 'button', class: 'small', 'data-focus': `rename-cancel:${key}`,
        'aria-label': `Keep the name ${what} in ${who}`, on: { click: cancel } }, 'Cancel'));
    return box;
  }
  box.append(
    el('button', { type: 'button', class: 'small', 'data-focus': `rename:${key}`,
      'aria-label': `Rename ${what} in ${who}`,
      on: { click: () => { state.renaming = { account: account.account, id: formation.id, name: formation.name, draft: formation.name }; render(); focusOn(`rename-input:${key}`); } },
    }, 'Rename'),
    el('button', { type: 'button', class: 'small writes', disabled: state.busy, 'data-focus': `remove:${key}`,
      'aria-label': `Remove ${what} from ${who}`,
      on: { click: () => guarded('table-message', () => removeFormations(account.account, [formation])) },
    }, 'Remove'));
  return box;
}

function focusOn(key) {
  const node = [...document.querySelectorAll('[data-focus]')].find((n) => n.dataset.focus === key);
  if (node) node.focus();
}

// One write of the account through the program, against the version the table shows.
async function editAccount(account, remove, rename) {
  const holder = state.accounts.find((a) => a.account === account);
  let reply = null;
  await writing(async () => {
    ++sends.preview;
    reply = await postJson('/api/edit', { folder: state.folder, account, version: holder.version, remove, rename });
    noteVersions([reply]);
    await refreshAccounts();
  });
  return reply;
}

function showEdited(reply, text) {
  const box = $('results');
  box.replaceChildren();
  box.classList.remove('error');
  $('results-section').hidden = false;
  box.append(el('h3', { class: 'results-heading' }, `1 account ${reply.unchanged ? 'not changed' : 'changed'}`));
  const block = el('div', { class: 'result ok' }, el('h4', {}, `Account ${accountText(reply.account)}`),
    el('div', {}, reply.unchanged ? 'Nothing to change: nothing was written.' : text));
  block.dataset.account = reply.account;
  pointNote(block, reply);
  box.append(block);
}

async function removeFormations(account, formations) {
  const names = formations.map((f) => f.name);
  if (!window.confirm(`Remove ${listText(names)} from account ${accountText(account)}? ` +
    'A restore point keeps the account as it is now. Is the game client closed?')) return false;
  const reply = await editAccount(account, formations.map((f) => ({ id: f.id, name: f.name })), []);
  if (reply) showEdited(reply, `Removed ${listText(names)}.`);
  return Boolean(reply);
}

async function saveRename() {
  const renaming = state.renaming;
  if (!renaming) return;
  const { account, id, name, draft } = renaming;
  const reply = await editAccount(account, [], [{ id, name, new_name: draft }]);
  if (!reply) return;
  state.renaming = null;
  render();
  focusOn(`rename:${account}:${id}`);
  showEdited(reply, `Renamed ${name} to ${draft}.`);
}

// A preview that finds an account full offers its formations to remove first, then previews again.
function makeRoom(result) {
  const account = state.accounts.find((a) => a.account === result.account);
  if (!account) return null;
  const over = (result.custom_count || 0) - state.info.max_custom_formations;
  const who = accountText(account.account);
  const list = el('ul', { class: 'make-room-list' });
  for (const formation of account.formations) {
    const box = el('input', { type: 'checkbox', class: 'room-box' });
    box.dataset.id = formation.id;
    box.setAttribute('aria-label', `make room: remove ${formation.name} (id ${formation.id}) from ${who}`);
    list.append(el('li', {}, el('label', {}, box, ` ${formation.name}`), ' ',
      el('span', { class: 'ids' }, `id ${formation.id}`)));
  }
  const wrap = el('div', { class: 'make-room' },
    el('div', {}, `Make room: tick ${over > 0 ? `at least ${over}` : 'the'} formation${over === 1 ? '' : 's'} of account ${who} to remove first.`),
    list);
  wrap.append(el('button', {
    type: 'button', class: 'small writes', disabled: state.busy,
    'aria-label': `Remove the ticked formations from ${who}, then preview again`,
    on: {
      click: () => guarded('results', async () => {
        const ids = [...list.querySelectorAll('input:checked')].map((b) => Number(b.dataset.id));
        const chosen = account.formations.filter((f) => ids.includes(f.id));
        if (chosen.length === 0) {
          showMessage('table-message', `Tick the formations to remove from account ${who} first.`, false);
          return;
        }
        if (await removeFormations(account.account, chosen)) await preview();
      }),
    },
  }, 'Remove the ticked, then preview again'));
  return wrap;
}

// ---- Telling accounts apart ----

// "changed just now", "changed 5 minutes ago", "changed 2 days ago": the program gives the time.
function changedAgo(time) {
  const seconds = Math.max(0, (Date.now() - Date.parse(time)) / 1000);
  const ago = (n, unit) => `changed ${n} ${unit}${n === 1 ? '' : 's'} ago`;
  if (seconds < 60) return 'changed just now';
  if (seconds < 3600) return ago(Math.floor(seconds / 60), 'minute');
  if (seconds < 86400) return ago(Math.floor(seconds / 3600), 'hour');
  return ago(Math.floor(seconds / 86400), 'day');
}

function accountNameLine(account) {
  const line = el('div', { class: 'account-name' });
  const naming = state.naming;
  const number = account.account;
  if (naming && naming.account === number) {
    const save = () => guarded('table-message', () => saveAccountName());
    const cancel = () => { state.naming = null; render(); };
    line.append(inPlaceEditor(naming, `name-input:${number}`, `Name for account ${number}`, save, cancel),
      el('button', { type: 'button', class: 'small', 'data-focus': `name-save:${number}`,
        'aria-label': `Save the name of account ${number}`, on: { click: save } }, 'Save'),
      el('button', { type: 'button', class: 'small', 'aria-label': `Keep the name of account ${number}`,
        on: { click: cancel } }, 'Cancel'));
    return line;
  }
  if (account.name) line.append(el('span', { class: 'given-name' }, account.name), ' ');
  line.append(el('button', {
    type: 'button', class: 'small link', 'data-focus': `account-name:${number}`,
    'aria-label': `${account.name ? 'Rename' : 'Name'} account ${number}`,
    on: { click: () => { state.naming = { account: number, draft: account.name || '' }; render(); focusOn(`name-input:${number}`); } },
  }, account.name ? 'Rename' : 'Name'));
  return line;
}

// The name lives in the program's own data folder, never in the settings file; empty clears it.
async function saveAccountName() {
  const { account, draft } = state.naming;
  await postJson('/api/account-name', { folder: state.folder, account, name: draft });
  state.naming = null;
  await refreshAccounts();
  focusOn(`account-name:${account}`);
}

function pickedHere(row, pick) {
  const current = state.picks.get(row.key);
  if (!current) return false;
  if ('packageIndex' in pick) return current.packageIndex === pick.packageIndex;
  return current.account === pick.account && current.id === pick.id;
}

// `name` is the box's own name for a screen reader, such as "take Relic Ring from 1001".
function pickBox(row, pick, label, name) {
  const box = el('input', {
    type: 'checkbox', class: 'pick-box', checked: pickedHere(row, pick),
    'data-focus': `pick:${row.key}:${'packageIndex' in pick ? `package:${pick.packageIndex}` : `${pick.account}:${pick.id}`}`,
    on: { change: (e) => { setPick(row, pick, e.target.checked); } },
  });
  box.setAttribute('aria-label', name);
  return el('label', {}, box, label);
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
      const name = `take ${formation.name} from ${account.account}` + (held.length > 1 ? ` (id ${formation.id})` : '');
      const line = el('div', {}, pickBox(row, { account: account.account, id: formation.id, name: formation.name }, '✓', name),
        ' ', el('span', { class: 'ids' }, `id ${formation.id}, ${probes} probe${probes === 1 ? '' : 's'}`));
      if (state.editing === account.account) line.append(editControls(account, formation, held.length > 1));
      td.append(line);
    }
  }
  const outcome = state.preview && state.preview.get(account.account);
  if (outcome && !outcome.error) {
    const added = outcome.added.find((a) => a.name_key === row.key);
    if (added) td.append(el('div', { class: 'will-add' }, `+ new, id ${added.id}`));
    else if (outcome.skipped.some((skipped) => skipped.name_key === row.key) && held.length > 0) {
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
    const name = `take ${formation.name} from the package file` + (row.packageIndexes.length > 1 ? ` (number ${index + 1})` : '');
    td.append(el('div', {}, pickBox(row, { packageIndex: index }, '✓', name), ' ',
      el('span', { class: 'ids' }, `${formation.probes.length} probe(s)`)));
  }
  return td;
}

// ---- The picture of a formation ----

function selectRow(row) {
  state.selectedRow = row.key;
  render();
  $('picture-section').scrollIntoView({ block: 'start' });
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
  $('picture-section').hidden = false;
  drawFormationPicture(shown.formation, shown.from);
}

// ---- Preview, apply, restore ----

function clearPreview() {
  ++sends.preview;  // a preview still on its way answers ticks that are gone
  state.preview = null;
  $('results').replaceChildren();
  $('results-section').hidden = true;
}

// The versions of the accounts a request reads or writes, as the table shows them.
function versionsOf(accounts) {
  const versions = {};
  for (const name of accounts) {
    const account = state.accounts.find((a) => a.account === name);
    if (account && account.version) versions[name] = account.version;
  }
  return versions;
}

function pickedRequest(dryRun) {
  const request = { folder: state.folder, targets: [...state.targets], dry_run: dryRun };
  const rows = buildRows();
  const picks = rows.filter((row) => state.picks.has(row.key)).map((row) => state.picks.get(row.key));
  const read = [];
  if (picks.length > 0 && 'packageIndex' in picks[0]) {
    request.package = state.package.text;
    request.pick = picks.map((p) => p.packageIndex);
  } else {
    request.formations = picks.map((p) => ({ account: p.account, id: p.id, name: p.name }));
    read.push(...picks.map((p) => p.account));
  }
  request.versions = versionsOf([...request.targets, ...read]);
  return request;
}

function renderButtons() {
  const picks = state.picks.size;
  const targets = state.targets.size;
  $('preview').disabled = picks === 0 || targets === 0;
  $('apply').disabled = state.busy || picks === 0 || targets === 0;
  $('undo-all').hidden = state.firstPoints.size === 0;
  $('undo-all').disabled = state.busy;
  for (const button of document.querySelectorAll('button.writes')) button.disabled = state.busy;
}

function renderSummary() {
  const picks = state.picks.size;
  const targets = state.targets.size;
  $('selection-summary').textContent =
    `${picks} formation(s) ticked, ${targets} account(s) to copy them to.` +
    (picks === 0 || targets === 0 ? ' Tick at least one of each to preview.' : '');
  renderButtons();
  $('download').disabled = picks === 0;
}

function resultBlock(result, applied) {
  const ok = !result.error;
  const box = el('div', { class: 'result ' + (ok ? 'ok' : 'failed') });
  box.dataset.account = result.account;
  box.append(el('h4', {}, `Account ${accountText(result.account)}`));
  if (!ok) {
    box.append(el('div', {}, applied ? 'Not changed:' : 'Would not be changed:'),
      errorBlock(result.error, result.error_code, result));
    if (!applied && result.error_code === 'over_limit') box.append(makeRoom(result));
    return box;
  }
  const added = result.added.map((a) => `${a.name} (id ${a.id})`).join(', ');
  box.append(el('div', { class: 'added' }, result.unchanged
    ? (applied ? 'It already holds every ticked formation: nothing was written.'
      : 'It already holds every ticked formation: nothing would be written.')
    : `${applied ? 'Added' : 'Would add'} ${result.added.length}: ${added}`));
  if (result.skipped.length > 0) {
    box.append(el('div', { class: 'skipped muted' },
      `Already there, so left out: ${result.skipped.map((k) => k.name).join(', ')}`));
  }
  box.append(el('div', { class: 'muted' },
    `${result.custom_count} of ${state.info.max_custom_formations} custom formations${applied ? '' : ' afterwards'}.`));
  pointNote(box, result);
  return box;
}

// The table's account order, so a result sits where its column does.
function inTableOrder(results) {
  const position = (account) => {
    const at = state.accounts.findIndex((a) => a.account === account);
    return at < 0 ? state.accounts.length : at;
  };
  return [...results].sort((a, b) => position(a.account) - position(b.account));
}

const accountsText = (n) => `${n} account${n === 1 ? '' : 's'}`;

// "2 accounts changed, 1 not changed"; with none changed, "1 account not changed".
function resultsHeading(results, applied) {
  const changed = results.filter((r) => !r.error && r.added.length > 0).length;
  const unchanged = results.length - changed;
  const [yes, no] = applied ? ['changed', 'not changed'] : ['would change', 'would not change'];
  let text;
  if (changed === 0) text = `${accountsText(unchanged)} ${no}`;
  else text = `${accountsText(changed)} ${yes}` + (unchanged > 0 ? `, ${unchanged} ${no}` : '');
  return applied ? text : `Preview: ${text}`;
}

// Where a change can be undone from, and the first point of each account for "Undo everything".
function pointNote(box, result) {
  if (result.restore_point) {
    if (!state.firstPoints.has(result.account)) state.firstPoints.set(result.account, result.restore_point.id);
    box.append(el('div', { class: 'muted' }, `Kept as a restore point: the file as it was ${result.restore_point.reason}.`));
  }
  if (result.restore_point_error) {
    box.append(errorBlock(result.restore_point_error.error, result.restore_point_error.error_code));
  }
}

// The page's own changes are no news: the versions they answer with are taken before the folder
// is read again, so only changes by others are reported as such.
function noteVersions(results) {
  for (const result of results) {
    const account = state.accounts.find((a) => a.account === result.account);
    if (account && result.version) account.version = result.version;
  }
}

function showResults(results, applied) {
  const box = $('results');
  box.replaceChildren();
  box.classList.remove('error');
  $('results-section').hidden = false;
  box.append(el('h3', { class: 'results-heading' }, resultsHeading(results, applied)));
  box.append(el('p', { class: 'hint' }, applied
    ? 'Each changed account was backed up first; use its Restore button, its restore points or Undo everything to undo.'
    : 'Nothing has been written yet.'));
  for (const result of inTableOrder(results)) box.append(resultBlock(result, applied));
  $('results-section').scrollIntoView({ block: 'start' });
}

// "A", "A and B", "A, B and C".
function listText(items) {
  if (items.length <= 1) return items.join('');
  return `${items.slice(0, -1).join(', ')} and ${items[items.length - 1]}`;
}

function pickedNames() {
  return buildRows().filter((row) => state.picks.has(row.key)).map((row) => {
    const pick = state.picks.get(row.key);
    if ('packageIndex' in pick) return state.package.formations[pick.packageIndex].name;
    const held = row.holders.get(pick.account) || [];
    const formation = held.find((f) => f.id === pick.id);
    return formation ? formation.name : row.name;
  });
}

async function preview() {
  const send = ++sends.preview;
  const reply = await postJson('/api/apply', pickedRequest(true));
  if (send !== sends.preview) return;
  // A preview made from files that changed since is shown, then the files as they now are.
  const stale = reply.results.some((r) => r.error_code === 'changed_on_disk');
  if (stale) await refreshAccounts();
  else state.preview = new Map(reply.results.map((r) => [r.account, r]));
  render();
  showResults(reply.results, false);
}

async function apply() {
  const request = pickedRequest(false);
  const targets = state.accounts.map((a) => a.account).filter((a) => state.targets.has(a));
  const question = `Copy ${listText(pickedNames())} to ${targets.length === 1 ? 'account' : 'accounts'} ` +
    `${listText(targets)}? Each account file is backed up before it is changed. Is the game client closed?`;
  if (!window.confirm(question)) return;
  await writing(async () => {
    ++sends.preview;
    const reply = await postJson('/api/apply', request);
    state.preview = null;
    noteVersions(reply.results);
    await refreshAccounts();
    showResults(reply.results, true);
  });
}

function showRestored(results, what) {
  const box = $('results');
  box.replaceChildren();
  $('results-section').hidden = false;
  const restored = results.filter((r) => !r.error).length;
  const failed = results.length - restored;
  box.append(el('h3', { class: 'results-heading' },
    `${accountsText(restored)} restored` + (failed > 0 ? `, ${failed} not restored` : '')));
  for (const result of inTableOrder(results)) {
    const block = el('div', { class: 'result ' + (result.error ? 'failed' : 'ok') },
      el('h4', {}, `Account ${accountText(result.account)}`),
      result.error ? errorBlock(result.error, result.error_code)
        : el('div', {}, result.unchanged ? 'It already holds that: nothing was written.' : `Restored from ${what}.`));
    block.dataset.account = result.account;
    if (!result.error) pointNote(block, result);
    box.append(block);
  }
}

async function restoreRequest(body, what) {
  await writing(async () => {
    ++sends.preview;
    const reply = await postJson('/api/restore', { folder: state.folder, ...body, versions: versionsOf(body.accounts) });
    state.preview = null;
    noteVersions(reply.results);
    await refreshAccounts();
    showRestored(reply.results, what);
  });
}

async function restore(account) {
  if (!window.confirm(`Put account ${account} back as it was before the last apply? ` +
    'A restore point keeps it as it is now. Is the game client closed?')) return;
  await restoreRequest({ accounts: [account] }, 'its backup');
}

async function restorePoint(account, point) {
  if (!window.confirm(`Put account ${account} back as it was at ${localTime(point.time)} (${point.reason})? ` +
    'A restore point keeps it as it is now. Is the game client closed?')) return;
  await restoreRequest({ accounts: [account], point: point.id }, 'the restore point');
}

async function undoAll() {
  // Named in the table's order, as the results that follow are.
  const accounts = state.accounts.map((a) => a.account).filter((a) => state.firstPoints.has(a));
  if (accounts.length === 0) return;
  if (!window.confirm(`Put ${accounts.length === 1 ? 'account' : 'accounts'} ${listText(accounts)} back as they were before this page first changed them? ` +
    'Restore points keep them as they are now. Is the game client closed?')) return;
  const points = Object.fromEntries(accounts.map((a) => [a, state.firstPoints.get(a)]));
  await restoreRequest({ accounts, points }, 'its state before the first change');
}

const localTime = (time) => new Date(time).toLocaleString();

async function showPoints(account) {
  const reply = await getJson('/api/restore-points?' + query({ folder: state.folder, account }));
  state.pointsShown = { account, points: reply.points };
  renderPoints();
}

function renderPoints() {
  const box = $('restore-points');
  box.replaceChildren();
  const shown = state.pointsShown;
  box.hidden = !shown;
  if (!shown) return;
  $('results-section').hidden = false;
  box.append(el('h3', {}, `Restore points of account ${accountText(shown.account)}`));
  if (shown.points.length === 0) {
    box.append(el('p', { class: 'muted' }, 'None yet: the page keeps one before each change it makes.'));
  }
  const list = el('ol', { class: 'points' });
  for (const point of shown.points) {
    const item = el('li', {}, el('span', { class: 'time' }, localTime(point.time)), ' ',
      el('span', { class: 'reason' }, point.reason), ' ',
      el('button', {
        type: 'button', class: 'small writes', disabled: state.busy,
        on: { click: () => guarded('results', () => restorePoint(shown.account, point)) },
      }, 'Restore this'));
    item.dataset.point = point.id;
    list.append(item);
  }
  box.append(list, el('button', {
    type: 'button', class: 'small', on: { click: () => { state.pointsShown = null; renderPoints(); } },
  }, 'Close'));
}

// ---- Package files ----

// The program names the file after what it holds.
async function saveDownload(response) {
  const disposition = response.headers.get('Content-Disposition') || '';
  const encoded = /filename\*=UTF-8''([^;]+)/i.exec(disposition);
  const name = encoded ? decodeURIComponent(encoded[1]) : 'formations.json';
  const blob = await response.blob();
  const link = el('a', { href: URL.createObjectURL(blob), download: name });
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

async function downloadPackage(account) {
  await saveDownload(await api('GET', '/api/package?' + query({ folder: state.folder, account })));
}

async function downloadTicked() {
  if (state.picks.size === 0) return;
  const request = pickedRequest(true);
  const body = request.package !== undefined
    ? { package: request.package, pick: request.pick, file_name: state.package.fileName }
    : { folder: state.folder, formations: request.formations };
  await saveDownload(await api('POST', '/api/package', body));
}

async function upload(file) {
  const text = await file.text();
  const reply = await postJson('/api/read-package', { package: text, file_name: file.name });
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
  $('undo-all').addEventListener('click', () => guarded('results', undoAll));
  // Another program may have saved a file while the page was out of sight.
  const lookAgain = () => { if (!state.busy && state.folder) guarded('table-message', refreshAccounts); };
  window.addEventListener('focus', lookAgain);
  document.addEventListener('visibilitychange', () => { if (!document.hidden) lookAgain(); });
  $('download').addEventListener('click', () => guarded('table-message', downloadTicked));
  $('upload').addEventListener('change', (e) => {
    const file = e.target.files[0];
    e.target.value = '';
    if (file) guarded('table-message', () => upload(file));
  });
  guarded('folder-message', async () => {
    state.info = await getJson('/api/info');
    await loadFolders();
  });
}

start();
