// The page's controls over Vireo: settings kept in the browser's storage,
// Process with the RL question after it, and Adjust network; a run's
// progress with Cancel beside it.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const STORE = 'vireo.settings';
  const TEMPLATE = 'vireo.template';
  let fieldFile = null;
  let lastRun = null;
  let lastNetwork = null;

  function stored() {
    try {
      return JSON.parse(localStorage.getItem(STORE) || '{}');
    } catch (e) {
      return {};
    }
  }

  function storedTemplate() {
    const kept = localStorage.getItem(TEMPLATE);
    if (!kept) return null;
    const {name, base64} = JSON.parse(kept);
    return {name, bytes: Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))};
  }

  function options() {
    const template = storedTemplate();
    return {settings: stored(), template: template ? template.bytes : undefined};
  }

  function busy(on) {
    for (const id of ['process', 'adjust-rl', 'adjust-network', 'save-settings'])
      $(id).disabled = on || (id === 'process' && !fieldFile);
    document.body.setAttribute('aria-busy', on ? 'true' : 'false');
  }

  // A run under way: the progress and Cancel under the section's button.
  let running = null;
  function runStarts(section) {
    running = section;
    busy(true);
    const box = $('progress-box');
    $(section === 'network' ? 'adjust-network' : 'process').after(box);
    $('progress').removeAttribute('value');
    $('progress-text').textContent = 'Starting…';
    box.hidden = false;
    $('cancel').focus();
  }

  // The focus goes back from Cancel to the button that started the run.
  function runEnds() {
    const focused = document.activeElement === $('cancel');
    const section = running;
    running = null;
    $('progress-box').hidden = true;
    busy(false);
    if (focused) $(section === 'network' ? 'adjust-network' : 'process').focus();
  }

  const phases = {
    reducing: () => 'Reducing and checking the levelling…',
    adjusting: () => 'Adjusting the network…',
    writing: () => (running === 'network' ? 'Writing the network workbook…'
                                          : 'Writing the report workbook and the level data file…'),
    reading: (p) => (running === 'network'
      ? (p.done ? `Reading input ${p.done} of ${p.total}: ${p.file}` : `Reading ${p.total} inputs…`)
      : 'Reading ' + (fieldFile ? fieldFile.name : 'the field data file') + '…'),
  };
  Vireo.onProgress((p) => {
    if (!running) return;
    $('progress-text').textContent = phases[p.phase](p);
    if (p.total) $('progress').value = p.done / p.total;
    else $('progress').removeAttribute('value');
  });

  function download(bytes, name, label) {
    const url = URL.createObjectURL(new Blob([bytes]));
    const a = document.createElement('a');
    a.href = url;
    a.download = name;
    a.textContent = label;
    return a;
  }

  // (Each box's own links: the other section's stay.)
  function clearDownloads(box) {
    for (const a of box.querySelectorAll('a')) URL.revokeObjectURL(a.href);
    box.textContent = '';
  }

  // Settings: the form shows what a fresh folder with the stored values
  // holds; Save checks each value through the core before keeping it.
  async function showSettings() {
    const s = await Vireo.settings(options());
    $('company').value = s.company || '';
    $('personnel').value = s.personnel || '';
    $('error-factor').value = s.errorFactor;
    const box = $('limits');
    box.textContent = '';
    for (const [key, value] of Object.entries(s.limits)) {
      const label = document.createElement('label');
      label.textContent = key.replace(/_/g, ' ') + ' ';
      const input = document.createElement('input');
      input.type = 'text';
      input.inputMode = 'decimal';
      input.dataset.key = 'check.' + key;
      input.value = value;
      label.appendChild(input);
      box.appendChild(label);
    }
    const template = storedTemplate();
    $('template-name').textContent = template ? 'Template: ' + template.name : 'Template: the bundled one';
  }

  async function saveSettings() {
    const values = {company: $('company').value, personnel: $('personnel').value,
                    'error-factor': $('error-factor').value};
    for (const input of $('limits').querySelectorAll('input')) values[input.dataset.key] = input.value;
    $('settings-status').textContent = '';
    busy(true);
    try {
      await Vireo.settings({settings: values});
      localStorage.setItem(STORE, JSON.stringify(values));
      $('settings-status').textContent = 'Settings saved in this browser.';
      $('settings-status').className = '';
    } catch (e) {
      $('settings-status').textContent = e.message;
      $('settings-status').className = 'error';
    } finally {
      busy(false);
    }
  }

  async function chooseTemplate(file) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000)
      text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    try {
      localStorage.setItem(TEMPLATE, JSON.stringify({name: file.name, base64: btoa(text)}));
      $('template-name').textContent = 'Template: ' + file.name;
    } catch (e) {
      $('template-name').textContent = file.name + ' is too large to keep in this browser';
    }
  }

  // A value as the command line's text shows it: numbers to 3 decimals.
  const shown = (v) => (v === null || v === undefined ? '' : typeof v === 'number' ? String(Math.round(v * 1000) / 1000) : v);
  // A check of a line has no set-up; a finding of the file's records says
  // what is wrong in place of a value and a limit.
  const cell = (f, key) =>
    key === 'setup' && f.setup === null ? 'line' : key === 'check' && f.finding ? f.check + ': ' + f.finding : shown(f[key]);

  function failedTable(failed) {
    const table = $('failed');
    const columns = [['setup', 'Set-up'], ['field_line', 'File line'], ['back', 'Back'],
                     ['fore', 'Fore'], ['check', 'Check'], ['value', 'Value'], ['limit', 'Limit']];
    let order = {key: null, up: true};
    const draw = () => {
      table.textContent = '';
      const head = table.insertRow();
      for (const [key, title] of columns) {
        const th = document.createElement('th');
        th.textContent = title;
        th.tabIndex = 0;
        th.scope = 'col';
        th.setAttribute('aria-sort', order.key === key ? (order.up ? 'ascending' : 'descending') : 'none');
        const sort = () => {
          order = {key, up: order.key === key ? !order.up : true};
          failed.sort((a, b) => (a[key] < b[key] ? -1 : a[key] > b[key] ? 1 : 0) * (order.up ? 1 : -1));
          draw();
        };
        th.onclick = sort;
        th.onkeydown = (e) => (e.key === 'Enter' || e.key === ' ') && (e.preventDefault(), sort());
        head.appendChild(th);
      }
      for (const f of failed) {
        const row = table.insertRow();
        for (const [key] of columns) row.insertCell().textContent = cell(f, key);
      }
    };
    draw();
    $('copy-failed').onclick = () => {
      const lines = [columns.map((c) => c[1]).join('\t')];
      for (const f of failed) lines.push(columns.map(([key]) => cell(f, key)).join('\t'));
      navigator.clipboard.writeText(lines.join('\n') + '\n');
    };
  }

  function showRun(r, name) {
    const j = r.json;
    const checks = j.checks;
    $('verdict').innerHTML = '';
    const verdict = document.createElement('span');
    verdict.className = checks.pass ? 'pass' : 'fail';
    verdict.textContent = (checks.pass ? 'Pass: ' : 'FAIL: ') + checks.verdict;
    $('verdict').appendChild(verdict);
    $('status').textContent = `Processed ${name}: ${j.setups} set-ups, ` +
      `misclose ${j.misclose_mm.toFixed(2)} mm (permissible ${j.permissible_error_mm.toFixed(2)} mm), ` +
      `${j.start_reference} RL ${j.start_rl.toFixed(3)} to ${j.end_reference} RL ${j.end_rl.toFixed(3)}.`;
    const box = $('downloads');
    clearDownloads(box);
    if (r.workbook) box.appendChild(download(r.workbook, j.base_name + '.xlsx', 'Download the report workbook'));
    box.append(' ');
    if (r.levelData) box.appendChild(download(r.levelData, 'SN_' + j.base_name + '.dat', 'Download the level data file'));
    $('failed-box').hidden = checks.failed.length === 0;
    failedTable(checks.failed);
    const warnings = j.warnings.map((w) => (w.line > 0 ? 'line ' + w.line + ': ' : '') + w.message);
    if (r.messages) warnings.push(r.messages);
    $('warnings-box').hidden = warnings.length === 0;
    $('warnings').textContent = '';
    for (const w of warnings) $('warnings').appendChild(document.createElement('li')).textContent = w;
    $('results').hidden = false;
    showProfile(r.workbook);
  }

  // The report's sheet "Profile", read back from the workbook just written.
  // (A line of many thousand set-ups takes seconds: the box says so.)
  async function showProfile(workbook) {
    $('profile-box').hidden = !workbook;
    if (!workbook) return;
    $('profile').textContent = 'Reading the profile from the report workbook…';
    try {
      const {points} = await Vireo.profile(workbook);
      VireoProfile.draw($('profile'), points);
      $('profile-box').hidden = points.length === 0;
    } catch (e) {
      $('profile-box').hidden = true;
      if (e.cancelled) return;
      $('warnings').appendChild(document.createElement('li')).textContent = 'The profile could not be drawn: ' + e.message;
      $('warnings-box').hidden = false;
    }
  }

  // Nothing of an earlier run stays offered while a run is under way, nor
  // after it failed or was cancelled.
  function processFails(message) {
    $('status').textContent = message;
    $('status').className = 'error';
    $('results').hidden = true;
    clearDownloads($('downloads'));
  }

  async function processFile(rl) {
    if (!fieldFile) return;
    processFails('');
    runStarts('process');
    $('status').textContent = 'Processing ' + fieldFile.name + '…';
    $('status').className = '';
    try {
      const bytes = new Uint8Array(await fieldFile.arrayBuffer());
      const r = await Vireo.process(bytes, fieldFile.name, Object.assign(options(), rl || {}));
      lastRun = r;
      showRun(r, fieldFile.name);
    } catch (e) {
      processFails(e.cancelled ? 'Cancelled: ' + fieldFile.name + ' was not processed; nothing was written.'
                               : e.message);
      return;
    } finally {
      runEnds();
    }
    $('status').className = '';
  }

  // The network form as a job file "vireo-cli adjust --job" reads, its
  // inputs beside it.
  function jobText(inputs) {
    const lines = inputs.map((f) => 'input = ' + f.name);
    for (const fixed of $('fixed').value.split('\n').map((l) => l.trim()).filter(Boolean))
      lines.push('benchmark = ' + fixed.replace('=', ', '));
    if ($('sigma-km').value.trim()) lines.push('sigma_km = ' + $('sigma-km').value.trim());
    if ($('network-name').value.trim()) lines.push('name = ' + $('network-name').value.trim());
    if ($('snoop').checked) lines.push('snoop = yes');
    return lines.join('\n') + '\n';
  }

  async function adjustNetwork() {
    const files = [...$('network-files').files];
    runStarts('network');
    $('network-status').textContent = 'Adjusting…';
    $('network-status').className = '';
    $('network-results').hidden = true;
    clearDownloads($('network-downloads'));
    try {
      const read = async (f) => ({name: f.name, bytes: new Uint8Array(await f.arrayBuffer())});
      const inputs = await Promise.all(files.filter((f) => !/\.job$/i.test(f.name)).map(read));
      const job = files.find((f) => /\.job$/i.test(f.name));
      const bench = $('benchmark-file').files[0];
      const r = await Vireo.adjust(inputs, Object.assign(options(), {
        job: job ? await read(job) : undefined,
        fixed: $('fixed').value.split('\n').map((l) => l.trim()).filter(Boolean),
        benchmarks: bench ? [await read(bench)] : [],
        sigmaKm: $('sigma-km').value.trim(), name: $('network-name').value.trim(),
        snoop: $('snoop').checked}));
      lastNetwork = r;
      const j = r.json;
      const test = j.chi_square;
      $('network-summary').textContent = `${j.points.length} points, ${j.sections.length} sections, ` +
        `${j.degrees_of_freedom} degrees of freedom; global test ` +
        (test ? (test.pass ? 'passed' : 'FAILED') : 'not made') + '.';
      const table = $('relevel');
      table.textContent = '';
      const suspects = (j.snooping || []).concat(j.snooping_suspects || []);
      if (suspects.length) {
        const head = table.insertRow();
        for (const t of ['Re-level: file', 'Line', 'From', 'To', 'w']) head.appendChild(document.createElement('th')).textContent = t;
        for (const s of suspects) {
          const row = table.insertRow();
          for (const v of [s.file, s.line, s.from, s.to, s.w.toFixed(2)]) row.insertCell().textContent = v;
        }
      }
      const box = $('network-downloads');
      clearDownloads(box);
      if (r.workbook) box.appendChild(download(r.workbook, (j.workbook || 'network.xlsx').split('/').pop(), 'Download the network workbook'));
      box.append(' ');
      box.appendChild(download(new TextEncoder().encode(jobText(inputs)), 'network.job', 'Save as a job file'));
      $('network-status').textContent = r.messages || 'Adjusted.';
      $('network-results').hidden = false;
    } catch (e) {
      $('network-status').textContent = e.cancelled ? 'Cancelled: the network was not adjusted; nothing was written.'
                                                     : e.message;
      $('network-status').className = 'error';
    } finally {
      runEnds();
    }
  }

  function chooseField(file) {
    fieldFile = file;
    $('process').disabled = !file;
    $('status').textContent = file ? file.name + ' chosen.' : '';
    $('status').className = '';
  }

  $('field-file').onchange = (e) => chooseField(e.target.files[0]);
  const drop = $('drop');
  drop.ondragover = (e) => (e.preventDefault(), drop.classList.add('over'));
  drop.ondragleave = () => drop.classList.remove('over');
  drop.ondrop = (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    if (e.dataTransfer.files.length) chooseField(e.dataTransfer.files[0]);
  };
  $('process').onclick = () => processFile();
  $('adjust-rl').onclick = () => processFile({startRl: $('start-rl').value.trim(), endRl: $('end-rl').value.trim()});
  $('save-settings').onclick = saveSettings;
  $('template').onchange = (e) => e.target.files[0] && chooseTemplate(e.target.files[0]);
  $('bundled-template').onclick = () => {
    localStorage.removeItem(TEMPLATE);
    $('template-name').textContent = 'Template: the bundled one';
  };
  $('adjust-network').onclick = adjustNetwork;
  $('cancel').onclick = () => Vireo.cancel();
  document.addEventListener('keydown', (e) => e.key === 'Escape' && running && Vireo.cancel());
  Vireo.ready().then(showSettings).then(() => {
    $('status').textContent = 'Ready: choose or drop a field data file.';
    $('adjust-network').disabled = false;
    busy(false);
  }, (e) => ($('status').textContent = 'The page could not start: ' + e.message));
  window.VireoPage = {lastRun: () => lastRun, lastNetwork: () => lastNetwork};
})();
