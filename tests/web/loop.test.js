// The kit's message loop in the page: the checks that the kit's loop passes natively
// (tests/kit_loop) and that have a meaning in a page, made on web_loop (tests/web/loop.cpp),
// which prints one line on the console for everything its handlers see. Keys and the mouse come
// as the browser's own input (puppeteer's), or, where many must arrive at once while the program
// is busy, as events dispatched in one go in the page. docs/web.md says which native checks have
// no meaning in a page.
// Usage: node loop.test.js [folder of the page, default out/web] [folder of the test's own
// programs, default build-web/tests/web]
"use strict";

const test = require("node:test");
const assert = require("node:assert");
const path = require("node:path");
const {serve, launchBrowser, openPage, waitFor, waitForConsole, waitForLine} = require("./browser.js");

const top = path.join(__dirname, "..", "..");
const root = path.resolve(process.argv[2] || path.join(top, "out", "web"));
const checks = path.resolve(process.argv[3] || path.join(top, "build-web", "tests", "web"));

// The kit's codes and bits (kit/kit.h).
const SHIFT = 1;
const CONTROL = 2;
const LEFT = 37;
const ESCAPE = 27;
const MOUSE_MOVE = 64;

let server;
let browser;
let base;

test.before(async () => {
  server = await serve([root, checks]);
  base = `http://127.0.0.1:${server.address().port}/index.html?program=web_loop`;
  browser = await launchBrowser();
});

test.after(async () => {
  if (browser) await browser.close();
  if (server) server.close();
});

// web_loop in the mode given, once its window has had its first paint and its loop turns.
async function start(mode, readyLine = /^ready$/) {
  const record = await openPage(browser, base, {arguments: [mode]});
  await waitForLine(record, readyLine);
  return record;
}

// The console's lines from `from` on, each split into its words; numbers as numbers.
function wordsFrom(record, from) {
  return record.console.slice(from).map(
    (line) => line.split(" ").map((word) => (/^-?\d+$/.test(word) ? Number(word) : word)));
}

// The lines of one kind from `from` on, without their first word.
function seen(record, kind, from = 0) {
  return wordsFrom(record, from).filter((words) => words[0] === kind).map((words) => words.slice(1));
}

// The first "key" line with this code from `from` on; then the loop's next turn.
async function keyArrived(record, code, from = 0) {
  const at = await waitForLine(record, (line) => line.startsWith(`key ${code} `), from);
  return waitForLine(record, /^idle /, at);
}

// Keyboard events in the page, all dispatched in one go: the program takes none of them before
// the last is in. Each is [type, code, key, shift]; what a user types comes from typed().
function dispatchKeys(events) {
  for (const [type, code, key, shift] of events) {
    window.dispatchEvent(new KeyboardEvent(type, {code, key, shiftKey: shift, cancelable: true}));
  }
}

// The key events of typing `text` (letters, digits and spaces) on a US keyboard.
function typed(text) {
  const events = [];
  for (const character of text) {
    const code = character === " " ? "Space"
      : /[0-9]/.test(character) ? `Digit${character}` : `Key${character.toUpperCase()}`;
    const shift = /[A-Z]/.test(character);
    if (shift) events.push(["keydown", "ShiftLeft", "Shift", true]);
    events.push(["keydown", code, character, shift], ["keyup", code, character, shift]);
    if (shift) events.push(["keyup", "ShiftLeft", "Shift", false]);
  }
  return events;
}

// A tap of a key by its DOM name, with modifiers held around it.
async function tap(page, key, ...held) {
  for (const modifier of held) await page.keyboard.down(modifier);
  await page.keyboard.press(key);
  for (const modifier of held.reverse()) await page.keyboard.up(modifier);
}

// Presses the keys, then 'z', and gives the [code, modifiers] the program saw up to the 'z'.
async function keysSeen(record, press) {
  const from = record.console.length;
  await press();
  await tap(record.page, "KeyZ");
  await keyArrived(record, 122, from);
  return seen(record, "key", from).map((words) => words.slice(0, 2));
}

