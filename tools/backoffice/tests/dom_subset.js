// The page-side world of our headless engine, and nothing more: a page that
// reaches for anything outside it fails here with "outside the DOM subset".
// Timers run on a virtual clock advanced by runTimers(ms); XMLHttpRequest
// records each request and completes it from a timer, as the engine does on
// its GUI thread. PAGE_IDS (set before this file) lists the page's element ids.
var window = this;
var harness = { requests: [], consoleLines: [], xhrMode: "ok", now: 0, timers: [], nextTimer: 1 };

function strictObject(target, allowed, what) {
  return new Proxy(target, {
    get: function (object, key) {
      if (typeof key === "string" && allowed.indexOf(key) < 0) {
        throw new TypeError(what + "." + key + " is outside the DOM subset");
      }
      return object[key];
    },
    set: function (object, key, value) {
      if (typeof key === "string" && allowed.indexOf(key) < 0) {
        throw new TypeError(what + "." + key + " is outside the DOM subset");
      }
      object[key] = value;
      return true;
    }
  });
}

var ELEMENT_MEMBERS = ["id", "nodeType", "tagName", "textContent", "innerText", "innerHTML", "className", "style",
  "appendChild", "removeChild", "children", "childNodes", "setAttribute", "getAttribute"];

function makeElement(tag, id) {
  var children = [];
  var attributes = {};
  var element = {
    id: id || "", nodeType: 1, tagName: tag.toUpperCase(), textContent: "", innerText: "", innerHTML: "", className: "",
    style: {}, children: children, childNodes: children,
    appendChild: function (child) { children.push(child); return child; },
    removeChild: function (child) {
      var at = children.indexOf(child);
      if (at < 0) { throw new Error("removeChild: not a child"); }
      children.splice(at, 1);
      return child;
    },
    setAttribute: function (name, value) { attributes[name] = String(value); },
    getAttribute: function (name) { return attributes.hasOwnProperty(name) ? attributes[name] : null; }
  };
  return strictObject(element, ELEMENT_MEMBERS, "element");
}

var pageElements = {};
for (var i = 0; i < PAGE_IDS.length; i++) { pageElements[PAGE_IDS[i]] = makeElement("div", PAGE_IDS[i]); }

var document = strictObject({
  title: "",
  body: makeElement("body"),
  getElementById: function (id) { return pageElements.hasOwnProperty(id) ? pageElements[id] : null; },
  createElement: function (tag) { return makeElement(tag); },
  createTextNode: function (text) {
    return strictObject({ nodeType: 3, data: String(text), textContent: String(text) }, ["nodeType", "data", "textContent"],
      "text");
  }
}, ["title", "body", "getElementById", "createElement", "createTextNode"], "document");

function consoleAt(level) {
  return function () {
    harness.consoleLines.push({ level: level, text: Array.prototype.join.call(arguments, " ") });
  };
}
var console = { log: consoleAt(1), info: consoleAt(1), debug: consoleAt(1), warn: consoleAt(2), error: consoleAt(3) };

function addTimer(fn, delay, repeat) {
  var id = harness.nextTimer++;
  harness.timers.push({ id: id, fn: fn, due: harness.now + (delay || 0), period: repeat ? Math.max(delay, 1) : 0 });
  return id;
}
function removeTimer(id) {
  for (var t = 0; t < harness.timers.length; t++) {
    if (harness.timers[t].id === id) { harness.timers.splice(t, 1); return; }
  }
}
function setTimeout(fn, delay) { return addTimer(fn, delay, false); }
function setInterval(fn, delay) { return addTimer(fn, delay, true); }
function clearTimeout(id) { removeTimer(id); }
function clearInterval(id) { removeTimer(id); }

// Runs every timer due within the next `ms` virtual milliseconds, earliest first.
function runTimers(ms) {
  var end = harness.now + ms;
  while (true) {
    var next = null;
    for (var t = 0; t < harness.timers.length; t++) {
      if (harness.timers[t].due <= end && (next === null || harness.timers[t].due < next.due)) { next = harness.timers[t]; }
    }
    if (next === null) { break; }
    harness.now = Math.max(harness.now, next.due);
    if (next.period) { next.due += next.period; } else { removeTimer(next.id); }
    next.fn();
  }
  harness.now = end;
}

var storage = {};
var localStorage = {
  getItem: function (key) { return storage.hasOwnProperty(key) ? storage[key] : null; },
  setItem: function (key, value) { storage[key] = String(value); },
  removeItem: function (key) { delete storage[key]; },
  clear: function () { storage = {}; }
};

var location = { href: "http://127.0.0.1:8099/client/app/lumo/", reload: function () { harness.reloads = (harness.reloads || 0) + 1; } };
var navigator = { userAgent: "lumo-headless" };

function XMLHttpRequest() {
  var self = { readyState: 0, status: 0, responseText: "", onreadystatechange: null, onload: null, onerror: null };
  var request = { headers: {} };
  self.open = function (method, url, async) { request.method = method; request.url = url; request.async = async; self.readyState = 1; };
  self.setRequestHeader = function (name, value) { request.headers[name] = value; };
  self.send = function (body) {
    request.body = body;
    harness.requests.push(request);
    var mode = harness.xhrMode;
    if (mode === "never") { return; }
    setTimeout(function () {
      self.readyState = 4;
      self.status = mode === "ok" ? 200 : 0;
      if (self.onreadystatechange) { self.onreadystatechange(); }
      if (mode === "ok" && self.onload) { self.onload(); }
      if (mode !== "ok" && self.onerror) { self.onerror(); }
    }, 1);
  };
  return strictObject(self, ["readyState", "status", "responseText", "onreadystatechange", "onload", "onerror",
    "open", "setRequestHeader", "send"], "XMLHttpRequest");
}

function childTexts(id) {
  var out = [];
  var children = document.getElementById(id).children;
  for (var c = 0; c < children.length; c++) { out.push(children[c].textContent); }
  return out;
}

// The cells of each row of a table body: element children only, as a row's
// cells are (the spaces between them are text nodes).
function rowCells(id) {
  var out = [];
  var rows = document.getElementById(id).children;
  for (var r = 0; r < rows.length; r++) {
    var cells = [];
    for (var c = 0; c < rows[r].childNodes.length; c++) {
      var node = rows[r].childNodes[c];
      if (node.nodeType !== 3) { cells.push(node.tagName + ":" + node.className + ":" + node.textContent); }
    }
    out.push(cells);
  }
  return out;
}

// What a test reads back: every request body, the visible texts and the console.
function harnessResult(ids) {
  var texts = {};
  for (var k = 0; k < ids.length; k++) { texts[ids[k]] = document.getElementById(ids[k]).textContent; }
  var bodies = [];
  for (var r = 0; r < harness.requests.length; r++) { bodies.push(harness.requests[r]); }
  return JSON.stringify({ requests: bodies, texts: texts, console: harness.consoleLines,
    messageLines: childTexts("messages"), saleRows: rowCells("sale-items"),
    errorClass: document.getElementById("error").className, storage: storage, pending: harness.timers.length });
}
