// vultrane studio page: sliders from the server's GetList records, the merged head drawn with a
// small WebGL2 renderer (positions and normals rebuilt from each merge answer).
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);

// ---- server -------------------------------------------------------------------------------
async function api(path, body) {
  const opts = { headers: { 'X-Vtr-Token': token }, cache: 'no-store' };
  if (body !== undefined) {
    opts.method = 'POST';
    opts.headers['Content-Type'] = 'application/json';
    opts.body = JSON.stringify(body);
  }
  const res = await fetch(path, opts);
  const type = res.headers.get('Content-Type') || '';
  if (type.startsWith('application/json')) {
    const json = await res.json();
    if (!res.ok) throw new Error(json.error || res.statusText);
    return json;
  }
  if (!res.ok) throw new Error(res.statusText);
  return res.arrayBuffer();
}

function status(text, bad) {
  const s = $('status');
  s.textContent = text;
  s.className = bad ? 'bad' : '';
}

// ---- state --------------------------------------------------------------------------------
let state = null;        // the server's /api/state
const values = new Map(); // uniqueID -> value
const inputs = new Map(); // uniqueID -> [{input, output}]
let activeTab = null;

// Records the merge takes: the plug-in's sliders. The game menu's own entries (type 9), colour
// menus and pickers, and vertex-edit rows (the brush's values) are listed but not previewed.
const kNotPreviewed = new Set([9, 10, 18]);
function previewed(r) {
  return r.sliderID !== undefined && r.vertexList === undefined && !kNotPreviewed.has(r.type);
}
function sliderRecords() {
  return state.records.filter(previewed);
}

function restValue(r) {
  return Math.min(Math.max(0, r.sliderMin), r.sliderMax);
}

function valueList() {
  return Array.from(values.entries()).map(([id, v]) => [id, v]);
}

// The range input snaps to its step; the row keeps the exact value the merge gets.
function showValue(id) {
  for (const { input, output } of inputs.get(id) || []) {
    input.value = values.get(id);
    output.textContent = fmt(values.get(id));
    input.parentElement.dataset.value = values.get(id);
  }
}

function fmt(x) {
  return Number.isInteger(x) ? String(x) : x.toFixed(3).replace(/0+$/, '');
}

function buildSliders(keep) {
  const old = keep ? new Map(values) : new Map();
  values.clear();
  inputs.clear();
  for (const r of sliderRecords()) values.set(r.uniqueID, old.has(r.uniqueID) ? old.get(r.uniqueID) : restValue(r));
  const records = state.records;
  const cats = [];
  for (const r of records) if (!cats.includes(r.categoryName)) cats.push(r.categoryName);
  if (!cats.includes(activeTab)) activeTab = cats[0] || null;
  const tabs = $('tabs');
  tabs.replaceChildren();
  for (const c of cats) {
    const b = document.createElement('button');
    b.textContent = c.trim() || '(none)';
    b.className = c === activeTab ? 'on' : '';
    b.dataset.category = c;
    b.onclick = () => { activeTab = c; buildSliders(true); };
    tabs.append(b);
  }
  const box = $('sliders');
  box.replaceChildren();
  for (const r of records) {
    const row = document.createElement('div');
    row.className = 'slider';
    row.dataset.uniqueId = r.uniqueID;
    row.dataset.category = r.categoryName;
    if (r.categoryName !== activeTab) row.style.display = 'none';
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = r.text;
    name.title = `${r.text} (uniqueID ${r.uniqueID}, type ${r.type}, ${r.sliderMin}..${r.sliderMax} step ${r.interval})`;
    if (!previewed(r)) {
      row.classList.add('inactive');
      const note = document.createElement('span');
      note.textContent = r.vertexList ? `vertex edit, ${r.vertexList.length} vertices` : r.type === 9 ? "the game's own entry" : 'colour';
      row.append(name, note);
      box.append(row);
      continue;
    }
    const input = document.createElement('input');
    input.type = 'range';
    input.min = r.sliderMin;
    input.max = r.sliderMax;
    input.step = r.interval > 0 ? r.interval : 'any';
    input.value = values.get(r.uniqueID);
    input.setAttribute('aria-label', r.text);
    const output = document.createElement('output');
    output.textContent = fmt(values.get(r.uniqueID));
    row.dataset.value = values.get(r.uniqueID);
    input.addEventListener('input', () => {
      values.set(r.uniqueID, Number(input.value));
      showValue(r.uniqueID);
      requestMerge(performance.now());
    });
    row.append(name, input, output);
    box.append(row);
    if (!inputs.has(r.uniqueID)) inputs.set(r.uniqueID, []);
    inputs.get(r.uniqueID).push({ input, output });
  }
}

