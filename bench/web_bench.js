// The web table's measurements (scripts/bench web), in Debian's headless Chromium through the page
// tests' own support (tests/web/browser.js): the game's page beside the peer's (bench_web_peer),
// both in the game's own index.html, served from 127.0.0.1 cross-origin isolated (so that
// performance.now() has 5 us steps). Prints one line per run, for scripts/lib/bench-web.sh to
// take the medians of; nothing here is a test and no figure fails anything, but a peer that does
// not draw the game's first frame ends the run, since nothing could be compared with it.
//   first game|peer MS         navigation start to the first present of the field, a new
//                              browser context and no cache for each run
//   work game|peer US          the median frame work of one run (bench_kit work / the peer's
//                              frames), each frame to glFinish, one frame per animation frame
//   pace MEAN W_LOOP P99 N     one bench_kit pace run of 200 moves on the real clock
//   size game|peer BYTES       gzip -9 of index.html, NAME.js and NAME.wasm
//   differ PIXELS              pixels in which the peer's first frame is not the game's
// Usage: node bench/web_bench.js GAME_DIR BENCH_DIR PAGE_DIR REPEATS
"use strict";

const fs = require("node:fs");
const path = require("node:path");
const zlib = require("node:zlib");
const {serve, launchBrowser, openPage, firstFramePixels, differingPixels} =
  require("../tests/web/browser.js");

const [gameDir, benchDir, pageDir] = process.argv.slice(2, 5).map((dir) => path.resolve(dir));
const repeats = Number(process.argv[5] || 7);
const FRAMES = 100; // per work run: one per animation frame, so about 1.7 s
const WORK_RUNS = 5;
const PACE_RUNS = 3;
const MOVES = 200;
// The peer's picture is the game's, drawn another way: the few pixels that may differ are where
// a rasterizer's rounding decides (none were seen on SwiftShader).
const MOST_DIFFERING = 64;

let base;
let browser;

function gzipBytes(file) {
  return zlib.gzipSync(fs.readFileSync(file), {level: 9}).length;
}

// One program in a page of its own, in a browser context of its own (nothing shared with the run
// before: no cache, no compiled code), at the game's size.
async function visit(program, args, options = {}) {
  const context = await browser.createBrowserContext();
  const query = `?program=${program}` + (args ? `&args=${args}` : "");
  const opened = await openPage(context, base + query,
    Object.assign({viewport: {width: 1000, height: 750}, cache: false}, options));
  return Object.assign({context}, opened);
}

async function waitOrFail(page, condition, timeout, what) {
  try {
    await page.waitForFunction(`(${condition})() || window.pageErrors.length > 0 ||
      document.body.dataset.aborted !== undefined || document.body.dataset.loadFailed !== undefined`,
    {polling: 50, timeout});
  } catch (error) {
    throw new Error(`${what}: nothing after ${timeout / 1000} s`);
  }
  const state = await page.evaluate(() => ({errors: window.pageErrors,
    aborted: document.body.dataset.aborted, loadFailed: document.body.dataset.loadFailed}));
  if (state.errors.length > 0 || state.aborted || state.loadFailed) {
    throw new Error(`${what}: ${JSON.stringify(state)}`);
  }
}

// Navigation start to the first present of the field, in ms, and that frame's pixels.
async function firstFrame(program, keep) {
  const {context, page} = await visit(program, "", {firstFrame: true});
  await waitOrFail(page, () => window.firstFrame !== null, 60000, `${program}'s first frame`);
  const shown = await page.evaluate(() => window.firstFrame);
  const pixels = keep ? await page.evaluate(firstFramePixels) : null;
  await context.close();
  return {shown, pixels};
}

// Runs a benchmark program until it prints its line of figures, and gives that line. The peer
// runs on after it (its runtime stays); bench_kit ends, with exit code 0.
async function printed(program, args, timeout) {
  const {context, page, console} = await visit(program, args);
  const figures = () => console.find((text) => /^[0-9. ]+$/.test(text));
  const started = Date.now();
  while (!figures()) {
    const state = await page.evaluate(() => ({errors: window.pageErrors,
      exitCode: document.body.dataset.exitCode, aborted: document.body.dataset.aborted,
      loadFailed: document.body.dataset.loadFailed}));
    // The console's last lines may arrive a moment after the program's end.
    if (state.exitCode !== undefined) await new Promise((resolve) => setTimeout(resolve, 500));
    if (figures()) break;
    if (state.errors.length > 0 || state.exitCode !== undefined || state.aborted ||
        state.loadFailed) {
      throw new Error(`${program} ${args}: ${JSON.stringify(state)} ${console.join(" | ")}`);
    }
    if (Date.now() - started > timeout) {
      throw new Error(`${program} ${args}: no figures after ${timeout / 1000} s`);
    }
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  await context.close();
  return figures().trim();
}

async function main() {
  const server = await serve([pageDir, gameDir, benchDir], {isolated: true});
  base = `http://127.0.0.1:${server.address().port}/index.html`;
  browser = await launchBrowser();
  try {
    for (const name of ["wrendle", "bench_web_peer"]) {
      const dir = name === "wrendle" ? gameDir : benchDir;
      const files = [path.join(pageDir, "index.html"), path.join(dir, `${name}.js`),
        path.join(dir, `${name}.wasm`)];
      const bytes = files.reduce((sum, file) => sum + gzipBytes(file), 0);
      console.log(`size ${name === "wrendle" ? "game" : "peer"} ${bytes}`);
    }
    // The first page the browser shows WebGL in starts its GPU process; neither program should
    // pay for that, so one visit of each comes first and is not counted. It also checks that the
    // peer's picture is the game's.
    const game = await firstFrame("wrendle", true);
    const peer = await firstFrame("bench_web_peer", true);
    const differing = differingPixels(game.pixels, peer.pixels);
    const differ = differing ? differing.length : Infinity;
    console.log(`differ ${differ}`);
    if (differ > MOST_DIFFERING) {
      throw new Error(`the peer's first frame is not the game's (${differ} pixels differ)`);
    }
    for (let i = 0; i < repeats; i++) {
      console.log(`first game ${(await firstFrame("wrendle", false)).shown.toFixed(1)}`);
      console.log(`first peer ${(await firstFrame("bench_web_peer", false)).shown.toFixed(1)}`);
    }
    for (let i = 0; i < WORK_RUNS; i++) {
      console.log(`work game ${await printed("bench_kit", `work,${FRAMES}`, 60000)}`);
      console.log(`work peer ${await printed("bench_web_peer", `frames,${FRAMES}`, 60000)}`);
    }
    for (let i = 0; i < PACE_RUNS; i++) {
      console.log(`pace ${await printed("bench_kit", `pace,${MOVES}`, 120000)}`);
    }
  } finally {
    await browser.close();
    server.close();
  }
}

main().catch((error) => {
  console.error(`web_bench: ${error.message}`);
  process.exit(1);
});
