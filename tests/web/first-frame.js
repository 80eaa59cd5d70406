// Opens the game's page in headless Chromium and waits for its first frame: the field's navy
// border and its grey where the game draws them on its 1000 x 750 canvas, with no error in the
// page and none on its console. scripts/test-package runs it on the unpacked web zip, and
// scripts/play web on a machine with no display, to show the page there.
// Usage: node first-frame.js FOLDER|URL [SCREENSHOT.png]
//   FOLDER is a page's folder (index.html and the game's .js and .wasm), served here on
//   127.0.0.1; URL is a page served already. With SCREENSHOT.png, the page is saved there.
// Exits 0 when the frame is there; 1, saying what the page showed, when it is not.
"use strict";

const path = require("node:path");
const {serve, launchBrowser, openPage, waitForPixels} = require("./browser.js");

const FIELD = [
  {x: 40, y: 349, rgb: [0, 0, 128], what: "the left border"},
  {x: 500, y: 709, rgb: [0, 0, 128], what: "the bottom border"},
  {x: 500, y: 375, rgb: [102, 102, 102], what: "the field's grey"},
];
const SIZE = {width: 1000, height: 750};

async function main(where, screenshot) {
  let server;
  let address = where;
  if (!/^https?:\/\//.test(where)) {
    server = await serve([path.resolve(where)]);
    address = `http://127.0.0.1:${server.address().port}/index.html`;
  }
  const browser = await launchBrowser();
  const problems = [];
  try {
    const consoleErrors = [];
    const {page} = await openPage(browser, address, {
      viewport: SIZE,
      onConsole: (message) => {
        if (message.type() === "error") consoleErrors.push(message.text());
      },
    });
    const {drawn, seen, errors} = await waitForPixels(page, FIELD);
    if (!drawn) {
      FIELD.forEach((p, i) => {
        const got = seen ? JSON.stringify(seen[i]) : "no canvas";
        if (got !== JSON.stringify(p.rgb)) {
          problems.push(`${p.what} at (${p.x}, ${p.y}) is ${got}, not ${JSON.stringify(p.rgb)}`);
        }
      });
    }
    errors.forEach((e) => problems.push(`the page failed: ${e}`));
    consoleErrors.forEach((e) => problems.push(`the console says: ${e}`));
    const size = await page.evaluate(() => {
      const c = document.getElementById("canvas");
      return c && {width: c.width, height: c.height};
    });
    if (JSON.stringify(size) !== JSON.stringify(SIZE)) {
      problems.push(`the canvas is ${JSON.stringify(size)}, not ${JSON.stringify(SIZE)}`);
    }
    if (screenshot) {
      await page.screenshot({path: screenshot});
      console.log(`first-frame: the page as Chromium shows it is in ${screenshot}`);
    }
  } finally {
    await browser.close();
    if (server) server.close();
  }
  if (problems.length > 0) {
    console.error(`first-frame: ${address} does not show the game's field:`);
    problems.forEach((p) => console.error(`  ${p}`));
    return 1;
  }
  console.log(`first-frame: ${address} shows the game's field (${FIELD.map((p) => p.what).join(", ")})`);
  return 0;
}

if (process.argv.length < 3 || process.argv.length > 4) {
  console.error("usage: node first-frame.js FOLDER|URL [SCREENSHOT.png]");
  process.exit(2);
}
main(process.argv[2], process.argv[3]).then((code) => process.exit(code), (error) => {
  console.error(`first-frame: ${error.stack || error}`);
  process.exit(1);
});