function setValues(pairs) {
  for (const r of sliderRecords()) values.set(r.uniqueID, restValue(r));
  for (const [id, v] of pairs) if (values.has(id)) values.set(id, v);
  for (const id of values.keys()) showValue(id);
  requestMerge(performance.now());
}

function showProblems() {
  const list = $('problems');
  list.replaceChildren();
  const items = [];
  for (const d of state.check.diagnostics)
    items.push([d.error ? 'error' : 'warning', `${d.file}${d.line ? ':' + d.line : ''}: ${d.error ? 'error' : 'warning'}: ${d.message}`]);
  for (const p of state.problems) items.push(['error', p]);
  for (const [cls, text] of items) {
    const li = document.createElement('li');
    li.className = cls;
    li.textContent = text;
    list.append(li);
  }
  if (!items.length) {
    const li = document.createElement('li');
    li.className = 'none';
    li.textContent = `no problems in ${state.check.filesChecked} files`;
    list.append(li);
  }
  $('problem-count').textContent = `(${state.check.errors} errors, ${state.check.warnings} warnings)`;
}

function showHeader() {
  const sel = $('race');
  sel.replaceChildren();
  const races = state.races.includes(state.race) ? state.races : [state.race, ...state.races];
  for (const n of races) {
    const o = document.createElement('option');
    o.value = o.textContent = n;
    sel.append(o);
  }
  sel.value = state.race;
  $('sex').value = state.sex;
  $('raceset').textContent = state.raceSet ? `race set ${state.raceSet} · ${state.match}` : 'no race set serves this player';
  const presets = $('presets');
  presets.replaceChildren();
  state.presets.forEach((p, i) => {
    const b = document.createElement('button');
    b.textContent = p;
    b.dataset.index = i;
    b.onclick = async () => {
      try {
        const r = await api(`/api/preset?index=${i}`);
        setValues(r.values);
        status(`preset ${p} loaded`);
      } catch (e) { status(e.message, true); }
    };
    presets.append(b);
  });
  if (!state.presets.length) presets.textContent = 'none';
}

async function loadAll(keep) {
  state = await api('/api/state');
  showHeader();
  showProblems();
  buildSliders(keep);
  const mesh = await api('/api/mesh');
  view.setMesh(mesh);
  window.vtrGeneration = state.generation;
  await mergeNow(null);  // not a slider move: not timed
}

// ---- live merge: one request in flight, the newest values sent next -------------------------
let inFlight = false;
let pendingSince = null;
window.vtrDragTimes = [];
window.vtrMerges = 0;

function requestMerge(since) {
  if (pendingSince === null) pendingSince = since;
  if (!inFlight) pump();
}

async function pump() {
  while (pendingSince !== null) {
    const since = pendingSince;
    pendingSince = null;
    inFlight = true;
    try {
      await mergeNow(since);
    } catch (e) {
      status(e.message, true);
    }
    inFlight = false;
  }
}

window.vtrAnswerTimes = [];
async function mergeNow(since) {
  const buf = await api('/api/merge', { values: valueList() });
  if (since !== null) window.vtrAnswerTimes.push(performance.now() - since);
  const morph = parseMerge(buf);
  view.setMorph(morph.targets);
  showNodes(morph.info.nodes);
  if (morph.info.problems.length) status(morph.info.problems[0], true);
  window.vtrMerges++;
  requestAnimationFrame(() => {
    view.draw();
    if (since === null) return;
    const t = performance.now() - since;
    window.vtrDragTimes.push(t);
    $('timing').textContent = `slider to frame ${t.toFixed(1)} ms`;
  });
}

