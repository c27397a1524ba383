// Prints the seconds each of RUNS (default 1) Vireo.process calls of FILE
// takes in the page (headless Chromium), one a line, the file read in the
// page beforehand.
//   node web-bench.mjs PAGE FILE [RUNS]
import {createRequire} from 'node:module';
import path from 'node:path';

const puppeteer = createRequire(process.env.VIREO_NODE_MODULES + '/')('puppeteer-core');
const [pagePath, file, runs = '1'] = process.argv.slice(2);
const browser = await puppeteer.launch({executablePath: '/usr/bin/chromium', headless: true,
                                        args: ['--no-sandbox', '--disable-dev-shm-usage']});
try {
  const page = await browser.newPage();
  await page.goto('file://' + path.resolve(pagePath));
  await page.waitForFunction(() => /Ready/.test(document.getElementById('status').textContent),
                             {timeout: 300000});
  await (await page.$('#field-file')).uploadFile(file);
  for (let run = 0; run < Number(runs); run++) {
    const seconds = await page.evaluate(async () => {
      const f = document.getElementById('field-file').files[0];
      const bytes = new Uint8Array(await f.arrayBuffer());
      const start = performance.now();
      await Vireo.process(bytes, f.name, {});
      return (performance.now() - start) / 1000;
    });
    console.log(seconds.toFixed(3));
  }
} finally {
  await browser.close();
}
