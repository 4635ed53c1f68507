// Store, restore, diff and MP.bin, in the header's #files section.
//
// A state file goes to the server as it is: the server judges its shape,
// version and ranges with dspctl's own restore, so the page repeats none of
// that. An MP.bin's size is all the page can know, and it checks that before
// anything is sent.
"use strict";

(function() {
  const el = dsp.el;
  const kMpBinSizes = {296: "standard", 2560: "extended"};
  let stateFile = null;  // {name, text}: the file whose differences are shown

  // Fetches `path` and saves what comes as a download under the name the
  // server gives; an error stays on the page instead of replacing it.
  async function download(path, messageId) {
    const response = await fetch(path);
    if (!response.ok) {
      const answer = await response.json().catch(() => ({}));
      $(messageId).textContent = answer.error || "HTTP " + response.status;
      return;
    }
    $(messageId).textContent = "";
    const named = /filename="([^"]+)"/.exec(response.headers.get("Content-Disposition") || "");
    const link = el("a", {href: URL.createObjectURL(await response.blob()),
                          download: named ? named[1] : "download"});
    link.click();
    // Revoked later: the download reads the blob after click() returns.
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  }

  // Posts the chosen state file to /api/diff or /api/restore, under its name
  // for the server's messages.
  async function sendState(path) {
    const response = await fetch(path + "?name=" + encodeURIComponent(stateFile.name), {
      method: "POST", headers: {"Content-Type": "application/json"}, body: stateFile.text});
    const answer = await response.json().catch(() => ({}));
    if (!response.ok && answer.status === undefined && !answer.error) {
      answer.error = "HTTP " + response.status;
    }
    return answer;
  }

  function showState(text, message) {
    $("stateResult").textContent = text;
    $("stateResult").hidden = text === "";
    $("stateFile-message").textContent = message;
  }

  // Shows the chosen file's differences from the device; Apply is offered
  // only when there are some and restore would take the file.
  async function compare(input) {
    $("stateApply").disabled = true;
    if (!input.files.length) return;
    const file = input.files[0];
    stateFile = {name: file.name, text: await file.text()};
    input.value = "";  // choosing the same file again is a change again
    showState("", "comparing " + file.name + " with the device...");
    const answer = await sendState("/api/diff");
    if (answer.error || answer.status > 1) {
      showState("", answer.error || answer.messages.trim());
      return;
    }
    if (answer.status === 0) {
      showState("", "The device's state is that of " + file.name + ".");
      return;
    }
    showState("Differences, as \"setting: in " + file.name + " -> on the device\":\n" +
              answer.output, answer.refusal ? "Restore would refuse it: " + answer.refusal
                                            : "Apply restores " + file.name + " onto the device.");
    $("stateApply").disabled = Boolean(answer.refusal);
  }

  async function apply() {
    $("stateApply").disabled = true;
    showState($("stateResult").textContent, "restoring " + stateFile.name + "...");
    const answer = await sendState("/api/restore");
    // The outcome shows once the page shows the device's state after it.
    await dsp.refresh();
    if (answer.error) {
      showState("", answer.error);
    } else {
      showState(answer.output, (answer.messages + "restore ended with status " +
                                answer.status + (answer.status === 0 ? " (ok)" : "")).trim());
    }
  }

  // Checks the chosen MP.bin's size, then writes it to the device.
  async function putMpBin(input) {
    const message = $("mpbinFile-message");
    if (!input.files.length) return;
    const file = input.files[0];
    input.value = "";
    const kind = kMpBinSizes[file.size];
    if (!kind) {
      message.textContent = file.name + " is " + file.size + " bytes; an MP.bin is 296 " +
                            "(standard) or 2560 (extended): nothing sent";
      return;
    }
    const bytes = new Uint8Array(await file.arrayBuffer());
    const hex = Array.from(bytes, (b) => b.toString(16).padStart(2, "0")).join("");
    message.textContent = "writing " + file.name + "...";
    const answer = await dsp.api("/api/mpbin", {hex: hex});
    message.textContent = answer.error ||
                          answer.reply + " " + file.name + " written as the " + kind + " blob";
  }

  function button(text, attributes, onClick) {
    const node = el("button", attributes, text);
    node.addEventListener("click", onClick);
    return node;
  }

  function row(label, ...nodes) {
    const node = el("div", {className: "filesRow"}, label);
    node.append(...nodes);
    return node;
  }

  function draw() {
    const stateInput = el("input", {type: "file", id: "stateFile", accept: ".json"});
    const mpbinInput = el("input", {type: "file", id: "mpbinFile", accept: ".bin"});
    stateInput.addEventListener("change", () => compare(stateInput));
    mpbinInput.addEventListener("change", () => putMpBin(mpbinInput));
    $("files").append(
        row("State file: ",
            button("Store", {id: "store"}, () => download("/api/store", "stateFile-message")),
            el("label", {htmlFor: "stateFile"}, " compare with a file, then restore it: "),
            stateInput, button("Apply", {id: "stateApply", disabled: true}, apply),
            el("span", {className: "filesMessage", id: "stateFile-message"})),
        row("MP.bin: ",
            button("Download standard", {id: "mpbin0"},
                   () => download("/api/mpbin?ext=0", "mpbinFile-message")),
            button("Download extended", {id: "mpbin1"},
                   () => download("/api/mpbin?ext=1", "mpbinFile-message")),
            el("label", {htmlFor: "mpbinFile"}, " write a file: "), mpbinInput,
            el("span", {className: "filesMessage", id: "mpbinFile-message"})),
        el("pre", {id: "stateResult", hidden: true}));
  }

  // Drawn once: a redraw must not drop the chosen file or its differences.
  let drawn = false;
  dsp.pageParts.push(() => {
    if (!drawn) draw();
    drawn = true;
  });
})();