function parseMerge(buf) {
  const dv = new DataView(buf);
  const magic = String.fromCharCode(dv.getUint8(0), dv.getUint8(1), dv.getUint8(2), dv.getUint8(3));
  if (magic !== 'VTM1') throw new Error('bad merge answer');
  const jsonLen = dv.getUint32(4, true);
  const info = JSON.parse(new TextDecoder().decode(new Uint8Array(buf, 8, jsonLen)));
  let o = 8 + jsonLen;
  o = (o + 3) & ~3;
  const count = dv.getUint32(o, true);
  o += 4;
  const targets = [];
  for (let t = 0; t < count; t++) {
    const n = dv.getUint32(o, true);
    const mainScale = dv.getFloat32(o + 4, true);
    const neckScale = dv.getFloat32(o + 8, true);
    const flags = dv.getUint32(o + 12, true);
    o += 16;
    const main = new Int16Array(buf, o, n * 3);
    o += (n * 6 + 3) & ~3;
    let neck = null;
    if (flags & 1) {
      neck = new Int16Array(buf, o, n * 3);
      o += (n * 6 + 3) & ~3;
    }
    targets.push({ n, mainScale, neckScale, main, neck });
  }
  return { info, targets };
}

function showNodes(nodes) {
  const body = $('nodes').tBodies[0];
  body.replaceChildren();
  for (const c of nodes) {
    const tr = document.createElement('tr');
    const cells = c.scale !== undefined ? [c.node, fmt(c.scale), '', '', ''] : [c.node, '', fmt(c.x), fmt(c.y), fmt(c.z)];
    for (const text of cells) {
      const td = document.createElement('td');
      td.textContent = text;
      tr.append(td);
    }
    body.append(tr);
  }
}

