// The console page: shows what the device reported and sends one command
// per change through /api/command; a refused or failed change shows its
// reason beside the control, which returns to the device's value.
"use strict";

const $ = (id) => document.getElementById(id);
let sync = null;  // the last "sync" the device reported

async function api(path, body) {
  const options = body === undefined ? {} : {
    method: "POST", headers: {"Content-Type": "application/json"}, body: JSON.stringify(body)};
  const response = await fetch(path, options);
  let answer = {};
  try { answer = await response.json(); } catch (e) { answer = {error: response.statusText}; }
  if (!response.ok && !answer.error) answer.error = "HTTP " + response.status;
  return answer;
}

function el(tag, attributes, text) {
  const node = document.createElement(tag);
  Object.assign(node, attributes || {});
  if (text !== undefined) node.textContent = text;
  return node;
}

// Sends `words`; shows the outcome on `control` and its `errorNode`, then
// shows the part read back (or the old value when nothing came back).
async function change(words, control, errorNode) {
  errorNode.textContent = "";
  control.classList.remove("failed");
  const answer = await api("/api/command", {words: words});
  let message = answer.error || "";
  if (answer.reply === "[fail]") message = "[fail] " + (answer.reason || "the device refused it");
  if (!message && answer.warning) message = "warning: " + answer.warning;
  if (message) {
    errorNode.textContent = message;
    if (answer.error || answer.reply === "[fail]") control.classList.add("failed");
  }
  if (answer.part === "sync" && answer.report) sync = answer.report;
  render();
}

function field(value, words, width) {
  const cell = el("td");
  const input = el("input", {type: "text", value: value, size: width || 6});
  const error = el("span", {className: "error"});
  input.addEventListener("change", () => change(words(input.value.trim()), input, error));
  cell.append(input, error);
  return cell;
}

function channelPanel(ch) {
  const panel = el("section", {className: "channel", id: "ch" + ch});
  panel.append(el("h2", {}, "Channel " + ch));
  const gain = sync.vol && sync.vol.gain ? sync.vol.gain[ch] : undefined;
  if (gain !== undefined) {
    const label = el("label", {}, "Gain ");
    const slider = el("input", {type: "range", min: 0, max: 255, value: gain, id: "gain" + ch});
    const shown = el("output", {}, String(gain));
    const error = el("span", {className: "error"});
    slider.addEventListener("input", () => { shown.textContent = slider.value; });
    slider.addEventListener("change", () => change(["cvol", String(ch), slider.value], slider, error));
    label.append(slider, shown);
    panel.append(label, error);
  }
  if (sync.delay && sync.delay[ch] !== undefined) {
    const row = el("table").insertRow();
    row.append(el("th", {}, "Delay"), field(sync.delay[ch], (v) => ["delay", String(ch), v]));
    panel.append(row.parentNode.parentNode || row);
  }
  const eq = sync.eq && sync.eq[ch];
  if (eq) {
    const table = el("table");
    const head = table.insertRow();
    head.append(el("th", {}, "Band"), el("th", {}, "cf"), el("th", {}, "gain"), el("th", {}, "q"));
    for (let band = 0; band < 8; ++band) {
      if (eq.cf[band] === undefined) break;
      const row = table.insertRow();
      row.append(el("td", {}, String(band)));
      for (const name of ["cf", "gain", "q"]) {
        if (eq[name] && eq[name][band] !== undefined) {
          row.append(field(eq[name][band], (v) => ["eq", name, String(band), v, String(ch)]));
        } else {
          row.append(el("td"));
        }
      }
    }
    panel.append(table);
  }
  return panel;
}

function render() {
  const channels = $("channels");
  channels.textContent = "";
  const master = $("master");
  if (!sync || !sync.vol) {
    master.disabled = true;
    $("layout").textContent = "-";
    $("masterValue").textContent = "-";
    return;
  }
  const layouts = {0: "4.0", 1: "4.1", 2: "2.0"};
  $("layout").textContent = sync.vol.layout in layouts ? layouts[sync.vol.layout] : sync.vol.layout;
  master.disabled = false;
  master.value = sync.vol.master;
  $("masterValue").textContent = sync.vol.master;
  for (let ch = 0; ch < 6; ++ch) channels.append(channelPanel(ch));
}

async function refresh() {
  const state = await api("/api/state");
  $("reachable").textContent = state.error ? state.error
                               : state.reachable ? "reachable" : "not reachable";
  $("readMs").textContent = state.readMs !== undefined ? state.readMs + " ms" : "-";
  sync = state.sync || null;
  render();
}

$("refresh").addEventListener("click", refresh);
$("master").addEventListener("input", () => { $("masterValue").textContent = $("master").value; });
$("master").addEventListener("change",
                             () => change(["vol", $("master").value], $("master"), $("masterError")));
refresh();
