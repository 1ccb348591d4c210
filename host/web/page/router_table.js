// One router's destinations as a virtual table: only the rows in view exist
// in the document, fetched from the host (/api/rows) a window at a time and
// kept up to date by the state's changes. A filter box narrows the rows by
// name or number as one types; unless "every destination" is ticked only
// those in use (named, routed or locked) are listed; each row's "Route…"
// opens the router's one source picker, its "History" the destination's last
// changes (row_history.js).
import { announce } from './announce.js';
import { showError, step } from './api.js';
import { makeHistory } from './row_history.js';
import { makePicker } from './source_picker.js';
import { limits } from './limits.js';

export const rowHeight = 28;
const margin = 20;        // rows fetched beyond the view, each side
const keptRows = 2000;    // rows held before the cache starts over

function button(text, title, onClick) {
  const b = document.createElement('button');
  b.type = 'button';
  b.textContent = text;
  b.title = title;
  b.addEventListener('click', onClick);
  return b;
}

function setText(el, text) {
  if (el.textContent !== text) el.textContent = text;
}

function setAttr(el, name, value) {
  if (el.getAttribute(name) !== value) el.setAttribute(name, value);
}

export function makeRouterTable(summary) {
  const device = summary.device;
  const card = document.createElement('div');
  card.className = 'router';
  card.dataset.router = summary.name;
  const head = document.createElement('h3');
  const filter = document.createElement('input');
  filter.type = 'search';
  filter.className = 'router-filter';
  filter.placeholder = 'filter: name or number';
  filter.setAttribute('aria-label', `filter the destinations of ${summary.name}`);
  const count = document.createElement('span');
  count.className = 'muted row-count';
  let narrowed = false;  // the filter changed: the count is said politely (announce.js) once known
  const every = document.createElement('input');
  every.type = 'checkbox';
  const everyLabel = document.createElement('label');
  everyLabel.className = 'muted';
  everyLabel.append(every, ' every destination');
  const tools = document.createElement('div');
  tools.className = 'router-tools';
  tools.append(filter, everyLabel, count);
  const picker = makePicker(device, () => summary.name);
  const history = makeHistory(device, () => summary.name);
  const scroller = document.createElement('div');
  scroller.className = 'router-rows';
  // Focusable, so the arrow and page keys scroll through the rows.
  scroller.tabIndex = 0;
  scroller.setAttribute('role', 'region');
  scroller.setAttribute('aria-label', `destinations of ${summary.name}`);
  const table = document.createElement('table');
  table.innerHTML = '<thead><tr aria-rowindex="1"><th>destination</th><th>source</th><th>route</th><th>lock</th><th>history</th></tr></thead>';
  const body = document.createElement('tbody');
  const topPad = document.createElement('tr');
  const bottomPad = document.createElement('tr');
  topPad.className = bottomPad.className = 'pad';
  topPad.setAttribute('aria-hidden', 'true');
  bottomPad.setAttribute('aria-hidden', 'true');
  body.append(topPad, bottomPad);
  table.append(body);
  scroller.append(table);
  card.append(head, tools, picker.root, history.root, scroller);

  let total = null;        // rows matching the filter; null until known
  let cache = new Map();   // row index → destination
  let byNumber = new Map();  // destination number → destination (in cache)
  let generation = 0;      // bumps with the filter, so late answers are dropped
  let loading = false;
  let stale = false;       // the rows held are to be replaced by the next answer
  let reloadTimer = null;
  const pool = [];         // the table rows in use, top to bottom
  let refusals = new Map();  // destination number → why the last action's outside route to it was refused
  let refusalsKey = '';
  // destination number → { epoch, seq, row }: its last change, kept until an
  // answer at least as new comes (one asked before the change shows the row
  // as it was).
  const changed = new Map();
  let revealing = null;      // { number, resolve, scrolled }: a row to scroll to and focus
  let unshown = false;       // changed while the tab was hidden: drawn when it is shown

  const makeRow = () => {
    const row = document.createElement('tr');
    row.tabIndex = -1;  // focused by the search's jump, not a tab stop
    const name = document.createElement('td');
    name.className = 'name';
    const label = document.createElement('span');
    const lockMark = document.createElement('span');
    lockMark.className = 'lock-mark';
    const lockOwner = document.createElement('span');
    lockOwner.className = 'lock-owner';
    const refusal = document.createElement('span');
    refusal.className = 'row-refusal';
    name.append(label, lockMark, lockOwner, refusal);
    const source = document.createElement('td');
    source.className = 'source';
    const sourceText = document.createElement('span');
    sourceText.className = 'source-text';
    const routedBy = document.createElement('span');
    routedBy.className = 'routed-by';
    source.append(sourceText, routedBy);
    const routeCell = document.createElement('td');
    const route = button('Route…', 'route a source from outside the panel', () => {
      const dest = row.dest;
      if (dest) picker.open({ number: dest.number, name: dest.name, source: dest.source, back: route });
    });
    routeCell.append(route);
    const lockCell = document.createElement('td');
    const lock = button('', 'lock / unlock the destination', async () => {
      const dest = row.dest;
      if (!dest) return;
      const locking = !dest.locked;
      const label = `${summary.name} ${dest.number} ${dest.name}`.trim();
      if (await step(locking ? `lock ${device} ${dest.number} page` : `unlock ${device} ${dest.number}`)) {
        announce(`${locking ? 'Locked' : 'Unlocked'} ${label}`);
      }
    });
    lockCell.append(lock);
    const historyCell = document.createElement('td');
    const past = button('History', 'who routed and locked the destination, and when', () => {
      const dest = row.dest;
      if (!dest) return;
      if (history.openFor() === dest.number) { history.close(); return; }
      const number = dest.number;
      history.open({ number, label: `${dest.number} ${dest.name}`.trim() }, () => {
        // Back to the button if it still shows the destination (rows are reused as the table scrolls).
        const shown = pool.find((parts) => parts.row.dest && parts.row.dest.number === number);
        (shown ? shown.history : scroller).focus();
        pool.forEach((parts) => { if (parts.row.dest) paintRow(parts, parts.row.dest); });
      });
      pool.forEach((parts) => { if (parts.row.dest) paintRow(parts, parts.row.dest); });
    });
    past.className = 'history-button';
    past.setAttribute('aria-controls', history.root.id);
    historyCell.append(past);
    row.append(name, source, routeCell, lockCell, historyCell);
    return { row, label, lockMark, lockOwner, refusal, source, sourceText, routedBy, route, lock, history: past };
  };

  const paintRow = (parts, dest) => {
    parts.row.dest = dest;
    parts.row.classList.remove('loading');
    const label = `${dest.number} ${dest.name}`.trim();
    parts.row.dataset.destination = dest.name || String(dest.number);
    parts.row.classList.toggle('locked', dest.locked);
    setText(parts.label, label);
    parts.label.parentElement.title = label;
    setText(parts.lockMark, dest.locked ? 'LOCKED' : '');
    setText(parts.lockOwner, dest.locked && dest.lockedBy ? `by ${dest.lockedBy}` : '');
    const text = dest.source ? `${dest.source} ${dest.sourceName}` : '—';
    setText(parts.sourceText, text);
    setText(parts.routedBy, dest.source && dest.routedBy ? `by ${dest.routedBy}` : '');
    parts.source.title = dest.source && dest.routedBy ? `${text}, routed by ${dest.routedBy}` : text;
    const refused = refusals.get(dest.number);
    setText(parts.refusal, refused ? `REFUSED: ${refused}` : '');
    parts.row.classList.toggle('refused', Boolean(refused));
    parts.route.setAttribute('aria-label', `route a source to ${label}`);
    setText(parts.lock, dest.locked ? 'Unlock' : 'Lock');
    parts.lock.setAttribute('aria-label', `${dest.locked ? 'Unlock' : 'Lock'} ${summary.name} ${label}`);
    setAttr(parts.history, 'aria-label', `history of ${summary.name} ${label}`);
    setAttr(parts.history, 'aria-expanded', String(history.openFor() === dest.number));
  };

  // A row on its way keeps its place (and the table its height), empty.
  const blankRow = (parts) => {
    parts.row.dest = null;
    delete parts.row.dataset.destination;
    parts.row.classList.remove('locked');
    parts.row.classList.add('loading');
    setText(parts.label, '…');
    setText(parts.lockMark, '');
    setText(parts.lockOwner, '');
    setText(parts.refusal, '');
    parts.row.classList.remove('refused');
    setText(parts.sourceText, '');
    setText(parts.routedBy, '');
  };

  // The rows in view: those held are drawn, the missing ones fetched; in a
  // hidden tab, once it is shown.
  const draw = () => {
    if (document.hidden) {
      unshown = true;
      return;
    }
    unshown = false;
    const known = total === null ? 0 : total;
    setText(count, total === null ? '' : `${known} of ${summary.destinationCount}`);
    const headHeight = table.tHead ? table.tHead.offsetHeight : 0;
    // As tall as its rows, up to the height the style sheet allows.
    const height = `${headHeight + known * rowHeight}px`;
    if (scroller.style.height !== height) scroller.style.height = height;
    const first = Math.max(0, Math.floor((scroller.scrollTop - headHeight) / rowHeight));
    const shown = Math.max(0, Math.min(known - first, Math.ceil(scroller.clientHeight / rowHeight) + 1));
    while (pool.length > shown) pool.pop().row.remove();
    while (pool.length < shown) {
      const parts = makeRow();
      body.insertBefore(parts.row, bottomPad);
      pool.push(parts);
    }
    topPad.style.height = `${first * rowHeight}px`;
    bottomPad.style.height = `${Math.max(0, known - first - shown) * rowHeight}px`;
    // Only the rows in view exist: their count and places are said outright
    // (the heading row is row 1).
    const rowCount = String(known + 1);
    if (table.getAttribute('aria-rowcount') !== rowCount) table.setAttribute('aria-rowcount', rowCount);
    let missing = -1;
    pool.forEach((parts, i) => {
      const index = String(first + i + 2);
      if (parts.row.getAttribute('aria-rowindex') !== index) parts.row.setAttribute('aria-rowindex', index);
      const dest = cache.get(first + i);
      if (dest) paintRow(parts, dest);
      else {
        blankRow(parts);
        if (missing < 0) missing = first + i;
      }
    });
    if (total === null) missing = 0;
    if (stale) missing = first;
    if (missing >= 0) load(Math.max(0, Math.min(missing, first) - margin), shown + 2 * margin);
    if (revealing && total !== null) reveal(headHeight);
  };

  // Every destination is listed, unfiltered: destination n is row n - 1.
  // The row is scrolled to the middle of the view, the page to the table,
  // and the row focused once drawn (the rows in view are reused as the
  // table scrolls, so the page is scrolled, never the rows again).
  const reveal = (headHeight) => {
    const wanted = revealing;
    if (wanted.number > total) {
      revealing = null;
      wanted.resolve(false);
      return;
    }
    if (!wanted.scrolled) {
      wanted.scrolled = true;
      const middle = (wanted.number - 1) * rowHeight - (scroller.clientHeight - headHeight - rowHeight) / 2;
      scroller.scrollTop = Math.max(0, Math.round(middle));
      draw();
      return;
    }
    const parts = pool.find((p) => p.row.dest && p.row.dest.number === wanted.number);
    if (!parts) return;
    revealing = null;
    scroller.scrollIntoView({ block: 'nearest' });
    parts.row.focus({ preventScroll: true });
    wanted.resolve(true);
  };

  async function load(from, wanted) {
    if (loading) return;
    loading = true;
    const asked = generation;
    const query = new URLSearchParams({ router: String(device), from: String(from),
      count: String(Math.min(limits.rowsPerRequest, Math.max(1, wanted))), filter: filter.value.trim(),
      used: every.checked ? '0' : '1' });
    try {
      const response = await fetch(`/api/rows?${query}`);
      const answer = await response.json();
      if (!response.ok) throw new Error(answer.error || `HTTP ${response.status}`);
      if (asked === generation) {
        if (stale || cache.size > keptRows) { cache = new Map(); byNumber = new Map(); }
        stale = false;
        total = answer.total;
        if (narrowed) {
          narrowed = false;
          announce(`${summary.name}: ${total} of ${summary.destinationCount} destinations`);
        }
        for (const [number, c] of changed) {
          if (c.epoch !== answer.epoch || c.seq <= answer.seq) changed.delete(number);
        }
        answer.rows.forEach((fetched, i) => {
          const newer = changed.get(fetched.number);
          const dest = newer ? { ...fetched, ...newer.row } : fetched;
          const old = byNumber.get(dest.number);
          if (old) Object.assign(old, dest); else byNumber.set(dest.number, dest);
          cache.set(answer.from + i, byNumber.get(dest.number));
        });
      }
    } catch (e) {
      showError(`cannot read the rows of ${summary.name}: ${e.message}`);
      loading = false;
      return;
    }
    loading = false;
    draw();  // the view may have moved on while the rows were on their way
  }

  let scrollQueued = false;
  scroller.addEventListener('scroll', () => {
    if (scrollQueued) return;
    scrollQueued = true;
    requestAnimationFrame(() => { scrollQueued = false; draw(); });
  });
  const refilter = () => {
    generation++;
    narrowed = true;
    total = null;
    cache = new Map();
    byNumber = new Map();
    scroller.scrollTop = 0;
    draw();
  };
  filter.addEventListener('input', refilter);
  every.addEventListener('change', refilter);

  return {
    card,
    device,
    // The router's summary from the state: name, online.
    setSummary(next) {
      Object.assign(summary, next);
      setText(head, `${next.name} (${next.device})${next.online ? '' : ' — OFFLINE'}`);
      if (total === null) draw();
    },
    // The last action's refused outside routes, each shown at its row until
    // the next action.
    setRefusals(list) {
      const mine = list.filter((r) => r.outside && r.device === device && r.destination > 0);
      const key = JSON.stringify(mine);
      if (key === refusalsKey) return;
      refusalsKey = key;
      refusals = new Map(mine.map((r) => [r.destination,
        `${r.reason} (source ${r.source}${r.by ? `, by ${r.by}` : ''})`]));
      pool.forEach((parts) => { if (parts.row.dest) paintRow(parts, parts.row.dest); });
    },
    // Destinations that changed, at { epoch, seq }: those held are updated,
    // those in view redrawn.
    update(rows, at) {
      let seen = false;
      const hidden = document.hidden;
      for (const row of rows) {
        if (at) changed.set(row.number, { epoch: at.epoch, seq: at.seq, row });
        const dest = byNumber.get(row.number);
        // An unnamed destination routed or locked may have joined those in use.
        if (!dest && !every.checked && !row.name && !reloadTimer) {
          reloadTimer = setTimeout(() => { reloadTimer = null; this.reload(); }, 200);
        }
        if (hidden) unshown = true; else history.changed(row.number);
        if (!dest) continue;
        Object.assign(dest, row);
        picker.update(row.number, row.source);
        seen = true;
      }
      if (hidden) unshown = unshown || seen;
      else if (seen) pool.forEach((parts) => { if (parts.row.dest) paintRow(parts, parts.row.dest); });
    },
    // The tab is shown again: what changed meanwhile is drawn, an open history read again.
    show() {
      if (!unshown) return;
      const open = history.openFor();
      if (open !== null) history.changed(open);
      draw();
    },
    // Scrolls to a destination's row and focuses it (listing every
    // destination, unfiltered); true once focused, false if there is none.
    reveal(number) {
      return new Promise((resolve) => {
        if (revealing) revealing.resolve(false);
        revealing = { number, resolve, scrolled: false };
        if (filter.value !== '' || !every.checked) {
          filter.value = '';
          every.checked = true;
          refilter();
          narrowed = false;  // the focused row is said, not the count
        } else {
          draw();
        }
      });
    },
    // Fetches the rows in view again, showing those held meanwhile.
    reload() {
      generation++;
      stale = true;
      draw();
    },
  };
}
