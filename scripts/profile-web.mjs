// Where the browser game's CPU goes in play, against the floor page of
// measure-look-web.mjs: the game (vector look, LEFT and SPACE held) and
// then the floor, each in three windows of SECONDS after SETTLE seconds of
// play: the CPU share of each of chromium's threads (/proc), the CPU of
// the top-level tasks of each thread and of the tasks right under them
// (a chromium trace), and the page's JavaScript and wasm by function (V8's
// sampling profiler, which inflates the renderer's own share while it
// runs). MUTE=1 plays muted.
//   [SETTLE=S] [MUTE=1] node scripts/profile-web.mjs SITE [SECONDS [WxH]]
import fs from 'node:fs';
import {serve, launch} from '../tests/browser/harness.mjs';
import {floorPage, playGame, gameCanvas} from './lib/web-floor.mjs';

const [site, seconds = '10', size = '1920x1080'] = process.argv.slice(2);
const [width, height] = size.split('x').map(Number);
const span = Number(seconds) * 1000, settle = Number(process.env.SETTLE || 12) * 1000;
const mute = process.env.MUTE === '1';
const wait = (ms) => new Promise((r) => setTimeout(r, ms));

// CPU ticks of every thread of chromium and its descendants, keyed by
// kind of process (--type=, utility processes by service), thread name and id.
function threadTicks(root) {
  const children = new Map(), kinds = new Map();
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(Number(pid));
      const cmd = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
      const type = /--type=([a-z-]+)/.exec(cmd), service = /--utility-sub-type=([\w.]+)/.exec(cmd);
      kinds.set(Number(pid), type ? type[1] + (service ? ':' + service[1].split('.').pop() : '') : 'browser');
    } catch (e) {}  // gone meanwhile
  }
  const ticks = {};
  const walk = (pid) => {
    for (const tid of fs.readdirSync(`/proc/${pid}/task`, {throwIfNoEntry: false}) || []) {
      try {
        const stat = fs.readFileSync(`/proc/${pid}/task/${tid}/stat`, 'utf8');
        const name = stat.slice(stat.indexOf('(') + 1, stat.lastIndexOf(')'));
        const f = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
        ticks[`${kinds.get(pid)} ${name}#${tid}`] = Number(f[11]) + Number(f[12]);
      } catch (e) {}
    }
    for (const child of children.get(pid) || []) walk(child);
  };
  walk(root);
  return ticks;
}

async function threads(pid) {
  const from = threadTicks(pid), start = Date.now();
  await wait(span);
  const to = threadTicks(pid), wall = Date.now() - start, shares = {};
  let all = 0;
  for (const [key, t] of Object.entries(to)) {
    const share = ((t - (from[key] || 0)) * 10 * 100) / wall;  // USER_HZ 100
    if (share <= 0) continue;
    all += share;
    const name = key.replace(/#\d+$/, '');
    shares[name] = (shares[name] || 0) + share;
  }
  console.log(`  CPU, % of one core: ${all.toFixed(2)} in all`);
  for (const [name, share] of Object.entries(shares).sort((a, b) => b[1] - a[1]))
    if (share >= 0.1) console.log(`    ${share.toFixed(2).padStart(6)}  ${name}`);
}

async function tasks(page) {
  await page.tracing.start({categories: ['toplevel', 'disabled-by-default-devtools.timeline', 'blink', 'cc',
                                         'v8.wasm', 'audio']});
  await wait(span);
  const events = JSON.parse(Buffer.from(await page.tracing.stop()).toString('utf8')).traceEvents;
  const names = {}, byThread = {};
  for (const e of events) {
    if (e.ph === 'M' && e.name === 'thread_name') names[`${e.pid}:${e.tid}`] = e.args.name;
    if (e.ph === 'X') (byThread[`${e.pid}:${e.tid}`] ||= []).push(e);
  }
  // Thread CPU (tdur) of each event with at most one enclosing it.
  // Threads of one name (the pool's workers) added up.
  const merged = {};
  for (const [thread, list] of Object.entries(byThread)) {
    list.sort((a, b) => a.ts - b.ts || b.dur - a.dur);
    const open = [], sums = {};
    for (const e of list) {
      while (open.length && open[open.length - 1].ts + open[open.length - 1].dur <= e.ts) open.pop();
      if (open.length <= 1) {
        const key = (open.length ? '  ' : '') + e.name;
        sums[key] ||= [0, 0];
        sums[key][0] += (e.tdur ?? e.dur) / 1000;
        sums[key][1]++;
      }
      open.push(e);
    }
    for (const [name, [ms, n]] of Object.entries(sums)) {
      const key = `${names[thread] || thread}  ${name}`;
      merged[key] ||= [0, 0];
      merged[key][0] += ms;
      merged[key][1] += n;
    }
  }
  console.log(`  traced tasks, ms of thread CPU in ${seconds} s (tracing adds its own):`);
  for (const [key, [ms, n]] of Object.entries(merged).sort((a, b) => b[1][0] - a[1][0]))
    if (ms >= span / 2000 && !/^(Perfetto|Chrome_\w*IOThread)/.test(key))
      console.log(`    ${ms.toFixed(1).padStart(7)} ${String(n).padStart(5)}x  ${key}`);
}

async function functions(page) {
  const cdp = await page.createCDPSession();
  await cdp.send('Profiler.enable');
  await cdp.send('Profiler.setSamplingInterval', {interval: 200});
  await cdp.send('Profiler.start');
  await wait(span);
  const {profile} = await cdp.send('Profiler.stop');
  await cdp.detach();
  const nodes = new Map(profile.nodes.map((n) => [n.id, n])), self = new Map();
  profile.samples.forEach((id, i) => {
    const frame = nodes.get(id).callFrame;
    const key = `${frame.functionName || '(anonymous)'} ${frame.url.split('/').pop()}`.trim();
    self.set(key, (self.get(key) || 0) + profile.timeDeltas[i] / 1000);
  });
  console.log(`  JavaScript and wasm by function, ms of self time in ${seconds} s:`);
  const busy = [...self].filter(([k]) => k !== '(idle)').sort((a, b) => b[1] - a[1]);
  console.log(`    ${busy.reduce((s, [, ms]) => s + ms, 0).toFixed(1).padStart(7)}  in all`);
  for (const [key, ms] of busy.slice(0, 25)) console.log(`    ${ms.toFixed(1).padStart(7)}  ${key}`);
}

const server = await serve(site);
const chromium = await launch(width, height);
try {
  const pid = chromium.browser.process().pid;
  const game = await playGame(chromium.browser, server.url, {width, height, mute});
  await wait(settle);
  console.log(`the game, vector look${mute ? ', muted' : ''}, after ${settle / 1000} s of play:`);
  await threads(pid);
  await tasks(game);
  await functions(game);
  const canvas = await gameCanvas(game);
  await game.close();

  const floor = await chromium.browser.newPage();
  await floor.setViewport({width, height});
  await floor.goto(floorPage(canvas, Math.max(canvas.lines, 1)));
  await wait(settle);
  console.log(`the floor: canvas ${canvas.width}x${canvas.height} cleared and ${canvas.lines} lines stroked ` +
              '16 times a second:');
  await threads(pid);
  await tasks(floor);
  await functions(floor);
} finally {
  await chromium.close();
  await server.close();
}
