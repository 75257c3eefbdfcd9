// The picture's choices without a browser: which way each view draws the ranges, and the
// lengths of its scale bar. Usage: node picture_test.mjs PICTURE_JS
import assert from 'node:assert/strict';
import fs from 'node:fs';
import test from 'node:test';
import vm from 'node:vm';

const picture = vm.createContext({});
vm.runInContext(fs.readFileSync(process.argv[2], 'utf8'), picture);
const { roundLength, viewLayout, shortNumber } = vm.runInContext('({ roundLength, viewLayout, shortNumber })', picture);

const at = (a, b, range) => ({ a, b, range });

test('each view draws its ranges to scale only where they can be seen', () => {
  const cases = [
    ['ranges tiny beside positions in the millions', [at(0, 0, 0.25), at(6e6, 1e5, 16), at(-6e6, 0, 4)], 'small'],
    ['ranges a million times the spread', [at(0, 0, 1e6), at(1, 0, 1e6), at(0, 1, 1e6)], 'large'],
    ['ranges ten times the spread', [at(0, 0, 10), at(1, 0, 10)], 'large'],
    ['ranges of the order of the spread', [at(0, 0, 50), at(100, 0, 50), at(0, 200, 20)], 'scale'],
    ['all probes at one point', [at(5, 5, 8), at(5, 5, 8), at(5, 5, 2)], 'scale'],
    ['one probe', [at(-3e6, 400, 4)], 'scale'],
    ['one probe at one point, range 0', [at(1, 1, 0)], 'none'],
    ['every range 0', [at(0, 0, 0), at(10, 10, 0)], 'none'],
    ['negative ranges count by their size', [at(0, 0, -50), at(100, 0, -50)], 'scale'],
    ['one range too small to see among others that fit', [at(0, 0, 0.001), at(100, 0, 40)], 'small'],
  ];
  for (const [description, points, mode] of cases) {
    assert.equal(viewLayout(points).mode, mode, description);
  }
});

test('a view fits its probes, and with ranges to scale its rings, inside the picture', () => {
  const cases = [
    ['wide', [at(-6e6, 0, 1), at(6e6, 10, 1)]],
    ['tall', [at(0, -3, 0.5), at(0.1, 3, 0.5)]],
    ['rings to scale', [at(0, 0, 50), at(100, 0, 50)]],
    ['one spot', [at(7, 7, 3)]],
  ];
  for (const [description, points] of cases) {
    const layout = viewLayout(points);
    const withRings = layout.mode === 'scale';
    for (const p of points) {
      const r = withRings ? Math.abs(p.range) : 0;
      // Half the picture less its margin across; less the scale bar's room too, up and down.
      for (const [value, centre, half] of [[p.a, layout.centreA, 132], [p.b, layout.centreB, 124]]) {
        const reach = (Math.abs(value - centre) + r) * layout.scale;
        assert.ok(reach <= half + 1e-9, `${description}: ${reach} pixels from the middle`);
      }
    }
    assert.ok(layout.scale > 0, description);
  }
});

test('the scale bar is a round length of at least the pixels asked', () => {
  const cases = [
    [40, 50], [50, 50], [50.0001, 100], [0.3, 0.5], [1, 1], [1.5, 2], [2.2, 5], [7e5, 1e6],
    [1.2e-4, 2e-4], [0, 0], [-1, 0], [Infinity, 0],
  ];
  for (const [least, length] of cases) {
    const got = roundLength(least);
    assert.ok(Math.abs(got - length) <= 1e-12 * Math.max(1, length), `${least}: ${got}, not ${length}`);
  }
});

test('labels give short numbers', () => {
  const cases = [[0, '0'], [16, '16'], [0.25, '0.25'], [1e6, '1,000,000'], [142658.5, '142,700'], [-3e6, '-3,000,000'],
    [2.5e9, '2.50e9'], [1e-4, '1.00e-4']];
  for (const [value, text] of cases) assert.equal(shortNumber(value), text, String(value));
});
