// A destination's last changes (/api/history): who routed, locked or
// unlocked it, and when, newest first. One panel a router, opened from a
// row's History button; it takes the focus, Escape or Close gives it back to
// the button, and it follows the destination while open.
import { sourceNames } from './api.js';

let histories = 0;

function cell(tag, text) {
  const el = document.createElement(tag);
  el.textContent = text;
  return el;
}

export function makeHistory(router, routerName) {
  const id = `history-${++histories}`;
  const root = document.createElement('section');
  root.className = 'history';
  root.id = id;
  root.hidden = true;
  root.tabIndex = -1;
  root.setAttribute('role', 'region');
  root.setAttribute('aria-labelledby', `${id}-title`);
  const head = document.createElement('div');
  head.className = 'history-head';
  const title = cell('h4', '');
  title.id = `${id}-title`;
  const close = cell('button', 'Close');
  close.type = 'button';
  head.append(title, close);
  const note = cell('p', '');
  note.className = 'muted history-note';
  const table = document.createElement('table');
  table.innerHTML = '<thead><tr><th>time</th><th>change</th><th>by</th></tr></thead>';
  const body = document.createElement('tbody');
  table.append(body);
  root.append(head, note, table);

  let target = null;  // { number, label, back }
  let asked = 0;

  const hide = () => {
    if (!target) return;
    const { back } = target;
    target = null;
    root.hidden = true;
    if (back) back();
  };

  const load = async () => {
    const mine = ++asked;
    const shown = target;
    let changes;
    let names = null;
    try {
      const response = await fetch(`/api/history?router=${router}&destination=${shown.number}`);
      changes = await response.json();
      if (!response.ok) throw new Error(changes.error || `HTTP ${response.status}`);
      names = await sourceNames(router).catch(() => null);
    } catch (e) {
      if (mine === asked) note.textContent = `cannot read the history: ${e.message}`;
      return;
    }
    if (mine !== asked || target !== shown) return;
    note.textContent = changes.length ? `the last ${changes.length === 1 ? 'change' : `${changes.length} changes`}, newest first`
      : 'no change since the host started';
    body.replaceChildren(...changes.slice().reverse().map((c) => {
      const row = document.createElement('tr');
      const source = c.what === 'route' ? ` from ${c.source}${names && names[c.source - 1] ? ` ${names[c.source - 1]}` : ''}` : '';
      row.append(cell('td', `${Number(c.time).toLocaleString('en')} ms`), cell('td', `${c.what}${source}`),
        cell('td', c.by || '—'));
      return row;
    }));
  };

  close.addEventListener('click', hide);
  root.addEventListener('keydown', (e) => {
    if (e.key === 'Escape') {
      e.preventDefault();
      hide();
    }
  });

  return {
    root,
    // Opens for a destination { number, label }; back() is called on close to
    // put the focus back.
    open(destination, back) {
      target = { ...destination, back };
      title.textContent = `History of ${routerName()} ${destination.label}`;
      note.textContent = 'reading…';
      body.replaceChildren();
      root.hidden = false;
      root.focus();
      load();
    },
    close: hide,
    openFor: () => (target ? target.number : null),
    // The destination changed while its history is shown.
    changed(number) { if (target && target.number === number) load(); },
  };
}
