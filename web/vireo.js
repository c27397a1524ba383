// The scripting interface of the page, over the command line's own commands
// compiled into the page (VireoCore): each call lays out an application
// folder in memory, runs "vireo-cli process|adjust ... --json" there and
// hands back its JSON and the files it wrote. Nothing leaves the page.
//
//   await Vireo.process(bytes, fileName, options) -> {json, jsonText, status, messages,
//                                                      workbook, levelData}
//   await Vireo.adjust(files, options)           -> {json, jsonText, status, messages, workbook}
//   await Vireo.settings(options)                -> {company, personnel, errorFactor, limits}
//
// bytes: a Uint8Array; files: [{name, bytes}]. options:
//   settings   {company, personnel, "error-factor", "check.<limit>": value}: as "vireo-cli set"
//   template   the bytes of the surveyor's own report template (default: the bundled one)
//   startRl, endRl (process): the answer to the RL question, as --start-rl/--end-rl
//   fixed ["NAME=HEIGHT"], benchmarks [{name, bytes}], sigmaKm, name, alpha, snoop,
//   job {name, bytes} (adjust): as the options of "vireo-cli adjust"
// A refused input or setting rejects with the command line's message; the
// exit status of a run that finished is `status` (1: an output was not
// written, its reason in `messages`).
'use strict';

