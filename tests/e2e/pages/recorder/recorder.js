// Test page: records every clientJS2 call (in localStorage, so a message that
// arrives while the page reloads is not lost) and reports it to the
// simulator; messages of channel "e2e" make it act, so a test can raise
// script errors, call serverJS or take clientJS2 away on demand. ES5 and the
// headless host's DOM subset only.
(function () {
  var STORE_KEY = "e2e.messages";
  var LOADS_KEY = "e2e.loads";
  var REPORT_URL = "/page/report";
  var PROBES = [
    ["pcname", "sys"], ["appname", "sys"], ["runpath", "sys"],
    ["width", "window"], ["height", "window"], ["left", "window"],
    ["top", "window"], ["title", "window"]
  ];
  var queue = [];
  var busy = false;
  var seq = 0;

  function report(value) {
    queue.push(JSON.stringify(value));
    if (!busy) { sendNext(); }
  }

  function sendNext() {
    if (queue.length === 0) { busy = false; return; }
    busy = true;
    var finished = false;
    function done() {
      if (finished) { return; }
      finished = true;
      sendNext();
    }
    var request = new XMLHttpRequest();
    request.open("POST", REPORT_URL, true);
    request.setRequestHeader("Content-Type", "application/json");
    request.onreadystatechange = function () { if (request.readyState === 4) { done(); } };
    request.onerror = done;
    request.send(queue.shift());
  }

  function stored() {
    try { return JSON.parse(localStorage.getItem(STORE_KEY) || "[]"); } catch (e) { return []; }
  }

  function remember(message) {
    var list = stored();
    list.push(message);
    localStorage.setItem(STORE_KEY, JSON.stringify(list));
  }

  function probe() {
    var result = { available: typeof serverJS === "function", replies: {}, types: {} };
    if (!result.available) { return result; }
    for (var i = 0; i < PROBES.length; i++) {
      var reply = serverJS(JSON.stringify({ c: PROBES[i][1], a: PROBES[i][0] }));
      result.types[PROBES[i][0]] = typeof reply;
      result.replies[PROBES[i][0]] = reply === undefined ? null : reply;
    }
    return result;
  }

  function raise(text) {
    throw new Error(text); // e2e-uncaught-line
  }

  var commands = {
    uncaught: function (data) { raise(data.text); },
    error: function (data) { console.error(data.text); },
    warn: function (data) { console.warn(data.text); },
    serverjs: function (data) {
      var reply = serverJS(data.arg);
      report({ kind: "reply", id: data.id, type: typeof reply, value: reply === undefined ? null : reply });
    },
    dump: function () { report({ kind: "dump", stored: stored() }); },
    // Ways a page is led elsewhere: by script, a new window, an iframe, a
    // link covering the whole view for a real click to land on.
    go: function (data) { location.href = data.url; },
    open: function (data) {
      var opened = window.open(data.url);
      report({ kind: "opened", got: opened ? "window" : String(opened) });
    },
    frame: function (data) {
      var frame = document.createElement("iframe");
      frame.src = data.url;
      document.body.appendChild(frame);
      report({ kind: "frame-added" });
    },
    link: function (data) {
      var link = document.createElement("a");
      link.setAttribute("href", data.url);
      if (data.target) { link.setAttribute("target", data.target); }
      link.textContent = "link";
      // Pixel sizes: the headless engine places only such elements for a hit.
      link.style.position = "fixed";
      link.style.left = "0px";
      link.style.top = "0px";
      link.style.width = "4000px";
      link.style.height = "4000px";
      link.style.display = "block";
      document.body.appendChild(link);
      report({ kind: "link-added" });
    },
    // Takes clientJS2 away for a while and raises one error meanwhile.
    unbind: function (data) {
      var saved = window.clientJS2;
      delete window.clientJS2;
      console.error(data.text);
      setTimeout(function () {
        window.clientJS2 = saved;
        report({ kind: "rebound" });
      }, data.ms || 3000);
    }
  };

  window.clientJS2 = function (message) {
    seq += 1;
    remember(message);
    var last = document.getElementById("last");
    if (last) { last.textContent = JSON.stringify(message); }
    report({ kind: "message", msg: message, seq: seq, load: loads });
    if (message && message.c === "e2e" && message.a === "spin") {
      // A push handler that never returns, inside the till's own call.
      for (;;) { seq += 0; }
    }
    if (message && message.c === "e2e" && commands[message.a]) {
      // Outside the till's call, as a page's own timer would run it.
      setTimeout(function () { commands[message.a](message.data || {}); }, 0);
    }
  };

  var loads = parseInt(localStorage.getItem(LOADS_KEY) || "0", 10) + 1;
  localStorage.setItem(LOADS_KEY, String(loads));
  report({ kind: "loaded", loads: loads, href: location.href, stored: stored(), serverjs: probe() });
})();
