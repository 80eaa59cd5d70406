// A program of the web build in headless Chromium, driven from outside like a native program:
// the end-to-end tests (tests/e2e) start this script in the program's place and talk to it on
// its standard input and output, one command per line. Its exit code is the page's
// (document.body.dataset.exitCode); the page's console and its errors go to standard error.
//
//   window            -> "ok WIDTH HEIGHT" once the program runs and the canvas has its size
//   capture           -> "WIDTH HEIGHT\n" then the canvas's RGB bytes, top row first
//   points X Y X Y... -> "ok": the pixels (from the top left) that "capture points" reads
//   capture points    -> "COUNT\n" then the RGB bytes of those pixels alone, far quicker
//   key NAME [shift]  -> "ok" once the key (a DOM key name: ArrowLeft, Escape, n) was pressed
//   swipe DIRECTION   -> "ok" once a one-finger swipe (left, right, up, down) crossed the canvas
//   move X Y          -> "ok": the mouse to the canvas's pixel (X, Y) from its top left
//   button N up|down  -> "ok": mouse button N (1 left, 2 middle, 3 right)
//   close             -> "ok": the tab is going away (pagehide), the window's close box here
// Any failure answers "error TEXT".
//
// Usage: node drive.js PAGE_FOLDER [PROGRAM]
"use strict";

const path = require("node:path");
const readline = require("node:readline");
const {serve, launchBrowser, openPage} = require("./browser.js");

const folder = path.resolve(process.argv[2] || path.join(__dirname, "..", "..", "out", "web"));
const program = process.argv[3] || "wrendle";
const BUTTONS = {1: "left", 2: "middle", 3: "right"};

let server;
let browser;
let page;
let finished = false;
let points = [];

async function finish(code) {
  if (finished) return;
  finished = true;
  if (browser) await browser.close().catch(() => {});
  if (server) server.close();
  process.exit(code);
}

// The canvas's pixel (x, y) as the page's CSS pixel: the canvas may be scaled to fit the page.
async function pagePoint(x, y) {
  return page.evaluate((x, y) => {
    const canvas = document.getElementById("canvas");
    const box = canvas.getBoundingClientRect();
    return [box.left + (x + 0.5) * box.width / canvas.width,
      box.top + (y + 0.5) * box.height / canvas.height];
  }, x, y);
}

// The canvas as base64 RGB, top row first: a binary string travels far faster than an array.
// The pixels are read from the program's own WebGL context (its drawing buffer is preserved),
// several times faster than through a 2D canvas; reading changes none of the context's state.
function canvasBase64() {
  const canvas = document.getElementById("canvas");
  const width = canvas.width;
  const height = canvas.height;
  const gl = canvas.getContext("webgl");
  const rgba = new Uint8Array(width * height * 4);
  gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, rgba);
  const parts = [];
  const row = new Uint8Array(width * 3);
  for (let y = height - 1; y >= 0; y--) {
    for (let x = 0, i = y * width * 4, n = 0; x < width; x++, i += 4) {
      row[n++] = rgba[i];
      row[n++] = rgba[i + 1];
      row[n++] = rgba[i + 2];
    }
    parts.push(String.fromCharCode.apply(null, row));
  }
  return [width, height, btoa(parts.join(""))];
}

// The canvas's pixels at `points` ([x0, y0, x1, y1, ...] from the top left) as base64 RGB.
function pointsBase64(points) {
  const canvas = document.getElementById("canvas");
  const width = canvas.width;
  const height = canvas.height;
  const gl = canvas.getContext("webgl");
  const rgba = new Uint8Array(width * height * 4);
  gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, rgba);
  const rgb = new Uint8Array(points.length / 2 * 3);
  for (let i = 0, n = 0; i < points.length; i += 2) {
    const x = points[i];
    const y = points[i + 1];
    const at = ((height - 1 - y) * width + x) * 4;
    const inside = x >= 0 && y >= 0 && x < width && y < height;
    rgb[n++] = inside ? rgba[at] : 0;
    rgb[n++] = inside ? rgba[at + 1] : 0;
    rgb[n++] = inside ? rgba[at + 2] : 0;
  }
  return btoa(String.fromCharCode.apply(null, rgb));
}

