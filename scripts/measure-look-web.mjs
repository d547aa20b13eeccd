// The page's vector look against its floor in headless chromium: the game
// in play (LEFT and SPACE held) drawn at the screen's own pixels, the same
// with the field's own pixels (F3: how the page showed frames before), and
// a floor page with a canvas of the same size and context options that
// clears it and strokes as many lines as the game's busiest frame seen, 16
// times a second. By turns, ROUNDS rounds of SECONDS each; prints the CPU
// share of chromium's processes (medians) and the ratios. Each page plays
// SETTLE seconds before it is measured (12 unless set): V8 compiles the
// game's hot functions with its optimising tier in a new page's first
// seconds, a cost of starting, not of showing frames. MUTE=1 plays muted
// (M), leaving the sound's own cost out.
//   [SETTLE=S] [MUTE=1] node scripts/measure-look-web.mjs SITE [SECONDS [ROUNDS [WxH [DPR]]]]
import fs from 'node:fs';
import {serve, launch} from '../tests/browser/harness.mjs';
import {floorPage, playGame, gameCanvas} from './lib/web-floor.mjs';

const [site, seconds = '10', roundsArg = '3', size = '1920x1080', dprArg = '1'] = process.argv.slice(2);
const [width, height] = size.split('x').map(Number);
const dpr = Number(dprArg), span = Number(seconds) * 1000, rounds = Number(roundsArg);
const settle = Number(process.env.SETTLE || 12) * 1000, mute = process.env.MUTE === '1';

// Processor time (ms) of chromium and all its descendants, those that ended
// included (utime, stime, cutime, cstime).
function cpuMs(root) {
  const children = new Map(), ticks = new Map();
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const f = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      if (!children.has(Number(f[1]))) children.set(Number(f[1]), []);
      children.get(Number(f[1])).push(Number(pid));
      ticks.set(Number(pid), Number(f[11]) + Number(f[12]) + Number(f[13]) + Number(f[14]));
    } catch (e) {}
  }
  let total = 0;
  const walk = (pid) => {
    total += ticks.get(pid) || 0;
    for (const child of children.get(pid) || []) walk(child);
  };
  walk(root);
  return total * 10;  // USER_HZ 100
}

async function share(pid, ms) {
  const from = cpuMs(pid), wallFrom = Date.now();
  await new Promise((r) => setTimeout(r, ms));
  return (100 * (cpuMs(pid) - from)) / (Date.now() - wallFrom);
}

const server = await serve(site);
const chromium = await launch(width, height);
try {
  const pid = chromium.browser.process().pid;
  const open = async (look) => {
    const page = await playGame(chromium.browser, server.url, {width, height, dpr, look, mute});
    await new Promise((r) => setTimeout(r, settle));
    return page;
  };
  // A first look at the game: its canvas and how many lines a frame has.
  const probe = await open('vector');
  const canvas = await gameCanvas(probe);
  await probe.close();
  const lines = Math.max(canvas.lines, 1);

  const shares = {floor: [], vector: [], pixels: []};
  for (let round = 0; round < rounds; ++round) {
    const floor = await chromium.browser.newPage();
    await floor.setViewport({width, height, deviceScaleFactor: dpr});
    await floor.goto(floorPage(canvas, lines));
    await new Promise((r) => setTimeout(r, settle));
    shares.floor.push(await share(pid, span));
    await floor.close();
    for (const look of ['vector', 'pixels']) {
      const page = await open(look);
      shares[look].push(await share(pid, span));
      await page.close();
    }
  }
  const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
  const list = (xs) => xs.map((x) => x.toFixed(1)).join(', ');
  const f = median(shares.floor), v = median(shares.vector), p = median(shares.pixels);
  console.log(`${width}x${height} at ${dpr} device pixels to a CSS pixel${mute ? ', muted' : ''}; ` +
              `each page ${settle / 1000} s in play before it is measured; canvas ${canvas.width}x` +
              `${canvas.height}, ${lines} lines in the busiest frame seen, lines ` +
              `${canvas.lineWidth.toFixed(2)} device pixels wide`);
  console.log(`CPU share of chromium's processes, % of one core, ${rounds} rounds of ${seconds} s by ` +
              `turns: floor ${list(shares.floor)} (median ${f.toFixed(1)}); vector look ` +
              `${list(shares.vector)} (median ${v.toFixed(1)}); pixel look ${list(shares.pixels)} ` +
              `(median ${p.toFixed(1)})`);
  console.log(`vector/floor ${(v / f).toFixed(2)}, pixels/floor ${(p / f).toFixed(2)}, ` +
              `vector/pixels ${(v / p).toFixed(2)}`);
} finally {
  await chromium.close();
  await server.close();
}
