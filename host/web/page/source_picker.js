// A router's one source picker: a search box over the router's source names
// and a list of the matches, the destination's current source marked. Arrow
// keys move through the list, Enter routes, Escape closes; the names are
// fetched once, when the picker first opens (an Enter pressed before they
// arrive routes the first match of the text typed when they do).
import { announce } from './announce.js';
import { showError, step } from './api.js';

const shownMatches = 50;
let pickers = 0;

export function makePicker(router, routerName) {
  const id = `picker-${++pickers}`;
  const root = document.createElement('div');
  root.className = 'picker';
  root.hidden = true;
  const title = document.createElement('div');
  title.className = 'picker-title';
  const input = document.createElement('input');
  input.type = 'search';
  input.autocomplete = 'off';
  input.setAttribute('role', 'combobox');
  input.setAttribute('aria-controls', `${id}-list`);
  input.setAttribute('aria-expanded', 'true');
  input.placeholder = 'source name or number';
  const list = document.createElement('ul');
  list.id = `${id}-list`;
  list.setAttribute('role', 'listbox');
  const more = document.createElement('div');
  more.className = 'muted picker-more';
  const close = document.createElement('button');
  close.type = 'button';
  close.textContent = 'Close';
  root.append(title, input, close, list, more);

  let names = null;
  let target = null;  // { number, name, source, back }
  let matches = [];
  let active = 0;
  let enterWaiting = false;  // Enter was pressed before the names arrived: it acts when they do

  const paint = () => {
    const text = input.value.trim().toLowerCase();
    matches = [];
    let total = 0;
    for (let n = 1; names && n <= names.length; n++) {
      const name = names[n - 1];
      if (text && !String(n).startsWith(text) && !name.toLowerCase().includes(text)) continue;
      total++;
      if (matches.length < shownMatches) matches.push(n);
    }
    active = Math.min(active, Math.max(0, matches.length - 1));
    list.replaceChildren(...matches.map((n, i) => {
      const item = document.createElement('li');
      item.id = `${id}-${n}`;
      item.setAttribute('role', 'option');
      item.dataset.source = String(n);
      item.setAttribute('aria-selected', String(i === active));
      item.textContent = `${n} ${names[n - 1]}`.trim();
      if (target && n === target.source) {
        item.classList.add('current');
        const mark = document.createElement('span');
        mark.className = 'current-mark';
        mark.textContent = 'current';
        item.append(mark);
      }
      item.addEventListener('mousedown', (e) => e.preventDefault());
      item.addEventListener('click', () => take(n));
      return item;
    }));
    if (matches.length) input.setAttribute('aria-activedescendant', `${id}-${matches[active]}`);
    else input.removeAttribute('aria-activedescendant');
    more.textContent = names === null ? (enterWaiting ? 'routing when the sources arrive…' : 'loading the sources…')
      : total > matches.length ? `${total - matches.length} more: type to narrow` : (total ? '' : 'no source matches');
  };

  const hide = () => {
    enterWaiting = false;
    root.hidden = true;
    if (target && target.back && target.back.isConnected) target.back.focus();
    target = null;
  };

  // Routes, and says politely what came of it.
  const take = async (n) => {
    const number = target.number;
    const destination = `${number} ${target.name}`.trim();
    const source = `${n} ${names[n - 1]}`.trim();
    hide();
    const answer = await step(`route ${router} ${number} ${n}`);
    if (!answer) return;
    if (answer.ok) announce(`Routed ${source} to ${routerName()} ${destination}`);
    else announce(`Route refused: ${source} to ${routerName()} ${destination}: ${answer.refusal.reason}`);
  };

  input.addEventListener('input', () => { active = 0; enterWaiting = false; paint(); });
  input.addEventListener('keydown', (e) => {
    if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
      e.preventDefault();
      active = Math.max(0, Math.min(matches.length - 1, active + (e.key === 'ArrowDown' ? 1 : -1)));
      paint();
      const item = list.children[active];
      if (item) item.scrollIntoView({ block: 'nearest' });
    } else if (e.key === 'Enter') {
      e.preventDefault();
      if (names === null) {
        enterWaiting = true;
        paint();
      } else if (matches.length) take(matches[active]);
    } else if (e.key === 'Escape') {
      e.preventDefault();
      hide();
    }
  });
  close.addEventListener('click', hide);

  return {
    root,
    // Opens for a destination: { number, name, source, back (focused on close) }.
    async open(destination) {
      target = destination;
      const label = `${destination.number} ${destination.name}`.trim();
      title.textContent = `Route to ${label}`;
      input.setAttribute('aria-label', `find a source to route to ${label}`);
      input.value = '';
      active = 0;
      enterWaiting = false;
      root.hidden = false;
      paint();
      input.focus();
      if (names === null) {
        try {
          const response = await fetch(`/api/sources?router=${router}`);
          const answer = await response.json();
          if (!response.ok) throw new Error(answer.error || `HTTP ${response.status}`);
          names = answer.names;
        } catch (e) {
          showError(`cannot read the sources: ${e.message}`);
          return;
        }
        if (target !== destination) return;
        paint();
        // The typed text was kept; an Enter pressed meanwhile acts on it now.
        if (enterWaiting) {
          enterWaiting = false;
          if (matches.length) take(matches[active]);
          else more.textContent = 'no source matches: nothing routed';
        }
      }
    },
    // The destination's source changed while the picker is open for it.
    update(number, source) {
      if (target && target.number === number && target.source !== source) {
        target.source = source;
        paint();
      }
    },
  };
}
