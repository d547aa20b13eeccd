// Figures of the browser game in headless chromium, printed one a line:
// page load to the first frame, the tick intervals and the browser's CPU
// share over SECONDS of play (LEFT and SPACE held), and the heaviest frame
// at 1920x1080 timed in the page.
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

const server = await serve(site);
const chromium = await launch(1920, 1080);
try {
  const page = await chromium.browser.newPage();
  await page.goto(server.url);
  await page.waitForFunction(() => window.voidrunner && window.voidrunner.frames > 0, {timeout: 20000});
  const [first, main] = await page.evaluate(() => [window.voidrunner.firstFrameAt,
                                                    window.voidrunner.mainAt]);
  console.log(`page load (navigation start) to the first frame, 1920x1080: ${first.toFixed(0)} ms; ` +
              `the game's main started at ${main.toFixed(0)} ms (page, script and wasm loaded), ` +
              `then ${(first - main).toFixed(0)} ms to the first frame (five countdown ticks of 62 ms ` +
              'and the start-up tick)');

  await page.keyboard.down('ArrowLeft');
  await page.keyboard.down('Space');
  const pid = chromium.browser.process().pid;
  const from = await page.evaluate(() => performance.now());
  const cpuFrom = cpuMs(pid), wallFrom = Date.now();
  await new Promise((r) => setTimeout(r, span));
  const cpuTo = cpuMs(pid), wallTo = Date.now();
  const presents = await page.evaluate((t) => window.voidrunner.presents.filter((p) => p >= t), from);
  await page.keyboard.up('Space');
  await page.keyboard.up('ArrowLeft');
  // The same page paused (no ticks, no frames): what the browser costs alone.
  await page.keyboard.press('p');
  await new Promise((r) => setTimeout(r, 1000));
  const idleFrom = cpuMs(pid), idleWall = Date.now();
  await new Promise((r) => setTimeout(r, 10000));
  const idleShare = (100 * (cpuMs(pid) - idleFrom)) / (Date.now() - idleWall);
  // And the browser with an empty page.
  await page.goto('about:blank');
  await new Promise((r) => setTimeout(r, 1000));
  const blankFrom = cpuMs(pid), blankWall = Date.now();
  await new Promise((r) => setTimeout(r, 10000));
  const blankShare = (100 * (cpuMs(pid) - blankFrom)) / (Date.now() - blankWall);
  const gaps = presents.slice(1).map((p, i) => p - presents[i]);
  const g = stats(gaps);
  // Measured between presents (the end of each tick): a tick that draws
  // late shortens the gap to the next, which is still due 62 ms after the
  // late one started.
  console.log(`intervals between presented frames over ${seconds} s (${g.n}): min ` +
              `${g.min.toFixed(1)}, median ${g.median.toFixed(1)}, max ${g.max.toFixed(1)} ms; ` +
              `62-66 ms: ${gaps.filter((x) => x >= 62 && x < 66).length}, under 62 ms: ` +
              `${gaps.filter((x) => x < 62).length}`);
  console.log(`CPU share of chromium's processes over ${((wallTo - wallFrom) / 1000).toFixed(1)} s ` +
              `of play: ${((100 * (cpuTo - cpuFrom)) / (wallTo - wallFrom)).toFixed(1)} % of one core; ` +
              `the same page paused for 10 s: ${idleShare.toFixed(1)} %; an empty page: ` +
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