// ---- renderer -----------------------------------------------------------------------------
const view = (() => {
  const canvas = $('view');
  const gl = canvas.getContext('webgl2', { antialias: true, preserveDrawingBuffer: true });
  if (!gl) {
    status('this browser has no WebGL2: the head cannot be drawn', true);
    return { setMesh() {}, setMorph() {}, draw() {}, setMoved() {} };
  }
  const vs = `#version 300 es
    in vec3 pos; in vec3 nrm; in float moved;
    uniform mat4 mvp; uniform float maxMoved;
    out vec3 vN; out float vMoved;
    void main() { vN = nrm; vMoved = maxMoved > 0.0 ? moved / maxMoved : 0.0; gl_Position = mvp * vec4(pos, 1.0); }`;
  const fs = `#version 300 es
    precision highp float;
    in vec3 vN; in float vMoved;
    uniform vec3 base; uniform vec3 eye; uniform int mode;
    out vec4 colour;
    vec3 ramp(float t) {
      t = clamp(t, 0.0, 1.0);
      vec3 c0 = vec3(0.15, 0.25, 0.85), c1 = vec3(0.1, 0.8, 0.9), c2 = vec3(0.2, 0.85, 0.25), c3 = vec3(0.95, 0.9, 0.2), c4 = vec3(0.95, 0.2, 0.15);
      if (t < 0.25) return mix(c0, c1, t * 4.0);
      if (t < 0.5) return mix(c1, c2, (t - 0.25) * 4.0);
      if (t < 0.75) return mix(c2, c3, (t - 0.5) * 4.0);
      return mix(c3, c4, (t - 0.75) * 4.0);
    }
    void main() {
      vec3 n = normalize(vN);
      float l = 0.28 + 0.72 * abs(dot(n, normalize(eye)));
      vec3 c = mode == 1 ? ramp(vMoved) : base;
      colour = vec4(c * l, 1.0);
    }`;
  function shader(type, src) {
    const s = gl.createShader(type);
    gl.shaderSource(s, src);
    gl.compileShader(s);
    if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(s));
    return s;
  }
  const prog = gl.createProgram();
  gl.attachShader(prog, shader(gl.VERTEX_SHADER, vs));
  gl.attachShader(prog, shader(gl.FRAGMENT_SHADER, fs));
  gl.linkProgram(prog);
  const loc = {
    pos: gl.getAttribLocation(prog, 'pos'), nrm: gl.getAttribLocation(prog, 'nrm'),
    moved: gl.getAttribLocation(prog, 'moved'), mvp: gl.getUniformLocation(prog, 'mvp'),
    maxMoved: gl.getUniformLocation(prog, 'maxMoved'), base: gl.getUniformLocation(prog, 'base'),
    eye: gl.getUniformLocation(prog, 'eye'), mode: gl.getUniformLocation(prog, 'mode'),
  };
  const colours = [[0.86, 0.72, 0.62], [0.92, 0.92, 0.95], [0.8, 0.45, 0.5], [0.7, 0.75, 0.6]];
  let parts = [];
  let centre = [0, 0, 0], radius = 1;
  let yaw = 0, pitch = 0.1, dist = 3;
  let showMoved = false, maxMoved = 0;

  function setMesh(buf) {
    for (const p of parts) for (const b of [p.posBuf, p.nrmBuf, p.movBuf, p.idxBuf]) gl.deleteBuffer(b);
    parts = [];
    const dv = new DataView(buf);
    const count = dv.getUint32(4, true);
    let o = 8;
    const lo = [Infinity, Infinity, Infinity], hi = [-Infinity, -Infinity, -Infinity];
    for (let t = 0; t < count; t++) {
      const n = dv.getUint32(o, true), tris = dv.getUint32(o + 4, true);
      o += 8;
      const base = new Float32Array(buf.slice(o, o + n * 12));
      o += n * 12;
      const index = new Uint32Array(buf.slice(o, o + tris * 12));
      o += tris * 12;
      if (!n) { parts.push(null); continue; }
      for (let i = 0; i < n * 3; i++) { lo[i % 3] = Math.min(lo[i % 3], base[i]); hi[i % 3] = Math.max(hi[i % 3], base[i]); }
      const p = {
        n, base, index, pos: new Float32Array(base), nrm: new Float32Array(n * 3), mov: new Float32Array(n),
        posBuf: gl.createBuffer(), nrmBuf: gl.createBuffer(), movBuf: gl.createBuffer(), idxBuf: gl.createBuffer(),
        colour: colours[t % colours.length],
      };
      gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, p.idxBuf);
      gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, index, gl.STATIC_DRAW);
      normals(p);
      upload(p, true);
      parts.push(p);
    }
    if (lo[0] !== Infinity) {
      const c = [0, 1, 2].map((i) => (lo[i] + hi[i]) / 2);
      const r = Math.hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]) / 2 || 1;
      const fresh = Math.abs(r - radius) > 1e-6 || c.some((x, i) => Math.abs(x - centre[i]) > 1e-6);
      centre = c;
      radius = r;
      if (fresh) dist = radius * 2.6;
    }
    draw();
  }

  function normals(p) {
    const { pos, nrm, index } = p;
    nrm.fill(0);
    for (let i = 0; i < index.length; i += 3) {
      const a = index[i] * 3, b = index[i + 1] * 3, c = index[i + 2] * 3;
      const ux = pos[b] - pos[a], uy = pos[b + 1] - pos[a + 1], uz = pos[b + 2] - pos[a + 2];
      const vx = pos[c] - pos[a], vy = pos[c + 1] - pos[a + 1], vz = pos[c + 2] - pos[a + 2];
      const nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
      for (const k of [a, b, c]) { nrm[k] += nx; nrm[k + 1] += ny; nrm[k + 2] += nz; }
    }
  }

  function upload(p, fresh) {
    for (const [buf, data] of [[p.posBuf, p.pos], [p.nrmBuf, p.nrm], [p.movBuf, p.mov]]) {
      gl.bindBuffer(gl.ARRAY_BUFFER, buf);
      if (fresh) gl.bufferData(gl.ARRAY_BUFFER, data, gl.DYNAMIC_DRAW);
      else gl.bufferSubData(gl.ARRAY_BUFFER, 0, data);
    }
  }

  function setMorph(targets) {
    maxMoved = 0;
    targets.forEach((t, i) => {
      const p = parts[i];
      if (!p || t.n !== p.n) return;
      const { base, pos, mov } = p;
      for (let v = 0; v < p.n; v++) {
        let dx = t.main[3 * v] * t.mainScale, dy = t.main[3 * v + 1] * t.mainScale, dz = t.main[3 * v + 2] * t.mainScale;
        if (t.neck) {
          dx += t.neck[3 * v] * t.neckScale; dy += t.neck[3 * v + 1] * t.neckScale; dz += t.neck[3 * v + 2] * t.neckScale;
        }
        pos[3 * v] = base[3 * v] + dx; pos[3 * v + 1] = base[3 * v + 1] + dy; pos[3 * v + 2] = base[3 * v + 2] + dz;
        const m = Math.hypot(dx, dy, dz);
        mov[v] = m;
        if (m > maxMoved) maxMoved = m;
      }
      normals(p);
      upload(p, false);
    });
    window.vtrMaxMoved = maxMoved;
  }

  function matrices() {
    const aspect = canvas.width / canvas.height;
    const f = 1 / Math.tan((35 * Math.PI) / 360), near = dist / 50, far = dist * 10;
    const proj = [f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (far + near) / (near - far), -1, 0, 0, (2 * far * near) / (near - far), 0];
    // The face looks along +y with z up: yaw 0 sees it from the front.
    const eye = [Math.sin(yaw) * Math.cos(pitch), Math.cos(yaw) * Math.cos(pitch), Math.sin(pitch)];
    const pos = eye.map((e, i) => centre[i] + e * dist);
    const z = eye;
    let x = [-z[1], z[0], 0];
    const xl = Math.hypot(x[0], x[1]) || 1;
    x = x.map((c) => c / xl);
    const y = [z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]];
    const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    const viewM = [x[0], y[0], z[0], 0, x[1], y[1], z[1], 0, x[2], y[2], z[2], 0, -dot(x, pos), -dot(y, pos), -dot(z, pos), 1];
    const out = new Float32Array(16);
    for (let c = 0; c < 4; c++)
      for (let r = 0; r < 4; r++) {
        let s = 0;
        for (let k = 0; k < 4; k++) s += proj[k * 4 + r] * viewM[c * 4 + k];
        out[c * 4 + r] = s;
      }
    return { mvp: out, eye };
  }

  function draw() {
    const w = canvas.clientWidth || canvas.width, h = canvas.clientHeight || canvas.height;
    if (canvas.width !== w || canvas.height !== h) { canvas.width = w; canvas.height = h; }
    gl.viewport(0, 0, canvas.width, canvas.height);
    gl.clearColor(0.18, 0.196, 0.227, 1);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    gl.enable(gl.DEPTH_TEST);
    gl.useProgram(prog);
    const { mvp, eye } = matrices();
    gl.uniformMatrix4fv(loc.mvp, false, mvp);
    gl.uniform3fv(loc.eye, eye);
    gl.uniform1i(loc.mode, showMoved ? 1 : 0);
    gl.uniform1f(loc.maxMoved, maxMoved);
    for (const p of parts) {
      if (!p) continue;
      gl.uniform3fv(loc.base, p.colour);
      for (const [l, buf, size] of [[loc.pos, p.posBuf, 3], [loc.nrm, p.nrmBuf, 3], [loc.moved, p.movBuf, 1]]) {
        if (l < 0) continue;
        gl.bindBuffer(gl.ARRAY_BUFFER, buf);
        gl.enableVertexAttribArray(l);
        gl.vertexAttribPointer(l, size, gl.FLOAT, false, 0, 0);
      }
      gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, p.idxBuf);
      gl.drawElements(gl.TRIANGLES, p.index.length, gl.UNSIGNED_INT, 0);
    }
  }

  // Orbit with the mouse, zoom with the wheel.
  let drag = null;
  canvas.addEventListener('pointerdown', (e) => { drag = [e.clientX, e.clientY]; canvas.setPointerCapture(e.pointerId); });
  canvas.addEventListener('pointerup', () => { drag = null; });
  canvas.addEventListener('pointermove', (e) => {
    if (!drag) return;
    yaw -= (e.clientX - drag[0]) * 0.01;
    pitch = Math.max(-1.5, Math.min(1.5, pitch + (e.clientY - drag[1]) * 0.01));
    drag = [e.clientX, e.clientY];
    requestAnimationFrame(draw);
  });
  canvas.addEventListener('wheel', (e) => {
    e.preventDefault();
    dist = Math.max(radius * 0.3, Math.min(radius * 20, dist * Math.exp(e.deltaY * 0.001)));
    requestAnimationFrame(draw);
  }, { passive: false });
  // For tests: the drawn pixels (RGBA rows from the top, base64), and the screen box of every
  // vertex whose position or normal the last morph changed (moved ones and their neighbours),
  // against the positions at the last vtrMark() or the mesh itself.
  function snapshot() {
    draw();
    const w = canvas.width, h = canvas.height, px = new Uint8Array(w * h * 4);
    gl.readPixels(0, 0, w, h, gl.RGBA, gl.UNSIGNED_BYTE, px);
    let bin = '';
    for (let y = h - 1; y >= 0; y--) bin += String.fromCharCode.apply(null, px.subarray(y * w * 4, (y + 1) * w * 4));
    return { w, h, data: btoa(bin) };
  }
  function movedBox() {
    const { mvp } = matrices();
    let box = null;
    const put = (x, y, z) => {
      const cx = mvp[0] * x + mvp[4] * y + mvp[8] * z + mvp[12], cy = mvp[1] * x + mvp[5] * y + mvp[9] * z + mvp[13];
      const cw = mvp[3] * x + mvp[7] * y + mvp[11] * z + mvp[15];
      const sx = (cx / cw * 0.5 + 0.5) * canvas.width, sy = (0.5 - cy / cw * 0.5) * canvas.height;
      box = box ? [Math.min(box[0], sx), Math.min(box[1], sy), Math.max(box[2], sx), Math.max(box[3], sy)] : [sx, sy, sx, sy];
    };
    for (const p of parts) {
      if (!p) continue;
      const ring = (marked) => {
        const out = new Uint8Array(p.n);
        for (let i = 0; i < p.index.length; i += 3) {
          const a = p.index[i], b = p.index[i + 1], c = p.index[i + 2];
          if (marked[a] || marked[b] || marked[c]) out[a] = out[b] = out[c] = 1;
        }
        return out;
      };
      const moved = new Uint8Array(p.n);
      const ref = p.mark || p.base;
      for (let v = 0; v < p.n; v++)
        moved[v] = ref[3 * v] !== p.pos[3 * v] || ref[3 * v + 1] !== p.pos[3 * v + 1] || ref[3 * v + 2] !== p.pos[3 * v + 2] ? 1 : 0;
      const near = ring(ring(moved));
      for (let v = 0; v < p.n; v++)
        if (near[v]) {
          put(ref[3 * v], ref[3 * v + 1], ref[3 * v + 2]);
          put(p.pos[3 * v], p.pos[3 * v + 1], p.pos[3 * v + 2]);
        }
    }
    return box;
  }
  window.vtrMark = () => { for (const p of parts) if (p) p.mark = new Float32Array(p.pos); };
  window.vtrSnapshot = snapshot;
  window.vtrMovedBox = movedBox;
  return {
    setMesh, setMorph, draw,
    setMoved(on) { showMoved = on; requestAnimationFrame(draw); },
    setAngle(y, p) { yaw = y; pitch = p; requestAnimationFrame(draw); },
  };
})();

