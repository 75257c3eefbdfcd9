// The picture of a formation: two views, from above and from the side, with every probe
// numbered, and a table of the values as stored. Drawn in the SVG's own pixels, so dots, labels
// and the scale bar keep a readable size whatever the formation's scale.
'use strict';

const PICTURE = {
  size: 340,      // the SVG's width and height, in its pixels
  margin: 38,     // room around the probes for rings and their labels
  barRoom: 16,    // and below them for the scale bar
  dot: 6,         // a probe's dot radius
  ring: 16,       // a range ring's radius when ranges cannot be drawn to scale
  minRing: 3,     // a range drawn to scale smaller than this is taken as invisible
  minSpread: 24,  // probes closer than this across the whole view cannot be told apart
  minBar: 40,     // the scale bar's shortest length
};

function pictureSvg(tag, attributes = {}, text) {
  const node = document.createElementNS('http://www.w3.org/2000/svg', tag);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, String(value));
  if (text !== undefined) node.textContent = text;
  return node;
}

// Short numbers for labels; the table shows every value exactly as stored.
function shortNumber(value) {
  const magnitude = Math.abs(value);
  if (magnitude === 0) return '0';
  if (magnitude >= 1e9 || magnitude < 1e-3) return value.toExponential(2).replace('e+', 'e');
  return Number(value.toPrecision(4)).toLocaleString('en-US', { maximumFractionDigits: 6 });
}

// 1, 2 or 5 times a power of ten, the shortest at least `least` long.
function roundLength(least) {
  if (!(least > 0) || !Number.isFinite(least)) return 0;
  let power = 10 ** Math.floor(Math.log10(least));
  for (;;) {
    for (const step of [1, 2, 5]) if (step * power >= least * (1 - 1e-12)) return step * power;
    power *= 10;
  }
}

function rangeList(ranges) {
  const distinct = [...new Set(ranges)].sort((a, b) => a - b);
  if (distinct.length === 1) return shortNumber(distinct[0]);
  return `${shortNumber(distinct[0])} to ${shortNumber(distinct[distinct.length - 1])}`;
}

// How a view maps the formation onto its pixels: the scale, the centre, and whether the ranges
// are drawn to that scale ('scale'), as rings of one size because they are far smaller ('small')
// or far larger ('large') than the spread of the probes, or not at all ('none': every range 0).
function viewLayout(points) {
  const width = PICTURE.size - 2 * PICTURE.margin;
  const height = width - PICTURE.barRoom;
  const bounds = (withRanges) => {
    let minA = Infinity; let maxA = -Infinity; let minB = Infinity; let maxB = -Infinity;
    for (const p of points) {
      const r = withRanges ? Math.abs(p.range) : 0;
      minA = Math.min(minA, p.a - r); maxA = Math.max(maxA, p.a + r);
      minB = Math.min(minB, p.b - r); maxB = Math.max(maxB, p.b + r);
    }
    return { minA, maxA, minB, maxB, extent: Math.max(maxA - minA, maxB - minB), spanA: maxA - minA, spanB: maxB - minB };
  };
  const bare = bounds(false);
  const ranges = points.map((p) => Math.abs(p.range)).filter((r) => r > 0);
  const fit = (box, mode) => ({
    mode,
    scale: box.extent > 0 ? Math.min(box.spanA > 0 ? width / box.spanA : Infinity, box.spanB > 0 ? height / box.spanB : Infinity) : 0,
    centreA: (box.minA + box.maxA) / 2,
    centreB: (box.minB + box.maxB) / 2,
  });
  if (ranges.length === 0) return fit(bare, 'none');
  const scaled = fit(bounds(true), 'scale');
  const smallest = Math.min(...ranges);
  const oneSpot = !(bare.extent > 0);
  if (smallest * scaled.scale < PICTURE.minRing && !oneSpot) return fit(bare, 'small');
  if (!oneSpot && bare.extent * scaled.scale < PICTURE.minSpread) return fit(bare, 'large');
  return scaled;
}

// Probes whose dots would cover each other become one dot that carries their count.
function groupProbes(points, place) {
  const groups = [];
  for (const p of points) {
    const [px, py] = place(p);
    const near = groups.find((g) => Math.hypot(g.x - px, g.y - py) < 2 * PICTURE.dot);
    if (near) near.members.push(p);
    else groups.push({ x: px, y: py, members: [p] });
  }
  return groups;
}

function probeText(p) {
  return `Probe ${p.number}: x ${p.probe.x}, y ${p.probe.y}, z ${p.probe.z}, range ${p.probe.range}`;
}

