// The table of Bayes factors and posterior model probabilities, each with
// its MC error and 95% interval (the 2.5 and 97.5 percentiles of its
// replicates). Every cell keeps the full value in data-value.
'use strict';

const Table = (() => {
  function shown(x) {
    if (typeof x === 'string') return x;  // "Infinity", "NaN"
    if (x === 0 || Math.abs(x) >= 0.01) return x.toFixed(3);
    return x.toPrecision(3);
  }

  function cell(tag, text, value) {
    const c = document.createElement(tag);
    c.textContent = text;
    if (value !== undefined) c.dataset.value = String(value);
    return c;
  }

  function row(label, e, infinite) {
    const tr = document.createElement('tr');
    tr.append(cell('th', label));
    if (infinite) {
      tr.append(cell('td', 'infinite', 'Infinity'), cell('td', ''), cell('td', ''), cell('td', ''));
      return tr;
    }
    for (const v of [e.value, e.mc_error, e.percentile_2_5, e.percentile_97_5]) tr.append(cell('td', shown(v), v));
    return tr;
  }

  function head(first) {
    const tr = document.createElement('tr');
    for (const h of [first, 'value', 'MC error', '2.5 %', '97.5 %']) {
      const th = cell('th', h);
      th.scope = 'col';
      tr.append(th);
    }
    const thead = document.createElement('thead');
    thead.append(tr);
    return thead;
  }

  function render(table, problem) {
    table.replaceChildren();
    const hs = problem.hypotheses || [];
    if (hs.length === 0) return;
    const several = hs.length > 1;
    table.append(Object.assign(document.createElement('caption'), {
      textContent: several ? 'Bayes factors and posterior model probabilities' : 'Bayes factors' }));
    table.append(head(''));
    const body = document.createElement('tbody');
    hs.forEach((h, i) => {
      const name = several ? `H${i + 1} ` : '';
      const bfia = row(`${name}BFia (against the unconstrained)`, h.bf_ia);
      bfia.id = `bfia-${i + 1}`;
      const bfic = row(`${name}BFic (against the complement)`, h.bf_ic, h.bf_ic_reported_infinite);
      bfic.id = `bfic-${i + 1}`;
      body.append(bfia, bfic);
    });
    const c = problem.comparison;
    if (c) {
      c.posterior.forEach((e, i) => body.append(Object.assign(row(`PMP H${i + 1} (without Hu)`, e), { id: `pmp-${i + 1}` })));
      c.posterior_with_unconstrained.forEach((e, i) => {
        const label = i < hs.length ? `H${i + 1}` : 'Hu';
        body.append(Object.assign(row(`PMP ${label} (with Hu)`, e), { id: `pmp-u-${i + 1}` }));
      });
    }
    table.append(body);
  }

  return { render };
})();
