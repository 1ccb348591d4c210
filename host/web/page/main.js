// zarn_host's page: one more client of the scenario steps. The state is kept
// from the stream's full state and changes (state_keeper.js); one render per
// animation frame draws it and appends the trace lines that came since. A
// tab in the background keeps the state and the trace lines but draws
// nothing; it draws once when shown again, so the tab in front has the
// browser to itself.
import { renderBridges } from './bridges.js';
import { renderClock, renderClockNotice } from './clock.js';
import { setUpFind } from './find.js';
import { limits, takeLimits } from './limits.js';
import { renderHint, renderInspector, renderPanel } from './panel.js';
import { reloadRows, renderDevices, renderRouters, showRows, updateRows } from './routers.js';
import { renderSession, setUpSession } from './session.js';
import { shareEvents } from './shared_stream.js';
import { keepState } from './state_keeper.js';
import { addTraceLines, clearTrace, setUpTrace } from './trace.js';

const pins = new Set();
let latest = null;
let stateChanged = false;
let lines = [];
let queued = false;
const $ = (id) => document.getElementById(id);

function render(state) {
  const title = state.panels.length ? state.panels[0].title : 'Panel';
  if ($('title').textContent !== title) {
    $('title').textContent = title;
    document.title = `${title} — zarn_host`;
  }
  $('library').textContent = state.library;
  renderPanel($('panel'), state);
  renderHint($('hint'), state);
  renderInspector($('inspector'), state, pins, (key, on) => {
    if (on) pins.add(key); else pins.delete(key);
  });
  renderDevices($('devices'), state);
  renderRouters($('routers'), state);
  renderBridges($('bridges'), state);
  renderClock($('clock'), state);
  renderClockNotice($('clock-stopped'), state);
  renderSession(state);
  document.body.dataset.ready = 'true';
}

function flush() {
  queued = false;
  if (document.hidden) return;  // drawn when shown again
  if (stateChanged && latest) {
    stateChanged = false;
    takeLimits(latest);
    render(latest);
  }
  if (lines.length) {
    const batch = lines.map((line) => (typeof line === 'string' ? JSON.parse(line) : line));
    lines = [];
    addTraceLines($('trace'), batch);
  }
}

function schedule() {
  if (queued || document.hidden) return;
  queued = true;
  requestAnimationFrame(flush);
}

document.addEventListener('visibilitychange', () => {
  if (document.hidden) return;
  showRows($('routers'));
  schedule();
});

setUpTrace($('trace-filters'), $('trace'), $('trace-download'));
setUpFind($('find'), () => (latest ? latest.routers : []),
  (device) => ($('routers').tables ? $('routers').tables.get(device) : null));
// The skip link: past the panel and the clock to the routers, focus and all.
document.querySelector('.skip-link').addEventListener('click', (e) => {
  e.preventDefault();
  $('routers').focus();
});
setUpSession(pins);
const keeper = keepState({
  onState: (state) => { latest = state; stateChanged = true; schedule(); },
  onRows: (rows, at) => updateRows($('routers'), rows, at),
  onReload: (devices) => reloadRows($('routers'), devices),
});
shareEvents({
  onState: (text) => keeper.full(text),
  onChanges: (text) => keeper.change(text),
  onJoined: () => keeper.need(),
  onTrace: (entry) => {
    lines.push(entry);
    if (lines.length > 2 * limits.traceLines) lines.splice(0, lines.length - limits.traceLines);
    schedule();
  },
  onGap: () => { lines.push({ kind: 'note', time: -1, text: '… earlier lines dropped' }); schedule(); },
  onStatus: (up) => {
    $('status').textContent = up ? 'live' : 'disconnected';
    $('status').className = `pill ${up ? 'live' : 'down'}`;
    if (up) {
      $('stream-note').hidden = true;
      lines = [];
      clearTrace($('trace'));
    }
    if (!up && latest) document.body.dataset.ready = 'false';
  },
  onFault: (text) => {
    const fault = JSON.parse(text);
    const banner = $('fault-banner');
    banner.hidden = false;
    banner.dataset.phase = fault.phase;
    const states = {
      crashed: 'Restoring the session…',
      restored: 'The session was restored.',
      waiting: 'Waiting for a rebuilt panel library.',
      reloading: 'Loading the rebuilt panel library…',
    };
    if (fault.phase === 'crashed' || fault.phase === 'waiting') {
      $('fault-title').textContent = `The panel crashed at step "${fault.step}": ${fault.signal}.`;
      const commands = (fault.commands || []).map((c) => `  ${c}`).join('\n');
      $('fault-detail').textContent = `${fault.where ? `at ${fault.where}\n` : ''}last commands:\n${commands || '  (none)'}\n`
        + `${fault.scenario ? `replay: zarn_host --scenario ${fault.scenario}\n` : ''}\n${fault.stderr || ''}`;
    }
    $('fault-state').textContent = states[fault.phase] || fault.message;
  },
  onRefused: (text) => {
    $('stream-note').textContent = text;
    $('stream-note').hidden = false;
  },
});
