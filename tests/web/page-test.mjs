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

const bytesOf = (input) => ({name: path.basename(resolve(input)), bytes: [...fs.readFileSync(resolve(input))]});

function optionsOf(words, settings) {
  const options = {fixed: [], settings: {}};
  for (let i = 0; i < words.length; i++) {
    const w = words[i];
    if (w === '--start-rl') options.startRl = words[++i];
    else if (w === '--end-rl') options.endRl = words[++i];
    else if (w === '--fixed') options.fixed.push(words[++i]);
    else if (w === '--snoop') options.snoop = true;
    else if (w === '--job') options.job = bytesOf(words[++i]);
    else if (w !== '-') throw new Error('unknown option ' + w);
  }
  for (const setting of settings) {
    const [name, value] = [setting.slice(0, setting.indexOf('=')), setting.slice(setting.indexOf('=') + 1)];
    if (name === 'template') options.template = bytesOf(value).bytes;
    else options.settings[name] = value;
  }
  return options;
}

// A long open line of `setups` set-ups (back, fore, fore, back), a run of
// which lasts long enough to be cancelled while under way.
function longLine(setups) {
  const value = (kind, v) => (kind.padEnd(2) + v.padStart(15) + ' m').padEnd(22);
  const empty = ''.padEnd(22);
  let address = 0;
  const record = (middle, a = empty, b = empty, c = empty) =>
    `For M5|Adr${String(++address).padStart(6)}|${middle}|${a}|${b}|${c}|\r\n`;
  const at = (name, time = '        ') => 'KD1 ' + name.padStart(8) + '      ' + time + '    1';
  const name = (i) => (i === 0 ? 'BM1' : i === setups ? 'BM2' : 'TP' + i);
  const out = [record('TO  Project_11.DAT            '), record('TO  Start-Line       BFFB     1'),
               record(at(name(0)), empty, empty, value('Z', '100.00000'))];
  const [rb, rf, hd] = [value('Rb', '1.50000'), value('Rf', '1.49900'), value('HD', '30.000')];
  for (let i = 1; i <= setups; i++) {
    const [back, fore] = [at(name(i - 1), '08:00:00'), at(name(i), '08:00:00')];
    out.push(record(back, rb, hd), record(fore, rf, hd), record(fore, rf, hd), record(back, rb, hd),
             record(fore, empty, empty, value('Z', (100 + i / 1000).toFixed(5))));
  }
  out.push(record('TO  End-Line                  1'));
  return out.join('');
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
    const [name, command, inputs, words = '', settings = ''] = line.split('\t');
    const files = inputs.split(',').map(bytesOf);
    const options = optionsOf(words.split(' ').filter(Boolean), settings.split(' ').filter(Boolean));
    console.error('case ' + name);
    const result = await page.evaluate(async (command, files, options) => {
      const bytes = files.map((f) => ({name: f.name, bytes: new Uint8Array(f.bytes)}));
      if (options.template) options.template = new Uint8Array(options.template);
      if (options.job) options.job.bytes = new Uint8Array(options.job.bytes);
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

  // The progress a run shows, as the page's bar's label says it.
  const watchProgress = () => page.evaluate(() => {
    window.progressSeen = [];
    new MutationObserver(() => progressSeen.push(document.getElementById('progress-text').textContent))
      .observe(document.getElementById('progress-text'), {childList: true, characterData: true, subtree: true});
  });
  const progressSeen = () => page.evaluate(() => progressSeen);

  // A long run cancelled while it reduces: nothing offered, and the page
  // ready for the next run (the DNA03 job below).
  fs.writeFileSync(path.join(work, 'LONG_LINE.dat'), longLine(20000));
  await watchProgress();
  await (await page.$('#field-file')).uploadFile(path.join(work, 'LONG_LINE.dat'));
  // (Cancel is clicked in the page the moment the reducing shows.)
  await page.evaluate(() => new MutationObserver((_, observer) => {
    if (!/Reducing/.test(document.getElementById('progress-text').textContent)) return;
    observer.disconnect();
    document.getElementById('cancel').click();
  }).observe(document.getElementById('progress-text'), {childList: true, characterData: true, subtree: true}));
  await page.click('#process');
  await page.waitForFunction(() => !document.getElementById('process').disabled, {timeout: 120000});
  check((await progressSeen()).some((t) => /^Reading LONG_LINE\.dat/.test(t)), 'the reading is shown');
  const cancelled = await page.$eval('#status', (e) => e.textContent);
  check(/^Cancelled/.test(cancelled), 'the run is cancelled: ' + cancelled);
  check(await page.$$eval('#downloads a', (a) => a.length) === 0, 'nothing to download after Cancel');
  check(await page.$eval('#progress-box', (e) => e.hidden), 'no progress after Cancel');

  // The DNA03 job, then the RL question answered with a start RL.
  const real = resolve('@data/gsi/OSGeoLabBp_tutorials_test.gsi');
  await choose(real);
  const verdict = await page.$eval('#verdict', (e) => e.textContent);
  const expected = JSON.parse(fs.readFileSync(path.join(out, 'real-dna03', 'json'), 'utf8'));
  check(verdict.endsWith(expected.checks.verdict), 'the page shows the verdict: ' + verdict);
  check(await page.$$eval('#downloads a', (a) => a.length) === 2, 'two downloads after a run');
  // The profile: every set-up's fore point of the last line after its start.
  await page.waitForFunction(() => document.querySelector('#profile svg'), {timeout: 60000});
  const last = expected.checks.lines[expected.checks.lines.length - 1];
  const drawn = await page.$eval('#profile', (e) => e.getAttribute('aria-label'));
  check(drawn.startsWith(`Profile of the last line, ${last.start} to ${last.end}: ${last.setups + 1} points`),
        'the profile of every set-up: ' + drawn);
  if (screenshot) await page.screenshot({path: screenshot, fullPage: true});
  await page.type('#start-rl', '25.000');
  await page.click('#adjust-rl');
  await page.waitForFunction(() => !document.getElementById('process').disabled, {timeout: 120000});
  const adjusted = await page.evaluate(() => VireoPage.lastRun().jsonText);
  check(adjusted === fs.readFileSync(path.join(out, 'real-dna03-start-rl', 'json'), 'utf8'),
        'the RL question through the page gives the scripted result');

  // A network job with its inputs, through the page's form: each input's
  // progress, and the result the scripted job gave.
  await watchProgress();
  await (await page.$('#network-files')).uploadFile(
    path.join(work, 'network.job'), resolve('@samples/NETWORK_DAY1.dat'), resolve('@samples/NETWORK_DAY2_BLUNDER.gsi'));
  await page.type('#fixed', 'BM1=100');
  await page.click('#adjust-network');
  await page.waitForFunction(() => !document.getElementById('adjust-network').disabled, {timeout: 120000});
  check((await progressSeen()).includes('Reading input 2 of 2: NETWORK_DAY2_BLUNDER.gsi'),
        'each input of the network is shown: ' + (await progressSeen()).join(' | '));
  check(await page.evaluate(() => VireoPage.lastNetwork().jsonText) ===
        fs.readFileSync(path.join(out, 'network-job', 'json'), 'utf8'), 'the job through the form');

  // Settings: a refused value keeps nothing and says why; a saved one is
  // kept in the browser and shown again when the page opens.
  const limit = '#limits input[data-key="check.sight_length_m"]';
  const save = async (company, sight) => {
    await page.$eval('#company', (e, v) => (e.value = v), company);
    await page.$eval(limit, (e, v) => (e.value = v), sight);
    await page.click('#save-settings');
    await page.waitForFunction(() => document.getElementById('settings-status').textContent, {timeout: 60000});
    return page.evaluate(() => [document.getElementById('settings-status').textContent, localStorage.getItem('vireo.settings')]);
  };
  const [refusal, keptAfterRefusal] = await save('Tasman_Levels', '5000');
  check(refusal.endsWith('the sight_length_m must be a number from 0 to 1000, not "5000"') && keptAfterRefusal === null,
        'a limit out of range is refused: ' + refusal);
  await page.select('#error-factor', '6');
  const [saved] = await save('Tasman_Levels', '40');
  check(saved === 'Settings saved in this browser.', 'the settings are saved: ' + saved);
  await page.reload();
  await page.waitForFunction(() => /Ready/.test(document.getElementById('status').textContent), {timeout: 120000});
  check(await page.$eval('#company', (e) => e.value) === 'Tasman_Levels' &&
        await page.$eval(limit, (e) => e.value) === '40', 'the saved settings are shown again');

  // The surveyor's own template chosen once and kept: a run through the
  // buttons with it and the settings saved above.
  await (await page.$('#template')).uploadFile(path.join(work, 'OWN_TEMPLATE.xlsx'));
  await page.waitForFunction(() => /OWN_TEMPLATE/.test(document.getElementById('template-name').textContent));
  await choose(resolve('@samples/LOOP_BFFB.dat'));
  // (compare.py holds them against vireo-cli's own-settings case.)
  const own = await page.evaluate(() => {
    const r = VireoPage.lastRun();
    return {json: r.jsonText, workbook: [...r.workbook], level: [...r.levelData]};
  });
  const buttons = path.join(out, 'own-settings-buttons');
  fs.mkdirSync(buttons, {recursive: true});
  fs.writeFileSync(path.join(buttons, 'json'), own.json);
  fs.writeFileSync(path.join(buttons, 'workbook.xlsx'), Buffer.from(own.workbook));
  fs.writeFileSync(path.join(buttons, 'level.dat'), Buffer.from(own.level));

  check(requests.length === 0, 'no request left the page: ' + requests.join(', '));
} finally {
  await browser.close();
}
process.exit(failures ? 1 : 0);