test("keys give their codes and modifiers", async () => {
  const record = await start("keys");
  const {page} = record;
  // Control+n makes a control character, which is no key code.
  assert.deepStrictEqual(await keysSeen(record, async () => {
    await tap(page, "KeyN");
    await tap(page, "KeyN", "Shift");
    await tap(page, "KeyN", "Control");
  }), [[110, 0], [78, SHIFT], [122, 0]]);

  // Each arrow alone, with Shift, with Control and with both: 37 to 40.
  const arrows = [];
  assert.deepStrictEqual(await keysSeen(record, async () => {
    for (const [index, name] of ["ArrowLeft", "ArrowUp", "ArrowRight", "ArrowDown"].entries()) {
      await tap(page, name);
      await tap(page, name, "Shift");
      await tap(page, name, "Control");
      await tap(page, name, "Control", "Shift");
      arrows.push([LEFT + index, 0], [LEFT + index, SHIFT], [LEFT + index, CONTROL],
        [LEFT + index, SHIFT | CONTROL]);
    }
  }), [...arrows, [122, 0]]);

  // Escape is recorded only: the kit's binding, which would end the program, is not dispatched.
  const named = await keysSeen(record, async () => {
    for (let digit = 0; digit <= 9; digit++) await tap(page, `Digit${digit}`);
    await tap(page, "Enter");
    await tap(page, "Escape");
    await tap(page, "Space");
  });
  assert.deepStrictEqual(named.map(([code]) => code),
    [48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 13, ESCAPE, 32, 122]);

  // Keys that are no key code of the kit's, and the modifiers alone.
  assert.deepStrictEqual(await keysSeen(record, async () => {
    for (const name of ["F1", "Backspace", "Comma", "Period", "Minus", "Slash", "Semicolon",
      "Shift", "Control"]) {
      await tap(page, name);
    }
    await tap(page, "Digit1", "Shift"); // '!'
  }), [[122, 0]]);
  await page.close();
});

test("modifiers count while their keys are down, not while toggled, and not after a blur", async () => {
  const record = await start("keys");
  const {page} = record;
  const from = record.console.length;
  // Each modifier is tapped twice, so one of the keys after it comes with its toggle bit set
  // whatever the bit was before; only the key pressed while it is held has the modifier.
  const keys = await keysSeen(record, async () => {
    await tap(page, "Shift");
    await tap(page, "KeyN");
    await tap(page, "Shift");
    await tap(page, "KeyN");
    await tap(page, "KeyN", "Shift");
    await tap(page, "Control");
    await tap(page, "ArrowLeft");
    await tap(page, "Control");
    await tap(page, "ArrowLeft");
    await tap(page, "ArrowLeft", "Control");
  });
  assert.deepStrictEqual(keys, [[110, 0], [110, 0], [78, SHIFT], [LEFT, 0], [LEFT, 0],
    [LEFT, CONTROL], [122, 0]]);
  const toggles = seen(record, "key", from).map((words) => words.slice(2));
  assert.notStrictEqual(toggles[0][0], toggles[1][0], "Shift's toggle bit never changed");
  assert.notStrictEqual(toggles[3][1], toggles[4][1], "Control's never changed");

  // A Shift held counts for every key after it; once the page has lost the focus, it is let go
  // (its release goes elsewhere), and the keys after the focus came back have no Shift.
  assert.deepStrictEqual(await keysSeen(record, () => page.evaluate(dispatchKeys, [
    ["keydown", "ShiftLeft", "Shift", true],
    ["keydown", "KeyN", "N", true],
    ["keyup", "KeyN", "N", true],
  ])), [[78, SHIFT], [122, SHIFT]]);
  assert.deepStrictEqual(await keysSeen(record, async () => {
    await page.evaluate(() => {
      window.dispatchEvent(new FocusEvent("blur"));
      window.dispatchEvent(new FocusEvent("focus"));
    });
    await page.evaluate(dispatchKeys, [["keydown", "KeyN", "n", false],
      ["keyup", "KeyN", "n", false]]);
  }), [[110, 0], [122, 0]]);
  await page.close();
});

// The marks ("bound" for a bound key's handler, "paint") from `from` on, as their letters, and
// the numbers of idle calls made before each.
function marks(record, from) {
  const lines = wordsFrom(record, from).filter((words) => words[0] === "bound" || words[0] === "paint");
  return {order: lines.map((words) => (words[0] === "bound" ? "K" : "P")).join(""),
    idleCalls: lines.map((words) => words[1])};
}

