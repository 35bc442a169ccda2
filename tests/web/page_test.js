// The page in headless Chromium, held against the desktop program: the same
// session gives the same pixels at every checkpoint, the A key the same bytes
// as the desktop's standard output (and a saved file that vorlask-cli reads
// back), and resizes, focus changes and 2000 random clicks and keys leave it
// running without a console error. Run by tests/e2e/web_test.sh, which plays
// the session in the desktop program first.
//
// node page_test.js PAGE_DIR SESSION DESKTOP_DIR CLI WORK_DIR ARTIFACTS_DIR
// with puppeteer-core under $VORLASK_NODE_MODULES and Chromium at
// $VORLASK_CHROMIUM. Exit status 0 passed, 1 failed, 77 Chromium cannot start.
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const http = require('http');
const path = require('path');

const [pageDir, sessionFile, desktopDir, cli, workDir, artifactsDir] = process.argv.slice(2);
const puppeteer = require(path.join(process.env.VORLASK_NODE_MODULES, 'puppeteer-core'));

const Width = 1024;
const Height = 768;
const Viewport = { width: 1280, height: 1000 };
const SkipStatus = 77;

const failures = [];
function check(condition, message) {
  if (!condition) {
    failures.push(message);
    console.error('FAIL: ' + message);
  }
  return condition;
}

