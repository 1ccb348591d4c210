// One event stream per browser, shared by its tabs. The tab holding the
// "zarn-events" lock is the leader: it opens /api/events and passes every
// event on through a BroadcastChannel; the others listen. When the leader's
// tab closes its lock is released and a waiting tab takes over. Browsers
// allow six connections per host, so six tabs with a stream each would leave
// none for a click. Events travel as their JSON text. A tab that joins gets
// the recent trace from the leader and fetches the full state itself, then
// follows the changes the leader passes on. Without locks (a page not served from a loopback or
// https address) every tab opens its own stream.

import { limits } from './limits.js';

const channelName = 'zarn-events';

export function shareEvents(handlers) {
  const { onState, onChanges, onJoined, onTrace, onGap, onStatus, onRefused, onFault } = handlers;
  const canShare = typeof BroadcastChannel === 'function' && navigator.locks && window.isSecureContext;
  let welcomed = false;  // a tab that joined: told the leader's trace once
  let traced = false;   // some trace line came already
  const recent = [];
  // As many as the host keeps: what a new tab is sent.
  const keep = (entry) => {
    recent.push(entry);
    if (recent.length > limits.traceLines) recent.splice(0, recent.length - limits.traceLines);
  };
  const deliver = (message) => {
    if (message.type === 'state') onState(message.data);
    else if (message.type === 'changes') onChanges(message.data);
    else if (message.type === 'trace') { traced = true; keep(message.data); onTrace(message.data); }
    else if (message.type === 'traces') for (const entry of message.data) { traced = true; keep(entry); onTrace(entry); }
    else if (message.type === 'gap') onGap();
    else if (message.type === 'status') onStatus(message.data);
    else if (message.type === 'refused') onRefused(message.data);
    else if (message.type === 'fault' && onFault) onFault(message.data);
  };
  if (!canShare) {
    openStream(deliver);
    return;
  }
  const channel = new BroadcastChannel(channelName);
  let leader = false;
  // Trace lines go to the other tabs in one message per task, not one each.
  let batch = null;
  const publish = (message) => {
    deliver(message);
    if (message.type !== 'trace') {
      if (batch) { channel.postMessage({ type: 'traces', data: batch }); batch = null; }
      channel.postMessage(message);
      return;
    }
    if (!batch) {
      batch = [];
      setTimeout(() => { if (batch) channel.postMessage({ type: 'traces', data: batch }); batch = null; }, 0);
    }
    batch.push(message.data);
  };
  channel.onmessage = (e) => {
    const message = e.data;
    if (message.type === 'hello') {
      if (leader) channel.postMessage({ type: 'welcome', trace: recent });
      return;
    }
    if (message.type === 'welcome') {
      if (leader || welcomed) return;
      welcomed = true;
      if (!traced) for (const entry of message.trace) { keep(entry); onTrace(entry); }
      onJoined();
      onStatus(true);
      return;
    }
    if (!leader) deliver(message);
  };
  channel.postMessage({ type: 'hello' });
  navigator.locks.request(channelName, () => new Promise(() => {
    leader = true;
    document.documentElement.dataset.streamLeader = 'true';
    openStream(publish);
  }));
}

// Opens /api/events and turns its events into messages. A stream the host
// refuses (too many pages) is asked again for the reason, shown, and tried
// again a few seconds later.
function openStream(publish) {
  const events = new EventSource('/api/events');
  events.addEventListener('state', (e) => publish({ type: 'state', data: e.data }));
  events.addEventListener('changes', (e) => publish({ type: 'changes', data: e.data }));
  events.addEventListener('trace', (e) => publish({ type: 'trace', data: e.data }));
  events.addEventListener('gap', () => publish({ type: 'gap' }));
  // The panel's worker died, was brought back or waits for a rebuilt library.
  events.addEventListener('fault', (e) => publish({ type: 'fault', data: e.data }));
  events.onopen = () => publish({ type: 'status', data: true });
  events.onerror = async () => {
    publish({ type: 'status', data: false });
    if (events.readyState !== EventSource.CLOSED) return;  // the browser tries again by itself
    let reason = 'the host does not answer';
    try {
      const controller = new AbortController();
      const response = await fetch('/api/events', { signal: controller.signal });
      if (!response.ok) reason = (await response.json()).error || `HTTP ${response.status}`;
      controller.abort();
    } catch (e) { /* the host is gone */ }
    publish({ type: 'refused', data: `no live updates: ${reason}; trying again` });
    setTimeout(() => openStream(publish), 3000);
  };
}
