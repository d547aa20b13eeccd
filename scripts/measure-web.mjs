// Figures of the browser game in headless chromium, printed one a line:
// page load to the first frame, the tick intervals and the browser's CPU
// share over SECONDS of play (LEFT and SPACE held) next to two floor pages'
// in the same run, and the heaviest frame at 1920x1080 timed in the page.
// With BEFORE-SITE, an earlier build of the site is played by turns too.
//   node scripts/measure-web.mjs SITE FRAME-BENCH-DIR SECONDS [BEFORE-SITE]
import fs from 'node:fs';
import {serve, launch} from '../tests/browser/harness.mjs';

const [site, benchDir, seconds = '30', beforeSite] = process.argv.slice(2);
const span = Number(seconds) * 1000;
const hz = 100;  // USER_HZ: /proc's clock ticks

// Processor time (ms) of the process and all its descendants, those that
// ended included (their time has gone to the parent that waited for them),
// in all and by chromium's kind of process (--type=, utility processes by
// their service): {all, browser, renderer, gpu-process, ...}.
// utime, stime, cutime, cstime: the fields after the command's name.
const ticksOf = (f) => Number(f[11]) + Number(f[12]) + Number(f[13]) + Number(f[14]);

function kindOf(pid) {
  try {
    const cmd = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
    const service = cmd.match(/--utility-sub-type=(?:\w+\.)*(\w+)/);
    if (service) return service[1];
    const type = cmd.match(/--type=([\w-]+)/);
    return type ? type[1] : 'browser';
  } catch (e) {
    return 'gone';
  }
}

function cpuMs(root) {
  const children = new Map();
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      const ppid = Number(fields[1]);
      if (!children.has(ppid)) children.set(ppid, []);
      children.get(ppid).push({pid: Number(pid), ticks: ticksOf(fields)});
    } catch (e) {}  // gone meanwhile
  }
  const ms = {all: 0};
  const add = (pid, ticks) => {
    const kind = kindOf(pid);
    ms[kind] = (ms[kind] || 0) + (ticks * 1000) / hz;
    ms.all += (ticks * 1000) / hz;
  };
  const walk = (pid) => {
    for (const child of children.get(pid) || []) {
      add(child.pid, child.ticks);
      walk(child.pid);
    }
  };
  try {
    const stat = fs.readFileSync(`/proc/${root}/stat`, 'utf8');
    add(root, ticksOf(stat.slice(stat.lastIndexOf(')') + 2).split(' ')));
  } catch (e) {}
  walk(root);
  return ms;
}

const stats = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return {n: s.length, min: s[0], median: s[Math.floor(s.length / 2)], max: s[s.length - 1]};
};

// The browser's own floor: a page that changes one pixel of a 16x16 canvas
// 16 times a second, so that the browser has a frame to show as often.
const floorPage = 'data:text/html,' + encodeURIComponent(
    '<!doctype html><canvas id=c width=16 height=16></canvas><script>' +
    'const x = document.getElementById("c").getContext("2d"); let n = 0;' +
    'setInterval(() => { x.fillStyle = n++ % 2 ? "#000" : "#fff"; x.fillRect(7, 7, 1, 1); }, 62.5);' +
    '</script>');

// What a window-sized canvas costs by itself: one like the game's (opaque,
// desynchronized), a pixel in two opposite corners changing 16 times a
// second. Each frame the renderer copies the whole canvas for the
// compositor, which draws again the rectangle spanning both changes.
const fullFloorPage = 'data:text/html,' + encodeURIComponent(
    '<!doctype html><style>html, body { margin: 0; overflow: hidden; background: #000 }' +
    'canvas { display: block }</style><canvas id=c></canvas><script>' +
    'const c = document.getElementById("c"); c.width = innerWidth; c.height = innerHeight;' +
    'const x = c.getContext("2d", {alpha: false, desynchronized: true}); let n = 0;' +
    'setInterval(() => { x.fillStyle = n++ % 2 ? "#000" : "#fff"; x.fillRect(7, 7, 1, 1);' +
    'x.fillRect(c.width - 8, c.height - 8, 1, 1); }, 62.5);</script>');

// Share of one core (%) that chromium's processes take over `ms`, in all
// and by kind of process.
async function share(pid, ms) {
  const cpuFrom = cpuMs(pid), wallFrom = Date.now();
  await new Promise((r) => setTimeout(r, ms));
  const cpuTo = cpuMs(pid), wall = Date.now() - wallFrom, out = {};
  for (const kind of Object.keys(cpuTo)) out[kind] = (100 * (cpuTo[kind] - (cpuFrom[kind] || 0))) / wall;
  return out;
}

// The game in play: LEFT and SPACE held, a second to settle.
async function play(page, url) {
  await page.goto(url);
  await page.waitForFunction(() => window.voidrunner && window.voidrunner.frames > 0, {timeout: 20000});
  await page.keyboard.down('ArrowLeft');
  await page.keyboard.down('Space');
  await new Promise((r) => setTimeout(r, 1000));
}