async function swipe(direction) {
  const [dx, dy] = {left: [-1, 0], right: [1, 0], up: [0, -1], down: [0, 1]}[direction];
  const size = await page.evaluate(() => {
    const c = document.getElementById("canvas");
    return [c.width, c.height];
  });
  const [x0, y0] = await pagePoint(size[0] / 2, size[1] / 2);
  const [x1, y1] = await pagePoint(size[0] / 2 + dx * size[0] / 4, size[1] / 2 + dy * size[1] / 4);
  await page.touchscreen.touchStart(x0, y0);
  for (let step = 1; step <= 5; step++) {
    await page.touchscreen.touchMove(x0 + (x1 - x0) * step / 5, y0 + (y1 - y0) * step / 5);
  }
  await page.touchscreen.touchEnd();
}

async function run(words) {
  switch (words[0]) {
    case "window": {
      await page.waitForFunction(
        () => document.body.dataset.running === "1" || document.body.dataset.exitCode !== undefined,
        {polling: 20, timeout: 0});
      const size = await page.evaluate(() => {
        const c = document.getElementById("canvas");
        return [c.width, c.height];
      });
      return `ok ${size[0]} ${size[1]}`;
    }
    case "points":
      points = words.slice(1).map(Number);
      return "ok";
    case "capture": {
      if (words[1] === "points") {
        const bytes = Buffer.from(await page.evaluate(pointsBase64, points), "base64");
        process.stdout.write(`${points.length / 2}\n`);
        process.stdout.write(bytes);
        return null;
      }
      const [width, height, data] = await page.evaluate(canvasBase64);
      const bytes = Buffer.from(data, "base64");
      process.stdout.write(`${width} ${height}\n`);
      process.stdout.write(bytes);
      return null;
    }
    case "key":
      if (words[2] === "shift") await page.keyboard.down("Shift");
      await page.keyboard.press(words[1]);
      if (words[2] === "shift") await page.keyboard.up("Shift");
      return "ok";
    case "swipe":
      await swipe(words[1]);
      return "ok";
    case "move": {
      const [x, y] = await pagePoint(Number(words[1]), Number(words[2]));
      await page.mouse.move(x, y);
      return "ok";
    }
    case "button": {
      const button = BUTTONS[words[1]] || "left";
      if (words[2] === "down") await page.mouse.down({button});
      else await page.mouse.up({button});
      return "ok";
    }
    case "close":
      await page.evaluate(() => window.dispatchEvent(
        new PageTransitionEvent("pagehide", {persisted: false})));
      return "ok";
    default:
      return `error unknown command ${words[0]}`;
  }
}

async function main() {
  server = await serve([folder]);
  browser = await launchBrowser();
  const address = `http://127.0.0.1:${server.address().port}/index.html?program=${program}`;
  ({page} = await openPage(browser, address, {
    onConsole: (message) => process.stderr.write(message.text() + "\n"),
  }));
  page.on("pageerror", (error) => process.stderr.write(`page error: ${error.message}\n`));
  // The program's end: the page's exit code becomes this script's, as a process's would.
  page.waitForFunction(() => document.body.dataset.exitCode !== undefined ||
                       window.pageErrors.length > 0, {polling: 20, timeout: 0})
    .then(() => page.evaluate(() => [document.body.dataset.exitCode, window.pageErrors]))
    .then(([code, errors]) => {
      for (const error of errors) process.stderr.write(`page error: ${error}\n`);
      finish(code === undefined ? 70 : Number(code));
    })
    .catch(() => finish(70));

  // One command at a time, in order: a reply is written before the next command is read.
  const lines = readline.createInterface({input: process.stdin});
  for await (const line of lines) {
    let reply;
    try {
      reply = await run(line.trim().split(/\s+/));
    } catch (error) {
      reply = `error ${String(error.message || error).split("\n")[0]}`;
    }
    if (reply !== null) process.stdout.write(reply + "\n");
  }
  await finish(0);
}

main().catch((error) => {
  process.stderr.write(`drive.js: ${error.stack || error}\n`);
  finish(70);
});
