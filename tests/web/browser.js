// What every browser check of the web build shares: the page's folder served over HTTP on
// 127.0.0.1 (a page loaded from file: may not fetch its .wasm), Debian's Chromium started
// headless through puppeteer-core (never a downloaded browser), and a page that records the
// errors thrown in it.
"use strict";

const assert = require("node:assert");
const fs = require("node:fs");
const http = require("node:http");
const path = require("node:path");
const puppeteer = require("puppeteer-core");

const TYPES = {".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm",
  ".png": "image/png"};

// Serves files by their plain name from the first of `folders` that has them. Resolves to the
// server; its address is `http://127.0.0.1:${server.address().port}/`. With `isolated`, the
// pages are cross-origin isolated, which gives performance.now() its finest steps (5 us, not
// 100 us) for timing in the page.
function serve(folders, {isolated = false} = {}) {
  const headers = isolated ? {"Cross-Origin-Opener-Policy": "same-origin",
    "Cross-Origin-Embedder-Policy": "require-corp"} : {};
  const server = http.createServer((request, response) => {
    const name = path.basename(new URL(request.url, "http://localhost").pathname) || "index.html";
    const file = folders.map((folder) => path.join(folder, name)).find(fs.existsSync);
    if (!file) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, Object.assign(
      {"Content-Type": TYPES[path.extname(name)] || "application/octet-stream"}, headers));
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
// lines (the program's standard output and error). `browser` is a browser or one of its
// contexts. Options: `viewport` (with hasTouch, a touch screen's); `init`, a function run in the
// page before its own scripts; `cache: false` loads everything afresh, as a first visit does;
// `firstFrame` watches for the game's first field (watchFirstFrame); `arguments`, the program's
// command line after its name: the page gives it none of its own, so it is handed to the Module
// object the page makes, which the program's runtime reads its arguments from.
async function openPage(browser, address, options = {}) {
  const page = await browser.newPage();
  if (options.viewport) await page.setViewport(options.viewport);
  if (options.cache === false) await page.setCacheEnabled(false);
  if (options.init) await page.evaluateOnNewDocument(options.init);
  if (options.firstFrame) await page.evaluateOnNewDocument(watchFirstFrame);
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
  if (options.arguments) {
    await page.evaluateOnNewDocument((args) => {
      let module;
      Object.defineProperty(window, "Module", {
        configurable: true,
        get: () => module,
        set: (value) => {
          if (value && !value.arguments) value.arguments = args;
          module = value;
        },
      });
    }, options.arguments);
  }
  await page.goto(address);
  return {page, console};
}

// Runs in the page before its own scripts. Times the first animation frame whose canvas shows the
// game's first field: the left border navy at (40, 400) and the serpent's head red at (390, 210),
// drawing coordinates with y up, the two pixels bench_probe reads in a native window. That is the
// first present of the field: the browser shows a canvas's drawing with the animation frame after
// it (the program has yielded by then), and the buffer is preserved, so what is read is what is
// shown. Sets window.firstFrame (ms since the navigation began) and keeps that frame's pixels for
// firstFramePixels. The program's own WebGL context is read, taken as it creates it: the watcher
// never calls getContext itself, which would make the canvas's context with other attributes.
function watchFirstFrame() {
  const contexts = [];
  const getContext = HTMLCanvasElement.prototype.getContext;
  HTMLCanvasElement.prototype.getContext = function (...args) {
    const context = getContext.apply(this, args);
    if (context instanceof WebGLRenderingContext && !contexts.includes(context)) {
      contexts.push(context);
    }
    return context;
  };
  window.firstFrame = null;
  const pixel = new Uint8Array(4);
  const read = (gl, x, y) => {
    gl.readPixels(x, y, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
    return Array.from(pixel.subarray(0, 3));
  };
  const look = () => {
    const gl = contexts[0];
    if (gl && !gl.isContextLost()) {
      const [r, g, b] = read(gl, 40, 400);
      const head = read(gl, 390, 210);
      if (r === 0 && g === 0 && (b === 128 || b === 127) &&
          head[0] === 255 && head[1] === 0 && head[2] === 0) {
        window.firstFrame = performance.now();
        const rgba = new Uint8Array(gl.drawingBufferWidth * gl.drawingBufferHeight * 4);
        gl.readPixels(0, 0, gl.drawingBufferWidth, gl.drawingBufferHeight, gl.RGBA,
          gl.UNSIGNED_BYTE, rgba);
        window.firstFrameRgba = {width: gl.drawingBufferWidth, height: gl.drawingBufferHeight, rgba};
        return;
      }
    }
    requestAnimationFrame(look);
  };
  requestAnimationFrame(look);
}

// The first field's pixels that watchFirstFrame kept, bottom row first, as RGBA bytes in base64
// (a string crosses to the test far faster than an array), or null before it was seen. Runs in
// the page.
function firstFramePixels() {
  const frame = window.firstFrameRgba;
  if (!frame) return null;
  let text = "";
  for (let i = 0; i < frame.rgba.length; i += 0x8000) {
    text += String.fromCharCode.apply(null, frame.rgba.subarray(i, i + 0x8000));
  }
  return {width: frame.width, height: frame.height, rgba: btoa(text)};
}

// The pixels, as [x, y] with y up, in which two frames of firstFramePixels differ in colour; null
// when their sizes differ or one is missing.
function differingPixels(a, b) {
  if (!a || !b || a.width !== b.width || a.height !== b.height) return null;
  const x = Buffer.from(a.rgba, "base64");
  const y = Buffer.from(b.rgba, "base64");
  const differing = [];
  for (let i = 0; i < x.length; i += 4) {
    if (x[i] !== y[i] || x[i + 1] !== y[i + 1] || x[i + 2] !== y[i + 2]) {
      differing.push([(i / 4) % a.width, Math.floor(i / 4 / a.width)]);
    }
  }
  return differing;
}

// Waits for a condition in the page, or for an error in it; fails with the error.
async function waitFor(page, condition, ...args) {
  await page.waitForFunction(
    `(${condition})(...${JSON.stringify(args)}) || window.pageErrors.length > 0`,
    {polling: 20, timeout: 15000});
  const errors = await page.evaluate(() => window.pageErrors);
  assert.deepStrictEqual(errors, []);
}

// Waits until `condition` holds for the page's console lines (the array `record.console` of an
// opened page) and gives what it returned; fails after 15 s, or at once on an error in the page,
// showing the last lines.
async function waitForConsole(record, condition, what = String(condition)) {
  const deadline = Date.now() + 15000;
  for (;;) {
    const result = condition(record.console);
    if (result !== false && result !== undefined && result !== null) return result;
    const errors = await record.page.evaluate(() => window.pageErrors);
    assert.deepStrictEqual(errors, [], "errors in the page");
    if (Date.now() > deadline) {
      assert.fail(`waited in vain for ${what}; the last lines:\n` +
        record.console.slice(-20).join("\n"));
    }
    await new Promise((resolve) => setTimeout(resolve, 10));
  }
}

// Waits for a console line from index `from` on that matches `test` (a RegExp, or a function of
// the line) and gives its index.
function waitForLine(record, test, from = 0) {
  const passes = typeof test === "function" ? test : (line) => test.test(line);
  return waitForConsole(record, (lines) => {
    const found = lines.findIndex((line, index) => index >= from && passes(line));
    return found >= 0 ? found : false;
  }, `a line ${test} from line ${from}`);
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

module.exports = {serve, launchBrowser, openPage, waitFor, waitForConsole, waitForLine, canvasRgb,
  canvasPixels, waitForPixels, firstFramePixels, differingPixels};