// `axes` names the two coordinates shown; `up` is true when the second one grows upwards. The
// view's name starts each dot's name, so the same probe in both views is told apart.
function drawPictureView(svg, probes, axes, up, onFocus, viewName) {
  svg.replaceChildren();
  const size = PICTURE.size;
  svg.setAttribute('viewBox', `0 0 ${size} ${size}`);
  const points = probes.map((probe, i) => ({
    number: i + 1, probe, a: probe[axes[0]], b: probe[axes[1]], range: probe.range,
  }));
  const layout = viewLayout(points);
  const middleB = (size - PICTURE.barRoom) / 2;
  const place = (p) => [
    size / 2 + (p.a - layout.centreA) * layout.scale,
    middleB + (up ? -1 : 1) * (p.b - layout.centreB) * layout.scale,
  ];
  svg.dataset.mode = layout.mode;

  const rings = pictureSvg('g', { class: 'rings' });
  for (const p of points) {
    if (!(Math.abs(p.range) > 0)) continue;
    const [x, y] = place(p);
    const r = layout.mode === 'scale' ? Math.abs(p.range) * layout.scale : PICTURE.ring;
    rings.append(pictureSvg('circle', {
      class: 'range' + (layout.mode === 'scale' ? '' : ' not-to-scale'),
      cx: x, cy: y, r, 'data-probe': p.number,
    }));
  }
  svg.append(rings);

  const groups = groupProbes(points, place);
  const dots = pictureSvg('g', { class: 'probes' });
  for (const group of groups) {
    const numbers = group.members.map((m) => m.number);
    const node = pictureSvg('g', {
      class: 'probe', tabindex: 0, role: 'img', 'data-probes': numbers.join(' '),
      'aria-label': `${viewName}, ${group.members.map(probeText).join('; ')}`,
    });
    node.append(pictureSvg('title', {}, group.members.map(probeText).join('\n')));
    const many = group.members.length > 1;
    node.append(pictureSvg('circle', { class: 'dot', cx: group.x, cy: group.y, r: many ? PICTURE.dot + 3 : PICTURE.dot }));
    if (many) {
      node.append(pictureSvg('text', { class: 'count', x: group.x, y: group.y, 'text-anchor': 'middle', 'dominant-baseline': 'central' },
        String(group.members.length)));
    }
    const label = numbers.length > 3 ? `${numbers[0]}–${numbers[numbers.length - 1]}` : numbers.join(',');
    const offset = (many ? PICTURE.dot + 3 : PICTURE.dot) + 2;
    node.append(pictureSvg('text', { class: 'number', x: group.x + offset, y: group.y - offset }, label));
    if (layout.mode === 'small' || layout.mode === 'large') {
      const ranges = group.members.map((m) => Math.abs(m.range)).filter((r) => r > 0);
      if (ranges.length > 0) {
        node.append(pictureSvg('text', { class: 'ring-label', x: group.x, y: group.y + PICTURE.ring + 11, 'text-anchor': 'middle' },
          `r ${rangeList(ranges)}`));
      }
    }
    const focus = () => onFocus(group.members);
    node.addEventListener('focus', focus);
    node.addEventListener('mouseenter', focus);
    dots.append(node);
  }
  svg.append(dots);
  drawScaleBar(svg, layout);
  return { layout, groups };
}

function drawScaleBar(svg, layout) {
  if (!(layout.scale > 0)) return;
  const length = roundLength(PICTURE.minBar / layout.scale);
  const pixels = length * layout.scale;
  const x = 10;
  const y = PICTURE.size - 12;
  const bar = pictureSvg('g', { class: 'scale-bar', 'data-length': length, 'data-pixels': pixels });
  bar.append(pictureSvg('path', { d: `M${x} ${y - 5}V${y}H${x + pixels}V${y - 5}` }));
  bar.append(pictureSvg('text', { x: x + pixels + 6, y: y + 1 }, length.toLocaleString('en-US', { maximumFractionDigits: 6 })));
  svg.append(bar);
}

function viewNote(layout, ranges) {
  switch (layout.mode) {
    case 'scale': return 'Ranges to scale.';
    case 'small': return `Ranges (${rangeList(ranges)}) are far smaller than the spread of the probes: each ring shows a range, not to scale.`;
    case 'large': return `Ranges (${rangeList(ranges)}) are far larger than the spread of the probes: each ring shows a range, not to scale.`;
    default: return 'Every range is 0: no rings.';
  }
}

function probeTable(probes) {
  const table = document.createElement('table');
  table.id = 'probe-table';
  table.className = 'probe-table';
  const caption = document.createElement('caption');
  caption.textContent = 'Probes as stored';
  table.append(caption);
  const head = document.createElement('tr');
  for (const name of ['Probe', 'x', 'y', 'z', 'range']) {
    const th = document.createElement('th');
    th.scope = 'col';
    th.textContent = name;
    head.append(th);
  }
  const thead = document.createElement('thead');
  thead.append(head);
  table.append(thead);
  const body = document.createElement('tbody');
  probes.forEach((probe, i) => {
    const tr = document.createElement('tr');
    tr.dataset.probe = String(i + 1);
    const th = document.createElement('th');
    th.scope = 'row';
    th.textContent = String(i + 1);
    tr.append(th);
    for (const key of ['x', 'y', 'z', 'range']) {
      const td = document.createElement('td');
      td.textContent = String(probe[key]);
      tr.append(td);
    }
    body.append(tr);
  });
  table.append(body);
  return table;
}

// Shows `formation` in the picture section; `from` says whose formation it is.
function drawFormationPicture(formation, from) {
  const probes = formation.probes;
  const count = probes.length;
  document.getElementById('picture-title').textContent = formation.name;
  document.getElementById('picture-caption').textContent =
    `${count} probe${count === 1 ? '' : 's'}, as held by ${from}. Each dot is a probe, numbered; ` +
    'a dot with a number inside stands for that many probes at one spot. Focus or point at a dot for its values.';
  const tableHome = document.getElementById('probe-table-home');
  const table = probeTable(probes);
  tableHome.replaceChildren(table);
  const focusInfo = document.getElementById('probe-focus');
  focusInfo.textContent = '';
  const onFocus = (members) => {
    focusInfo.textContent = members.map(probeText).join('; ');
    for (const row of table.tBodies[0].rows) {
      row.classList.toggle('focused', members.some((m) => String(m.number) === row.dataset.probe));
    }
  };
  const ranges = probes.map((p) => Math.abs(p.range)).filter((r) => r > 0);
  const views = [['top', ['x', 'z'], false, 'From above'], ['side', ['x', 'y'], true, 'From the side']];
  for (const [name, axes, up, viewName] of views) {
    const drawn = drawPictureView(document.getElementById(`${name}-view`), probes, axes, up, onFocus, viewName);
    document.getElementById(`${name}-note`).textContent = viewNote(drawn.layout, ranges);
  }
}
