// The tables of the page: each channel's biquad bank and filter, loudness
// and what else "sync" holds that no other part shows, and the hands-free
// panel. Every change is one command through dsp.change; the tables show
// only what the device reported, so a value missing from a cut report is
// missing here too.
"use strict";

(function() {
const el = dsp.el;

// Which <details> are open, by id: the page is redrawn after every change.
const opened = {};

// A collapsed section whose content is built when it is opened: six biquad
// banks are 840 fields, too many to redraw on every change.
function section(id, title, build) {
  const details = el("details", {id: id});
  details.append(el("summary", {}, title));
  const fill = () => {
    if (details.children.length === 1) details.append(build());
  };
  details.open = Boolean(opened[id]);
  if (details.open) fill();
  details.addEventListener("toggle", () => {
    opened[id] = details.open;
    if (details.open) fill();
  });
  return details;
}

function table(className, headings) {
  const node = el("table", {className: className});
  const head = node.insertRow();
  for (const text of headings) head.append(el("th", {}, text));
  return node;
}

// A value the device reported, or an empty cell where it reported none.
function shown(value) {
  return el("td", {}, value === undefined ? "" : String(value));
}

// One field of a whole-line form: a change sends the line with the other
// values as the device last reported them. dsp.field's id would hold those
// values, so this one names the value instead ("ftr-1-value3").
function lineField(values, index, line, id) {
  const words = (v) => line(values.map((old, i) => i === index ? v : String(old)));
  const cell = dsp.field(values[index], words);
  cell.querySelector("input").id = id;
  cell.querySelector(".error").id = id + "-message";
  return cell;
}

// A row of a whole-line form's values, named by `keys` in `record`: fields
// when the device reported the whole line, else shown as they came (a
// line with a value the device did not report cannot be sent).
function lineRow(row, record, keys, line, prefix) {
  const values = keys.map((key) => record[key]);
  const whole = values.every((v) => v !== undefined);
  keys.forEach((key, i) => {
    row.append(whole ? lineField(values, i, line, prefix + key) : shown(values[i]));
  });
}

// A flag as a checkbox; its id follows dsp.field's ("hfaec-seq-en").
function flag(value, words) {
  const cell = el("td");
  const box = el("input", {type: "checkbox", checked: value !== 0});
  const error = el("span", {className: "error"});
  const key = words("").join(" ");
  box.id = key.trim().replace(/ +/g, "-");
  error.id = box.id + "-message";
  dsp.showMessage(key, box, error);
  box.addEventListener("change", () => dsp.change(words(box.checked ? "1" : "0"), key));
  cell.append(box, error);
  return cell;
}

// Rows of a label and one value each: [label, value, words] with words
// null for a value that no command sets.
function pairs(rows) {
  const node = el("table", {className: "pairs"});
  for (const [label, value, words] of rows) {
    if (value === undefined) continue;
    const cell = words ? dsp.field(value, words) : shown(value);
    node.insertRow().append(el("th", {}, label), cell);
  }
  return node;
}

const kBiquadFields = ["type", "cf", "gain", "q", "method", "slope", "phase"];
const kFilterKeys = ["value1", "value2", "value3", "value4", "value5", "value6"];
const kLoudKeys = ["value1", "value2", "value3"];

function biquadTable(ch) {
  const node = table("wide", ["Band"].concat(kBiquadFields));
  dsp.sync.bq[ch].forEach((band, b) => {
    const row = node.insertRow();
    row.append(el("td", {}, String(b)));
    for (const name of kBiquadFields) {
      row.append(band[name] === undefined
                     ? shown()
                     : dsp.field(band[name], (v) => ["bq", name, String(b), v, String(ch)]));
    }
  });
  const scroll = el("div", {className: "scroll"});
  scroll.append(node);
  return scroll;
}

function filterTable(ch) {
  const node = table("wide", ["V1", "V2", "V3", "V4", "V5", "V6"]);
  const line = (values) => ["ftr", String(ch)].concat(values);
  lineRow(node.insertRow(), dsp.sync.ftr[ch], kFilterKeys, line, "ftr-" + ch + "-");
  return node;
}

dsp.channelParts.push((panel, ch) => {
  const sync = dsp.sync;
  if (sync.ftr && sync.ftr[ch]) {
    panel.append(section("filter" + ch, "Filter", () => filterTable(ch)));
  }
  if (sync.bq && sync.bq[ch]) {
    panel.append(section("biquad" + ch, "Biquad bank", () => biquadTable(ch)));
  }
});

// A report's own fields, which no command sets.
function reportFacts(report) {
  return pairs([["Tag", report.tag, null],
                ["Complete", report.complete ? "yes" : "no, cut short", null]]);
}

function group(title, ...content) {
  const node = el("section", {className: "group"});
  node.append(el("h3", {}, title), ...content);
  return node;
}

dsp.pageParts.push(() => {
  const root = document.getElementById("dspTables");
  root.textContent = "";
  const sync = dsp.sync;
  if (!sync) return;
  root.append(el("h2", {}, "Other settings"));
  const parts = [];
  if (sync.loud) {
    const node = table("wide", ["V1", "V2", "V3"]);
    lineRow(node.insertRow(), sync.loud, kLoudKeys, (values) => ["loud"].concat(values), "loud-");
    parts.push(group("Loudness", node));
  }
  parts.push(group("Sync report", reportFacts(sync)));
  root.append(...parts);
});

// A hands-free equalizer ("seq" send, "req" receive): on/off and 8 bands.
function handsfreeEqualizer(name, eq) {
  const onOff = el("table", {className: "pairs"});
  if (eq.en !== undefined) {
    onOff.insertRow().append(el("th", {}, "On"), flag(eq.en, (v) => ["hfaec", name, "en", v]));
  }
  const bands = table("wide", ["Band", "cf", "gain", "q"]);
  for (let b = 0; eq.cf && b < eq.cf.length; ++b) {
    const row = bands.insertRow();
    row.append(el("td", {}, String(b)));
    for (const key of ["cf", "gain", "q"]) {
      const value = eq[key] && eq[key][b];
      const words = (v) => ["hfaec", name, key, String(b), v];
      row.append(value === undefined ? shown() : dsp.field(value, words));
    }
  }
  return [onOff, bands];
}

function microphones(hf) {
  const node = table("wide", ["Channel", "MicOpGain", "MicPgaGain"]);
  const count = Math.max((hf.opgain || []).length, (hf.pgagain || []).length);
  for (let ch = 0; ch < count; ++ch) {
    const row = node.insertRow();
    row.append(el("td", {}, String(ch)));
    for (const [key, name] of [["opgain", "MicOpGain"], ["pgagain", "MicPgaGain"]]) {
      const value = hf[key] && hf[key][ch];
      const words = (v) => ["hfaec", "adc", name, String(ch), v];
      row.append(value === undefined ? shown() : dsp.field(value, words));
    }
  }
  return node;
}

dsp.pageParts.push(() => {
  const root = document.getElementById("handsfree");
  root.textContent = "";
  const hf = dsp.hfsync;
  root.append(el("h2", {}, "Hands-free"));
  if (!hf) {
    root.append(el("p", {}, "The device gave no hands-free report."));
    return;
  }
  const nlp = hf.nlp || {};
  const parts = [group("Microphone ADC gain", microphones(hf))];
  if (hf.seq) parts.push(group("Send equalizer", ...handsfreeEqualizer("seq", hf.seq)));
  if (hf.req) parts.push(group("Receive equalizer", ...handsfreeEqualizer("req", hf.req)));
  parts.push(group("Echo canceller and noise", pairs([
    ["Duplex (pfGainLimitIdx)", hf.duplex, (v) => ["hfaec", "aec", "pfGainLimitIdx", v]],
    ["Noise reduction (nrAttenIdx)", hf.nr, (v) => ["hfaec", "nr", "nrAttenIdx", v]],
    ["Uplink gain", hf.uplink, (v) => ["hfaec", "uplink", "gain", v]],
  ])));
  parts.push(group("Non-linear processor",
                   pairs(["pfWeightIdx", "cnEstiIdx", "cnExecIdx"].map(
                       (key) => [key, nlp[key], (v) => ["hfaec", "nlp", key, v]]))));
  parts.push(group("Hands-free report", reportFacts(hf)));
  root.append(...parts);
});
})();
