// The profile drawn on the page as the report's sheet "Profile" charts it:
// Cal. RL and Adj. RL against the distance along the last line, the
// correction Adj. RL - Cal. RL in mm on an axis of its own on the right.
'use strict';

const VireoProfile = (() => {
  const W = 900, H = 320, LEFT = 70, RIGHT = 70, TOP = 36, BOTTOM = 46;
  const SERIES = [
    {key: 'cal', name: 'Cal. RL', colour: '#1f5fa8', axis: 'left'},
    {key: 'adj', name: 'Adj. RL', colour: '#c2571a', axis: 'left', dash: '6 3'},
    {key: 'mm', name: 'Correction (mm)', colour: '#3a8a3a', axis: 'right', dash: '2 3'},
  ];

  // Round steps (1, 2 or 5 times a power of ten) over [lo, hi].
  function ticks(lo, hi) {
    if (!(hi > lo)) [lo, hi] = [lo - 0.5, hi + 0.5];
    const rough = (hi - lo) / 5, power = 10 ** Math.floor(Math.log10(rough));
    const step = [1, 2, 5, 10].map((f) => f * power).find((s) => s >= rough);
    const first = Math.floor(lo / step) * step, last = Math.ceil(hi / step) * step;
    const values = [];
    for (let v = first; v <= last + step / 2; v += step) values.push(Number(v.toPrecision(12)));
    return {lo: first, hi: last, values, decimals: Math.max(0, -Math.floor(Math.log10(step)))};
  }

  // At most the lowest and the highest point of each pixel's width: a long
  // line keeps its shape in a few thousand points.
  function thinned(points, key, x) {
    const out = [];
    let column = null, low = null, high = null;
    const flush = () => low && out.push(...(low === high ? [low] : [low, high].sort((a, b) => a.x - b.x)));
    for (const p of points) {
      if (p[key] === null) continue;
      const c = Math.round(x(p.distance));
      const q = {x: p.distance, y: p[key]};
      if (c !== column) {
        flush();
        [column, low, high] = [c, q, q];
      } else {
        if (q.y < low.y) low = q;
        if (q.y > high.y) high = q;
      }
    }
    flush();
    return out;
  }

  const text = (x, y, words, extra = '') =>
    `<text x="${x.toFixed(1)}" y="${y.toFixed(1)}" font-size="13" ${extra}>${words}</text>`;

  // (Math.min(...values) would overflow the stack on a long line.)
  const lowest = (values) => values.reduce((a, b) => Math.min(a, b));
  const highest = (values) => values.reduce((a, b) => Math.max(a, b));

  function axisOf(values) {
    const t = ticks(lowest(values), highest(values));
    return Object.assign(t, {at: (v) => H - BOTTOM - ((v - t.lo) / (t.hi - t.lo)) * (H - TOP - BOTTOM)});
  }

  // The SVG of the points (each {point, distance, cal, adj}); '' for none.
  function svg(points) {
    if (!points.length) return '';
    points = points.map((p) => Object.assign({}, p, {
      mm: p.cal !== null && p.adj !== null ? Math.round((p.adj - p.cal) * 1e9) / 1e6 + 0 : null}));
    const along = ticks(0, points[points.length - 1].distance);
    const x = (d) => LEFT + ((d - along.lo) / (along.hi - along.lo)) * (W - LEFT - RIGHT);
    const levels = points.flatMap((p) => [p.cal, p.adj]).filter((v) => v !== null);
    const mms = points.map((p) => p.mm).filter((v) => v !== null);
    const axes = {left: axisOf(levels.length ? levels : [0]), right: axisOf(mms.length ? mms : [0])};
    const out = [];
    for (const v of along.values)
      out.push(`<line x1="${x(v)}" x2="${x(v)}" y1="${TOP}" y2="${H - BOTTOM}" stroke="#e4e4e4"/>`,
               text(x(v), H - BOTTOM + 16, v.toFixed(along.decimals), 'text-anchor="middle"'));
    for (const v of axes.left.values)
      out.push(`<line x1="${LEFT}" x2="${W - RIGHT}" y1="${axes.left.at(v)}" y2="${axes.left.at(v)}" stroke="#e4e4e4"/>`,
               text(LEFT - 6, axes.left.at(v) + 4, v.toFixed(axes.left.decimals), 'text-anchor="end"'));
    for (const v of axes.right.values)
      out.push(text(W - RIGHT + 6, axes.right.at(v) + 4, v.toFixed(axes.right.decimals)));
    out.push(`<rect x="${LEFT}" y="${TOP}" width="${W - LEFT - RIGHT}" height="${H - TOP - BOTTOM}" fill="none" stroke="#888"/>`);
    SERIES.forEach((s, i) => {
      const line = thinned(points, s.key, x);
      if (!line.length) return;
      const y = axes[s.axis].at;
      const d = line.map((p, j) => (j ? 'L' : 'M') + x(p.x).toFixed(1) + ' ' + y(p.y).toFixed(1)).join(' ');
      out.push(`<path d="${d}" fill="none" stroke="${s.colour}" stroke-width="2"` +
               (s.dash ? ` stroke-dasharray="${s.dash}"` : '') + '/>');
      if (points.length <= 60)
        for (const p of line) out.push(`<circle cx="${x(p.x)}" cy="${y(p.y)}" r="2.5" fill="${s.colour}"/>`);
      const lx = LEFT + i * 190;
      out.push(`<line x1="${lx}" x2="${lx + 24}" y1="${H - 8}" y2="${H - 8}" stroke="${s.colour}" stroke-width="2"` +
               (s.dash ? ` stroke-dasharray="${s.dash}"` : '') + '/>', text(lx + 30, H - 4, s.name));
    });
    out.push(text(W / 2, 18, '', 'text-anchor="middle" font-weight="bold" class="title"'),
             text(14, (TOP + H - BOTTOM) / 2, 'RL (m)', `transform="rotate(-90 14 ${(TOP + H - BOTTOM) / 2})" text-anchor="middle"`),
             text(W - 10, (TOP + H - BOTTOM) / 2, 'Correction (mm)', `transform="rotate(90 ${W - 10} ${(TOP + H - BOTTOM) / 2})" text-anchor="middle"`),
             text(W - RIGHT, H - BOTTOM + 32, 'Distance (m)', 'text-anchor="end"'));
    return `<svg viewBox="0 0 ${W} ${H}" xmlns="http://www.w3.org/2000/svg">${out.join('')}</svg>`;
  }

  // Draws the profile into `box` (point names set as text, never as markup).
  function draw(box, points) {
    box.innerHTML = svg(points);
    if (!points.length) return;
    const title = 'Profile of the last line, ' + points[0].point + ' to ' + points[points.length - 1].point;
    box.querySelector('.title').textContent = title;
    const levels = points.map((p) => p.cal).filter((v) => v !== null);
    if (!levels.length) return;
    box.setAttribute('aria-label', `${title}: ${points.length} points over ` +
      `${points[points.length - 1].distance.toFixed(1)} m, Cal. RL from ` +
      `${lowest(levels).toFixed(3)} to ${highest(levels).toFixed(3)} m`);
  }

  return {draw};
})();
