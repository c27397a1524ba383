// The page's worker: the command line's commands compiled into the page
// (VireoCore) run here, off the page's thread, so that a long run never
// blocks the tab and Cancel can end it (the page ends the worker). Each call
// lays out an application folder in memory, runs
// "vireo-cli process|adjust|settings ... --json" there and posts back its
// JSON and the files it wrote, and the run's progress while it lasts.
// Nothing leaves the page. vireo.js documents the calls.
//
// Messages in: {id, call: 'process'|'adjust'|'settings'|'profile'|'ready', args}.
// Messages out: {id, result} | {id, error} | {progress: {phase, done, total, file}}.
'use strict';

const VireoWorker = (() => {
  const HOME = '/vireo';
  let core = null;
  let queue = Promise.resolve();
  let errors = [];

  // The core's memory as bytes: copied to or from a file's bytes it is one
  // block move, where its signed view is converted byte by byte.
  const unsigned = (buffer) =>
    buffer instanceof Int8Array ? new Uint8Array(buffer.buffer, buffer.byteOffset, buffer.length) : buffer;

  // Files in memory, made quicker to write and read (their operations are
  // shared by every file in memory). A file grows by an eighth once past
  // 1 MB, copying all it holds each time: writing a workbook of 100,000
  // set-ups copied it some thirty times over. Its capacity is doubled ahead
  // of the write instead.
  function quickerFiles(m) {
    const probe = m.FS.open('/work/.probe', 'w');
    const ops = probe.stream_ops;
    m.FS.close(probe);
    m.FS.unlink('/work/.probe');
    const {read, write} = ops;
    ops.write = function (stream, buffer, offset, length, position, canOwn) {
      const node = stream.node;
      const needed = position + length;
      if (node.contents && node.contents.subarray && node.usedBytes && needed > node.contents.length) {
        const grown = new Uint8Array(Math.max(needed, 2 * node.contents.length));
        grown.set(node.contents.subarray(0, node.usedBytes));
        node.contents = grown;
      }
      return write.call(this, stream, unsigned(buffer), offset, length, position, canOwn);
    };
    ops.read = function (stream, buffer, ...rest) {
      return read.call(this, stream, unsigned(buffer), ...rest);
    };
  }

  function loadCore() {
    if (!core) {
      core = VireoCore({
        // The command line's own count of a network's inputs is for a
        // terminal (the core's standard error is one) and may share a line
        // with a message after it; the page counts them itself.
        printErr: (line) => {
          const message = line.replace(/\rreading the inputs: \d+ of \d+/g, '');
          if (message) errors.push(message);
        },
      }).then((m) => {
        // The command line finds its own folder from /proc/self/exe.
        m.FS.symlink(HOME + '/vireo-cli', '/proc/self/exe');
        m.FS.mkdir('/work');
        m.ccall('vireo_buffer_stdout', null, [], []);
        quickerFiles(m);
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

  const progress = (phase, done, total, file) => postMessage({progress: {phase, done, total, file}});

  // The run's phases, seen in the files the core opens and closes: the
  // field file read ('reading'), then reduced and checked ('reducing'),
  // then the next file opened is the report's template or an output
  // ('writing').
  function processPhases(field) {
    let phase = 'reading';
    progress(phase, 0, 3);
    return {
      open(path) {
        if (phase === 'reducing' && path !== field) progress((phase = 'writing'), 2, 3);
      },
      close(path) {
        if (phase === 'reading' && path === field) progress((phase = 'reducing'), 1, 3);
      },
    };
  }

  // A network's inputs one by one as the core reads them, then the
  // adjustment, then the workbook.
  function adjustPhases(inputs) {
    const all = new Set(inputs), left = new Set(inputs);
    let phase = 'reading';
    progress(phase, 0, inputs.length);
    return {
      open(path) {
        if (left.delete(path))
          progress('reading', inputs.length - left.size, inputs.length, path.split('/').pop());
        else if (phase === 'adjusting') progress((phase = 'writing'), 1, 1);
      },
      close(path) {
        if (phase === 'reading' && !left.size && all.has(path))
          progress((phase = 'adjusting'), 0, 1);
      },
    };
  }

  // The core's file system calls the watcher while a run lasts.
  function watched(m, watcher) {
    const {open, close} = m.FS;
    m.FS.open = function (path, ...rest) {
      const stream = open.call(this, path, ...rest);
      watcher.open(stream.path);
      return stream;
    };
    m.FS.close = function (stream) {
      const path = stream.path;
      close.call(this, stream);
      watcher.close(path);
    };
    return () => Object.assign(m.FS, {open, close});
  }

  // The command's standard output, kept in the pieces the core writes
  // (a block of its buffer each) and joined into bytes at the end.
  function capturedOutput(m) {
    const stream = m.FS.getStream(1);
    const ops = stream.stream_ops;
    const pieces = [];
    stream.stream_ops = Object.assign({}, ops, {
      write: (s, buffer, offset, length) => {
        pieces.push(unsigned(buffer).slice(offset, offset + length));
        return length;
      },
    });
    return () => {
      m.ccall('vireo_flush_stdout', null, [], []);
      stream.stream_ops = ops;
      const all = new Uint8Array(pieces.reduce((n, piece) => n + piece.length, 0));
      let at = 0;
      for (const piece of pieces) {
        all.set(piece, at);
        at += piece.length;
      }
      return all;
    };
  }

  function run(m, args, watcher) {
    errors = [];
    let status;
    const unwatch = watcher ? watched(m, watcher) : () => {};
    const output = capturedOutput(m);
    let stdout = new Uint8Array(0);
    try {
      status = m.callMain(args);
    } catch (e) {
      if (e && e.name === 'ExitStatus') status = e.status;
      else {
        // The core stopped (out of memory, say): the next call loads it afresh.
        core = null;
        throw new Error('The run stopped: ' + (e && e.message ? e.message : String(e)));
      }
    } finally {
      unwatch();
      if (core) stdout = output();
    }
    return {status, stdout, stderr: errors.join('\n')};
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

  const text = (bytes) => new TextDecoder().decode(bytes);

  // The run's JSON goes to the page as bytes, handed over without a copy
  // and read there once: as a parsed object, 100,000 set-ups took longer to
  // hand over than to parse.
  function finished(r) {
    if (r.status === 2 || !r.stdout.length) throw new Error(r.stderr || 'the run did not finish');
    return {jsonBytes: r.stdout, status: r.status, messages: r.stderr};
  }

  // The file a top-level member of the JSON names. The command line prints
  // those one to a line, two blanks in, and no text in JSON holds a line
  // break, so the member's line is the first to begin so.
  function outputNamed(m, result, key) {
    const bytes = result.jsonBytes;
    const start = new TextEncoder().encode('\n  "' + key + '": ');
    const isStart = (at) => {
      if (bytes[at + 3] !== 34 || bytes[at + 2] !== 32) return false;  // '  "' and no more blanks
      for (let i = 4; i < start.length; i++) if (bytes[at + i] !== start[i]) return false;
      return true;
    };
    for (let at = bytes.indexOf(10); at >= 0; at = bytes.indexOf(10, at + 1)) {
      if (!isStart(at)) continue;
      const from = at + start.length;
      const to = bytes.indexOf(10, from);
      return readIfThere(m, JSON.parse(text(bytes.subarray(from, to < 0 ? bytes.length : to)).replace(/,$/, '')));
    }
    return null;
  }

  function process(bytes, fileName, options = {}) {
    return serially((m) => {
      prepareHome(m, options);
      const path = HOME + '/Field Data/' + fileNameOf(fileName, 'field.dat');
      m.FS.writeFile(path, bytes, {canOwn: bytes instanceof Uint8Array});  // the worker's own copy
      const args = ['process', path, '--json', '--home', HOME];
      if (options.startRl !== undefined && options.startRl !== null && options.startRl !== '') {
        args.push('--start-rl', String(options.startRl));
        if (options.endRl !== undefined && options.endRl !== null && options.endRl !== '')
          args.push('--end-rl', String(options.endRl));
      }
      const result = finished(run(m, args, processPhases(path)));
      result.workbook = outputNamed(m, result, 'workbook');
      result.levelData = outputNamed(m, result, 'level_data_file');
      return result;
    });
  }

  function adjust(files, options = {}) {
    return serially((m) => {
      prepareHome(m, options);
      const folder = HOME + '/Inputs';
      m.FS.mkdir(folder);
      const put = (file, fallback) => {
        const path = folder + '/' + fileNameOf(file.name, fallback);
        m.FS.writeFile(path, file.bytes);
        return path;
      };
      const args = ['adjust'];
      const wanted = new Map();
      if (options.job) {
        // The job's inputs lie where it names them, relative to it: each
        // file given with it goes there, matched by its name.
        const text = new TextDecoder().decode(options.job.bytes);
        for (const [, where] of text.matchAll(/^\s*input\s*=\s*(.+?)\s*$/gm))
          if (!where.startsWith('/') && !where.split(/[\\/]/).includes('..'))
            wanted.set(fileNameOf(where), where.replace(/\\/g, '/'));
        for (const file of files || []) {
          const where = wanted.get(fileNameOf(file.name));
          if (!where) continue;
          const parts = where.split('/');
          for (let i = 1; i < parts.length; i++) m.FS.mkdirTree(folder + '/' + parts.slice(0, i).join('/'));
          m.FS.writeFile(folder + '/' + where, file.bytes);
        }
        args.push('--job', put(options.job, 'network.job'));
        files = (files || []).filter((file) => !wanted.has(fileNameOf(file.name)));
      }
      const listed = [];
      for (const file of files || []) listed.push(put(file, 'input.dat'));
      args.push(...listed);
      for (const f of options.fixed || []) args.push('--fixed', String(f));
      for (const b of options.benchmarks || []) args.push('--benchmarks', put(b, 'benchmarks.csv'));
      if (options.sigmaKm) args.push('--sigma-km', String(options.sigmaKm));
      if (options.name) args.push('--name', String(options.name));
      if (options.alpha) args.push('--alpha', String(options.alpha));
      if (options.snoop) args.push('--snoop');
      args.push('--json', '--home', HOME);
      const inputs = listed.concat([...wanted.values()].map((where) => folder + '/' + where));
      const result = finished(run(m, args, adjustPhases(inputs)));
      result.workbook = outputNamed(m, result, 'workbook');
      return result;
    });
  }

  // The settings a fresh folder gets from `options`, as "vireo-cli settings" prints them.
  function settings(options = {}) {
    return serially((m) => {
      prepareHome(m, options);
      const r = run(m, ['settings', '--home', HOME]);
      if (r.status !== 0) throw new Error(r.stderr);
      const stdout = text(r.stdout);
      const value = (label) => (stdout.match(new RegExp('^' + label + ':\\s*(.*)$', 'm')) || [])[1];
      const limits = {};
      for (const [, key, limit] of stdout.matchAll(/^ {2}check\.(\S+)\s+(\S+)$/gm)) limits[key] = limit;
      return {company: value('company'), personnel: value('personnel'),
              errorFactor: value('error factor'), limits, warnings: r.stderr};
    });
  }

  // The profile of a report workbook's sheet "Profile": {points}.
  function profile(workbook) {
    return serially((m) => {
      const path = '/work/profile.xlsx';
      m.FS.writeFile(path, workbook);
      errors = [];
      const text = m.ccall('vireo_profile', 'string', ['string'], [path]);
      m.FS.unlink(path);
      if (!text) throw new Error(errors.join('\n') || 'the workbook could not be read');
      return JSON.parse(text);
    });
  }

  return {process, adjust, settings, profile, ready: () => serially(() => true)};
})();

// The files a result carries go to the page without a copy.
onmessage = async ({data: {id, call, args}}) => {
  try {
    const result = await VireoWorker[call](...args);
    const moved = ['workbook', 'levelData', 'jsonBytes'].map((k) => result && result[k]).filter(Boolean);
    postMessage({id, result}, moved.map((bytes) => bytes.buffer));
  } catch (e) {
    postMessage({id, error: e && e.message ? e.message : String(e)});
  }
};
