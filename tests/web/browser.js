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
// lines (the program's standard output and error). `options.arguments` is the program's command
// line after its name: the page gives it none of its own, so it is handed to the Module object
// the page makes, which the program's runtime reads its arguments from.
async function openPage(browser, address, options = {}) {
  const page = await browser.newPage();
  if (options.viewport) await page.setViewport(options.viewport);
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

module.exports = {serve, launchBrowser, openPage, waitFor, waitForConsole, waitForLine, canvasRgb};
