// The page: reads the request from the form (or from the address's
// #input=…&method=… and starts at once), runs it in a worker, and shows
// the report, the table, the plots, and the message and warnings of a run
// that stopped.
'use strict';

const $ = (id) => document.getElementById(id);
let worker = null;
let uploaded = null;  // the bytes of an opened file, until the text is edited

// ---- input ----------------------------------------------------------------

function fromBase64url(text) {
  const b64 = text.replace(/-/g, '+').replace(/_/g, '/');
  const binary = atob(b64 + '='.repeat((4 - (b64.length % 4)) % 4));
  return Uint8Array.from(binary, (c) => c.charCodeAt(0));
}

// The values of a spreadsheet paste: rows of cells separated by tabs,
// blanks, commas or semicolons.
function cells(text) {
  return text.split(/\r?\n/).map((row) => row.split(/[\t ,;]+/).filter((c) => c !== '')).filter((r) => r.length);
}

// An Input.txt of the estimates and covariance, without constraint rows:
// the hypotheses give them. Values are written as typed, so that the
// program reads them as it would from a file.
function composedInput() {
  const means = cells($('estimates').value).flat();
  const rows = cells($('covariance').value);
  const npar = means.length;
  if (npar === 0) throw new Error('Give the estimates.');
  if (rows.length !== npar || rows.some((r) => r.length !== npar))
    throw new Error(`The covariance matrix must have ${npar} rows of ${npar} values, one per estimate.`);
  if ($('hypotheses').value.trim() === '') throw new Error('Give the hypotheses.');
  const lines = ['Number of parameters and of constraints', `${npar} 0`, 'Means', means.join(' '),
    'Covariance matrix', ...rows.map((r) => r.join(' ')), 'Constraints: coefficients, then right-hand side', ''];
  return new TextEncoder().encode(lines.join('\n'));
}

function request() {
  const mode = document.querySelector('input[name=mode]:checked').value;
  const input = mode === 'file' ? (uploaded || new TextEncoder().encode($('input-text').value)) : composedInput();
  const seed = Number($('seed').value);
  if (!Number.isInteger(seed) || seed < 1 || seed > 2147483646) throw new Error('The seed is a whole number from 1 to 2147483646.');
  const precision = Number($('precision').value);
  return { input, hypotheses: $('hypotheses').value.trim(), names: $('names').value.trim(), seed,
    method: $('method').value, precision: precision > 0 ? precision : 0 };
}

// ---- running --------------------------------------------------------------

function busy(on) {
  $('run').disabled = on;
  $('cancel').disabled = !on;
  $('form').setAttribute('aria-busy', String(on));
}

function clearResults() {
  for (const id of ['results', 'problem', 'notes']) $(id).hidden = true;
  $('report').removeAttribute('data-status');
  $('progress').value = 0;
}

function start() {
  let q;
  clearResults();
  try {
    q = request();
  } catch (e) {
    showProblem(e.message);
    return;
  }
  if (worker) worker.terminate();
  worker = new Worker('worker.js');
  busy(true);
  $('progress-text').textContent = 'Starting…';
  worker.onmessage = (event) => {
    const m = event.data;
    if (m.type === 'progress') return showProgress(m);
    finish();
    if (m.type === 'done') render(m.out);
    else showProblem('The analysis could not run: ' + m.message);
  };
  worker.onerror = (e) => {
    finish();
    showProblem('The analysis could not run: ' + (e.message || 'the module did not load'));
  };
  worker.postMessage(q);
}

function finish() {
  if (worker) worker.terminate();
  worker = null;
  busy(false);
}

function cancel() {
  finish();
  $('progress').value = 0;
  $('progress-text').textContent = 'Cancelled.';
}

function showProgress(p) {
  const part = p.total > 0 ? p.done / p.total : 0;
  $('progress').value = Math.min(1, part);
  const which = p.hypotheses > 1 ? `hypothesis ${p.hypothesis + 1} of ${p.hypotheses}, ` : '';
  $('progress-text').textContent = `${which}constraint ${p.constraint}, ${p.sampler === 0 ? 'fit' : 'complexity'}: ${Math.round(part * 100)} %`;
}

// ---- results --------------------------------------------------------------

function showProblem(message) {
  $('message').textContent = message;
  $('problem').hidden = false;
}

function showWarnings(list) {
  const ul = $('warnings');
  ul.replaceChildren(...list.map((w) => Object.assign(document.createElement('li'), { textContent: w })));
  $('notes').hidden = list.length === 0;
}

function downloadLink(a, text, type) {
  if (a.href.startsWith('blob:')) URL.revokeObjectURL(a.href);
  a.href = URL.createObjectURL(new Blob([text], { type }));
}

