// The web build's page in headless Chromium: the page loads a kit program and the game, the
// canvas's drawing buffer takes the window's size and the page scales it to fit the viewport,
// keys, the mouse and a touch screen reach the program (and only the keys it gets lose their
// browser meaning), Escape ends it with exit code 0 on the page, a message box is an overlay that
// Enter answers, and the program lives through a lost WebGL context, a frozen page and the page
// going into the back/forward cache. And what the web benchmark stands on (scripts/bench web):
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
const {serve, launchBrowser, openPage, waitFor, firstFramePixels, differingPixels} =
  require("./browser.js");

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

// A phone held upright and sideways, with a touch screen; a desktop at the default size.
const PHONE = {width: 390, height: 844, hasTouch: true, isMobile: true};
const PHONE_SIDEWAYS = {width: 844, height: 390, hasTouch: true, isMobile: true};

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

// Where the page shows the canvas and its buttons, and the canvas's drawing buffer. Runs in the
// page.
function layout() {
  const canvas = document.getElementById("canvas");
  const controls = document.getElementById("controls");
  const box = (element) => {
    const r = element.getBoundingClientRect();
    return {left: r.left, top: r.top, right: r.right, bottom: r.bottom};
  };
  const buttons = getComputedStyle(controls).display === "none" ? [] :
    Array.from(controls.querySelectorAll("button")).map((b) => ({label: b.textContent, ...box(b)}));
  return {buffer: [canvas.width, canvas.height], shown: box(canvas),
    viewport: [innerWidth, innerHeight], rendering: getComputedStyle(canvas).imageRendering, buttons};
}

// Once the page has laid itself out again (a resize is fitted before the next frame is painted).
function painted(page) {
  return page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
}

// The drawing buffer is the client size; the canvas is shown as large as the viewport allows (it
// reaches the viewport's edges along one axis), wholly inside it, with the buffer's proportion
// (to a CSS pixel), with sharp pixels, and no button lies over it.
function assertFits(view, client) {
  assert.deepStrictEqual(view.buffer, client, "the drawing buffer is the client size");
  const {left, top, right, bottom} = view.shown;
  const [width, height] = view.viewport;
  assert.ok(left >= 0 && top >= 0 && right <= width && bottom <= height,
    `the canvas ${JSON.stringify(view.shown)} lies in the ${width} x ${height} viewport`);
  assert.ok(right - left >= width - 1 || bottom - top >= height - 1,
    `the canvas ${JSON.stringify(view.shown)} fills the ${width} x ${height} viewport one way`);
  assert.ok(Math.abs((right - left) * client[1] / client[0] - (bottom - top)) <= 1,
    `the canvas ${JSON.stringify(view.shown)} keeps the proportion of ${client}`);
  assert.strictEqual(view.rendering, "pixelated");
  for (const b of view.buttons) {
    assert.ok(b.right <= left || b.left >= right || b.bottom <= top || b.top >= bottom,
      `the button ${JSON.stringify(b)} is not over the canvas ${JSON.stringify(view.shown)}`);
  }
}

