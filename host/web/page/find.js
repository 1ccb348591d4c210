// One search across every router: destinations (/api/rows, by name or
// number) and sources (their names from /api/sources) as one list of
// matches. Enter on a destination scrolls its router's table to the row and
// focuses it; on a source it lists where that source is routed: the
// destinations on it, and on the sources of the same name on the other
// routers (/api/rows?source=N). "/" anywhere but in a text field comes here.
import { announce } from './announce.js';
import { showError, sourceNames } from './api.js';

const perRouter = 8;    // matches of each kind shown per router
const usesShown = 50;   // destinations listed per source

const typing = (el) => el && (el.isContentEditable || el.tagName === 'TEXTAREA' || el.tagName === 'SELECT'
  || (el.tagName === 'INPUT' && !['checkbox', 'radio', 'button', 'submit', 'reset', 'range', 'color', 'file']
    .includes(el.type)));

function make(tag, className, text) {
  const el = document.createElement(tag);
  if (className) el.className = className;
  if (text !== undefined) el.textContent = text;
  return el;
}

async function rows(query) {
  const response = await fetch(`/api/rows?${new URLSearchParams(query)}`);
  const answer = await response.json();
  if (!response.ok) throw new Error(answer.error || `HTTP ${response.status}`);
  return answer;
}