function render(out) {
  const doc = JSON.parse(out.json);
  const problem = doc.problems[0];
  $('progress').value = out.status === 0 ? 1 : 0;
  $('progress-text').textContent = out.status === 0 ? 'Done.' : `Stopped (status ${out.status}).`;
  if (out.status !== 0) showProblem(out.message || 'The analysis stopped.');
  showWarnings(out.warnings);
  const reports = out.reports.length ? out.reports : [''];
  $('report').textContent = reports[0];
  $('report').setAttribute('data-status', String(out.status));
  downloadLink($('download-report'), reports[0], 'text/plain');
  $('download-report').download = reports.length > 1 ? 'Output-1.txt' : 'Output.txt';
  $('download-report').textContent = `Download ${$('download-report').download}`;
  $('more-reports').replaceChildren(...reports.slice(1).map((r, i) => moreReport(r, i + 2)));
  downloadLink($('download-json'), out.json, 'application/json');
  $('console').textContent = out.console;
  const hs = problem.hypotheses || [];
  $('hypothesis-list').replaceChildren(...hs.map((h, i) => Object.assign(document.createElement('li'), {
    textContent: `${hs.length > 1 ? `H${i + 1}: ` : ''}${h.hypothesis}` })));
  Table.render($('table'), problem);
  $('plots').innerHTML = plotsOf(problem, out);
  $('results').hidden = false;
}

function moreReport(text, n) {
  const box = document.createElement('div');
  const h = Object.assign(document.createElement('h3'), { textContent: `Hypothesis ${n}: Output-${n}.txt` });
  const a = Object.assign(document.createElement('a'), { textContent: `Download Output-${n}.txt`, download: `Output-${n}.txt`, href: '#' });
  downloadLink(a, text, 'text/plain');
  const pre = Object.assign(document.createElement('pre'), { id: `report-${n}`, textContent: text, tabIndex: 0 });
  box.append(h, a, pre);
  return box;
}

const estimateOf = (e) => ({ value: e.value, lower: e.percentile_2_5, upper: e.percentile_97_5 });

function plotsOf(problem, out) {
  const hs = problem.hypotheses || [];
  const figure = (svg, caption) => (svg ? `<figure>${svg}<figcaption>${caption}</figcaption></figure>` : '');
  if (hs.length === 1) {
    const h = hs[0];
    const labels = h.constraints.map((c, i) => String(i + 1));
    const fit = Plots.bars('Fit and complexity per constraint', labels, [
      { label: 'fit', values: h.constraints.map((c) => c.fit) },
      { label: 'complexity', values: h.constraints.map((c) => c.complexity) }]);
    const reps = Plots.histogram('Distribution of the BFia replicates', out.bfia_replicates[0] || [], estimateOf(h.bf_ia));
    return figure(fit, 'Fit and complexity of each constraint, given the ones before it.') +
      figure(reps, 'BFia replicates, with the estimate and its 2.5 and 97.5 percentiles.');
  }
  if (!problem.comparison) return '';
  const names = hs.map((h, i) => `H${i + 1}`);
  const post = problem.comparison.posterior.map(estimateOf);
  const withU = problem.comparison.posterior_with_unconstrained.map(estimateOf);
  const svg = Plots.intervals('Posterior model probabilities', [...names, 'Hu'], [
    { label: 'without Hu', values: post },
    { label: 'with Hu', values: withU }]);
  return figure(svg, 'Posterior model probabilities with their 95% intervals, without and with the unconstrained hypothesis Hu.');
}

// ---- wiring ---------------------------------------------------------------

function setMode() {
  const mode = document.querySelector('input[name=mode]:checked').value;
  $('mode-file').hidden = mode !== 'file';
  $('mode-estimates').hidden = mode !== 'estimates';
}

async function openFile() {
  const file = $('input-file').files[0];
  if (!file) return;
  uploaded = new Uint8Array(await file.arrayBuffer());
  $('input-text').value = new TextDecoder().decode(uploaded);
}

// #input=<base64url of an Input.txt>&method=gibbs|integration: fill the
// form and start.
function fromAddress() {
  const params = new URLSearchParams(location.hash.slice(1));
  if (params.has('method')) $('method').value = params.get('method') === 'gibbs' ? 'gibbs' : 'integration';
  for (const key of ['hypotheses', 'names', 'seed', 'precision'])
    if (params.has(key)) $(key).value = params.get(key);
  if (!params.has('input')) return;
  try {
    // Plain base64 works too: its '+', read as a blank here, put back.
    uploaded = fromBase64url(params.get('input').replace(/ /g, '+'));
  } catch (e) {
    showProblem('The address holds no valid base64url input.');
    return;
  }
  $('input-text').value = new TextDecoder().decode(uploaded);
  start();
}

document.querySelectorAll('input[name=mode]').forEach((r) => r.addEventListener('change', setMode));
$('input-file').addEventListener('change', openFile);
$('input-text').addEventListener('input', () => { uploaded = null; });
$('form').addEventListener('submit', (e) => { e.preventDefault(); start(); });
$('cancel').addEventListener('click', cancel);
document.addEventListener('keydown', (e) => { if (e.key === 'Escape' && worker) cancel(); });
fromAddress();
