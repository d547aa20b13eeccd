// The leaderboard page (leaderboard.html), from the server's API: the
// boards, one row per player, your row marked and your place when you are
// not among them; or, with ?player=NAME, a player's page.
'use strict';
const today = new Date().toISOString().slice(0, 10);

// The name this browser plays under: the player line of the game's
// settings.txt in local storage ("player NAME" or "player NAME key KEY").
function myName() {
  let text = null;
  try { text = localStorage.getItem('voidrunner/settings.txt'); } catch (e) {}
  if (!text) return '';
  let bytes;
  try {
    // Stored a byte a character: the file's UTF-8.
    bytes = Uint8Array.from(text, (c) => c.charCodeAt(0) & 255);
    text = new TextDecoder('utf-8', {fatal: true}).decode(bytes);
  } catch (e) {
    return '';
  }
  for (const line of text.split('\n')) {
    const m = /^\s*player\s+(.*?)(?:\s+key\s+[A-Za-z0-9_-]{16,128})?\s*$/.exec(line);
    if (m) return m[1];
  }
  return '';
}

function cell(row, text, className) {
  const c = row.insertCell();
  c.textContent = text;
  if (className) c.className = className;
  return c;
}

function minutes(ticks) {
  const seconds = Math.round(ticks * 0.062);
  return Math.floor(seconds / 60) + ':' + String(seconds % 60).padStart(2, '0');
}

// A run's watch link, which is also its share link, and a button that
// copies it.
function watchLinks(c, run) {
  const watch = document.createElement('a');
  watch.href = 'index.html?watch=' + encodeURIComponent(run.id);
  watch.textContent = 'watch';
  c.appendChild(watch);
  if (navigator.clipboard) {
    const copy = document.createElement('button');
    copy.className = 'copy';
    copy.textContent = 'copy link';
    copy.title = 'Copy the link to share this run';
    copy.addEventListener('click', () => {
      navigator.clipboard.writeText(new URL(watch.href, location.href).href)
          .then(() => { copy.textContent = 'copied'; }, () => {});
    });
    c.append(' ', copy);
  }
  if (run.watched) {
    const mark = document.createElement('span');
    mark.className = 'watched';
    mark.title = 'An operator has watched this run';
    mark.textContent = ' \u2713';
    c.appendChild(mark);
  }
}

function playerLink(name) {
  const a = document.createElement('a');
  a.href = 'leaderboard.html?player=' + encodeURIComponent(name);
  a.textContent = name;
  return a;
}

// Names are set as text, never as markup. Returns whether `me` is listed.
function fill(id, runs, me) {
  const body = document.querySelector('#' + id + ' tbody');
  body.textContent = '';
  if (!Array.isArray(runs) || runs.length === 0) {
    const c = body.insertRow().insertCell();
    c.colSpan = 5;
    c.textContent = 'No runs yet.';
    return false;
  }
  let listed = false;
  runs.forEach((run, i) => {
    const row = body.insertRow();
    if (me && run.player === me) {
      row.className = 'mine';
      listed = true;
    }
    cell(row, String(i + 1), 'n');
    cell(row, '').appendChild(playerLink(run.player));
    cell(row, String(run.score), 'n');
    cell(row, minutes(run.ticks), 'n time');
    watchLinks(cell(row, ''), run);
  });
  return listed;
}

async function json(url) {
  try {
    const r = await fetch(url);
    return r.ok ? await r.json() : null;
  } catch (e) {
    return null;
  }
}

async function boards() {
  const me = myName();
  document.getElementById('today-title').textContent = "Today's runs, " + today;
  document.getElementById('daily-title').textContent = 'Daily run of ' + today;
  const [global, day, daily, mine] = await Promise.all([
    json('api/v1/top?limit=100'), json('api/v1/top?limit=100&day=' + today),
    json('api/v1/daily/top?limit=100&day=' + today),
    me ? json('api/v1/players/' + encodeURIComponent(me)) : null]);
  const you = (id, listed, score, rank) => {
    const line = document.getElementById(id);
    line.textContent = '';
    if (!me || listed || !rank) return;
    line.append('You (', playerLink(me), '): #' + rank + ', ' + score);
  };
  you('global-you', fill('global', global, me), mine && mine.bestScore, mine && mine.bestRank);
  you('today-you', fill('today', day, me), mine && mine.todayScore, mine && mine.todayRank);
  you('daily-you', fill('daily', daily, me), mine && mine.dailyScore, mine && mine.dailyRank);
}

async function playerPage(name) {
  document.getElementById('board').hidden = true;
  document.getElementById('player').hidden = false;
  document.getElementById('player-name').textContent = name;
  document.title = name + ' - Voidrunner leaderboard';
  const about = document.getElementById('player-about');
  const p = await json('api/v1/players/' + encodeURIComponent(name));
  if (!p) {
    about.textContent = 'No such player.';
    return;
  }
  const parts = [];
  if (p.best) parts.push('best ' + p.best.score + ', #' + p.best.rank + ' of all time');
  if (p.today) parts.push('today ' + p.today.score + ', #' + p.today.rank);
  if (p.claimed) parts.push('playing since ' + new Date(p.claimed).toISOString().slice(0, 10));
  about.textContent = parts.join(' \u00b7 ') || 'No runs yet.';
  const body = document.querySelector('#runs tbody');
  for (const run of p.runs || []) {
    const row = body.insertRow();
    cell(row, String(run.id), 'n');
    cell(row, run.board === 'global' ? 'ranked' : 'daily ' + run.board);
    cell(row, String(run.score), 'n');
    cell(row, new Date(run.submitted).toISOString().slice(0, 10), 'time');
    watchLinks(cell(row, ''), run);
  }
}

const asked = new URLSearchParams(location.search).get('player');
if (asked) playerPage(asked); else boards();