// A static server for the page on the loopback interface, as any web host
// would serve the folder.
const contentTypes = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.data': 'application/octet-stream', '.svg': 'image/svg+xml',
};
function serve(folder) {
  const server = http.createServer((request, response) => {
    let name = decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname);
    if (name.endsWith('/')) name += 'index.html';
    const file = path.join(folder, path.normalize(name));
    if (!file.startsWith(folder + path.sep)) {
      response.writeHead(403).end();
      return;
    }
    fs.readFile(file, (error, data) => {
      if (error) {
        response.writeHead(404).end();
        return;
      }
      response.writeHead(200, { 'Content-Type': contentTypes[path.extname(file)] || 'application/octet-stream' });
      response.end(data);
    });
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

async function launch() {
  try {
    return await puppeteer.launch({
      executablePath: process.env.VORLASK_CHROMIUM,
      headless: true,
      args: ['--no-sandbox', '--disable-dev-shm-usage', '--enable-unsafe-swiftshader', '--use-angle=swiftshader'],
    });
  } catch (error) {
    console.log('SKIP: Chromium cannot start here: ' + error.message.split('\n')[0]);
    process.exit(SkipStatus);
  }
}

// Everything that would show as an error in the browser's console.
function watchErrors(page, errors) {
  page.on('console', (message) => {
    if (message.type() === 'error') errors.push('console: ' + message.text());
  });
  page.on('pageerror', (error) => errors.push('page error: ' + error.message));
  page.on('requestfailed', (request) => errors.push('request failed: ' + request.url()));
  page.on('response', (response) => {
    if (response.status() >= 400) errors.push('HTTP ' + response.status() + ': ' + response.url());
  });
}

// WebGL may drop its drawing buffer once a frame is composited; the test
// keeps it so that the canvas can be read between frames.
function keepDrawingBuffers() {
  const getContext = HTMLCanvasElement.prototype.getContext;
  HTMLCanvasElement.prototype.getContext = function (type, attributes) {
    if (/webgl/.test(type)) attributes = Object.assign({}, attributes, { preserveDrawingBuffer: true });
    return getContext.call(this, type, attributes);
  };
}

async function openPage(browser, url, errors) {
  const page = await browser.newPage();
  watchErrors(page, errors);
  await page.setViewport(Viewport);
  await page.evaluateOnNewDocument(keepDrawingBuffers);
  await page.goto(url);
  await page.waitForFunction(() => window.vorlaskFirstFrame !== undefined, { timeout: 30000 });
  return page;
}

function frames(page, count = 3) {
  return page.evaluate((n) => new Promise((resolve) => {
    const next = (left) => (left === 0 ? resolve() : requestAnimationFrame(() => next(left - 1)));
    next(n);
  }), count);
}

function presentedFrames(page) {
  return page.evaluate(() => Module._vorlask_frames_presented());
}

// Every input brings the program a frame; the picture has settled once a
// frame has come since `before` and then none for a few browser frames. A
// network that the run speed drives never settles, and the wait ends.
async function settle(page, before) {
  let seen = before;
  let quiet = 0;
  for (let k = 0; k < 300; ++k) {
    await frames(page, 1);
    const now = await presentedFrames(page);
    if (now !== seen) {
      seen = now;
      quiet = 0;
    } else if (now > before && ++quiet >= 3) {
      return;
    }
  }
}

// The canvas's top-left corner in page pixels; whole pixels, or pointer
// positions would not land on the canvas pixels they name.
async function canvasOrigin(page) {
  const origin = await page.evaluate(() => {
    const box = document.getElementById('canvas').getBoundingClientRect();
    return { x: box.left, y: box.top, width: box.width, height: box.height };
  });
  check(Number.isInteger(origin.x) && Number.isInteger(origin.y), `canvas at (${origin.x}, ${origin.y})`);
  return origin;
}

// The canvas as shown, as rows of red, green and blue bytes.
async function canvasPixels(page) {
  const base64 = await page.evaluate(() => {
    const source = document.getElementById('canvas');
    const copy = document.createElement('canvas');
    copy.width = source.width;
    copy.height = source.height;
    const context = copy.getContext('2d');
    context.drawImage(source, 0, 0);
    const rgba = context.getImageData(0, 0, copy.width, copy.height).data;
    const rgb = new Uint8Array((rgba.length / 4) * 3);
    for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) {
      rgb[j] = rgba[i];
      rgb[j + 1] = rgba[i + 1];
      rgb[j + 2] = rgba[i + 2];
    }
    let text = '';
    for (let i = 0; i < rgb.length; i += 0x8000) text += String.fromCharCode.apply(null, rgb.subarray(i, i + 0x8000));
    return btoa(text);
  });
  return Buffer.from(base64, 'base64');
}

function savePicture(rgb, file) {
  childProcess.execFileSync('convert', ['-size', `${Width}x${Height}`, '-depth', '8', 'rgb:-', file], { input: rgb });
}

// Differing pixels and the box around them.
function compare(expected, actual) {
  let count = 0;
  const box = { left: Width, top: Height, right: -1, bottom: -1 };
  for (let p = 0; p < Width * Height; ++p) {
    const i = p * 3;
    if (expected[i] !== actual[i] || expected[i + 1] !== actual[i + 1] || expected[i + 2] !== actual[i + 2]) {
      ++count;
      const x = p % Width;
      const y = Math.floor(p / Width);
      box.left = Math.min(box.left, x);
      box.right = Math.max(box.right, x);
      box.top = Math.min(box.top, y);
      box.bottom = Math.max(box.bottom, y);
    }
  }
  return { count, box };
}

const pageKeys = { space: 'Space', Return: 'Enter', Tab: 'Tab', BackSpace: 'Backspace', Escape: 'Escape', a: 'KeyA' };

// An input, then the wait for the program's frames that follow it.
async function input(page, action) {
  const before = await presentedFrames(page);
  await action();
  await settle(page, before);
}

async function drag(page, origin, x1, y1, x2, y2) {
  await input(page, () => page.mouse.move(origin.x + x1, origin.y + y1));
  await input(page, () => page.mouse.down());
  await input(page, () => page.mouse.move(origin.x + Math.trunc((x1 + x2) / 2), origin.y + Math.trunc((y1 + y2) / 2)));
  await input(page, () => page.mouse.move(origin.x + x2, origin.y + y2));
  await input(page, () => page.mouse.up());
}

async function click(page, origin, button, x, y) {
  await input(page, () => page.mouse.click(origin.x + x, origin.y + y, { button: button === 3 ? 'right' : 'left' }));
}

async function key(page, name, times) {
  for (let k = 0; k < times; ++k) await input(page, () => page.keyboard.press(pageKeys[name]));
}

// The session of tests/web/session.txt; at each checkpoint the page's canvas
// must equal the desktop's screenshot of its window there.
async function checkSessionPixels(page) {
  const origin = await canvasOrigin(page);
  check(origin.width === Width && origin.height === Height, `canvas shown at ${origin.width} x ${origin.height}`);
  let checkpoints = 0;
  for (const line of fs.readFileSync(sessionFile, 'utf8').split('\n')) {
    const [command, ...words] = line.trim().split(/\s+/);
    const numbers = words.map(Number);
    if (command === 'drag') await drag(page, origin, ...numbers);
    else if (command === 'click') await click(page, origin, ...numbers);
    else if (command === 'key') await key(page, words[0], words[1] ? Number(words[1]) : 1);
    else if (command === 'checkpoint') {
      ++checkpoints;
      const name = words[0];
      const expected = fs.readFileSync(path.join(desktopDir, `desktop-${name}.rgb`));
      const actual = await canvasPixels(page);
      const { count, box } = compare(expected, actual);
      if (!check(count === 0, `checkpoint ${name}: ${count} pixels differ from the desktop's, ` +
          `within (${box.left}, ${box.top}) to (${box.right}, ${box.bottom})`)) {
        savePicture(actual, path.join(artifactsDir, `page-${name}.png`));
        savePicture(expected, path.join(artifactsDir, `desktop-${name}.png`));
      }
    }
  }
  check(checkpoints >= 5, `only ${checkpoints} checkpoints in the session`);
  console.log(`pixels: ${checkpoints} checkpoints compared`);
}

// A, as at the end of the desktop's session: the text area holds the
// desktop's standard output byte for byte, the Save button writes the same
// bytes, and vorlask-cli reads the saved file back into the same report.
async function checkAnalysis(page, browser) {
  const downloads = path.join(workDir, 'downloads');
  fs.mkdirSync(downloads, { recursive: true });
  const session = await browser.target().createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });

  const expected = fs.readFileSync(path.join(desktopDir, 'stdout.txt'), 'utf8');
  await key(page, 'a', 1);
  await frames(page);
  const shown = await page.$eval('#output', (area) => area.value);
  check(shown === expected, `the text area differs from the desktop's standard output ` +
      `(${shown.length} characters against ${expected.length})`);
  check(expected.startsWith('DATA:\n') && expected.includes('analize: 100%'), 'the desktop printed no analysis');

  await page.click('#save');
  const saved = path.join(downloads, 'vorlask-analysis.txt');
  for (let k = 0; k < 100 && !fs.existsSync(saved); ++k) await new Promise((resolve) => setTimeout(resolve, 100));
  if (!check(fs.existsSync(saved), 'Save wrote no file')) return;
  const savedBytes = fs.readFileSync(saved);
  check(savedBytes.equals(Buffer.from(expected)), 'the saved file differs from the desktop\'s standard output');
  try {
    const report = childProcess.execFileSync(cli, ['report', saved], { stdio: ['ignore', 'pipe', 'pipe'] });
    check(report.equals(savedBytes), 'vorlask-cli report of the saved file differs from the file');
  } catch (error) {
    check(false, 'vorlask-cli cannot read the saved file: ' + String(error.stderr || error.message).trim());
  }
  fs.writeFileSync(path.join(artifactsDir, 'page-analysis.txt'), savedBytes);
  console.log(`analysis: ${savedBytes.length} bytes as on the desktop`);
}