test("a kit program in the page: size, title, keys, mouse, and its end", async () => {
  const {page, console} = await open("kit_keys");
  // The first frame: the window's dark blue.
  await waitFor(page, pixelIs, 200, 150, [0, 0, 64]);
  // Scaled to the default 800 x 600 viewport, twice the client size; no buttons on a desktop.
  const view = await page.evaluate(layout);
  assertFits(view, [400, 300]);
  assert.deepStrictEqual(view.shown, {left: 0, top: 0, right: 800, bottom: 600});
  assert.deepStrictEqual(view.buttons, []);
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

test("the game in the page: a 1000 x 750 canvas scaled to a 4K screen, and Escape ends it with 0", async () => {
  const {page} = await open("wrendle", {viewport: {width: 3840, height: 2160}});
  // The first frame: the field's navy border on all four sides round its grey, and the
  // serpent's red head where the first game puts it (the canvas's rows run from the top).
  await waitFor(page, pixelIs, 500, 375, [102, 102, 102]);
  await waitFor(page, pixelIs, 40, 349, [0, 0, 128]);
  await waitFor(page, pixelIs, 940, 449, [0, 0, 128]);
  await waitFor(page, pixelIs, 500, 709, [0, 0, 128]);
  await waitFor(page, pixelIs, 600, 9, [0, 0, 128]);
  await waitFor(page, pixelIs, 390, 100, [255, 0, 0]);
  const view = await page.evaluate(layout);
  assertFits(view, [1000, 750]);
  assert.deepStrictEqual(view.shown, {left: 480, top: 0, right: 3360, bottom: 2160});
  assert.deepStrictEqual(view.buttons, []);
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

// The trace program (tests/trace) writes each message its window gets to the console, as
// "loop posted WM_KEYDOWN vk=LEFT repeat=1 ..."; these are the key and button messages from
// `from` on, each as its name and first field ("WM_KEYDOWN vk=LEFT").
function inputLines(console, from) {
  return console.slice(from).filter((line) => /^loop posted WM_(KEY|CHAR|.BUTTON)/.test(line))
    .map((line) => line.split(" ").slice(2, 4).join(" "));
}

// Waits until the trace shows `count` key and button messages from `from` on; gives them.
async function traced(page, console, from, count) {
  for (let waited = 0; inputLines(console, from).length < count; waited += 20) {
    const errors = await page.evaluate(() => window.pageErrors);
    assert.deepStrictEqual(errors, []);
    assert.ok(waited < 15000, `${count} messages traced: ${JSON.stringify(inputLines(console, from))}`);
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  return inputLines(console, from);
}

// One finger down at (x, y) in the page, moved by each step in turn, and lifted.
async function touchPath(page, x, y, steps) {
  const session = await page.createCDPSession();
  const touch = (type, points) => session.send("Input.dispatchTouchEvent", {type, touchPoints: points});
  await touch("touchStart", [{x, y}]);
  for (const [dx, dy] of steps) {
    // Each step in a few moves, as a finger goes.
    for (let i = 1; i <= 4; i++) await touch("touchMove", [{x: x + dx * i / 4, y: y + dy * i / 4}]);
    x += dx;
    y += dy;
  }
  await touch("touchEnd", []);
  await session.detach();
}

const arrow = (name) => [`WM_KEYDOWN vk=${name}`, `WM_KEYUP vk=${name}`];

test("the canvas is scaled to fit a phone either way up, buttons beside it, and Quit ends the game", async () => {
  const {page} = await open("wrendle", {viewport: PHONE});
  await waitFor(page, pixelIs, 40, 349, [0, 0, 128]);
  let view = await page.evaluate(layout);
  assertFits(view, [1000, 750]);
  assert.deepStrictEqual(view.buttons.map((b) => b.label), ["New game", "Quit"]);
  assert.ok(view.buttons.every((b) => b.top >= view.shown.bottom), "the buttons below the field");

  await page.setViewport(PHONE_SIDEWAYS);
  await painted(page);
  view = await page.evaluate(layout);
  assertFits(view, [1000, 750]);
  assert.deepStrictEqual(view.buttons.map((b) => b.label), ["New game", "Quit"]);
  assert.ok(view.buttons.every((b) => b.left >= view.shown.right), "the buttons beside the field");
  // The drawing buffer, which the program draws and a reader of the canvas sees, is unscaled.
  assert.ok(await page.evaluate(pixelIs, 940, 449, [0, 0, 128]));

  await page.tap("#quit");
  await waitFor(page, () => document.body.dataset.exitCode !== undefined);
  assert.strictEqual(await page.evaluate(() => document.body.dataset.exitCode), "0");
  assert.deepStrictEqual((await page.evaluate(layout)).buttons, [], "no buttons once it has ended");
  await page.close();
});

test("a click on the scaled canvas reaches the client pixel under it, scaled up or down", async () => {
  // The trace program's client area is 320 x 240: four times that fills 1280 x 960.
  const {page, console} = await open("web_trace", {viewport: {width: 1280, height: 960}});
  await waitFor(page, () => document.body.dataset.running === "1");
  assertFits(await page.evaluate(layout), [320, 240]);
  let from = console.length;
  for (const [x, y] of [[0, 0], [57, 203], [319, 239]]) await page.mouse.click(4 * x + 2, 4 * y + 2);
  assert.deepStrictEqual(await traced(page, console, from, 6), [
    "WM_LBUTTONDOWN x=0", "WM_LBUTTONUP x=0", "WM_LBUTTONDOWN x=57", "WM_LBUTTONUP x=57",
    "WM_LBUTTONDOWN x=319", "WM_LBUTTONUP x=319"]);
  assert.ok(console.some((line) => / WM_LBUTTONDOWN x=57 y=203 inside=1/.test(line)));

  // At 200 x 600 the canvas is 200 x 150, centred: each CSS pixel 1.6 client pixels.
  await page.setViewport({width: 200, height: 600});
  await painted(page);
  const view = await page.evaluate(layout);
  assertFits(view, [320, 240]);
  assert.deepStrictEqual(view.shown, {left: 0, top: 225, right: 200, bottom: 375});
  from = console.length;
  await page.mouse.click(10, 225 + 100);
  await page.mouse.click(199, 225 + 149);
  await traced(page, console, from, 4);
  const downs = console.slice(from).filter((line) => / WM_LBUTTONDOWN /.test(line));
  assert.match(downs[0], / x=16 y=160 inside=1 /);
  assert.match(downs[1], / x=319 y=239 inside=1 /);
  await page.close();
});

test("on a touch screen a swipe is an arrow key, a tap a click, and the buttons are keys", async () => {
  const {page, console} = await open("web_trace", {viewport: PHONE});
  await waitFor(page, () => document.body.dataset.running === "1");
  const view = await page.evaluate(layout);
  assertFits(view, [320, 240]);
  const x = (view.shown.left + view.shown.right) / 2;
  const y = (view.shown.top + view.shown.bottom) / 2;

  // A tap is the left button's click, at the client pixel under the finger.
  let from = console.length;
  await page.touchscreen.tap(x, y);
  assert.deepStrictEqual(await traced(page, console, from, 2), ["WM_LBUTTONDOWN x=160", "WM_LBUTTONUP x=160"]);

  // The buttons give the program what the keyboard's n and Escape give it: the key down, its
  // character (Escape's is 27, as on Win32), the key up.
  const keys = [["n", "#new-game", ["WM_KEYDOWN vk=N", "WM_CHAR char=n", "WM_KEYUP vk=N"]],
    ["Escape", "#quit", ["WM_KEYDOWN vk=ESCAPE", "WM_CHAR char=0x1B", "WM_KEYUP vk=ESCAPE"]]];
  for (const [key, button, expected] of keys) {
    from = console.length;
    await page.keyboard.press(key);
    await page.tap(button);
    // Enter closes the list: nothing else came in between.
    await page.keyboard.press("Enter");
    assert.deepStrictEqual(await traced(page, console, from, 9),
      [...expected, ...expected, "WM_KEYDOWN vk=RETURN", "WM_CHAR char=0x0D", "WM_KEYUP vk=RETURN"],
      `the keyboard's ${key}, then the ${button} button`);
  }
  assert.strictEqual(await page.evaluate(() => document.activeElement.id), "canvas", "the focus stays");

  // Swipes last: a browser takes a tap right after a quick swipe for the end of its fling.
  // Each way; a slanting swipe goes by the axis it went further along; a move shorter than the
  // least swipe is nothing; a finger that turns without lifting gives both arrows.
  from = console.length;
  await touchPath(page, x, y, [[-80, 10]]);
  await touchPath(page, x, y, [[0, -60]]);
  await touchPath(page, x, y, [[70, -40]]);
  await touchPath(page, x, y, [[-20, 50]]);
  await touchPath(page, x, y, [[20, -20]]);
  await touchPath(page, x, y, [[-50, 0], [0, -50]]);
  // A key from the keyboard closes the list: nothing else came in between.
  await page.keyboard.press("x");
  const swiped = [...arrow("LEFT"), ...arrow("UP"), ...arrow("RIGHT"), ...arrow("DOWN"),
    ...arrow("LEFT"), ...arrow("UP"), "WM_KEYDOWN vk=X", "WM_CHAR char=x", "WM_KEYUP vk=X"];
  // Waits for as many messages as are expected: fewer would race the last key's release.
  assert.deepStrictEqual(await traced(page, console, from, swiped.length), swiped);

  await page.close();
});

test("a swipe left on a kit program is its left arrow", async () => {
  const {page} = await open("kit_keys", {viewport: PHONE});
  await waitFor(page, pixelIs, 200, 150, [0, 0, 64]);
  const {shown} = await page.evaluate(layout);
  await touchPath(page, shown.right - 20, shown.top + 40, [[-100, 0]]);
  await waitFor(page, pixelIs, 200, 150, [255, 255, 0]);
  await page.close();
});

// Takes WebGL from the canvas and gives it back, as a browser does after a GPU reset; while it
// is lost the canvas shows nothing. Runs in the page; a lost context offers no extension, so the
// one that took it gives it back.
function loseContext() {
  const canvas = document.getElementById("canvas");
  window.loseExtension = canvas.getContext("webgl").getExtension("WEBGL_lose_context");
  return new Promise((resolve) => {
    canvas.addEventListener("webglcontextlost", () => resolve(), {once: true});
    window.loseExtension.loseContext();
  });
}

function restoreContext() {
  const canvas = document.getElementById("canvas");
  return new Promise((resolve) => {
    canvas.addEventListener("webglcontextrestored", () => resolve(), {once: true});
    window.loseExtension.restoreContext();
  });
}

test("a lost WebGL context comes back, and the program draws on it again", async () => {
  const {page} = await open("wrendle");
  await waitFor(page, pixelIs, 40, 349, [0, 0, 128]);
  await page.evaluate(loseContext);
  assert.strictEqual(await page.evaluate(pixelIs, 40, 349, [0, 0, 128]), false, "lost: nothing shown");
  await page.evaluate(restoreContext);
  // The game draws every frame: the field's border and its grey come back.
  await waitFor(page, pixelIs, 40, 349, [0, 0, 128]);
  await waitFor(page, pixelIs, 500, 375, [102, 102, 102]);
  await waitFor(page, pixelIs, 600, 9, [0, 0, 128]);
  await page.close();

  // A program that draws only when asked is asked again.
  const keys = (await open("kit_keys")).page;
  await waitFor(keys, pixelIs, 200, 150, [0, 0, 64]);
  await keys.keyboard.press("r");
  await waitFor(keys, pixelIs, 200, 150, [255, 0, 0]);
  await keys.evaluate(loseContext);
  await keys.evaluate(restoreContext);
  await waitFor(keys, pixelIs, 200, 150, [255, 0, 0]);
  await keys.close();
});

// Notes the time of every frame the program draws (each of the game's frames clears the canvas
// once), so that a test can see the pace. Runs in the page before its scripts.
function recordFrames() {
  window.frameTimes = [];
  const clear = WebGLRenderingContext.prototype.clear;
  WebGLRenderingContext.prototype.clear = function (mask) {
    window.frameTimes.push(performance.now());
    return clear.call(this, mask);
  };
}

test("a page stopped in the background goes on at its pace, with no burst to catch up", async () => {
  const {page} = await open("wrendle", {init: recordFrames});
  await waitFor(page, () => window.frameTimes.length >= 6);
  // A frozen page runs no timer at all: the furthest a browser goes with a tab in the background.
  const session = await page.createCDPSession();
  await session.send("Page.setWebLifecycleState", {state: "frozen"});
  await new Promise((resolve) => setTimeout(resolve, 2000));
  await session.send("Page.setWebLifecycleState", {state: "active"});
  const back = await page.evaluate(() => performance.now());
  await waitFor(page, (since) => window.frameTimes.filter((t) => t > since).length >= 24, back);
  const times = await page.evaluate(() => window.frameTimes);
  // The game moves every second frame, sleeping out 83 ms between moves: frames come in pairs.
  const gaps = times.slice(1).map((t, i) => t - times[i]);
  const stopped = gaps.indexOf(Math.max(...gaps));
  assert.ok(gaps[stopped] >= 1500, `no frame while the page was frozen (longest gap ${gaps[stopped]} ms)`);
  const after = times.slice(stopped + 1);
  for (let i = 0; i + 2 < after.length; i++) {
    assert.ok(after[i + 2] - after[i] >= 83 / 2,
      `a move per 83 ms after the page came back: frames at ${after.slice(i, i + 3).map(Math.round)}`);
  }
  await page.close();
});

test("pagehide into the back/forward cache keeps the program; for good it is WM_CLOSE", async () => {
  const {page} = await open("wrendle", {init: recordFrames});
  await waitFor(page, () => window.frameTimes.length >= 4);
  const hide = (persisted) => window.dispatchEvent(new PageTransitionEvent("pagehide", {persisted}));
  const frames = await page.evaluate(() => window.frameTimes.length);
  await page.evaluate(hide, true);
  await waitFor(page, (n) => window.frameTimes.length >= n || document.body.dataset.exitCode !== undefined,
    frames + 6);
  assert.strictEqual(await page.evaluate(() => document.body.dataset.exitCode), undefined, "still running");
  await page.evaluate(hide, false);
  await waitFor(page, () => document.body.dataset.exitCode !== undefined);
  assert.strictEqual(await page.evaluate(() => document.body.dataset.exitCode), "0");
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
