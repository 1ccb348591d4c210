// The host's JSON API and its event stream. Every action is a scenario step.

const message = () => document.getElementById('message');

export function showError(text) {
  const box = message();
  box.textContent = text;
  box.hidden = false;
  clearTimeout(showError.timer);
  showError.timer = setTimeout(() => { box.hidden = true; }, 8000);
}

// This tab's session: the host names the routes and locks it makes by it.
export const sessionId = (globalThis.crypto && crypto.randomUUID ? crypto.randomUUID()
  : Math.random().toString(36).slice(2)).replace(/[^A-Za-z0-9-]/g, '').slice(0, 8);

async function post(path, body) {
  const response = await fetch(path, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(body),
  });
  return response;
}

// Runs one step; the answer's JSON, or null after showing its error. A route
// refused is a 409 whose refusal the router's row shows: its answer is given
// back ({"ok": false, "refusal"}) for the caller to say.
export async function step(line) {
  let response;
  try {
    response = await post('/api/step', { step: line, session: sessionId });
  } catch (e) {
    showError('the host does not answer');
    return null;
  }
  const answer = await response.json().catch(() => ({ error: `HTTP ${response.status}` }));
  if (response.status === 409 && answer.refusal) return answer;
  if (!response.ok) {
    showError(answer.error || `HTTP ${response.status}`);
    return null;
  }
  message().hidden = true;
  return answer;
}

// A router's source names (/api/sources), fetched once and shared: the
// history and the search read them.
const names = new Map();
export function sourceNames(router) {
  if (!names.has(router)) {
    const asked = fetch(`/api/sources?router=${router}`).then(async (response) => {
      const answer = await response.json();
      if (!response.ok) throw new Error(answer.error || `HTTP ${response.status}`);
      return answer.names;
    });
    asked.catch(() => names.delete(router));
    names.set(router, asked);
  }
  return names.get(router);
}

export async function setRealTime(on) {
  const response = await post('/api/clock', { realTime: on });
  if (!response.ok) showError((await response.json()).error);
}

export async function session(pins) {
  const response = await post('/api/session', { pins });
  if (!response.ok) {
    showError((await response.json()).error);
    return null;
  }
  return response.text();
}

// One argument of a step (quoting.js), for the page's modules.
export { token } from './quoting.js';
