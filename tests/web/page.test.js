// The web build's page in headless Chromium: the page loads a kit program and the game, the
// canvas takes the window's size, keys and the mouse reach the program (and only the keys it
// gets lose their browser meaning), Escape ends it with exit code 0 on the page, and a message
// box is an overlay that Enter answers. And what the web benchmark stands on (scripts/bench web):
// its peer page draws the game's first frame, the watcher times the field and nothing else, and
// its programs take their arguments from the page's address.
// Usage: node page.test.js [folder of the page, default out/web] [folder of the test's own
// programs, default build-web/tests/web] [folder of the web benchmarks, default
// build-web-bench/bench; their checks are skipped until scripts/bench web has built them]
"use strict";

const test = require("node:test");
const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");
const {serve, launchBrowser, openPage, firstFramePixels, differingPixels} = require("./browser.js");

const top = path.join(__dirname, "..", "..");
const root = path.resolve(process.argv[2] || path.join(top, "out", "web"));
// The test's own programs (tests/web/box.cpp), built by the web build but never put in the page.
const checks = path.resolve(process.argv[3] || path.join(top, "build-web", "tests", "web"));
const benchmarks = path.resolve(process.argv[4] || path.join(top, "build-web-bench", "bench"));
const noBenchmarks = !fs.existsSync(path.join(benchmarks, "bench_web_peer.js")) &&
  "the web benchmarks are not built (scripts/bench web builds them)";

let server;
let browser;
let base;

test.before(async () => {
  server = await serve([root, checks, benchmarks]);
  base = `http://127.0.0.1:${server.address().port}/index.html`;
  browser = await launchBrowser();
});

test.after(async () => {
  if (browser) await browser.close();
  if (server) server.close();
});

function open(program, options) {
  return openPage(browser, `${base}?program=${program}`, options);
}

// Waits for a condition in the page, or for an error in it; fails with the error.
async function waitFor(page, condition, ...args) {
  await page.waitForFunction(
    `(${condition})(...${JSON.stringify(args)}) || window.pageErrors.length > 0`,
    {polling: 20, timeout: 15000});
  const errors = await page.evaluate(() => window.pageErrors);
  assert.deepStrictEqual(errors, []);
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

// The first present of the field as the web benchmark's watcher sees it, with its pixels.
async function firstField(program) {
  const {page} = await open(program, {firstFrame: true});
  await waitFor(page, () => window.firstFrame !== null);
  const seen = await page.evaluate(() => [window.firstFrame, performance.now()]);
  const frame = await page.evaluate(firstFramePixels);
  await page.close();
  return {seen, frame};
}

test("the benchmark's peer page draws the game's first frame, pixel for pixel",
  {skip: noBenchmarks}, async () => {
    const game = await firstField("wrendle");
    const peer = await firstField("bench_web_peer");
    for (const {seen} of [game, peer]) {
      assert.ok(seen[0] > 0 && seen[0] <= seen[1], `seen at ${seen[0]} ms, before ${seen[1]} ms`);
    }
    assert.deepStrictEqual([peer.frame.width, peer.frame.height], [1000, 750]);
    assert.deepStrictEqual([game.frame.width, game.frame.height], [1000, 750]);
    const differing = differingPixels(game.frame, peer.frame);
    assert.strictEqual(differing.length, 0,
      `pixels (x, y up) where the peer differs: ${JSON.stringify(differing.slice(0, 10))}`);
  });

test("the first-frame watcher takes no other picture for the field", async () => {
  // kit_keys fills its window dark blue: drawn and shown, but not the field.
  const {page} = await open("kit_keys", {firstFrame: true});
  await waitFor(page, pixelIs, 200, 150, [0, 0, 64]);
  await page.evaluate(() => new Promise((resolve) => {
    requestAnimationFrame(() => requestAnimationFrame(resolve));
  }));
  assert.strictEqual(await page.evaluate(() => window.firstFrame), null);
  await page.close();
});

test("the benchmark programs take their words from the page's address and print their figures",
  {skip: noBenchmarks}, async () => {
    const figures = async (program, args) => {
      const {page, console} = await open(`${program}&args=${args}`);
      const line = () => console.find((text) => /^[0-9.]+( [0-9.]+)*$/.test(text));
      for (let i = 0; i < 300 && !line(); i++) await new Promise((r) => setTimeout(r, 50));
      const errors = await page.evaluate(() => window.pageErrors);
      await page.close();
      assert.deepStrictEqual(errors, []);
      assert.ok(line(), `${program} ${args} printed ${JSON.stringify(console)}`);
      return line().split(" ").map(Number);
    };
    // The game's frames are timed without their sleep: with it, a frame took about 40 ms (the
    // rest of its 83 ms went by waiting for the animation frame); without it, under 1 ms.
    const [game] = await figures("bench_kit", "work,8");
    assert.ok(game > 0 && game < 20000, `a frame of the game took ${game} us`);
    const [peer] = await figures("bench_web_peer", "frames,8");
    assert.ok(peer > 0 && peer < 20000, `a frame of the peer took ${peer} us`);
    // The real loop in the page: a move per 83 ms plus the work of the frames, never sooner (a
    // sleep that ended early would show), and not half as long again. The first move takes
    // longer: the browser's first present of the canvas falls into it.
    const [interval, work] = await figures("bench_kit", "pace,12");
    assert.ok(interval >= 83 && interval < 125 && work >= 0,
      `moves every ${interval} ms with ${work} ms of work`);
  });
