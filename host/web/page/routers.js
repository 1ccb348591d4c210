// The facility: device instances on and off line, and each router's
// destinations with their sources, locks and routes made from outside.
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

export function renderDevices(root, state) {
  root.replaceChildren();
  const list = document.createElement('div');
  list.className = 'devices';
  for (const device of state.devices) {
    const item = document.createElement('span');
    item.className = `device ${device.online ? 'online' : 'offline'}`;
    item.dataset.device = device.name;
    item.append(`${device.name} (${device.device})`);
    item.append(button(device.online ? 'Take offline' : 'Bring online', 'offline / online',
      () => step(`${device.online ? 'offline' : 'online'} ${token(device.name)}`)));
    list.append(item);
  }
  root.append(list);
}

export function renderRouters(root, state) {
  root.replaceChildren();
  const toggle = document.createElement('label');
  toggle.className = 'muted';
  const box = document.createElement('input');
  box.type = 'checkbox';
  box.checked = showAll;
  box.addEventListener('change', () => { showAll = box.checked; renderRouters(root, state); });
  toggle.append(box, ' every destination');
  root.append(toggle);
  const grid = document.createElement('div');
  grid.className = 'routers';
  for (const router of state.routers) {
    const card = document.createElement('div');
    card.className = 'router';
    card.dataset.router = router.name;
    const head = document.createElement('h3');
    head.textContent = `${router.name} (${router.device})${router.online ? '' : ' — offline'}`;
    card.append(head);
    const table = document.createElement('table');
    table.innerHTML = '<thead><tr><th>destination</th><th>source</th><th></th><th></th></tr></thead>';
    const body = document.createElement('tbody');
    for (const dest of router.destinations) {
      if (!showAll && !dest.name && !dest.source && !dest.locked) continue;
      const row = document.createElement('tr');
      row.dataset.destination = dest.name || String(dest.number);
      if (dest.locked) row.className = 'locked';
      const name = document.createElement('td');
      name.textContent = `${dest.number} ${dest.name}`;
      const source = document.createElement('td');
      source.className = 'source';
      source.textContent = dest.source ? `${dest.source} ${dest.sourceName}` : '—';
      const pick = document.createElement('select');
      pick.title = 'route from outside the panel';
      pick.append(new Option('route…', ''));
      for (const s of router.sourceNames) pick.append(new Option(`${s.number} ${s.name}`, String(s.number)));
      pick.addEventListener('change', () => {
        if (pick.value) step(`route ${router.device} ${dest.number} ${pick.value}`);
      });
      const routeCell = document.createElement('td');
      routeCell.append(pick);
      const lockCell = document.createElement('td');
      lockCell.append(button(dest.locked ? 'Unlock' : 'Lock', 'lock / unlock the destination',
        () => step(`${dest.locked ? 'unlock' : 'lock'} ${router.device} ${dest.number}`)));
      row.append(name, source, routeCell, lockCell);
      body.append(row);
    }
    table.append(body);
    card.append(table);
    grid.append(card);
  }
  root.append(grid);
}
