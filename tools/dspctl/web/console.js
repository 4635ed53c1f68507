// The console page: shows what the device reported and sends one command
// per change through /api/command; a refused or failed change shows its
// reason beside the control, which returns to the device's value.
//
// The other scripts (loaded after this one) add their parts through `dsp`:
// `dsp.channelParts` are called with (panel, ch) for each channel's panel,
// `dsp.pageParts` with no argument on every redraw of the page.
"use strict";

const $ = (id) => document.getElementById(id);

const dsp = {
  sync: null,    // the last "sync" the device reported
  hfsync: null,  // the last "hfsync"
  // Per control (its command's words with the value left empty): the message
  // of its last change, kept across the redraw that brings back the device's value.
  messages: {},
  channelParts: [],
  pageParts: [],
};

dsp.api = async function(path, body) {
  const options = body === undefined ? {} : {
    method: "POST", headers: {"Content-Type": "application/json"}, body: JSON.stringify(body)};
  const response = await fetch(path, options);
  let answer = {};
  try { answer = await response.json(); } catch (e) { answer = {error: response.statusText}; }
  if (!response.ok && !answer.error) answer.error = "HTTP " + response.status;
  return answer;
};

dsp.el = function(tag, attributes, text) {
  const node = document.createElement(tag);
  Object.assign(node, attributes || {});
  if (text !== undefined) node.textContent = text;
  return node;
};
const el = dsp.el;

// Sends `words`, then shows the part read back, or the device's value again
// when nothing changed; the outcome stays beside the control named by `key`.
dsp.change = async function(words, key) {
  const answer = await dsp.api("/api/command", {words: words});
  let message = answer.error || "";
  if (answer.reply === "[fail]") {
    message = "[fail] " + (answer.reason ? "likely " + answer.reason
                                         : "the device's own operation failed; its log tells why");
  }
  const failed = message !== "";
  if (!failed && answer.warning) message = "warning: " + answer.warning;
  dsp.messages[key] = {text: message, failed: failed};
  if (answer.part === "sync" && answer.report) dsp.sync = answer.report;
  if (answer.part === "hfsync" && answer.report) dsp.hfsync = answer.report;
  dsp.render();
  return !failed;
};

// The control's message, if its last change left one.
dsp.showMessage = function(key, control, node) {
  const message = dsp.messages[key];
  node.textContent = message ? message.text : "";
  node.title = node.textContent;
  control.classList.toggle("failed", Boolean(message && message.failed));
};

// A typed field in a table cell: `words(value)` gives the command. Its id is
// the command's words without the value, joined by "-" ("eq-gain-3-1"); its
// message's id adds "-message".
dsp.field = function(value, words) {
  const cell = el("td");
  const input = el("input", {type: "text", value: value, size: 6});
  const error = el("span", {className: "error"});
  const key = words("").join(" ");
  input.id = key.trim().replace(/ +/g, "-");
  error.id = input.id + "-message";
  dsp.showMessage(key, input, error);
  input.addEventListener("change", () => dsp.change(words(input.value.trim()), key));
  cell.append(input, error);
  return cell;
};
const field = dsp.field;

function channelPanel(ch) {
  const sync = dsp.sync;
  const panel = el("section", {className: "channel", id: "ch" + ch});
  panel.append(el("h2", {}, "Channel " + ch));
  const gain = sync.vol && sync.vol.gain ? sync.vol.gain[ch] : undefined;
  if (gain !== undefined) {
    const label = el("label", {}, "Gain ");
    const slider = el("input", {type: "range", min: 0, max: 255, value: gain, id: "gain" + ch});
    const shown = el("output", {}, String(gain));
    const error = el("span", {className: "error"});
    slider.addEventListener("input", () => { shown.textContent = slider.value; });
    dsp.showMessage("cvol " + ch, slider, error);
    slider.addEventListener("change",
                            () => dsp.change(["cvol", String(ch), slider.value], "cvol " + ch));
    label.append(slider, shown);
    panel.append(label, error);
  }
  if (sync.delay && sync.delay[ch] !== undefined) {
    const table = el("table");
    table.insertRow().append(el("th", {}, "Delay"),
                             field(sync.delay[ch], (v) => ["delay", String(ch), v]));
    panel.append(table);
  }
  const eq = sync.eq && sync.eq[ch];
  if (eq) {
    const table = el("table", {className: "bands"});
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
  for (const part of dsp.channelParts) part(panel, ch);
  return panel;
}

// Redraws the page from the reports. The control that has the focus keeps
// it, and text typed there and not yet sent stays, since a redraw comes
// after every answer, while the user may be typing in the next field.
dsp.render = function() {
  const focused = document.activeElement;
  const typed = focused && focused.dataset && focused.dataset.typed ? focused.value : null;
  draw();
  const again = focused && focused.id ? $(focused.id) : null;
  if (!again || again === focused) return;
  if (typed !== null) again.value = typed;
  again.focus();
};

function draw() {
  const sync = dsp.sync;
  const channels = $("channels");
  channels.textContent = "";
  const master = $("master");
  if (!sync || !sync.vol) {
    master.disabled = true;
    $("layout").textContent = "-";
    $("masterValue").textContent = "-";
  } else {
    const layouts = {0: "4.0", 1: "4.1", 2: "2.0"};
    $("layout").textContent =
        sync.vol.layout in layouts ? layouts[sync.vol.layout] : sync.vol.layout;
    master.disabled = false;
    master.value = sync.vol.master;
    $("masterValue").textContent = sync.vol.master;
    dsp.showMessage("vol", master, $("masterError"));
    for (let ch = 0; ch < 6; ++ch) channels.append(channelPanel(ch));
  }
  for (const part of dsp.pageParts) part();
}

dsp.refresh = async function() {
  const state = await dsp.api("/api/state");
  $("reachable").textContent = state.error ? state.error
                               : state.reachable ? "reachable" : "not reachable";
  $("readMs").textContent = state.readMs !== undefined ? state.readMs + " ms" : "-";
  dsp.sync = state.sync || null;
  dsp.hfsync = state.hfsync || null;
  dsp.render();
};

// A text field holds typed text from its first keystroke until its change
// is sent.
document.addEventListener("input", (event) => {
  if (event.target.type === "text") event.target.dataset.typed = "1";
});
document.addEventListener("change", (event) => { delete event.target.dataset.typed; });
$("refresh").addEventListener("click", dsp.refresh);
$("master").addEventListener("input", () => { $("masterValue").textContent = $("master").value; });
$("master").addEventListener("change", () => dsp.change(["vol", $("master").value], "vol"));
// After every script of the page has added its parts.
document.addEventListener("DOMContentLoaded", dsp.refresh);
