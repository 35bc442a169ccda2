// The page's speed in headless Chromium, served on 127.0.0.1: the time from
// navigation to the first frame over several cold loads, and the median
// frame time of bench/frame_bench's BM_Frame21 scene drawn inside the page.
// Prints one JSON object. Run by bench/web_bench.sh.
//   node web_bench.js PAGE_DIR LOADS FRAMES
'use strict';

const fs = require('fs');
const http = require('http');
const path = require('path');

const [pageDir, loads, frames] = [process.argv[2], Number(process.argv[3] || 5), Number(process.argv[4] || 300)];
const puppeteer = require(path.join(process.env.VORLASK_NODE_MODULES, 'puppeteer-core'));
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.svg': 'image/svg+xml' };

function serve(folder) {
  const server = http.createServer((request, response) => {
    let name = new URL(request.url, 'http://127.0.0.1').pathname;
    if (name.endsWith('/')) name += 'index.html';
    fs.readFile(path.join(folder, path.normalize(name)), (error, data) => {
      if (error) return response.writeHead(404).end();
      response.writeHead(200, { 'Content-Type': types[path.extname(name)] || 'application/octet-stream' }).end(data);
    });
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

const median = (values) => values.slice().sort((a, b) => a - b)[Math.floor(values.length / 2)];

async function main() {
  const server = await serve(path.resolve(pageDir));
  const url = `http://127.0.0.1:${server.address().port}/`;
  const browser = await puppeteer.launch({
    executablePath: process.env.VORLASK_CHROMIUM, headless: true,
    args: ['--no-sandbox', '--disable-dev-shm-usage', '--enable-unsafe-swiftshader', '--use-angle=swiftshader'],
  });
  const firstFrames = [];
  let frameTime = 0;
  for (let k = 0; k < loads; ++k) {
    // A context of its own: nothing cached from the load before.
    const context = await browser.createBrowserContext();
    const page = await context.newPage();
    await page.setViewport({ width: 1280, height: 1000 });
    await page.goto(url);
    await page.waitForFunction(() => window.vorlaskFirstFrame !== undefined, { timeout: 30000 });
    firstFrames.push(await page.evaluate(() => window.vorlaskFirstFrame));
    if (k === loads - 1) frameTime = await page.evaluate((n) => Module._vorlask_median_frame_time(n), frames);
    await context.close();
  }
  await browser.close();
  server.close();
  console.log(JSON.stringify({ firstFrameMs: median(firstFrames), firstFramesMs: firstFrames, medianFrameMs: frameTime, frames }));
}

main().catch((error) => {
  console.error(error.stack || String(error));
  process.exit(1);
});
