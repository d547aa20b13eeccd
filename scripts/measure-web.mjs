// Figures of the browser game in headless chromium, printed one a line:
// page load to the first frame, the tick intervals and the browser's CPU
// share over SECONDS of play (LEFT and SPACE held) next to a floor page's
// in the same run, and the heaviest frame at 1920x1080 timed in the page.
//   node scripts/measure-web.mjs SITE FRAME-BENCH-DIR SECONDS
import fs from 'node:fs';
import {serve, launch} from '../tests/browser/harness.mjs';

const [site, benchDir, seconds = '30'] = process.argv.slice(2);
const span = Number(seconds) * 1000;
const hz = 100;  // USER_HZ: /proc's clock ticks

// Processor time (ms) of the process and all its descendants, those that
// ended included (their time has gone to the parent that waited for them).
// utime, stime, cutime, cstime: the fields after the command's name.
const ticksOf = (f) => Number(f[11]) + Number(f[12]) + Number(f[13]) + Number(f[14]);

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
  let ticks = 0;
  const walk = (pid) => {
    for (const child of children.get(pid) || []) {
      ticks += child.ticks;
      walk(child.pid);
    }
  };
  try {
    const stat = fs.readFileSync(`/proc/${root}/stat`, 'utf8');
    const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
    ticks += ticksOf(fields);
  } catch (e) {}
  walk(root);
  return (ticks * 1000) / hz;
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

// Share of one core (%) that chromium's processes take over `ms`.
async function share(pid, ms) {
  const cpuFrom = cpuMs(pid), wallFrom = Date.now();
  await new Promise((r) => setTimeout(r, ms));
  return (100 * (cpuMs(pid) - cpuFrom)) / (Date.now() - wallFrom);
}

const server = await serve(site);
const chromium = await launch(1920, 1080);
try {
  const pid = chromium.browser.process().pid;
  // The floor and the game by turns, three rounds: load on the machine that
  // comes and goes falls on both.
  const rounds = 3, slice = span / rounds;
  const floorShares = [], gameShares = [], gaps = [];
  let page = null, first = 0, main = 0;
  for (let round = 0; round < rounds; ++round) {
    const floor = await chromium.browser.newPage();
    await floor.goto(floorPage);
    await new Promise((r) => setTimeout(r, 1000));
    floorShares.push(await share(pid, slice));
    await floor.close();

    page = await chromium.browser.newPage();
    await page.goto(server.url);
    await page.waitForFunction(() => window.voidrunner && window.voidrunner.frames > 0, {timeout: 20000});
    [first, main] = await page.evaluate(() => [window.voidrunner.firstFrameAt, window.voidrunner.mainAt]);
    await page.keyboard.down('ArrowLeft');
    await page.keyboard.down('Space');
    await new Promise((r) => setTimeout(r, 1000));
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
  const floorMedian = stats(floorShares).median, gameMedian = stats(gameShares).median;
  console.log(`CPU share of chromium's processes, % of one core, ${rounds} rounds of ` +
              `${(slice / 1000).toFixed(0)} s by turns: the floor page (one pixel of a 16x16 canvas ` +
              `16 times a second) ${list(floorShares)}, median ${floorMedian.toFixed(1)}; the game ` +
              `in play ${list(gameShares)}, median ${gameMedian.toFixed(1)}; ` +
              `game/floor ${(gameMedian / floorMedian).toFixed(2)}`);
  console.log(`the same page paused for 10 s: ${idleShare.toFixed(1)} %; an empty page: ` +
              `${blankShare.toFixed(1)} %`);
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
}
