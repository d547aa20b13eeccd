// The leaderboard page's tables (leaderboard.html), from the server's API.
'use strict';
// Names are set as text, never as markup.
function fill(id, runs) {
  const body = document.querySelector('#' + id + ' tbody');
  body.textContent = '';
  if (!Array.isArray(runs) || runs.length === 0) {
    const row = body.insertRow();
    row.insertCell().textContent = 'No runs yet.';
    return;
  }
  runs.forEach((run, i) => {
    const row = body.insertRow();
    const seconds = Math.round(run.ticks * 0.062);
    const cells = [String(i + 1), run.player, String(run.score),
                   Math.floor(seconds / 60) + ':' + String(seconds % 60).padStart(2, '0')];
    cells.forEach((text, c) => {
      const cell = row.insertCell();
      cell.textContent = text;
      if (c !== 1) cell.className = 'n';
    });
    const watch = document.createElement('a');
    watch.href = 'index.html?watch=' + encodeURIComponent(run.id);
    watch.textContent = 'watch';
    row.insertCell().appendChild(watch);
  });
}
async function load(id, url) {
  try {
    const r = await fetch(url);
    fill(id, r.ok ? await r.json() : []);
  } catch (e) {
    fill(id, []);
  }
}
load('global', 'api/v1/top?limit=100');
load('daily', 'api/v1/daily/top?limit=100');