// ---- controls -----------------------------------------------------------------------------
$('moved').onchange = (e) => view.setMoved(e.target.checked);
$('front').onclick = () => view.setAngle(0, 0.1);
$('profile').onclick = () => view.setAngle(Math.PI / 2, 0.1);
$('reset').onclick = () => setValues([]);
async function choosePlayer() {
  try {
    await api('/api/player', { race: $('race').value, sex: $('sex').value });
    await loadAll(false);
    status(`${$('race').value}, ${$('sex').value}`);
  } catch (e) { status(e.message, true); }
}
$('race').onchange = choosePlayer;
$('sex').onchange = choosePlayer;
$('slot-load').onclick = async () => {
  try {
    const r = await api(`/api/slot?slot=${encodeURIComponent($('slot').value)}`);
    setValues(r.values);
    status(`slot ${$('slot').value} loaded`);
  } catch (e) { status(e.message, true); }
};
$('slot-save').onclick = async () => {
  try {
    const r = await api('/api/slot', { slot: Number($('slot').value), values: valueList() });
    status(`saved ${r.path}`);
  } catch (e) { status(e.message, true); }
};
$('export').onclick = () => {
  const doc = { race: state.race, raceSet: state.raceSet, sex: state.sex, values: valueList() };
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([JSON.stringify(doc, null, 1)], { type: 'application/json' }));
  a.download = `${state.raceSet || 'face'}.json`;
  a.click();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
};

// The server reloads the configuration when its files change; the page follows.
async function watch() {
  try {
    const g = await api('/api/generation');
    if (state && g.generation !== state.generation) {
      await loadAll(true);
      status('configuration reloaded');
    }
  } catch (e) { /* the server may be restarting; try again */ }
  setTimeout(watch, 700);
}

loadAll(false).then(() => { window.vtrReady = true; watch(); }, (e) => status(e.message, true));
