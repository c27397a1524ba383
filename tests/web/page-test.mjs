// Drives build-web/vireo.html in headless Chromium with networking off:
// every case of cases.txt through Vireo.process/Vireo.adjust, the DNA03
// job and a refused file through the page's buttons, and no request may
// leave the page. Writes what the page gave into OUT/<case>/ for
// compare.py; exits non-zero on a failed assertion.
//   node page-test.mjs PAGE CASES SAMPLES DATA WORK OUT [SCREENSHOT]
import {createRequire} from 'node:module';
import fs from 'node:fs';
import path from 'node:path';

const require = createRequire(process.env.VIREO_NODE_MODULES + '/');
const puppeteer = require('puppeteer-core');
const [page_, cases_, samples, data, work, out, screenshot] = process.argv.slice(2);
const roots = {'@samples': samples, '@data': data, '@work': work};
const resolve = (input) => input.replace(/^@\w+/, (root) => roots[root]);
let failures = 0;
const check = (ok, what) => {
  if (!ok) {
    failures++;
    console.error('FAIL: ' + what);
  }
};

function optionsOf(words) {
  const options = {fixed: []};
  for (let i = 0; i < words.length; i++) {
    const w = words[i];
    if (w === '--start-rl') options.startRl = words[++i];
    else if (w === '--end-rl') options.endRl = words[++i];
    else if (w === '--fixed') options.fixed.push(words[++i]);
    else if (w === '--snoop') options.snoop = true;
    else throw new Error('unknown option ' + w);
  }
  return options;
}

const browser = await puppeteer.launch({
  protocolTimeout: 600000,
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--allow-file-access-from-files=false', '--disable-dev-shm-usage'],
});
try {
  const page = await browser.newPage();
  const requests = [];
  await page.setRequestInterception(true);
  page.on('request', (r) => {
    const url = r.url();
    if (url.startsWith('file:') || url.startsWith('data:') || url.startsWith('blob:')) r.continue();
    else {
      requests.push(url);
      r.abort();
    }
  });
  page.on('console', (m) => process.env.VIREO_PAGE_LOG && console.error(m.text()));
  page.on('pageerror', (e) => check(false, 'page error: ' + e.message));
  await page.setOfflineMode(true);
  await page.setViewport({width: 1100, height: 1500});
  await page.goto('file://' + path.resolve(page_));
  await page.waitForFunction(() => /Ready/.test(document.getElementById('status').textContent),
                             {timeout: 120000});

  // The scripting interface, case by case.
  for (const line of fs.readFileSync(cases_, 'utf8').split('\n')) {
    if (!line.trim() || line.startsWith('#')) continue;
    const [name, command, inputs, words = ''] = line.split('\t');
    const files = inputs.split(',').map((i) => ({name: path.basename(resolve(i)),
                                                 bytes: [...fs.readFileSync(resolve(i))]}));
    const options = optionsOf(words.split(' ').filter(Boolean));
    console.error('case ' + name);
    const result = await page.evaluate(async (command, files, options) => {
      const bytes = files.map((f) => ({name: f.name, bytes: new Uint8Array(f.bytes)}));
      try {
        const r = command === 'process'
          ? await Vireo.process(bytes[0].bytes, bytes[0].name, options)
          : await Vireo.adjust(bytes, options);
        return {jsonText: r.jsonText, messages: r.messages,
                workbook: r.workbook && [...r.workbook], levelData: r.levelData && [...r.levelData]};
      } catch (e) {
        return {refused: e.message};
      }
    }, command, files, options);
    const folder = path.join(out, name);
    fs.mkdirSync(folder, {recursive: true});
    if (result.refused !== undefined) fs.writeFileSync(path.join(folder, 'refused'), result.refused + '\n');
    if (result.jsonText) fs.writeFileSync(path.join(folder, 'json'), result.jsonText);
    if (result.workbook) fs.writeFileSync(path.join(folder, 'workbook.xlsx'), Buffer.from(result.workbook));
    if (result.levelData) fs.writeFileSync(path.join(folder, 'level.dat'), Buffer.from(result.levelData));
    if (name === 'network-blunder')
      check(result.jsonText && JSON.parse(result.jsonText).snooping.length > 0, 'the blunder is found');
  }

  // The buttons: a refused file shows its message and offers nothing.
  const choose = async (file) => {
    const input = await page.$('#field-file');
    await input.uploadFile(file);
    await page.click('#process');
    await page.waitForFunction(() => !document.getElementById('process').disabled, {timeout: 120000});
  };
  await choose(resolve('@work/NOT_LEVELLING.dat'));
  const refused = await page.$eval('#status', (e) => e.textContent);
  check(refused === fs.readFileSync(path.join(out, 'refused', 'refused'), 'utf8').trim(),
        'the page shows the refusal: ' + refused);
  check(await page.$$eval('#downloads a', (a) => a.length) === 0, 'nothing to download after a refusal');

  // The DNA03 job, then the RL question answered with a start RL.
  const real = resolve('@data/gsi/OSGeoLabBp_tutorials_test.gsi');
  await choose(real);
  const verdict = await page.$eval('#verdict', (e) => e.textContent);
  const expected = JSON.parse(fs.readFileSync(path.join(out, 'real-dna03', 'json'), 'utf8'));
  check(verdict.endsWith(expected.checks.verdict), 'the page shows the verdict: ' + verdict);
  check(await page.$$eval('#downloads a', (a) => a.length) === 2, 'two downloads after a run');
  if (screenshot) await page.screenshot({path: screenshot, fullPage: true});
  await page.type('#start-rl', '25.000');
  await page.click('#adjust-rl');
  await page.waitForFunction(() => !document.getElementById('process').disabled, {timeout: 120000});
  const adjusted = await page.evaluate(() => VireoPage.lastRun().jsonText);
  check(adjusted === fs.readFileSync(path.join(out, 'real-dna03-start-rl', 'json'), 'utf8'),
        'the RL question through the page gives the scripted result');

  check(requests.length === 0, 'no request left the page: ' + requests.join(', '));
} finally {
  await browser.close();
}
process.exit(failures ? 1 : 0);