// A small generator with a seed, so that a failing random run repeats.
function seededRandom(seed) {
  let state = seed >>> 0;
  return (count) => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return (((t ^ (t >>> 14)) >>> 0) % count);
  };
}

function differs(a, b) {
  return compare(a, b).count > 0;
}

// The page keeps running through a smaller and a larger browser window,
// focus going elsewhere and back, and 2000 random clicks and keys; pointer
// positions on the scaled-down canvas still name the right cells; an
// untouched page draws nothing; Tab still changes the picture at the end;
// and no error reached the console.
async function checkResilience(browser, page, url, errors) {
  await page.setViewport({ width: 700, height: 560 });
  await frames(page);
  const scaled = await canvasOrigin(page);
  check(scaled.width < Width && Math.abs(scaled.width / scaled.height - Width / Height) < 0.01,
      `scaled canvas is ${scaled.width} x ${scaled.height}`);
  const before = await canvasPixels(page);
  // The ring's link between nodes 2 and 3 goes: its cell (3, 2) lies at
  // window pixel (128, 192), the mirror cell (2, 3) follows.
  const scale = scaled.width / Width;
  await input(page, () => page.mouse.click(scaled.x + 128.5 * scale, scaled.y + 192.5 * scale));
  await page.setViewport(Viewport);
  await frames(page);
  const after = await canvasPixels(page);
  const cell = (rgb, column, row) => {
    const parts = [];
    for (let y = 82 + 32 * row; y < 110 + 32 * row; ++y) {
      const start = (y * Width + 50 + 32 * column) * 3;
      parts.push(rgb.subarray(start, start + 28 * 3));
    }
    return Buffer.concat(parts);
  };
  check(differs(cell(before, 2, 3), cell(after, 2, 3)) && differs(cell(before, 3, 2), cell(after, 3, 2)),
      'a click on the scaled-down canvas did not toggle the cell under it');
  check(!differs(cell(before, 1, 3), cell(after, 1, 3)), 'a click on the scaled-down canvas toggled a neighbour');

  const other = await browser.newPage();
  await other.bringToFront();
  await page.evaluate(() => window.dispatchEvent(new FocusEvent('blur')));
  await new Promise((resolve) => setTimeout(resolve, 300));
  await other.close();
  await page.bringToFront();
  await page.evaluate(() => window.dispatchEvent(new FocusEvent('focus')));
  await frames(page);

  // With the run speed at 0, an untouched page draws nothing.
  const presented = await page.evaluate(() => Module._vorlask_frames_presented());
  await new Promise((resolve) => setTimeout(resolve, 500));
  await frames(page);
  const idle = await page.evaluate(() => Module._vorlask_frames_presented());
  check(idle === presented, `an untouched page drew ${idle - presented} frames in half a second`);

  const origin = await canvasOrigin(page);
  const random = seededRandom(20261207);
  const keys = ['Space', 'Space', 'Enter', 'Backspace', 'Tab', 'Escape', 'KeyQ', 'KeyA'];
  for (let k = 0; k < 2000; ++k) {
    if (random(2) === 0) {
      // The canvas and a margin around it, below the header and its link.
      const x = origin.x + random(Width + 40) - 20;
      const y = origin.y + random(Height + 20);
      await page.mouse.click(x, y, { button: random(4) === 0 ? 'right' : 'left' });
    } else {
      // The analysis only now and then, so that the run stays short.
      await page.keyboard.press(keys[random(random(50) === 0 ? 8 : 7)]);
    }
    if (random(10) === 0) await frames(page, 1);
  }
  await settle(page, 0);
  check(page.url() === url, 'the random run left the page for ' + page.url());
  const settled = await canvasPixels(page);
  await key(page, 'Tab', 1);
  const toggled = await canvasPixels(page);
  if (!check(differs(settled, toggled), 'after the random run Tab no longer changes the picture')) {
    savePicture(settled, path.join(artifactsDir, 'page-before-tab.png'));
    savePicture(toggled, path.join(artifactsDir, 'page-after-tab.png'));
  }
  check(errors.length === 0, 'console errors: ' + errors.slice(0, 5).join('; '));
  console.log('resilience: 2000 random clicks and keys, resizes and focus changes');
}

async function main() {
  const server = await serve(path.resolve(pageDir));
  const url = `http://127.0.0.1:${server.address().port}/`;
  const browser = await launch();
  const errors = [];
  try {
    const page = await openPage(browser, url, errors);
    await checkSessionPixels(page);
    await checkAnalysis(page, browser);
    await checkResilience(browser, page, url, errors);
  } finally {
    await browser.close();
    server.close();
  }
  if (failures.length > 0) process.exit(1);
  console.log('page: ok');
}

main().catch((error) => {
  console.error('FAIL: ' + (error.stack || error));
  process.exit(1);
});
