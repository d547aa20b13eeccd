// The floor page the browser game's vector look is held against, and the
// game page put into play, for measure-look-web.mjs and profile-web.mjs.

// The floor: the game's canvas size (device pixels) and CSS size, its
// context options; each 62.5 ms the whole canvas cleared and `lines`
// short lines (rocks' edges, one field pixel wide) stroked as one path.
export const floorPage = (canvas, lines) => 'data:text/html,' + encodeURIComponent(
    '<!doctype html><style>html, body { margin: 0; overflow: hidden; background: #000 }' +
    `canvas { display: block; width: ${canvas.cssWidth}px; height: ${canvas.cssHeight}px }</style>` +
    `<canvas id=c width=${canvas.width} height=${canvas.height}></canvas><script>` +
    'const c = document.getElementById("c");' +
    'const x = c.getContext("2d", {alpha: false, desynchronized: true}); let n = 0;' +
    `const lines = ${lines}, w = ${canvas.lineWidth};` +
    'setInterval(() => { x.fillStyle = "#000"; x.fillRect(0, 0, c.width, c.height);' +
    'x.strokeStyle = "#c8c8c8"; x.lineWidth = w; x.beginPath(); ++n;' +
    'for (let i = 0; i < lines; ++i) { const a = (i * 2.4 + n * 0.05) % 6.283;' +
    'const cx = (i * 97 + n * 3) % c.width, cy = (i * 57 + n * 2) % c.height;' +
    'x.moveTo(cx, cy); x.lineTo(cx + 12 * w * Math.cos(a), cy + 12 * w * Math.sin(a)); }' +
    'x.stroke(); }, 62.5);</script>');

// Opens the game in a new page in the given look, LEFT and SPACE held
// (muted first with `mute`), and counts the lines of the busiest frame the
// page reads into `window.voidrunner.mostLines`.
export async function playGame(browser, url, {width, height, dpr = 1, look = 'vector', mute = false}) {
  const page = await browser.newPage();
  await page.setViewport({width, height, deviceScaleFactor: dpr});
  await page.goto(url);
  await page.waitForFunction(() => window.voidrunner && window.voidrunner.frames > 0, {timeout: 20000});
  // F3 switches the look, which the page keeps for the next load.
  if (await page.evaluate(() => window.voidrunner.look) !== look) await page.keyboard.press('F3');
  await page.waitForFunction((l) => window.voidrunner.look === l, {}, look);
  await page.evaluate(() => {
    const vr = window.voidrunner, read = vr.readOps;
    vr.mostLines = 0;
    vr.readOps = function (...args) {
      const frame = read.apply(this, args);
      let lines = 0;
      for (let k = 0; k < frame.n; ++k) if (frame.words[frame.starts[k]] === 2) ++lines;
      this.mostLines = Math.max(this.mostLines, lines);
      return frame;
    };
  });
  if (mute) await page.keyboard.press('m');
  await page.keyboard.down('ArrowLeft');
  await page.keyboard.down('Space');
  return page;
}

// The game's canvas as the floor copies it, and the lines of its busiest
// frame so far.
export function gameCanvas(page) {
  return page.evaluate(() => {
    const vr = window.voidrunner, c = vr.canvas, dpr = window.devicePixelRatio || 1;
    const p = vr.placed || [0, 0, vr.fieldWidth, vr.fieldHeight];
    return {width: c.width, height: c.height, cssWidth: c.clientWidth, cssHeight: c.clientHeight,
            lineWidth: (p[2] * dpr) / vr.fieldWidth, lines: vr.mostLines};
  });
}
