// Each channel's equalizer and bass/treble as a frequency plot: a handle per
// band at the (cf, gain) the device reported, dragged to send one command per
// changed value, and a modelled response curve that can be switched off.
// Everything drawn comes from dsp.sync; a drag shows its pending value as a
// ghost until the reply's report is drawn in its place.
(function() {
"use strict";

const geometry = {
  width: 600, height: 230,                       // the viewBox; the page scales it
  left: 38, right: 12, top: 18, bottom: 24,
  low: 20, high: 20000,                          // Hz, on a log axis
};
// The model's assumed sample rate: the service's own is not reported.
const sampleRate = 48000;
// Pixels a drag must move along an axis before that value counts as changed,
// so that a drag straight up does not nudge cf as well.
const deadZone = 4;
const storageKey = "dspctl.modelledResponse";
const svgNS = "http://www.w3.org/2000/svg";

function svg(tag, attributes, text) {
  const node = document.createElementNS(svgNS, tag);
  for (const [name, value] of Object.entries(attributes || {})) node.setAttribute(name, value);
  if (text !== undefined) node.textContent = text;
  return node;
}

// The gain axis: the command table takes any single-precision gain, so the
// axis spans +-18 dB, widened in 6 dB steps (to +-60) until every gain the
// device reported on any channel fits; all plots share it to compare.
function gainSpan(sync) {
  let most = 0;
  for (const part of [sync.eq, sync.eqbt]) {
    for (const record of part || []) {
      for (const gain of record.gain || []) {
        if (Number.isFinite(gain)) most = Math.max(most, Math.abs(gain));
      }
    }
  }
  return Math.min(60, Math.max(18, Math.ceil((most + 1) / 6) * 6));
}

// Maps between (Hz, dB) and viewBox coordinates.
function axes(span) {
  const g = geometry;
  const plotWidth = g.width - g.left - g.right;
  const plotHeight = g.height - g.top - g.bottom;
  const decades = Math.log10(g.high / g.low);
  const clamp = (v, lo, hi) => Math.min(hi, Math.max(lo, v));
  return {
    span: span,
    x: (f) => g.left + clamp(Math.log10(f / g.low) / decades, 0, 1) * plotWidth,
    y: (db) => g.top + clamp((span - db) / (2 * span), 0, 1) * plotHeight,
    hz: (x) => g.low * Math.pow(10, clamp((x - g.left) / plotWidth, 0, 1) * decades),
    db: (y) => span - clamp((y - g.top) / plotHeight, 0, 1) * 2 * span,
    inside: (f, db) => f >= g.low && f <= g.high && Math.abs(db) <= span,
  };
}

function hzLabel(f) { return f >= 1000 ? f / 1000 + "k" : String(f); }

function grid(node, a) {
  const g = geometry;
  for (let decade = 10; decade < g.high; decade *= 10) {
    for (let step = 1; step < 10; ++step) {
      const f = decade * step;
      if (f < g.low || f > g.high) continue;
      const labelled = step === 1 || step === 2 || step === 5;
      node.append(svg("line", {x1: a.x(f), x2: a.x(f), y1: g.top, y2: g.height - g.bottom,
                               class: labelled ? "grid" : "grid minor"}));
      if (labelled) {
        node.append(svg("text", {x: a.x(f), y: g.height - g.bottom + 14, class: "hz"},
                        hzLabel(f)));
      }
    }
  }
  for (let db = -a.span; db <= a.span; db += 6) {
    node.append(svg("line", {x1: g.left, x2: g.width - g.right, y1: a.y(db), y2: a.y(db),
                             class: db === 0 ? "grid zero" : "grid"}));
    node.append(svg("text", {x: g.left - 4, y: a.y(db) + 4, class: "db"},
                    (db > 0 ? "+" : "") + db));
  }
  // The units in the corners the labels leave free.
  node.append(svg("text", {x: 2, y: 11, class: "unit"}, "dB"));
  node.append(svg("text", {x: 2, y: g.height - 4, class: "unit"}, "Hz"));
}

// Biquad coefficients [b0, b1, b2, a0, a1, a2] from the usual peaking and
// shelving formulas; shelves with slope 1, as the device reports no q for them.
function peaking(cf, gain, q) {
  const A = Math.pow(10, gain / 40), w = 2 * Math.PI * cf / sampleRate;
  const alpha = Math.sin(w) / (2 * q), c = Math.cos(w);
  return [1 + alpha * A, -2 * c, 1 - alpha * A, 1 + alpha / A, -2 * c, 1 - alpha / A];
}

function shelf(cf, gain, high) {
  const A = Math.pow(10, gain / 40), w = 2 * Math.PI * cf / sampleRate;
  const c = (high ? -1 : 1) * Math.cos(w), s = (high ? -1 : 1);
  const root = 2 * Math.sqrt(A) * Math.sin(w) / Math.SQRT2;
  // The high shelf is the low shelf with cos(w) and the odd taps negated.
  return [A * ((A + 1) - (A - 1) * c + root), s * 2 * A * ((A - 1) - (A + 1) * c),
          A * ((A + 1) - (A - 1) * c - root), (A + 1) + (A - 1) * c + root,
          s * -2 * ((A - 1) + (A + 1) * c), (A + 1) + (A - 1) * c - root];
}

// |H| in dB at frequency f.
function responseDb(k, f) {
  const w = 2 * Math.PI * f / sampleRate;
  const power = (b0, b1, b2) => {
    const re = b0 + b1 * Math.cos(w) + b2 * Math.cos(2 * w);
    const im = b1 * Math.sin(w) + b2 * Math.sin(2 * w);
    return re * re + im * im;
  };
  return 10 * Math.log10(power(k[0], k[1], k[2]) / power(k[3], k[4], k[5]));
}

// The filters of a channel the model can draw: a band with no gain adds
// nothing, and a cf of 0 or at or above half the sample rate, or a q of 0,
// gives no filter the formulas describe, so those are left out.
function filters(eq, eqbt) {
  const usable = (cf, gain) => cf > 0 && cf < sampleRate / 2 && Number.isFinite(gain) && gain;
  const list = [];
  for (let band = 0; eq && band < eq.cf.length; ++band) {
    const q = eq.q ? eq.q[band] : 0;
    if (usable(eq.cf[band], eq.gain[band]) && q > 0) {
      list.push(peaking(eq.cf[band], eq.gain[band], q));
    }
  }
  for (let band = 0; eqbt && band < eqbt.cf.length; ++band) {
    if (usable(eqbt.cf[band], eqbt.gain[band])) {
      list.push(shelf(eqbt.cf[band], eqbt.gain[band], band === 1));
    }
  }
  return list;
}

function modelPath(a, list) {
  const points = [];
  for (let i = 0; i <= 300; ++i) {
    const f = geometry.low * Math.pow(geometry.high / geometry.low, i / 300);
    const db = list.reduce((sum, k) => sum + responseDb(k, f), 0);
    points.push(a.x(f).toFixed(1) + "," + a.y(db).toFixed(1));
  }
  return "M" + points.join(" L");
}

// The device keeps cf as a whole number; a gain snaps to 0.1 dB.
const snapHz = (f) => Math.round(f);
const snapDb = (db) => Math.round(db * 10) / 10;

// A handle for one band: `point` is {cf, gain} as reported, `words(name, v)`
// the command for one value and `key(name)` its field's message key.
function handle(root, a, id, label, point, words, key) {
  const group = svg("g", {id: id, class: "handle", "data-cf": point.cf, "data-gain": point.gain});
  if (!a.inside(point.cf, point.gain)) group.classList.add("outside");
  if (!label.startsWith("band")) group.classList.add("shelf");
  const x = a.x(point.cf), y = a.y(point.gain);
  group.append(svg("title", {}, label + ": " + point.cf + " Hz, " + point.gain + " dB"),
               svg("circle", {cx: x, cy: y, r: 9}),
               svg("text", {x: x, y: y + 4}, label.replace(/^band /, "")));
  group.addEventListener("pointerdown", (event) => {
    if (event.button !== 0) return;
    event.preventDefault();
    group.setPointerCapture(event.pointerId);
    drag(root, a, group, event, label, point, words, key);
  });
  return group;
}

function drag(root, a, group, start, label, point, words, key) {
  const ghost = svg("g", {class: "ghost"});
  const ring = svg("circle", {r: 9});
  const tip = svg("text", {});
  ghost.append(ring, tip);
  root.append(ghost);
  let pending = {cf: point.cf, gain: point.gain};
  const place = (event) => {
    const at = new DOMPoint(event.clientX, event.clientY).matrixTransform(
        root.getScreenCTM().inverse());
    pending = {
      cf: Math.abs(event.clientX - start.clientX) >= deadZone ? snapHz(a.hz(at.x)) : point.cf,
      gain: Math.abs(event.clientY - start.clientY) >= deadZone ? snapDb(a.db(at.y)) : point.gain,
    };
    const x = a.x(pending.cf), y = a.y(pending.gain);
    ring.setAttribute("cx", x);
    ring.setAttribute("cy", y);
    // Beside the ghost, kept inside the plot at either edge.
    tip.setAttribute("x", Math.min(x, geometry.width - 130));
    tip.setAttribute("y", y < 40 ? y + 26 : y - 14);
    tip.textContent = label + ": " + pending.cf + " Hz, " + pending.gain + " dB";
  };
  place(start);
  const move = (event) => place(event);
  const finish = async (event) => {
    group.removeEventListener("pointermove", move);
    group.removeEventListener("pointerup", finish);
    group.removeEventListener("pointercancel", finish);
    if (event.type === "pointercancel") { ghost.remove(); return; }
    place(event);
    const changed = ["cf", "gain"].filter((name) => pending[name] !== point[name]);
    if (!changed.length) { ghost.remove(); return; }
    ghost.classList.add("sending");
    // One command per value; each reply redraws every plot from its report.
    for (const name of changed) await dsp.change(words(name, String(pending[name])), key(name));
  };
  group.addEventListener("pointermove", move);
  group.addEventListener("pointerup", finish);
  group.addEventListener("pointercancel", finish);
}

function channelPlot(ch, a) {
  const g = geometry;
  const eq = dsp.sync.eq && dsp.sync.eq[ch];
  const eqbt = dsp.sync.eqbt && dsp.sync.eqbt[ch];
  const root = svg("svg", {id: "plot-" + ch, class: "plot", viewBox: "0 0 " + g.width + " " +
                                                                     g.height});
  const clip = svg("clipPath", {id: "plot-clip-" + ch});
  clip.append(svg("rect", {x: g.left, y: g.top, width: g.width - g.left - g.right,
                           height: g.height - g.top - g.bottom}));
  root.append(clip);
  grid(root, a);
  root.append(svg("path", {id: "plot-" + ch + "-model", class: "model", d: modelPath(a,
                           filters(eq, eqbt)), "clip-path": "url(#plot-clip-" + ch + ")"}),
              svg("text", {x: g.width - g.right - 4, y: g.top - 5, class: "model label"},
                  "model"));
  // The same keys as the typed fields, so a [fail] shows on the field.
  const fieldKey = (item, band) => (name) => [item, name, String(band), "", String(ch)].join(" ");
  const command = (item, band) => (name, v) => [item, name, String(band), v, String(ch)];
  for (let band = 0; eqbt && band < eqbt.cf.length && band < 2; ++band) {
    const label = band === 0 ? "B" : "T";
    root.append(handle(root, a, "plot-" + ch + (band ? "-treble" : "-bass"), label,
                       {cf: eqbt.cf[band], gain: eqbt.gain[band]}, command("bteq", band),
                       fieldKey("bteq", band)));
  }
  for (let band = 0; eq && band < eq.cf.length; ++band) {
    root.append(handle(root, a, "plot-" + ch + "-band-" + band, "band " + band,
                       {cf: eq.cf[band], gain: eq.gain[band]}, command("eq", band),
                       fieldKey("eq", band)));
  }
  return root;
}

// Bass and treble as typed fields, beside the band table.
function shelfTable(ch, eqbt) {
  const table = dsp.el("table", {className: "shelves"});
  table.insertRow().append(dsp.el("th"), dsp.el("th", {}, "cf"), dsp.el("th", {}, "gain"));
  ["bass", "treble"].forEach((name, band) => {
    if (eqbt.cf[band] === undefined) return;
    const row = table.insertRow();
    row.append(dsp.el("td", {}, name));
    for (const key of ["cf", "gain"]) {
      row.append(dsp.field(eqbt[key][band], (v) => ["bteq", key, String(band), v, String(ch)]));
    }
  });
  return table;
}

dsp.channelParts.push((panel, ch) => {
  const sync = dsp.sync;
  const eqbt = sync.eqbt && sync.eqbt[ch];
  if (!(sync.eq && sync.eq[ch]) && !eqbt) return;
  const bands = panel.querySelector("table.bands");
  const tables = dsp.el("div", {className: "plotTables"});
  panel.insertBefore(channelPlot(ch, axes(gainSpan(sync))), bands);
  panel.insertBefore(tables, bands);
  if (bands) tables.append(bands);
  if (eqbt) tables.append(shelfTable(ch, eqbt));
});

// One switch for every plot's model; a class on the page hides it at once.
function modelSwitch() {
  const box = dsp.el("input", {type: "checkbox", id: "modelled"});
  box.checked = localStorage.getItem(storageKey) !== "off";
  const apply = () => document.body.classList.toggle("noModel", !box.checked);
  box.addEventListener("change", () => {
    localStorage.setItem(storageKey, box.checked ? "on" : "off");
    apply();
  });
  const label = dsp.el("label");
  label.append(box, " modelled response");
  document.getElementById("device").append(label);
  apply();
}
modelSwitch();
})();
