// The window side of a page's globals: console formatting, timers,
// XMLHttpRequest, local storage, location, navigator, the page's load events
// and the drawing snapshot. The engine runs it after the DOM bootstrap.
#include "standins/node/bootstrap.h"

namespace node_standin {

const char kWindowBootstrap[] = R"JS((function (native, global, hooks) {
'use strict';
var dom = hooks.dom, document = dom.document, pageUrl = String(native.pageUrl);
function report(e) { native.reportError(e); }
function invoke(fn, self, args) {
  if (typeof fn !== 'function') return;
  try { fn.apply(self, args || []); } catch (e) { report(e); }
}

global.window = global.self = global.top = global.parent = global;
global.addEventListener = dom.addEventListener;
global.removeEventListener = dom.removeEventListener;
global.dispatchEvent = dom.dispatchEvent;

// ---- console: the engine's native functions write; this formats.
hooks.format = function () {
  var parts = [];
  for (var i = 0; i < arguments.length; i++) {
    var a = arguments[i], text;
    if (a !== null && typeof a === 'object' && !(a instanceof Error)) {
      try { text = JSON.stringify(a); } catch (e) { text = undefined; }
    }
    parts.push(text === undefined ? String(a) : text);
  }
  return parts.join(' ');
};
// [message, source, line, stack] of anything a script threw.
hooks.describeError = function (e) {
  var isObject = e !== null && (typeof e === 'object' || typeof e === 'function');
  var stack = isObject && typeof e.stack === 'string' ? e.stack : '';
  stack = stack.split('\n').filter(function (l) { return !/\) internal$/.test(l); }).join('\n');
  return ['Uncaught ' + String(e), isObject && typeof e.fileName === 'string' ? e.fileName : '',
          isObject && typeof e.lineNumber === 'number' ? e.lineNumber : 0, stack];
};

// ---- timers, run on the GUI thread by the engine's window timers
var timers = {};
function addTimer(fn, ms, args, repeat) {
  var id = native.setTimer(Number(ms) || 0, repeat);
  timers[id] = {fn: fn, args: args, repeat: repeat};
  return id;
}
global.setTimeout = function (fn, ms) {
  return addTimer(fn, ms, Array.prototype.slice.call(arguments, 2), false);
};
global.setInterval = function (fn, ms) {
  return addTimer(fn, ms, Array.prototype.slice.call(arguments, 2), true);
};
global.clearTimeout = global.clearInterval = function (id) {
  id = Number(id);
  if (Object.prototype.hasOwnProperty.call(timers, id)) { delete timers[id]; native.clearTimer(id); }
};
hooks.fireTimer = function (id) {
  var timer = timers[id];
  if (!timer) return;
  if (!timer.repeat) delete timers[id];
  if (typeof timer.fn === 'function') timer.fn.apply(global, timer.args);
  else (0, eval)(String(timer.fn));
};

// ---- XMLHttpRequest: async requests complete later on the GUI thread
var pending = {};
function XMLHttpRequest() {
  this.readyState = 0; this.status = 0; this.statusText = '';
  this.responseText = ''; this.response = ''; this.responseType = '';
  this.timeout = 0; this.withCredentials = false;
  this.onreadystatechange = this.onload = this.onerror = this.onloadend = null;
}
XMLHttpRequest.UNSENT = 0; XMLHttpRequest.OPENED = 1; XMLHttpRequest.DONE = 4;
var XhrProto = XMLHttpRequest.prototype;
XhrProto.addEventListener = dom.addEventListener;
XhrProto.removeEventListener = dom.removeEventListener;
function xhrEvent(xhr, type) {
  var event = new dom.Event(type);
  dom.dispatch(xhr, event);
}
XhrProto.open = function (method, url, async) {
  this.__method = String(method).toUpperCase();
  this.__url = String(url);
  this.__async = async !== false;
  this.__headers = [];
  this.readyState = 1;
  xhrEvent(this, 'readystatechange');
};
XhrProto.setRequestHeader = function (name, value) {
  if (this.readyState !== 1) throw new Error('InvalidStateError: the object is not opened');
  this.__headers.push(String(name), String(value));
};
function finish(xhr, status, text, failed) {
  xhr.status = status;
  xhr.statusText = failed ? '' : String(status);
  xhr.responseText = xhr.response = text;
  xhr.readyState = 4;
  xhrEvent(xhr, 'readystatechange');
  xhrEvent(xhr, failed ? 'error' : 'load');
  xhrEvent(xhr, 'loadend');
}
XhrProto.send = function (body) {
  if (this.readyState !== 1 || this.__sent) throw new Error('InvalidStateError: open() first');
  this.__sent = true;
  var data = body === undefined || body === null ? null : String(body);
  var result = native.xhrSend(this.__method, this.__url, this.__headers, data, this.__async);
  if (this.__async) { pending[result] = this; return; }
  finish(this, result[0], result[1], result[2]);
};
XhrProto.abort = function () {
  for (var id in pending) if (pending[id] === this) delete pending[id];
  this.readyState = 0;
};
XhrProto.getResponseHeader = function () { return null; };
XhrProto.getAllResponseHeaders = function () { return ''; };
XhrProto.overrideMimeType = function () {};
hooks.xhrDone = function (id, status, text, failed) {
  var xhr = pending[id];
  if (!xhr) return;
  delete pending[id];
  finish(xhr, status, text, failed);
};
global.XMLHttpRequest = XMLHttpRequest;