// routers(): the state's routers ({device, name}); table(device): its table.
export function setUpFind(root, routers, table) {
  const input = make('input');
  input.type = 'search';
  input.id = 'find-input';
  input.autocomplete = 'off';
  input.placeholder = 'find a destination or source: name or number  ( / )';
  input.setAttribute('role', 'combobox');
  input.setAttribute('aria-label', 'find a destination or source on every router');
  input.setAttribute('aria-keyshortcuts', '/');
  input.setAttribute('aria-autocomplete', 'list');
  input.setAttribute('aria-controls', 'find-results');
  input.setAttribute('aria-expanded', 'false');
  const list = make('ul');
  list.id = 'find-results';
  list.setAttribute('role', 'listbox');
  list.setAttribute('aria-label', 'matches');
  list.hidden = true;
  const more = make('div', 'muted find-more');
  const uses = make('section', 'find-uses');
  uses.tabIndex = -1;
  uses.hidden = true;
  uses.setAttribute('role', 'region');
  uses.setAttribute('aria-labelledby', 'find-uses-title');
  root.append(input, more, list, uses);

  let matches = [];
  let active = 0;
  let asked = 0;
  let timer = null;

  const showList = (open) => {
    list.hidden = !open;
    input.setAttribute('aria-expanded', String(open));
    if (!open) input.removeAttribute('aria-activedescendant');
  };

  const paint = () => {
    active = Math.min(active, Math.max(0, matches.length - 1));
    list.replaceChildren(...matches.map((m, i) => {
      const item = make('li', `find-${m.kind}`);
      item.id = `find-${i}`;
      item.setAttribute('role', 'option');
      item.setAttribute('aria-selected', String(i === active));
      item.append(make('span', 'find-kind', m.kind), ` ${m.number} ${m.name}`.trimEnd(), make('span', 'muted', ` ${m.routerName}`));
      item.addEventListener('mousedown', (e) => e.preventDefault());
      item.addEventListener('click', () => choose(m));
      return item;
    }));
    if (matches.length) input.setAttribute('aria-activedescendant', `find-${active}`);
    else input.removeAttribute('aria-activedescendant');
    showList(matches.length > 0);
  };

  const search = async () => {
    const text = input.value.trim();
    const mine = ++asked;
    if (!text) {
      matches = [];
      more.textContent = '';
      paint();
      return;
    }
    const lower = text.toLowerCase();
    const all = routers();
    let found;
    try {
      found = await Promise.all(all.map(async (r) => {
        const [dest, names] = await Promise.all([
          rows({ router: String(r.device), filter: text, used: '0', count: String(perRouter) }),
          sourceNames(r.device)]);
        const sources = [];
        let sourceTotal = 0;
        names.forEach((name, i) => {
          if (!String(i + 1).startsWith(lower) && !name.toLowerCase().includes(lower)) return;
          if (++sourceTotal <= perRouter) sources.push({ kind: 'source', number: i + 1, name });
        });
        return {
          total: dest.total + sourceTotal,
          list: [...dest.rows.map((d) => ({ kind: 'destination', number: d.number, name: d.name })), ...sources]
            .map((m) => ({ ...m, device: r.device, routerName: r.name })),
        };
      }));
    } catch (e) {
      if (mine === asked) showError(`cannot search: ${e.message}`);
      return;
    }
    if (mine !== asked) return;
    // Exact names and numbers first, then the router order.
    const exact = (m) => m.name.toLowerCase() === lower || String(m.number) === text;
    matches = found.flatMap((f) => f.list).map((m, i) => [m, i])
      .sort(([a, i], [b, j]) => (exact(b) - exact(a)) || i - j).map(([m]) => m);
    const total = found.reduce((sum, f) => sum + f.total, 0);
    active = 0;
    const summary = total === 0 ? 'nothing matches'
      : `${total} match${total === 1 ? '' : 'es'}${total > matches.length ? `, the first ${matches.length} shown: type to narrow` : ''}`;
    more.textContent = summary;
    announce(summary);
    paint();
  };

  const jump = async (device, number) => {
    const t = table(device);
    if (!t || !(await t.reveal(number))) showError(`no destination ${number} on router ${device}`);
  };

  // Where a source is routed: on its router and on the sources of the same
  // name on the others.
  const listUses = async (m) => {
    const mine = ++asked;
    const lower = m.name.toLowerCase();
    let found;
    try {
      found = await Promise.all(routers().map(async (r) => {
        let numbers = [];
        if (r.device === m.device) numbers = [m.number];
        else if (lower) {
          const names = await sourceNames(r.device);
          names.forEach((name, i) => { if (name.toLowerCase() === lower) numbers.push(i + 1); });
        }
        return Promise.all(numbers.map(async (s) => ({ router: r, source: s,
          ...(await rows({ router: String(r.device), source: String(s), used: '0', count: String(usesShown) })) })));
      }));
    } catch (e) {
      if (mine === asked) showError(`cannot list the uses: ${e.message}`);
      return;
    }
    if (mine !== asked) return;
    const sets = found.flat();
    const count = sets.reduce((sum, s) => sum + s.total, 0);
    const title = make('h4', '', `${`${m.number} ${m.name}`.trim()} (${m.routerName}) is routed to ${count === 0 ? 'no destination'
      : `${count} destination${count === 1 ? '' : 's'}`}`);
    title.id = 'find-uses-title';
    const close = make('button', '', 'Close');
    close.type = 'button';
    close.addEventListener('click', () => { uses.hidden = true; input.focus(); });
    const head = make('div', 'find-uses-head');
    head.append(title, close);
    const body = make('ul', 'find-uses-list');
    for (const set of sets) {
      for (const d of set.rows) {
        const item = make('li');
        const go = make('button', '', `${set.router.name} ${d.number} ${d.name}`.trim());
        go.type = 'button';
        go.dataset.router = set.router.name;
        go.title = `from source ${set.source}; go to the row`;
        go.addEventListener('click', () => jump(set.router.device, d.number));
        item.append(go);
        body.append(item);
      }
      if (set.total > set.rows.length) body.append(make('li', 'muted', `${set.total - set.rows.length} more on ${set.router.name}`));
    }
    uses.replaceChildren(head, body);
    uses.hidden = false;
    uses.focus();
  };

  const choose = (m) => {
    showList(false);
    if (m.kind === 'destination') jump(m.device, m.number);
    else listUses(m);
  };

  input.addEventListener('input', () => {
    clearTimeout(timer);
    timer = setTimeout(search, 150);
  });
  input.addEventListener('keydown', (e) => {
    if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
      e.preventDefault();
      if (list.hidden && matches.length) { showList(true); return; }
      active = Math.max(0, Math.min(matches.length - 1, active + (e.key === 'ArrowDown' ? 1 : -1)));
      paint();
      const item = list.children[active];
      if (item) item.scrollIntoView({ block: 'nearest' });
    } else if (e.key === 'Enter') {
      e.preventDefault();
      if (matches.length && !list.hidden) choose(matches[active]);
    } else if (e.key === 'Escape') {
      if (!list.hidden) { e.preventDefault(); showList(false); }
    }
  });
  input.addEventListener('blur', () => showList(false));
  input.addEventListener('focus', () => { if (matches.length && input.value.trim()) showList(true); });
  uses.addEventListener('keydown', (e) => {
    if (e.key === 'Escape') { e.preventDefault(); uses.hidden = true; input.focus(); }
  });
  document.addEventListener('keydown', (e) => {
    if (e.key !== '/' || e.ctrlKey || e.metaKey || e.altKey || typing(e.target)) return;
    e.preventDefault();
    input.focus();
    input.select();
  });
}
