// Runs one analysis off the page's thread: the module is made, analyses
// the request the page posts, and reports progress now and then and the
// outcome once. The page ends a run by terminating this worker.
importScripts('ineqbf_web.js');

const moduleReady = createIneqbf();

onmessage = async (event) => {
  const q = event.data;
  let last = 0;
  const progress = (hypothesis, hypotheses, constraint, sampler, done, total) => {
    const now = Date.now();
    if (now - last < 100 && done < total) return;
    last = now;
    postMessage({ type: 'progress', hypothesis, hypotheses, constraint, sampler, done, total });
  };
  try {
    const m = await moduleReady;
    const out = m.analyse(q.input, q.hypotheses, q.names, q.seed, q.method, q.precision, progress);
    postMessage({ type: 'done', out });
  } catch (err) {
    postMessage({ type: 'failed', message: String(err && err.message ? err.message : err) });
  }
};
