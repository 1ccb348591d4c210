// The virtual clock: waits of a chosen length, or real time; and beside the
// panel, while the clock stands still, why a take stays pending and how to
// run the clock.
import { setRealTime, step } from './api.js';

export function renderClockNotice(root, state) {
  if (!root.firstChild) {
    root.innerHTML = `<strong>Clock stopped:</strong> <span id="clock-waiting"></span>
      <button type="button" id="run-clock">Run the clock</button>
      <span class="muted">(real time; or advance it under Clock; from a script:
      <code>POST /api/clock {"realTime": true}</code>)</span>`;
    root.querySelector('#run-clock').addEventListener('click', () => setRealTime(true));
  }
  const stopped = !state.clock.realTime;
  if (root.hidden === stopped) root.hidden = !stopped;
  const n = state.clock.timers;
  const text = `${n === 0 ? 'no timer waits' : `${n} timer${n === 1 ? ' waits' : 's wait'}`}; a take shows PENDING until its timer runs.`;
  const waiting = root.querySelector('#clock-waiting');
  if (waiting.textContent !== text) waiting.textContent = text;
}

export function renderClock(root, state) {
  if (!root.firstChild) {
    root.innerHTML = `
      <div class="clock-now"><span id="clock-now">0</span> ms <span class="muted" id="clock-timers"></span></div>
      <div class="clock-buttons">
        <button type="button" data-wait="10">+10 ms</button>
        <button type="button" data-wait="100">+100 ms</button>
        <button type="button" data-wait="160">+160 ms</button>
        <button type="button" data-wait="1000">+1 s</button>
        <input id="wait-ms" type="number" min="0" value="500" aria-label="milliseconds">
        <button type="button" id="wait">Wait</button>
      </div>
      <label><input type="checkbox" id="real-time"> real time (the clock follows the wall clock)</label>
      <p class="muted" id="clock-note"></p>`;
    root.querySelectorAll('[data-wait]').forEach((b) => b.addEventListener('click', () => step(`wait ${b.dataset.wait}`)));
    root.querySelector('#wait').addEventListener('click', () => step(`wait ${root.querySelector('#wait-ms').value}`));
    root.querySelector('#real-time').addEventListener('change', (e) => setRealTime(e.target.checked));
  }
  root.querySelector('#clock-now').textContent = state.clock.now.toLocaleString('en');
  root.querySelector('#clock-timers').textContent = `${state.clock.timers} timer${state.clock.timers === 1 ? '' : 's'} running`;
  root.querySelector('#real-time').checked = state.clock.realTime;
  const note = state.clock.realTime ? 'Timers fire by themselves.'
    : 'The clock stands still: timers (a take\'s) run only when you advance it.';
  if (root.querySelector('#clock-note').textContent !== note) root.querySelector('#clock-note').textContent = note;
}
