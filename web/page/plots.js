// The plots of a result as SVG text: fits against complexities per
// constraint, the BFia replicates with their interval, and posterior model
// probabilities with their intervals.
'use strict';

const Plots = (() => {
  const W = 480, H = 280, M = { left: 48, right: 12, top: 14, bottom: 40 };
  const COLOURS = ['#0b5cad', '#d9730d', '#2b8a3e'];

  const esc = (s) => String(s).replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' }[c]));
  const num = (x) => Number(x.toFixed(2));

  function frame(title, body, yTicks, yOf) {
    let s = `<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 ${W} ${H}" role="img"><title>${esc(title)}</title>`;
    s += `<line x1="${M.left}" y1="${H - M.bottom}" x2="${W - M.right}" y2="${H - M.bottom}" stroke="#57606a"/>`;
    s += `<line x1="${M.left}" y1="${M.top}" x2="${M.left}" y2="${H - M.bottom}" stroke="#57606a"/>`;
    for (const t of yTicks) {
      const y = num(yOf(t));
      s += `<line x1="${M.left - 4}" y1="${y}" x2="${W - M.right}" y2="${y}" stroke="#eaeef2"/>`;
      s += `<text x="${M.left - 6}" y="${y + 4}" font-size="11" text-anchor="end">${esc(t)}</text>`;
    }
    return s + body + '</svg>';
  }

  function legend(items) {
    return items.map(([label, colour], i) =>
      `<rect x="${M.left + 10 + i * 150}" y="${H - 14}" width="10" height="10" fill="${colour}"/>` +
      `<text x="${M.left + 24 + i * 150}" y="${H - 5}" font-size="11">${esc(label)}</text>`).join('');
  }

  const unitY = (p) => M.top + (1 - p) * (H - M.top - M.bottom);
  const unitTicks = [0, 0.25, 0.5, 0.75, 1];

  // Grouped bars: one group per category, one bar per series, values in [0, 1].
  function bars(title, categories, series) {
    const inner = W - M.left - M.right;
    const group = inner / categories.length;
    const bar = Math.min(28, (group * 0.7) / series.length);
    let body = '';
    categories.forEach((c, i) => {
      const x0 = M.left + i * group + (group - bar * series.length) / 2;
      series.forEach((s, j) => {
        const v = s.values[i];
        const y = unitY(v);
        body += `<rect x="${num(x0 + j * bar)}" y="${num(y)}" width="${num(bar - 2)}" height="${num(unitY(0) - y)}" fill="${COLOURS[j]}"><title>${esc(s.label)} ${esc(c)}: ${v}</title></rect>`;
      });
      body += `<text x="${num(M.left + (i + 0.5) * group)}" y="${H - M.bottom + 14}" font-size="11" text-anchor="middle">${esc(c)}</text>`;
    });
    return frame(title, body + legend(series.map((s, j) => [s.label, COLOURS[j]])), unitTicks, unitY);
  }

  // Points with interval bars: one group per category, one point per series.
  function intervals(title, categories, series) {
    const inner = W - M.left - M.right;
    const group = inner / categories.length;
    let body = '';
    categories.forEach((c, i) => {
      series.forEach((s, j) => {
        const e = s.values[i];
        if (!e) return;
        const x = num(M.left + (i + 0.3 + (0.4 * j) / Math.max(1, series.length - 1)) * group);
        body += `<line x1="${x}" x2="${x}" y1="${num(unitY(e.upper))}" y2="${num(unitY(e.lower))}" stroke="${COLOURS[j]}" stroke-width="2"/>`;
        body += `<circle cx="${x}" cy="${num(unitY(e.value))}" r="4" fill="${COLOURS[j]}"><title>${esc(s.label)} ${esc(c)}: ${e.value} [${e.lower}, ${e.upper}]</title></circle>`;
      });
      body += `<text x="${num(M.left + (i + 0.5) * group)}" y="${H - M.bottom + 14}" font-size="11" text-anchor="middle">${esc(c)}</text>`;
    });
    return frame(title, body + legend(series.map((s, j) => [s.label, COLOURS[j]])), unitTicks, unitY);
  }

  // A histogram of replicates with the estimate (solid) and its 2.5 and
  // 97.5 percentiles (dashed).
  function histogram(title, values, estimate) {
    const finite = values.filter(Number.isFinite);
    if (finite.length === 0) return '';
    let lo = Math.min(...finite), hi = Math.max(...finite);
    if (hi === lo) { lo -= 0.5; hi += 0.5; }
    const nbins = 30, counts = new Array(nbins).fill(0);
    for (const v of finite) counts[Math.min(nbins - 1, Math.floor(((v - lo) / (hi - lo)) * nbins))] += 1;
    const top = Math.max(...counts);
    const inner = W - M.left - M.right;
    const xOf = (v) => M.left + ((v - lo) / (hi - lo)) * inner;
    const yOf = (c) => M.top + (1 - c / top) * (H - M.top - M.bottom);
    let body = '';
    counts.forEach((c, i) => {
      body += `<rect x="${num(M.left + (i * inner) / nbins)}" y="${num(yOf(c))}" width="${num(inner / nbins - 1)}" height="${num(yOf(0) - yOf(c))}" fill="#9ec5ef"/>`;
    });
    const mark = (v, dash) => `<line x1="${num(xOf(v))}" x2="${num(xOf(v))}" y1="${M.top}" y2="${H - M.bottom}" stroke="#0b5cad" stroke-width="2"${dash ? ' stroke-dasharray="5 4"' : ''}/>`;
    body += mark(estimate.value, false) + mark(estimate.lower, true) + mark(estimate.upper, true);
    [[lo, 'start'], [(lo + hi) / 2, 'middle'], [hi, 'end']].forEach(([v, anchor]) => {
      body += `<text x="${num(xOf(v))}" y="${H - M.bottom + 14}" font-size="11" text-anchor="${anchor}">${esc(v.toPrecision(4))}</text>`;
    });
    body += `<text x="${W / 2}" y="${H - 5}" font-size="11" text-anchor="middle">BFia replicates; estimate and 95% interval</text>`;
    const ticks = [0, Math.round(top / 2), top];
    return frame(title, body, ticks, yOf);
  }

  return { bars, intervals, histogram };
})();