test("a bound key raises one paint before the next idle call, an unbound key none", async () => {
  const record = await start("paint");
  const {page} = record;
  const from = record.console.length;
  await tap(page, "KeyN");
  await keyArrived(record, 110, from);
  const bound = marks(record, from);
  assert.strictEqual(bound.order, "KP", "one paint after the bound key's handler");
  assert.strictEqual(bound.idleCalls[1], bound.idleCalls[0], "an idle call ran before the paint");

  // 'm' is bound to nothing, nor is 'z', which shows that the loop has gone on turning.
  const unbound = record.console.length;
  await tap(page, "KeyM");
  await keyArrived(record, 109, unbound);
  await tap(page, "KeyZ");
  await keyArrived(record, 122, unbound);
  assert.strictEqual(marks(record, unbound).order, "", "an unbound key asked for a paint");
  await page.close();
});

test("bound keys handled together share one paint after them", async () => {
  const record = await start("paint");
  const {page} = record;
  const from = record.console.length;
  const taps = [];
  for (let i = 0; i < 5; i++) taps.push(["keydown", "KeyN", "n", false], ["keyup", "KeyN", "n", false]);
  await page.evaluate(dispatchKeys, taps);
  const last = await waitForConsole(record, (lines) => seen(record, "key", from).length >= 5 &&
    lines.findLastIndex((line) => line.startsWith("key ")), "five keys");
  await waitForLine(record, /^idle /, last);
  const together = marks(record, from);
  assert.strictEqual(together.order, "KKKKKP");
  assert.ok(together.idleCalls.every((count) => count === together.idleCalls[0]),
    `idle calls between the keys and their paint: ${together.idleCalls}`);
  await page.close();
});

test("a key storm loses nothing and coalesces paints", async () => {
  const record = await start("paint");
  const {page} = record;
  const from = record.console.length;
  const keyCount = 400;
  const clickCount = 100;
  // Everything at once, keys and clicks interleaved, as input waits behind a slow frame.
  await page.evaluate((keyCount, clickCount) => {
    const canvas = document.getElementById("canvas");
    const box = canvas.getBoundingClientRect();
    // The canvas's pixel (20, 20), wherever the page has scaled the canvas to.
    const at = {clientX: box.left + 20.5 * box.width / canvas.width,
      clientY: box.top + 20.5 * box.height / canvas.height, bubbles: true, cancelable: true};
    for (let i = 0; i < keyCount; i++) {
      window.dispatchEvent(new KeyboardEvent("keydown", {code: "KeyA", key: "a"}));
      window.dispatchEvent(new KeyboardEvent("keyup", {code: "KeyA", key: "a"}));
      if (i < clickCount) {
        canvas.dispatchEvent(new MouseEvent("mousedown", {...at, button: 0, buttons: 1}));
        canvas.dispatchEvent(new MouseEvent("mouseup", {...at, button: 0, buttons: 0}));
      }
    }
  }, keyCount, clickCount);
  await waitForConsole(record, () => seen(record, "key", from).length >= keyCount &&
    seen(record, "up", from).length >= clickCount, `${keyCount} keys and ${clickCount} clicks`);
  await tap(page, "KeyZ");
  await keyArrived(record, 122, from);
  assert.strictEqual(seen(record, "key", from).length, keyCount + 1);
  assert.deepStrictEqual(seen(record, "down", from).length, clickCount);
  assert.deepStrictEqual(seen(record, "up", from).length, clickCount);
  assert.deepStrictEqual(seen(record, "binding", from).length, clickCount);
  assert.deepStrictEqual(seen(record, "down", from)[0], [20, 20, 1, 1]);
  // Every bound key asks for a redraw; the requests of keys handled together fold into one
  // paint, which waits until no input does: a paint per key, or anything near it, means they
  // were not coalesced or a paint went ahead of the input behind it.
  const paints = seen(record, "paint", from).length;
  console.log(`storm: ${paints} paints for ${keyCount} keys and ${clickCount} clicks`);
  assert.ok(paints >= 1 && paints <= keyCount / 10, `${paints} paints for ${keyCount} keys`);
  // The last release let the capture go.
  assert.strictEqual(seen(record, "up", from).at(-1)[3], 0);
  await page.close();
});

