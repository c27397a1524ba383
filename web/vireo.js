// The scripting interface of the page. The command line's commands,
// compiled into the page, run in a worker (worker.js): each call runs
// "vireo-cli process|adjust ... --json" there on a file system in memory and
// hands back its JSON and the files it wrote. Nothing leaves the page.
//
//   await Vireo.process(bytes, fileName, options) -> {json, jsonText, status, messages,
//                                                      workbook, levelData}
//   await Vireo.adjust(files, options)           -> {json, jsonText, status, messages, workbook}
//   await Vireo.settings(options)                -> {company, personnel, errorFactor, limits}
//   await Vireo.profile(workbook)                -> {points: [{point, distance, cal, adj}]}
//   Vireo.cancel()        ends the run under way: its promise, and those of the calls
//                         waiting behind it, reject with an error whose `cancelled` is true
//   Vireo.onProgress(fn)  fn({phase, done, total, file}) while a run lasts: phase
//                         'reading' (a network's inputs one by one: done of total, file),
//                         'reducing', 'adjusting', 'writing'
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
  // The worker's script is the page's own: the core and worker.js, kept in
  // a script element the page does not run. A URL of a Blob serves it from
  // disk too, with nothing fetched.
  const source = URL.createObjectURL(
    new Blob([document.getElementById('vireo-worker').textContent], {type: 'text/javascript'}));
  let worker = null;
  let nextId = 1;
  const waiting = new Map();
  const listeners = new Set();

  function stopped(message, cancelled) {
    const error = new Error(message);
    error.cancelled = cancelled;
    for (const {reject} of waiting.values()) reject(error);
    waiting.clear();
    if (worker) worker.terminate();
    worker = null;
  }

  // A run's JSON comes as bytes (see worker.js) and is read here.
  function withJson(result) {
    if (result && result.jsonBytes) {
      result.jsonText = new TextDecoder().decode(result.jsonBytes);
      result.json = JSON.parse(result.jsonText);
      delete result.jsonBytes;
    }
    return result;
  }

  function started() {
    if (worker) return worker;
    worker = new Worker(source);
    worker.onmessage = ({data}) => {
      if (data.progress) {
        for (const listener of listeners) listener(data.progress);
        return;
      }
      const call = waiting.get(data.id);
      if (!call) return;
      waiting.delete(data.id);
      if ('error' in data) call.reject(new Error(data.error));
      else call.resolve(withJson(data.result));
    };
    // The core itself failed (out of memory, say): every call under way
    // fails with the browser's message and the next call starts afresh.
    worker.onerror = (e) => {
      e.preventDefault();
      stopped('The run stopped: ' + (e.message || 'the core failed'), false);
    };
    return worker;
  }

  function call(name, ...args) {
    return new Promise((resolve, reject) => {
      const id = nextId++;
      waiting.set(id, {resolve, reject});
      started().postMessage({id, call: name, args});
    });
  }

  return {
    process: (bytes, fileName, options = {}) => call('process', bytes, fileName, options),
    adjust: (files, options = {}) => call('adjust', files, options),
    settings: (options = {}) => call('settings', options),
    profile: (workbook) => call('profile', workbook),
    ready: () => call('ready'),
    cancel: () => {
      if (waiting.size) stopped('Cancelled', true);
      started();  // the next run's core, loading meanwhile
    },
    onProgress: (listener) => listeners.add(listener),
  };
})();
