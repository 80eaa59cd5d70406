// The web build's page in headless Chromium: the page loads a kit program and the game, the
// canvas takes the window's size, keys and the mouse reach the program (and only the keys it
// gets lose their browser meaning), Escape ends it with exit code 0 on the page, and a message
// box is an overlay that Enter answers.
// Usage: node page.test.js [folder of the page, default out/web] [folder of the test's own
// programs, default build-web/tests/web]
"use strict";

const test = require("node:test");
const assert = require("node:assert");
const path = require("node:path");
const {serve, launchBrowser, openPage, waitFor} = require("./browser.js");

const top = path.join(__dirname, "..", "..");
const root = path.resolve(process.argv[2] || path.join(top, "out", "web"));
// The test's own programs (tests/web/box.cpp), built by the web build but never put in the page.
const checks = path.resolve(process.argv[3] || path.join(top, "build-web", "tests", "web"));

let server;
let browser;
let base;

test.before(async () => {
  server = await serve([root, checks]);
  base = `http://127.0.0.1:${server.address().port}/index.html`;
  browser = await launchBrowser();
});

test.after(async () => {
  if (browser) await browser.close();
  if (server) server.close();
});

function open(program) {
  return openPage(browser, `${base}?program=${program}`);
}

// The canvas's pixel at (x, y) from the top, as [r, g, b]: the drawing buffer is preserved, so
// the canvas can be copied.
function pixelIs(x, y, colour) {
  const canvas = document.getElementById("canvas");
  const copy = document.createElement("canvas");
  copy.width = canvas.width;
  copy.height = canvas.height;
  const context = copy.getContext("2d");
  context.drawImage(canvas, 0, 0);
  const data = context.getImageData(x, y, 1, 1).data;
  return data[0] === colour[0] && data[1] === colour[1] && data[2] === colour[2];
}

test("a kit program in the page: size, title, keys, mouse, and its end", async () => {
  const {page, console} = await open("kit_keys");
  // The first frame: the window's dark blue.
  await waitFor(page, pixelIs, 200, 150, [0, 0, 64]);
  const canvas = await page.evaluate(() => {
    const c = document.getElementById("canvas");
    return [c.width, c.height, c.clientWidth, c.clientHeight];
  });
  assert.deepStrictEqual(canvas, [400, 300, 400, 300], "drawing buffer and client size");
  assert.strictEqual(await page.title(), "Wrendle kit: keys");
  assert.ok(console.some((line) => line.startsWith("Wrendle kit: R, G, B, W")), "stdout in console");

  // Letters reach the program's key bindings, lower case and with Shift.
  await page.keyboard.press("r");
  await waitFor(page, pixelIs, 200, 150, [255, 0, 0]);
  await page.keyboard.down("Shift");
  await page.keyboard.press("G");
  await page.keyboard.up("Shift");
  await waitFor(page, pixelIs, 200, 150, [0, 255, 0]);
  // A key by its virtual key, not a character.
  await page.keyboard.press("ArrowLeft");
  await waitFor(page, pixelIs, 200, 150, [255, 255, 0]);

  // The left button on the canvas, at a place away from its origin.
  await page.mouse.click(50, 60);
  await waitFor(page, pixelIs, 10, 10, [128, 128, 128]);

  // Keys the program receives (named keys, characters, F-keys) lose their browser meaning; a Tab
  // or a Control combination of a key it does not know keeps its own.
  const prevented = await page.evaluate(() => {
    const send = (init) => {
      const event = new KeyboardEvent("keydown", Object.assign({cancelable: true}, init));
      window.dispatchEvent(event);
      window.dispatchEvent(new KeyboardEvent("keyup", init));
      return event.defaultPrevented;
    };
    return [send({code: "ArrowDown", key: "ArrowDown"}), send({code: "Space", key: " "}),
      send({code: "Minus", key: "-"}), send({code: "Tab", key: "Tab"}),
      send({code: "Minus", key: "-", ctrlKey: true}), send({code: "F5", key: "F5", ctrlKey: false})];
  });
  assert.deepStrictEqual(prevented, [true, true, true, false, false, true]);

  // Escape ends the program: the exit code on the page, the last frame kept, the overlay shown.
  await page.keyboard.press("Escape");
  await waitFor(page, () => document.body.dataset.exitCode !== undefined);
  assert.strictEqual(await page.evaluate(() => document.body.dataset.exitCode), "0");
  assert.ok(await page.evaluate(pixelIs, 10, 10, [128, 128, 128]), "the last frame stays");
  assert.strictEqual(
    await page.evaluate(() => getComputedStyle(document.getElementById("ended")).display), "block");
  // Nothing listens any more: keys are the browser's again.
  const after = await page.evaluate(() => {
    const event = new KeyboardEvent("keydown", {code: "KeyR", key: "r", cancelable: true});
    window.dispatchEvent(event);
    return event.defaultPrevented;
  });
  assert.strictEqual(after, false);
  await page.close();
});

test("the game in the page: a 1000 x 750 canvas, and Escape ends it with 0", async () => {
  const {page} = await open("wrendle");
  // The first frame: the field's navy border on all four sides round its grey, and the
  // serpent's red head where the first game puts it (the canvas's rows run from the top).
  await waitFor(page, pixelIs, 500, 375, [102, 102, 102]);
  await waitFor(page, pixelIs, 40, 349, [0, 0, 128]);
  await waitFor(page, pixelIs, 940, 449, [0, 0, 128]);
  await waitFor(page, pixelIs, 500, 709, [0, 0, 128]);
  await waitFor(page, pixelIs, 600, 9, [0, 0, 128]);
  await waitFor(page, pixelIs, 390, 100, [255, 0, 0]);
  const canvas = await page.evaluate(() => {
    const c = document.getElementById("canvas");
    return [c.width, c.height, c.clientWidth, c.clientHeight];
  });
  assert.deepStrictEqual(canvas, [1000, 750, 1000, 750]);
  await page.keyboard.press("Escape");
  await waitFor(page, () => document.body.dataset.exitCode !== undefined);
  assert.strictEqual(await page.evaluate(() => document.body.dataset.exitCode), "0");
  await page.close();
});

test("a program that never waits (an animation) still shows frames and takes keys", async () => {
  const {page} = await open("kit_triangle");
  await waitFor(page, pixelIs, 5, 5, [0, 0, 64]);
  await page.keyboard.press("Escape");
  await waitFor(page, () => document.body.dataset.exitCode !== undefined);
  assert.strictEqual(await page.evaluate(() => document.body.dataset.exitCode), "0");
  await page.close();
});

test("a message box is an overlay in the page, its text on the console too", async () => {
  const {page, console} = await open("web_box");
  await waitFor(page, () => document.getElementById("wrendle-box") !== null);
  const box = await page.evaluate(() => document.getElementById("wrendle-box").innerText);
  assert.match(box, /Wrendle check/);
  assert.match(box, /First line\.\nSecond line\./);
  assert.ok(console.some((line) => line.includes("First line.")), "the text on the console");
  // Keys answer the box, not the program; the program then ends with its own code.
  await page.keyboard.press("Enter");
  await waitFor(page, () => document.body.dataset.exitCode !== undefined);
  assert.strictEqual(await page.evaluate(() => document.body.dataset.exitCode), "3");
  assert.strictEqual(await page.evaluate(() => document.getElementById("wrendle-box")), null);
  await page.close();
});
