// Runs every golden case (examples/, tests/e2e/cases/, bench/inputs/: each
// folder with a console.txt) through the program compiled to WebAssembly,
// under node, in a scratch folder, and compares the console, Output.txt and
// the exit status byte for byte with the expected ones.
//   node web/test/golden.mjs [web/dist/cli/ineqbf.js]
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const program = path.resolve(process.argv[2] || path.join(root, 'web/dist/cli/ineqbf.js'));
const read = (p) => (fs.existsSync(p) ? fs.readFileSync(p) : Buffer.alloc(0));

function cases() {
  const found = [];
  for (const dir of ['examples', 'tests/e2e/cases', 'bench/inputs']) {
    const base = path.join(root, dir);
    if (!fs.existsSync(base)) continue;
    for (const name of fs.readdirSync(base).sort()) {
      const folder = path.join(base, name);
      if (fs.existsSync(path.join(folder, 'console.txt'))) found.push({ name: `${dir}/${name}`, folder });
    }
  }
  return found;
}

function run(c, scratch) {
  const dir = fs.mkdtempSync(path.join(scratch, 'case-'));
  const input = path.join(c.folder, 'Input.txt');
  if (fs.existsSync(input)) fs.copyFileSync(input, path.join(dir, 'Input.txt'));
  const r = spawnSync(process.execPath, [program], { cwd: dir, stdio: ['ignore', 'pipe', 'ignore'], maxBuffer: 1 << 26 });
  const problems = [];
  const status = r.status === null ? -1 : r.status;
  const expected = Number(read(path.join(c.folder, 'status')).toString() || '0');
  if (status !== expected) problems.push(`status ${status}, expected ${expected}`);
  if (!r.stdout.equals(read(path.join(c.folder, 'console.txt')))) problems.push('console differs');
  if (!fs.existsSync(path.join(dir, 'Output.txt'))) problems.push('no Output.txt');
  else if (!read(path.join(dir, 'Output.txt')).equals(read(path.join(c.folder, 'Output.txt')))) problems.push('Output.txt differs');
  fs.rmSync(dir, { recursive: true, force: true });
  return problems;
}

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'ineqbf-wasm-'));
let passed = 0, failed = 0;
for (const c of cases()) {
  const started = Date.now();
  const problems = run(c, scratch);
  const took = ((Date.now() - started) / 1000).toFixed(1);
  if (problems.length === 0) {
    passed += 1;
    console.log(`ok   ${c.name} (${took} s)`);
  } else {
    failed += 1;
    console.log(`FAIL ${c.name}: ${problems.join('; ')}`);
  }
}
fs.rmSync(scratch, { recursive: true, force: true });
console.log(`wasm-golden: ${passed} passed, ${failed} failed`);
process.exit(failed === 0 && passed > 0 ? 0 : 1);