const Vireo = (() => {
  const HOME = '/vireo';
  let core = null;
  let queue = Promise.resolve();
  let printed = [];
  let errors = [];

  function loadCore() {
    if (!core) {
      core = VireoCore({
        print: (line) => printed.push(line),
        printErr: (line) => errors.push(line),
      }).then((m) => {
        // The command line finds its own folder from /proc/self/exe.
        m.FS.symlink(HOME + '/vireo-cli', '/proc/self/exe');
        m.FS.mkdir('/work');
        if (m.ccall('vireo_write_default_template', 'number', ['string'],
                    ['/defaults/Existing.xlsx']) !== 0)
          throw new Error(errors.join('\n'));
        return m;
      });
    }
    return core;
  }

  // One command at a time: the calls share the file system in memory.
  function serially(work) {
    const next = queue.then(() => loadCore()).then(work);
    queue = next.catch(() => {});
    return next;
  }

  function run(m, args) {
    printed = [];
    errors = [];
    let status;
    try {
      status = m.callMain(args);
    } catch (e) {
      if (e && e.name === 'ExitStatus') status = e.status;
      else throw e;
    }
    return {status, stdout: printed.length ? printed.join('\n') + '\n' : '',
            stderr: errors.join('\n')};
  }

  function removeTree(m, path) {
    if (!m.FS.analyzePath(path).exists) return;
    if (m.FS.isDir(m.FS.stat(path).mode)) {
      for (const name of m.FS.readdir(path))
        if (name !== '.' && name !== '..') removeTree(m, path + '/' + name);
      m.FS.rmdir(path);
    } else {
      m.FS.unlink(path);
    }
  }

  function fileNameOf(name, fallback) {
    const base = String(name || '').split(/[\\/]/).pop();
    return base && base !== '.' && base !== '..' ? base : fallback;
  }

  function readIfThere(m, path) {
    return path && m.FS.analyzePath(path).exists ? m.FS.readFile(path) : null;
  }

  // A fresh application folder: the bundled control file, the template,
  // then each setting through "vireo-cli set" (its ranges and messages).
  function prepareHome(m, options) {
    removeTree(m, HOME);
    m.FS.mkdir(HOME);
    m.FS.mkdir(HOME + '/Field Data');
    m.FS.writeFile(HOME + '/ctlini.dat', m.FS.readFile('/defaults/ctlini.dat'));
    m.FS.writeFile(HOME + '/Existing.xlsx',
                   options.template || m.FS.readFile('/defaults/Existing.xlsx'));
    for (const [name, value] of Object.entries(options.settings || {})) {
      if (value === undefined || value === null) continue;
      const r = run(m, ['set', name, String(value), '--home', HOME]);
      if (r.status !== 0) throw new Error(r.stderr || 'the setting ' + name + ' was refused');
    }
  }

  function finished(r) {
    if (r.status === 2 || !r.stdout) throw new Error(r.stderr || 'the run did not finish');
    return {json: JSON.parse(r.stdout), jsonText: r.stdout, status: r.status, messages: r.stderr};
  }

  function process(bytes, fileName, options = {}) {
    return serially((m) => {
      prepareHome(m, options);
      const path = HOME + '/Field Data/' + fileNameOf(fileName, 'field.dat');
      m.FS.writeFile(path, bytes);
      const args = ['process', path, '--json', '--home', HOME];
      if (options.startRl !== undefined && options.startRl !== null && options.startRl !== '') {
        args.push('--start-rl', String(options.startRl));
        if (options.endRl !== undefined && options.endRl !== null && options.endRl !== '')
          args.push('--end-rl', String(options.endRl));
      }
      const result = finished(run(m, args));
      result.workbook = readIfThere(m, result.json.workbook);
      result.levelData = readIfThere(m, result.json.level_data_file);
      return result;
    });
  }

  function adjust(files, options = {}) {
    return serially((m) => {
      prepareHome(m, options);
      const inputs = HOME + '/Inputs';
      m.FS.mkdir(inputs);
      const put = (file, fallback) => {
        const path = inputs + '/' + fileNameOf(file.name, fallback);
        m.FS.writeFile(path, file.bytes);
        return path;
      };
      const args = ['adjust'];
      if (options.job) {
        // The job's inputs lie where it names them, relative to it: each
        // file given with it goes there, matched by its name.
        const wanted = new Map();
        const text = new TextDecoder().decode(options.job.bytes);
        for (const [, where] of text.matchAll(/^\s*input\s*=\s*(.+?)\s*$/gm))
          if (!where.startsWith('/') && !where.split(/[\\/]/).includes('..'))
            wanted.set(fileNameOf(where), where.replace(/\\/g, '/'));
        for (const file of files || []) {
          const where = wanted.get(fileNameOf(file.name));
          if (!where) continue;
          const parts = where.split('/');
          for (let i = 1; i < parts.length; i++) m.FS.mkdirTree(inputs + '/' + parts.slice(0, i).join('/'));
          m.FS.writeFile(inputs + '/' + where, file.bytes);
        }
        args.push('--job', put(options.job, 'network.job'));
        files = (files || []).filter((file) => !wanted.has(fileNameOf(file.name)));
      }
      for (const file of files || []) args.push(put(file, 'input.dat'));
      for (const f of options.fixed || []) args.push('--fixed', String(f));
      for (const b of options.benchmarks || []) args.push('--benchmarks', put(b, 'benchmarks.csv'));
      if (options.sigmaKm) args.push('--sigma-km', String(options.sigmaKm));
      if (options.name) args.push('--name', String(options.name));
      if (options.alpha) args.push('--alpha', String(options.alpha));
      if (options.snoop) args.push('--snoop');
      args.push('--json', '--home', HOME);
      const result = finished(run(m, args));
      result.workbook = readIfThere(m, result.json.workbook);
      return result;
    });
  }

  // The settings a fresh folder gets from `options`, as "vireo-cli settings" prints them.
  function settings(options = {}) {
    return serially((m) => {
      prepareHome(m, options);
      const r = run(m, ['settings', '--home', HOME]);
      if (r.status !== 0) throw new Error(r.stderr);
      const value = (label) => (r.stdout.match(new RegExp('^' + label + ':\\s*(.*)$', 'm')) || [])[1];
      const limits = {};
      for (const [, key, limit] of r.stdout.matchAll(/^ {2}check\.(\S+)\s+(\S+)$/gm)) limits[key] = limit;
      return {company: value('company'), personnel: value('personnel'),
              errorFactor: value('error factor'), limits, warnings: r.stderr};
    });
  }

  return {process, adjust, settings, ready: () => serially(() => true)};
})();
