// The facility: device instances on and off line, and each router as a
// virtual table of its destinations (router_table.js). Routers a bridge
// serves as levels of one matrix stand side by side under the matrix's name.
// Tables are made once and updated in place, so focus stays where it is
// while the state changes around it.
import { step, token } from './api.js';
import { makeRouterTable } from './router_table.js';

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

// Routers in groups: those one bridge serves as levels of one matrix
// together, in level order, the others each on their own.
function groups(state) {
  const byName = new Map(state.routers.map((r) => [r.name, r]));
  const placed = new Set();
  const out = [];
  for (const bridge of state.bridges || []) {
    const matrices = new Map();
    for (const r of bridge.routers || []) {
      if (!byName.has(r.name) || placed.has(r.name)) continue;
      if (!matrices.has(r.matrix)) matrices.set(r.matrix, []);
      matrices.get(r.matrix).push(r);
    }
    for (const [matrix, levels] of matrices) {
      if (levels.length < 2) continue;
      levels.sort((a, b) => a.level - b.level);
      for (const r of levels) placed.add(r.name);
      out.push({ title: `matrix ${matrix}: levels ${levels.map((r) => `${r.level} ${r.name}`).join(', ')}`,
        routers: levels.map((r) => byName.get(r.name)) });
    }
  }
  for (const r of state.routers) if (!placed.has(r.name)) out.push({ title: '', routers: [r] });
  return out;
}

export function renderRouters(root, state) {
  const laid = groups(state);
  const shape = JSON.stringify(laid.map((g) => [g.title, g.routers.map((r) => [r.device, r.name, r.sources,
    r.destinationCount])]));
  if (root.dataset.shape !== shape) {
    root.dataset.shape = shape;
    root.tables = new Map();
    const grid = document.createElement('div');
    grid.className = 'routers';
    for (const group of laid) {
      let place = grid;
      if (group.title) {
        place = document.createElement('div');
        place.className = 'router-group';
        const caption = document.createElement('div');
        caption.className = 'muted group-title';
        caption.textContent = group.title;
        place.append(caption);
        grid.append(place);
      }
      for (const r of group.routers) {
        const table = makeRouterTable({ ...r });
        root.tables.set(r.device, table);
        place.append(table.card);
      }
    }
    root.replaceChildren(grid);
  }
  const refusals = state.lastAction ? state.lastAction.refusals : [];
  for (const r of state.routers) {
    const table = root.tables.get(r.device);
    table.setSummary(r);
    table.setRefusals(refusals);
  }
}

// Destinations that changed, each with its router's device; at: the
// change's { epoch, seq }.
export function updateRows(root, rows, at) {
  if (!root.tables) return;
  const byRouter = new Map();
  for (const row of rows) {
    if (!byRouter.has(row.device)) byRouter.set(row.device, []);
    byRouter.get(row.device).push(row);
  }
  for (const [device, changed] of byRouter) {
    const table = root.tables.get(device);
    if (table) table.update(changed, at);
  }
}

// The tab is shown again: the tables draw what changed while it was hidden.
export function showRows(root) {
  if (root.tables) for (const table of root.tables.values()) table.show();
}

// Routers whose rows are to be fetched again; null: every router.
export function reloadRows(root, devices) {
  if (!root.tables) return;
  for (const [device, table] of root.tables) if (!devices || devices.includes(device)) table.reload();
}