test("a long text typed into a busy loop arrives whole and in order", async () => {
  const record = await start("text");
  const alphabet = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789";
  let text = "";
  for (let i = 0; i < 600; i++) text += alphabet[(i * 7 + Math.floor(i / 41)) % alphabet.length];
  const from = record.console.length;
  // In a few goes, as the browser hands over what it has: each comes while the program is still
  // busy with the ones before it.
  for (let start = 0; start < text.length; start += 150) {
    await record.page.evaluate(dispatchKeys, typed(text.slice(start, start + 150)));
  }
  await waitForConsole(record, () => seen(record, "key", from).length >= text.length,
    `${text.length} keys`).catch(() => {}); // what did arrive is compared below
  const arrived = seen(record, "key", from).map(([code]) => String.fromCharCode(code)).join("");
  assert.strictEqual(arrived, text);
  await record.page.close();
});

// The canvas's pixel (x, y) as a point of the page: its top-left corner, so that a point left of
// or above the canvas is outside it too.
async function canvasPoint(page, x, y) {
  return page.evaluate((x, y) => {
    const canvas = document.getElementById("canvas");
    const box = canvas.getBoundingClientRect();
    return [box.left + x * box.width / canvas.width, box.top + y * box.height / canvas.height];
  }, x, y);
}

// Does `act`, then waits for the mouse line `wanted` ("move 10 20 0") from then on; gives its
// words after the kind.
async function mouseLine(record, act, wanted) {
  const from = record.console.length;
  await act();
  const at = await waitForLine(record, (line) => line.startsWith(`${wanted} `), from);
  return record.console[at].split(" ").slice(1).map(Number);
}

function mouseTo(record, x, y) {
  return async () => record.page.mouse.move(...await canvasPoint(record.page, x, y));
}

test("buttons and motion carry their buttons and held sums", async () => {
  const record = await start("mouse");
  const {page} = record;
  const from = record.console.length;
  await mouseLine(record, mouseTo(record, 10, 20), "move 10 20 0");
  await mouseLine(record, () => page.mouse.down({button: "left"}), "down 10 20 1");
  await mouseLine(record, () => page.mouse.down({button: "right"}), "down 10 20 2");
  const bindingsFrom = record.console.length;
  await mouseLine(record, mouseTo(record, 15, 25), "move 15 25 3");
  await mouseLine(record, () => page.mouse.down({button: "middle"}), "down 15 25 4");
  const held = await mouseLine(record, mouseTo(record, 16, 26), "move 16 26 7");
  await mouseLine(record, () => page.mouse.up({button: "left"}), "up 16 26 1");
  await mouseLine(record, () => page.mouse.up({button: "middle"}), "up 16 26 4");
  await mouseLine(record, mouseTo(record, 17, 27), "move 17 27 2");
  await mouseLine(record, () => page.mouse.up({button: "right"}), "up 17 27 2");
  await mouseLine(record, mouseTo(record, 18, 28), "move 18 28 0");

  assert.deepStrictEqual(seen(record, "down", from).map((words) => words.slice(0, 3)),
    [[10, 20, 1], [10, 20, 2], [15, 25, 4]]);
  assert.deepStrictEqual(seen(record, "up", from).map((words) => words.slice(0, 3)),
    [[16, 26, 1], [16, 26, 4], [17, 27, 2]]);
  assert.strictEqual(held[3], 1, "the window did not have the capture with buttons held");
  // The motion to (15, 25) with left and right held reached the left binding with button 1 and
  // the right binding with button 2, in binding order.
  assert.deepStrictEqual(seen(record, "binding", bindingsFrom).slice(0, 2),
    [[MOUSE_MOVE, 15, 25, 1, 0], [MOUSE_MOVE, 15, 25, 2, 0]]);
  await page.close();
});

