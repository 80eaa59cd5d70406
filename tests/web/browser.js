// What every browser check of the web build shares: the page's folder served over HTTP on
// 127.0.0.1 (a page loaded from file: may not fetch its .wasm), Debian's Chromium started
// headless through puppeteer-core (never a downloaded browser), and a page that records the
// errors thrown in it.
"use strict";

const fs = require("node:fs");
const http = require("node:http");
const path = require("node:path");
const puppeteer = require("puppeteer-core");

const TYPES = {".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm",
  ".png": "image/png"};

// Serves files by their plain name from the first of `folders` that has them. Resolves to the
// server; its address is `http://127.0.0.1:${server.address().port}/`.
function serve(folders) {
  const server = http.createServer((request, response) => {
    const name = path.basename(new URL(request.url, "http://localhost").pathname) || "index.html";
    const file = folders.map((folder) => path.join(folder, name)).find(fs.existsSync);
    if (!file) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, {"Content-Type": TYPES[path.extname(name)] || "application/octet-stream"});
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server)));
}

// Headless Chromium with WebGL on SwiftShader; --no-sandbox because the tests run as root.
function launchBrowser() {
  return puppeteer.launch({
    executablePath: process.env.WRENDLE_CHROMIUM || "/usr/bin/chromium",
    headless: "new",
    args: ["--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--no-first-run"],
  });
}

// A new page at `address` that records what went wrong in it: errors thrown under ASYNCIFY
// arrive as unhandled rejections, others as page errors. `console` collects the page's console
// lines (the program's standard output and error). `options.viewport` is the page's (with
// hasTouch, a touch screen's); `options.init`, a function run in the page before its own scripts.
async function openPage(browser, address, options = {}) {
  const page = await browser.newPage();
  if (options.viewport) await page.setViewport(options.viewport);
  if (options.init) await page.evaluateOnNewDocument(options.init);
  const console = [];
  page.on("console", (message) => {
    console.push(message.text());
    if (options.onConsole) options.onConsole(message);
  });
  await page.evaluateOnNewDocument(() => {
    window.pageErrors = [];
    window.addEventListener("unhandledrejection", (e) => window.pageErrors.push(String(e.reason)));
    window.addEventListener("error", (e) => window.pageErrors.push(String(e.message)));
  });
  await page.goto(address);
  return {page, console};
}

// The canvas's pixels, top row first, as RGB bytes (the drawing buffer is preserved, so the
// canvas can be copied), or null while there is no canvas. Runs in the page.
function canvasRgb() {
  const canvas = document.getElementById("canvas");
  if (!canvas) return null;
  const copy = document.createElement("canvas");
  copy.width = canvas.width;
  copy.height = canvas.height;
  const context = copy.getContext("2d");
  context.drawImage(canvas, 0, 0);
  const rgba = context.getImageData(0, 0, copy.width, copy.height).data;
  const rgb = new Uint8Array(copy.width * copy.height * 3);
  for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) {
    rgb[j] = rgba[i];
    rgb[j + 1] = rgba[i + 1];
    rgb[j + 2] = rgba[i + 2];
  }
  return {width: copy.width, height: copy.height, rgb: Array.from(rgb)};
}

// The canvas's pixels at `points` ([x, y] from the top left) as [r, g, b] each, or null while
// there is no canvas. Runs in the page; reads one pixel each, so it is cheap to poll.
function canvasPixels(points) {
  const canvas = document.getElementById("canvas");
  if (!canvas) return null;
  const copy = document.createElement("canvas");
  copy.width = canvas.width;
  copy.height = canvas.height;
  const context = copy.getContext("2d");
  context.drawImage(canvas, 0, 0);
  return points.map(([x, y]) => Array.from(context.getImageData(x, y, 1, 1).data.slice(0, 3)));
}

// Waits until the canvas shows each of `expected` ({x, y, rgb}), until the page records an
// error, or for `timeout` ms. Resolves to {drawn, seen, errors}: whether every pixel matched,
// what each one was when the wait ended, and the page's errors.
async function waitForPixels(page, expected, timeout = 15000) {
  const points = expected.map((p) => [p.x, p.y]);
  const wanted = JSON.stringify(expected.map((p) => p.rgb));
  // One reading decides and is reported, so a frame that changes meanwhile cannot mislead.
  const look = `(() => {
    const seen = (${canvasPixels})(${JSON.stringify(points)});
    const drawn = seen !== null && JSON.stringify(seen) === ${JSON.stringify(wanted)};
    return {drawn, seen, errors: window.pageErrors};
  })()`;
  try {
    const handle = await page.waitForFunction(`(() => {
      const state = ${look};
      return (state.drawn || state.errors.length > 0) && state;
    })()`, {polling: 20, timeout});
    return await handle.jsonValue();
  } catch (e) {
    if (e.name !== "TimeoutError") throw e;
    return await page.evaluate(look);
  }
}

module.exports = {serve, launchBrowser, openPage, canvasRgb, canvasPixels, waitForPixels};
