// The bounds the host keeps to, as its state gives them ("limits"): the page
// keeps as many trace lines as the host does and asks for as many rows as it
// gives. Until the first state arrives,
// or from a host that does not give them, the host's usual ones.
export const limits = { traceLines: 2000, sessionSteps: 100000, rowsPerRequest: 500 };

export function takeLimits(state) {
  const given = state && state.limits;
  if (!given) return;
  for (const key of Object.keys(limits)) {
    if (Number.isInteger(given[key]) && given[key] > 0) limits[key] = given[key];
  }
}
