// The facility: device instances on and off line, and each router's
// destinations with their sources, locks and routes made from outside. Rows
// are made once and updated in place: a drop-down keeps its focus (and stays
// open) while the state changes around it.
import { step, token } from './api.js';

let showAll = false;

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

export function renderDevices(root, state) {
  const shape = JSON.stringify(state.devices.map((d) => d.name));
  if (root.dataset.shape !== shape) {
    root.dataset.shape = shape;
    root.replaceChildren();
    const list = document.createElement('div');
    list.className = 'devices';
    root.items = state.devices.map((device) => {
      const item = document.createElement('span');
      item.dataset.device = device.name;
      const name = document.createElement('span');
      name.className = 'device-name';
      name.textContent = `${device.name} (${device.device})`;
      name.title = name.textContent;
      const mark = document.createElement('span');
      mark.className = 'device-state';
      const toggle = button('', 'offline / online', () => step(`${item.dataset.online === 'true' ? 'offline' : 'online'} ${token(device.name)}`));
      item.append(name, mark, toggle);
      list.append(item);
      return { item, mark, toggle };
    });
    root.append(list);
  }
  state.devices.forEach((device, i) => {
    const { item, mark, toggle } = root.items[i];
    item.className = `device ${device.online ? 'online' : 'offline'}`;
    item.dataset.online = String(device.online);
    setText(mark, device.online ? 'online' : 'OFFLINE');
    setText(toggle, device.online ? 'Take offline' : 'Bring online');
  });
}

function routerShape(state) {
  return JSON.stringify([showAll, state.routers.map((r) => [r.device, r.name, r.sourceNames,
    r.destinations.filter((d) => showAll || d.name || d.source || d.locked).map((d) => d.number)])]);
}

export function renderRouters(root, state) {
  root.state = state;
  if (!root.toggle) {
    const toggle = document.createElement('label');
    toggle.className = 'muted';
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.addEventListener('change', () => { showAll = box.checked; renderRouters(root, root.state); });
    toggle.append(box, ' every destination');
    root.toggle = toggle;
    root.grid = document.createElement('div');
    root.grid.className = 'routers';
    root.append(toggle, root.grid);
  }
  const shape = routerShape(state);
  if (root.dataset.shape !== shape) {
    root.dataset.shape = shape;
    root.rows = new Map();
    root.heads = new Map();
    root.grid.replaceChildren();
    for (const router of state.routers) {
      const card = document.createElement('div');
      card.className = 'router';
      card.dataset.router = router.name;
      const head = document.createElement('h3');
      root.heads.set(router.device, head);
      card.append(head);
      const table = document.createElement('table');
      table.innerHTML = '<thead><tr><th>destination</th><th>source</th><th>route</th><th>lock</th></tr></thead>';
      const body = document.createElement('tbody');
      for (const dest of router.destinations) {
        if (!showAll && !dest.name && !dest.source && !dest.locked) continue;
        const row = document.createElement('tr');
        row.dataset.destination = dest.name || String(dest.number);
        const name = document.createElement('td');
        name.className = 'name';
        name.textContent = `${dest.number} ${dest.name}`;
        name.title = name.textContent;
        const lockMark = document.createElement('span');
        lockMark.className = 'lock-mark';
        name.append(lockMark);
        const source = document.createElement('td');
        source.className = 'source';
        const pick = document.createElement('select');
        pick.title = 'route from outside the panel';
        pick.setAttribute('aria-label', `route a source to ${dest.name || dest.number}`);
        pick.append(new Option('route…', ''));
        for (const s of router.sourceNames) pick.append(new Option(`${s.number} ${s.name}`, String(s.number)));
        pick.addEventListener('change', () => {
          if (pick.value) step(`route ${router.device} ${dest.number} ${pick.value}`);
          pick.value = '';
        });
        const routeCell = document.createElement('td');
        routeCell.append(pick);
        const lockCell = document.createElement('td');
        const lock = button('', 'lock / unlock the destination',
          () => step(`${row.classList.contains('locked') ? 'unlock' : 'lock'} ${router.device} ${dest.number}`));
        lockCell.append(lock);
        row.append(name, source, routeCell, lockCell);
        body.append(row);
        root.rows.set(`${router.device}/${dest.number}`, { row, source, lock, lockMark });
      }
      table.append(body);
      card.append(table);
      root.grid.append(card);
    }
  }
  for (const router of state.routers) {
    setText(root.heads.get(router.device), `${router.name} (${router.device})${router.online ? '' : ' — OFFLINE'}`);
    for (const dest of router.destinations) {
      const parts = root.rows.get(`${router.device}/${dest.number}`);
      if (!parts) continue;
      parts.row.classList.toggle('locked', dest.locked);
      setText(parts.lockMark, dest.locked ? 'LOCKED' : '');
      const text = dest.source ? `${dest.source} ${dest.sourceName}` : '—';
      setText(parts.source, text);
      parts.source.title = text;
      setText(parts.lock, dest.locked ? 'Unlock' : 'Lock');
    }
  }
}
