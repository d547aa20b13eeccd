// What the browser tests share: a static server for the site on 127.0.0.1,
// Debian's chromium started headless with a fresh profile, and helpers to
// read the page's canvas.
import http from 'node:http';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
               '.wav': 'audio/wav', '.svg': 'image/svg+xml'};

// Serves DIR; resolves to {url, close}. A request `hang(url)` is true for
// is never answered (a hung leaderboard).
export function serve(folder, {hang} = {}) {
  const dir = path.resolve(folder);
  const server = http.createServer((req, res) => {
    if (hang && hang(req.url)) return;
    const rel = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = path.join(dir, rel.endsWith('/') ? rel + 'index.html' : rel);
    if (!file.startsWith(dir + path.sep)) { res.writeHead(403); res.end(); return; }
    fs.readFile(file, (err, data) => {
      if (err) { res.writeHead(404); res.end(); return; }
      res.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream',
                          'Cache-Control': 'no-store'});
      res.end(data);
    });
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({
    url: `http://127.0.0.1:${server.address().port}/`,
    close: () => new Promise((r) => { server.close(r); server.closeAllConnections(); }),
  })));
}

export async function launch(width = 800, height = 600) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'voidrunner-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    // A wait for a game to end can outlast puppeteer's three minutes.
    protocolTimeout: 600000,
    userDataDir: profile,
    defaultViewport: {width, height},
    args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           `--window-size=${width},${height}`],
  });
  const close = async () => {
    await browser.close().catch(() => {});
    fs.rmSync(profile, {recursive: true, force: true});
  };
  return {browser, profile, close};
}

// Opens the page and waits for the game's first frame.
// NOW pins the page's calendar clock (the game seeds from its second), for
// a test that needs a known field.
export async function openGame(browser, url, width, height, now) {
  const page = await browser.newPage();
  if (width) await page.setViewport({width, height});
  if (now) await page.evaluateOnNewDocument((t) => { Date.now = () => t; }, now);
  await page.goto(url);
  await page.waitForFunction(() => window.voidrunner && window.voidrunner.frames > 0,
                             {timeout: 10000});
  return page;
}

// The canvas's pixels as {width, height, data} (RGBA).
export async function pixels(page) {
  return page.evaluate(() => {
    const c = document.getElementById('canvas');
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height);
    return {width: c.width, height: c.height, data: Array.from(d.data)};
  });
}

// Lit pixels (not black) in the box.
export function lit(img, left, top, right, bottom) {
  let n = 0;
  for (let y = Math.max(top, 0); y < Math.min(bottom, img.height); ++y)
    for (let x = Math.max(left, 0); x < Math.min(right, img.width); ++x) {
      const i = 4 * (y * img.width + x);
      if (img.data[i] + img.data[i + 1] + img.data[i + 2] > 0) ++n;
    }
  return n;
}

export async function waitTicks(page, frames) {
  const start = await page.evaluate(() => window.voidrunner.frames);
  await page.waitForFunction((n) => window.voidrunner.frames >= n, {timeout: 20000},
                             start + frames);
}
