// zarn_host's page: one more client of the scenario steps.
import { watch } from './api.js';
import { renderClock } from './clock.js';
import { renderInspector, renderPanel } from './panel.js';
import { renderDevices, renderRouters } from './routers.js';
import { renderSession, setUpSession } from './session.js';
import { addTraceLine, setUpTrace } from './trace.js';

const pins = new Set();
let latest = null;
const $ = (id) => document.getElementById(id);

function render(state) {
  latest = state;
  const title = state.panels.length ? state.panels[0].title : 'Panel';
  $('title').textContent = title;
  document.title = `${title} — zarn_host`;
  $('library').textContent = state.library;
  renderPanel($('panel'), state);
  renderInspector($('inspector'), state, pins, (key, on) => {
    if (on) pins.add(key); else pins.delete(key);
  });
  renderDevices($('devices'), state);
  renderRouters($('routers'), state);
  renderClock($('clock'), state);
  renderSession(state);
  document.body.dataset.ready = 'true';
}

setUpTrace($('trace-filters'), $('trace'));
setUpSession(pins);
watch({
  onState: render,
  onTrace: (entry) => addTraceLine($('trace'), entry),
  onGap: () => addTraceLine($('trace'), { kind: 'note', time: -1, text: '… earlier lines dropped' }),
  onStatus: (up) => {
    $('status').textContent = up ? 'live' : 'disconnected';
    $('status').className = `pill ${up ? 'live' : 'down'}`;
    if (up) $('trace').replaceChildren();
    if (!up && latest) document.body.dataset.ready = 'false';
  },
});