test("capture keeps reporting outside the canvas while a button is held", async () => {
  const record = await start("mouse");
  const {page} = record;
  const from = record.console.length;
  await mouseLine(record, mouseTo(record, 5, 6), "move 5 6 0");
  await mouseLine(record, () => page.mouse.down({button: "left"}), "down 5 6 1");
  // A drag that leaves the canvas, above and left of it, then beside it in the page.
  await mouseLine(record, mouseTo(record, -30, -40), "move -30 -40 1");
  const beside = await mouseLine(record, mouseTo(record, 250, 170), "move 250 170 1");
  await mouseTo(record, -31, -41)();
  await mouseLine(record, () => page.mouse.up({button: "left"}), "up -31 -41 1");
  // No capture any more: motion outside the canvas is not the window's.
  await mouseTo(record, -32, -42)();
  await mouseLine(record, mouseTo(record, 3, 4), "move 3 4 0");
  assert.strictEqual(beside[3], 1, "the window did not have the capture");
  assert.deepStrictEqual(seen(record, "move", from).filter(([x]) => x === -32), []);
  assert.strictEqual(seen(record, "move", from).at(-1)[3], 0, "the capture outlived the button");
  await page.close();
});

test("the first reshape comes from the loop with the client size", async () => {
  const record = await start("reshape");
  const opened = record.console.indexOf("opened");
  // A handler set before the window exists sees its one WM_SIZE, sent when it is shown.
  assert.deepStrictEqual(record.console.slice(0, opened).filter((line) => line.startsWith("reshape")),
    ["reshape 320 240 while opening"]);
  assert.strictEqual(record.console.find((line, index) => index > opened && line.startsWith("reshape")),
    "reshape 320 240 after 0 idle calls");
  await record.page.close();
});

test("the default reshape sets the viewport to the client area", async () => {
  const record = await start("viewport", /^viewport /);
  // One unit per pixel, with the origin at the bottom left.
  assert.ok(record.console.includes("viewport 0 0 256 128 projection 0.0078125 0.015625 -1 -1"),
    record.console.join("\n"));
  await record.page.close();
});

test("redraw and realize requests wait at most once each", async () => {
  const record = await start("requests", /^requests painted /);
  const [[waiting, , ...posted]] = seen(record, "realize");
  assert.strictEqual(waiting, 1);
  assert.ok(posted.every((result) => result !== 0), `posted ${posted}`);
  assert.deepStrictEqual(seen(record, "requests"), [["painted", 1]]);
  await record.page.close();
});

test("a cleared idle handler makes the loop wait, and the page going away ends it", async () => {
  const record = await start("wait", /^idle 5, then waiting$/);
  const {page} = record;
  // The page's main thread over a second of waiting: a loop that polls instead keeps it busy.
  const before = await page.metrics();
  await new Promise((resolve) => setTimeout(resolve, 1000));
  const after = await page.metrics();
  const busy = after.TaskDuration - before.TaskDuration;
  console.log(`waiting: ${(busy * 1000).toFixed(1)} ms of the main thread's time in ` +
    `${((after.Timestamp - before.Timestamp) * 1000).toFixed(0)} ms`);
  assert.ok(busy < 0.25, `the loop did not wait: busy ${busy} s of a second`);

  // The tab going away is the window's close box: the window is destroyed and kitRun returns;
  // the tear-down empties the handler slots and leaves the binding tables.
  await page.evaluate(() => window.dispatchEvent(new PageTransitionEvent("pagehide")));
  await waitFor(page, () => document.body.dataset.exitCode !== undefined);
  assert.strictEqual(await page.evaluate(() => document.body.dataset.exitCode), "0");
  assert.ok(record.console.includes(
    "ended window 0 key handler 0 display 0 reshape 0 key bindings 2 idle calls 5"),
  record.console.join("\n"));
  await page.close();
});

test("Escape ends the program with exit code 0 after the binding made before it", async () => {
  const record = await start("escape");
  const {page} = record;
  await tap(page, "Escape");
  await waitFor(page, () => document.body.dataset.exitCode !== undefined);
  // The binding made after the kit's would have ended it with 3.
  assert.strictEqual(await page.evaluate(() => document.body.dataset.exitCode), "0");
  assert.ok(record.console.includes("client binding ran first"));
  await page.close();
});
