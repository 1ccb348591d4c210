// The page's one polite live region: what screen readers are told without
// moving the focus (a narrowed table's count, a route made or refused from
// the page). The same words said twice are said again.
let timer = null;

export function announce(text) {
  const region = document.getElementById('announcer');
  if (!region) return;
  clearTimeout(timer);
  if (region.textContent === text) {
    region.textContent = '';
    timer = setTimeout(() => { region.textContent = text; }, 50);
  } else {
    region.textContent = text;
  }
}