// ---- storage: localStorage persisted by the engine, sessionStorage in memory
function Storage(data, save) {
  var items = Object.create(null);
  for (var key in data) items[key] = String(data[key]);
  function has(k) { return Object.prototype.hasOwnProperty.call(items, k); }
  this.getItem = function (k) { k = String(k); return has(k) ? items[k] : null; };
  this.setItem = function (k, v) { items[String(k)] = String(v); save(items); };
  this.removeItem = function (k) { k = String(k); if (has(k)) { delete items[k]; save(items); } };
  this.clear = function () { for (var k in items) delete items[k]; save(items); };
  this.key = function (i) { return Object.keys(items)[i] || null; };
  Object.defineProperty(this, 'length', {get: function () { return Object.keys(items).length; }});
}
var stored = {};
try { stored = JSON.parse(native.storageData || '{}') || {}; } catch (e) { stored = {}; }
global.localStorage = new Storage(stored, function (items) { native.storageSave(JSON.stringify(items)); });
global.sessionStorage = new Storage({}, function () {});

// ---- location and navigator
// As in a browser, the page cannot redefine location or any of its parts:
// every property is fixed, and writing href, or location itself, navigates.
var parts = /^([a-z][a-z0-9+.-]*:)(?:\/\/(([^\/?#:]*)(?::(\d+))?))?([^?#]*)(\?[^#]*)?(#.*)?$/i.exec(pageUrl) || [];
var origin = String(native.origin), navigate = native.navigate, reload = native.reload;
var location = {};
function fixedValue(object, name, value) {
  define(object, name, {value: value, writable: false, enumerable: true, configurable: false});
}
function fixedGetter(object, name, get, set) {
  define(object, name, {get: get, set: set, enumerable: true, configurable: false});
}
var define = Object.defineProperty, fields = {
  protocol: parts[1] || '', host: parts[2] || '', hostname: parts[3] || '', port: parts[4] || '',
  pathname: parts[5] || '', search: parts[6] || '', hash: parts[7] || ''
};
Object.keys(fields).forEach(function (name) {
  var value = fields[name];
  fixedGetter(location, name, function () { return value; }, function () {});
});
fixedGetter(location, 'origin', function () { return origin; }, undefined);
fixedGetter(location, 'href', function () { return pageUrl; },
            function (url) { navigate(String(url)); });
fixedValue(location, 'reload', function () { reload(); });
fixedValue(location, 'assign', function (url) { navigate(String(url)); });
fixedValue(location, 'replace', function (url) { navigate(String(url)); });
fixedValue(location, 'toString', function () { return pageUrl; });
fixedValue(location, 'valueOf', function () { return location; });
fixedGetter(global, 'location', function () { return location; },
            function (url) { navigate(String(url)); });
fixedGetter(document, 'location', function () { return location; },
            function (url) { navigate(String(url)); });
global.open = function (url) {
  native.openWindow(url === undefined || url === '' ? 'about:blank' : String(url));
  return null;
};
global.navigator = {userAgent: String(native.userAgent), language: 'zh-CN', platform: 'Win32',
                    cookieEnabled: false, onLine: true};

// ---- the engine's entries into the page
hooks.buildDocument = function (json) { dom.adopt(json); };
hooks.frameSources = function () {
  return Array.prototype.map.call(document.querySelectorAll('iframe'), function (el) {
    return el.getAttribute('src') || '';
  });
};
hooks.finishLoad = function () {
  document.readyState = 'interactive';
  dom.dispatch(document, new dom.Event('DOMContentLoaded', {bubbles: true}));
  document.readyState = 'complete';
  dom.dispatch(global, new dom.Event('load'));
};
// An input event from the host: mouse events at the element under the
// point, keys at the body; true when a listener ran.
hooks.input = function (type, fieldsJson) {
  var event = new dom.Event(type, {bubbles: true, cancelable: true}), fields = JSON.parse(fieldsJson);
  for (var k in fields) event[k] = fields[k];
  var target = 'clientX' in fields ? dom.elementAt(fields.clientX, fields.clientY) : document.body;
  return dom.dispatch(target || document, event) > 0;
};

// What the headless view draws: title, background, text colour and the
// visible text, one line per block.
var skipped = {SCRIPT: 1, STYLE: 1, HEAD: 1, TITLE: 1, TEMPLATE: 1, NOSCRIPT: 1, META: 1, LINK: 1};
var blocks = {DIV: 1, P: 1, LI: 1, UL: 1, OL: 1, TR: 1, TABLE: 1, H1: 1, H2: 1, H3: 1, H4: 1, H5: 1,
              H6: 1, SECTION: 1, HEADER: 1, FOOTER: 1, FORM: 1, PRE: 1, BLOCKQUOTE: 1, BODY: 1};
function visibleText(node, out) {
  if (node.nodeType === 3) { out.push(node.data.replace(/\s+/g, ' ')); return; }
  if (node.nodeType !== 1 || skipped[node.tagName] || node.hasAttribute('hidden') ||
      (node.style && node.style.display === 'none')) return;
  if (node.tagName === 'BR' || blocks[node.tagName]) out.push('\n');
  var children = node.childNodes;
  for (var i = 0; i < children.length; i++) visibleText(children[i], out);
  if (blocks[node.tagName]) out.push('\n');
}
hooks.snapshot = function () {
  var body = document.body, out = [];
  if (body) visibleText(body, out);
  var text = out.join('').split('\n').map(function (l) { return l.trim(); })
      .filter(function (l) { return l; }).join('\n');
  var style = body && body.style || {};
  return [document.title, String(style.backgroundColor || style.background || ''),
          String(style.color || ''), text].join('\u0001');
};
}))JS";

}  // namespace node_standin