const server = await serve(site);
const beforeServer = beforeSite ? await serve(beforeSite) : null;
const beforeShares = [];
const chromium = await launch(1920, 1080);
try {
  const pid = chromium.browser.process().pid;
  // The floors and the game by turns, three rounds: load on the machine
  // that comes and goes falls on all.
  const rounds = 3, slice = span / rounds;
  const floorShares = [], fullShares = [], gameShares = [], gaps = [];
  let page = null, first = 0, main = 0;
  for (let round = 0; round < rounds; ++round) {
    for (const [url, shares] of [[floorPage, floorShares], [fullFloorPage, fullShares]]) {
      const floor = await chromium.browser.newPage();
      await floor.goto(url);
      await new Promise((r) => setTimeout(r, 1000));
      shares.push(await share(pid, slice));
      await floor.close();
    }

    // An earlier build of the site, when given, played the same way.
    if (beforeServer) {
      const before = await chromium.browser.newPage();
      await play(before, beforeServer.url);
      beforeShares.push(await share(pid, slice));
      await before.close();
    }

    page = await chromium.browser.newPage();
    await play(page, server.url);
    [first, main] = await page.evaluate(() => [window.voidrunner.firstFrameAt, window.voidrunner.mainAt]);
    const from = await page.evaluate(() => performance.now());
    gameShares.push(await share(pid, slice));
    const presents = await page.evaluate((t) => window.voidrunner.presents.filter((p) => p >= t), from);
    gaps.push(...presents.slice(1).map((p, i) => p - presents[i]));
    await page.keyboard.up('Space');
    await page.keyboard.up('ArrowLeft');
    if (round < rounds - 1) await page.close();
  }
  console.log(`page load (navigation start) to the first frame, 1920x1080: ${first.toFixed(0)} ms; ` +
              `the game's main started at ${main.toFixed(0)} ms (page, script and wasm loaded), ` +
              `then ${(first - main).toFixed(0)} ms to the first frame (five countdown ticks of 62 ms ` +
              'and the start-up tick)');

  // The same page paused (no ticks, no frames): what the browser costs alone.
  await page.keyboard.press('p');
  await new Promise((r) => setTimeout(r, 1000));
  const idleShare = await share(pid, 10000);
  // And the browser with an empty page.
  await page.goto('about:blank');
  await new Promise((r) => setTimeout(r, 1000));
  const blankShare = await share(pid, 10000);
  const g = stats(gaps);
  // Measured between presents (the end of each tick): a tick that draws
  // late shortens the gap to the next, which is still due 62 ms after the
  // late one started.
  console.log(`intervals between presented frames over ${seconds} s (${g.n}): min ` +
              `${g.min.toFixed(1)}, median ${g.median.toFixed(1)}, max ${g.max.toFixed(1)} ms; ` +
              `62-66 ms: ${gaps.filter((x) => x >= 62 && x < 66).length}, under 62 ms: ` +
              `${gaps.filter((x) => x < 62).length}`);
  const list = (xs) => xs.map((x) => x.toFixed(1)).join(', ');
  const all = (shares) => shares.map((s) => s.all);
  const floorMedian = stats(all(floorShares)).median, fullMedian = stats(all(fullShares)).median;
  const gameMedian = stats(all(gameShares)).median;
  console.log(`CPU share of chromium's processes, % of one core, ${rounds} rounds of ` +
              `${(slice / 1000).toFixed(0)} s by turns: the floor page (one pixel of a 16x16 canvas ` +
              `16 times a second) ${list(all(floorShares))}, median ${floorMedian.toFixed(1)}; the ` +
              `full-window floor (a window-sized canvas, two far pixels 16 times a second) ` +
              `${list(all(fullShares))}, median ${fullMedian.toFixed(1)}; the game in play ` +
              `${list(all(gameShares))}, median ${gameMedian.toFixed(1)}; game/floor ` +
              `${(gameMedian / floorMedian).toFixed(2)}, full-window floor/floor ` +
              `${(fullMedian / floorMedian).toFixed(2)}, game/full-window floor ` +
              `${(gameMedian / fullMedian).toFixed(2)}`);
  if (beforeServer) {
    const beforeMedian = stats(all(beforeShares)).median;
    console.log(`the earlier build in play, same rounds: ${list(all(beforeShares))}, median ` +
                `${beforeMedian.toFixed(1)}; before/floor ${(beforeMedian / floorMedian).toFixed(2)}, ` +
                `before/full-window floor ${(beforeMedian / fullMedian).toFixed(2)}, ` +
                `now/before ${(gameMedian / beforeMedian).toFixed(2)}`);
  }
  // Where it goes: the medians by kind of process.
  const kinds = (shares) => {
    const names = [...new Set(shares.flatMap((s) => Object.keys(s)))].filter((k) => k !== 'all');
    return names.map((k) => [k, stats(shares.map((s) => s[k] || 0)).median])
        .filter(([, v]) => v >= 0.05).sort((a, b) => b[1] - a[1])
        .map(([k, v]) => `${k} ${v.toFixed(1)}`).join(', ');
  };
  console.log(`by process, medians: the floor: ${kinds(floorShares)}; the full-window floor: ` +
              `${kinds(fullShares)}; the game: ${kinds(gameShares)}` +
              (beforeServer ? `; the earlier build: ${kinds(beforeShares)}` : ''));
  console.log(`the same page paused for 10 s: ${idleShare.all.toFixed(1)} %; an empty page: ` +
              `${blankShare.all.toFixed(1)} %`);
  await page.close();

  const benchServer = await serve(benchDir);
  const bench = await chromium.browser.newPage();
  await bench.goto(benchServer.url);
  await bench.waitForFunction(() => window.voidrunnerBench, {timeout: 120000});
  const b = await bench.evaluate(() => window.voidrunnerBench);
  console.log(`frame drawn and shown at ${b.width}x${b.height}, ${b.rocks} rocks (heaviest play ` +
              `view), ${b.runs} runs: first ${b.playFirstMs.toFixed(2)} ms, then median ` +
              `${b.playMedianMs.toFixed(2)} ms, worst ` +
              `${b.playWorstMs.toFixed(2)} ms; game-over view: median ` +
              `${b.gameOverMedianMs.toFixed(2)} ms, worst ${b.gameOverWorstMs.toFixed(2)} ms`);
  await benchServer.close();
} finally {
  await chromium.close();
  await server.close();
  if (beforeServer) await beforeServer.close();
}
