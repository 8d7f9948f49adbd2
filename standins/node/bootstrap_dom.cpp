// The document side of a page's globals: nodes, elements, text, the document
// and events. Written in script because that is what it is made of; the
// engine runs it in every fresh page before the page's own scripts.
#include "standins/node/bootstrap.h"

namespace node_standin {

// Called as function (native, global, hooks); fills hooks.dom.
const char kDomBootstrap[] = R"JS((function (native, global, hooks) {
'use strict';
var define = Object.defineProperty;
function accessor(proto, name, get, set) {
  define(proto, name, {get: get, set: set, enumerable: true, configurable: true});
}
function hidden(object, name, value) {
  define(object, name, {value: value, writable: true, enumerable: false, configurable: true});
}
function report(e) { native.reportError(e); }

// ---- events: listeners per target, bubbling from the target to the window.
function listenersOf(target, type) {
  if (!target.__listeners) hidden(target, '__listeners', {});
  var all = target.__listeners;
  if (!Object.prototype.hasOwnProperty.call(all, type)) all[type] = [];
  return all[type];
}
function addEventListener(type, fn) {
  if (typeof fn !== 'function') return;
  var list = listenersOf(this, String(type));
  if (list.indexOf(fn) < 0) list.push(fn);
}
function removeEventListener(type, fn) {
  var list = listenersOf(this, String(type)), at = list.indexOf(fn);
  if (at >= 0) list.splice(at, 1);
}
// Runs the target's listeners and its on<type> property; returns how many ran.
function fireAt(target, event) {
  var ran = 0, list = listenersOf(target, event.type).slice(), handler = target['on' + event.type];
  event.currentTarget = target;
  if (typeof handler === 'function') list.unshift(handler);
  for (var i = 0; i < list.length && !event.__stopNow; i++) {
    ran++;
    try { list[i].call(target, event); } catch (e) { report(e); }
  }
  return ran;
}
function Event(type, init) {
  this.type = String(type);
  this.bubbles = !!(init && init.bubbles);
  this.cancelable = !!(init && init.cancelable);
  this.defaultPrevented = false;
  this.target = null;
  this.currentTarget = null;
  this.timeStamp = Date.now();
}
Event.prototype.preventDefault = function () { this.defaultPrevented = true; };
Event.prototype.stopPropagation = function () { this.__stop = true; };
Event.prototype.stopImmediatePropagation = function () { this.__stop = this.__stopNow = true; };
function dispatch(target, event) {
  var path = [], ran = 0;
  for (var n = target; n && n !== global; n = n.parentNode) path.push(n);
  if (target === global || path[path.length - 1] === document) path.push(global);
  event.target = target;
  for (var i = 0; i < path.length && !event.__stop; i++) {
    ran += fireAt(path[i], event);
    if (!event.bubbles) break;
  }
  if (event.type === 'click' && !event.defaultPrevented) activate(path);
  return ran;
}
// A click nobody prevented follows the link it landed in: in this view, or
// in a new window for a target other than the document's own.
var ownTargets = {'': 1, _self: 1, _top: 1, _parent: 1};
function activate(path) {
  for (var i = 0; i < path.length; i++) {
    var node = path[i];
    if (node.nodeType !== 1 || node.tagName !== 'A' || !node.hasAttribute('href')) continue;
    var target = (node.getAttribute('target') || '').toLowerCase();
    native.followLink(node.getAttribute('href'), !ownTargets[target]);
    return;
  }
}
function dispatchEvent(event) { dispatch(this, event); return !event.defaultPrevented; }

// ---- nodes
function Node() {}
Node.ELEMENT_NODE = 1; Node.TEXT_NODE = 3; Node.DOCUMENT_NODE = 9; Node.DOCUMENT_FRAGMENT_NODE = 11;
var NodeProto = Node.prototype;
NodeProto.addEventListener = addEventListener;
NodeProto.removeEventListener = removeEventListener;
NodeProto.dispatchEvent = dispatchEvent;
function initNode(node) {
  hidden(node, '__children', []);
  node.parentNode = null;
}
accessor(NodeProto, 'childNodes', function () { return this.__children.slice(); });
accessor(NodeProto, 'children', function () {
  return this.__children.filter(function (c) { return c.nodeType === 1; });
});
accessor(NodeProto, 'firstChild', function () { return this.__children[0] || null; });
accessor(NodeProto, 'lastChild', function () { return this.__children[this.__children.length - 1] || null; });
accessor(NodeProto, 'firstElementChild', function () { return this.children[0] || null; });
accessor(NodeProto, 'childElementCount', function () { return this.children.length; });
accessor(NodeProto, 'parentElement', function () {
  return this.parentNode && this.parentNode.nodeType === 1 ? this.parentNode : null;
});
function siblingAt(node, step) {
  if (!node.parentNode) return null;
  var list = node.parentNode.__children;
  return list[list.indexOf(node) + step] || null;
}
accessor(NodeProto, 'nextSibling', function () { return siblingAt(this, 1); });
accessor(NodeProto, 'previousSibling', function () { return siblingAt(this, -1); });
NodeProto.hasChildNodes = function () { return this.__children.length > 0; };
NodeProto.contains = function (other) {
  for (var n = other; n; n = n.parentNode) if (n === this) return true;
  return false;
};
function checkChild(parent, child) {
  if (!(child instanceof Node)) throw new TypeError('parameter is not of type Node');
  if (child.contains(parent)) throw new Error('HierarchyRequestError: the new child contains the parent');
}
NodeProto.insertBefore = function (child, before) {
  checkChild(this, child);
  if (child.nodeType === 11) {
    var moved = child.__children.slice();
    for (var i = 0; i < moved.length; i++) this.insertBefore(moved[i], before);
    return child;
  }
  if (child.parentNode) child.parentNode.removeChild(child);
  var at = before ? this.__children.indexOf(before) : -1;
  if (before && at < 0) throw new Error('NotFoundError: the reference node is not a child of this node');
  if (at < 0) this.__children.push(child); else this.__children.splice(at, 0, child);
  child.parentNode = this;
  return child;
};
NodeProto.appendChild = function (child) { return this.insertBefore(child, null); };
NodeProto.removeChild = function (child) {
  var at = this.__children.indexOf(child);
  if (at < 0) throw new Error('NotFoundError: the node to be removed is not a child of this node');
  this.__children.splice(at, 1);
  child.parentNode = null;
  return child;
};
NodeProto.replaceChild = function (child, old) {
  this.insertBefore(child, old);
  return this.removeChild(old);
};
NodeProto.remove = function () { if (this.parentNode) this.parentNode.removeChild(this); };
function textOf(node) {
  if (node.nodeType === 3) return node.data;
  var text = '';
  for (var i = 0; i < node.__children.length; i++) text += textOf(node.__children[i]);
  return text;
}
function setText(node, value) {
  if (node.nodeType === 3) { node.data = String(value); return; }
  var children = node.__children;
  for (var i = 0; i < children.length; i++) children[i].parentNode = null;
  children.length = 0;
  var text = value === null || value === undefined ? '' : String(value);
  if (text !== '') node.appendChild(new Text(text));
}
accessor(NodeProto, 'textContent', function () { return textOf(this); },
         function (v) { setText(this, v); });

function Text(data) { initNode(this); this.data = String(data); }
Text.prototype = Object.create(NodeProto);
Text.prototype.constructor = Text;
Text.prototype.nodeType = 3;
Text.prototype.nodeName = '#text';
accessor(Text.prototype, 'nodeValue', function () { return this.data; },
         function (v) { this.data = String(v); });

// ---- elements
function camel(name) { return name.replace(/-([a-z])/g, function (m, c) { return c.toUpperCase(); }); }
function parseStyle(style, text) {
  String(text).split(';').forEach(function (part) {
    var colon = part.indexOf(':');
    if (colon > 0) style[camel(part.slice(0, colon).trim().toLowerCase())] = part.slice(colon + 1).trim();
  });
}
function Element(tag) {
  initNode(this);
  this.tagName = this.nodeName = String(tag).toUpperCase();
  hidden(this, '__attributes', {});
  this.style = {};
}
Element.prototype = Object.create(NodeProto);
var ElementProto = Element.prototype;
ElementProto.constructor = Element;
ElementProto.nodeType = 1;
ElementProto.getAttribute = function (name) {
  name = String(name).toLowerCase();
  return Object.prototype.hasOwnProperty.call(this.__attributes, name) ? this.__attributes[name] : null;
};
ElementProto.setAttribute = function (name, value) {
  name = String(name).toLowerCase();
  this.__attributes[name] = String(value);
  if (name === 'style') parseStyle(this.style, value);
  if (name === 'value' && this.__value === undefined) this.__value = String(value);
};
ElementProto.removeAttribute = function (name) { delete this.__attributes[String(name).toLowerCase()]; };
ElementProto.hasAttribute = function (name) { return this.getAttribute(name) !== null; };
accessor(ElementProto, 'id', function () { return this.getAttribute('id') || ''; },
         function (v) { this.setAttribute('id', v); });
accessor(ElementProto, 'className', function () { return this.getAttribute('class') || ''; },
         function (v) { this.setAttribute('class', v); });
accessor(ElementProto, 'value', function () { return this.__value === undefined ? '' : this.__value; },
         function (v) { this.__value = String(v); });
accessor(ElementProto, 'innerText', function () { return textOf(this); },
         function (v) { setText(this, v); });
function classes(el) { return el.className.split(/\s+/).filter(function (c) { return c; }); }
accessor(ElementProto, 'classList', function () {
  var el = this;
  function set(list) { el.className = list.join(' '); }
  return {
    contains: function (c) { return classes(el).indexOf(c) >= 0; },
    add: function (c) { var l = classes(el); if (l.indexOf(c) < 0) l.push(c); set(l); },
    remove: function (c) { set(classes(el).filter(function (x) { return x !== c; })); },
    toggle: function (c) { var had = this.contains(c); if (had) this.remove(c); else this.add(c); return !had; }
  };
});
function escapeHtml(text, quote) {
  text = String(text).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
  return quote ? text.replace(/"/g, '&quot;') : text;
}
var voidTags = {AREA: 1, BASE: 1, BR: 1, COL: 1, EMBED: 1, HR: 1, IMG: 1, INPUT: 1, LINK: 1, META: 1,
                PARAM: 1, SOURCE: 1, TRACK: 1, WBR: 1};
function htmlOf(node) {
  if (node.nodeType === 3) return escapeHtml(node.data, false);
  var inner = node.__children.map(htmlOf).join('');
  if (node.nodeType !== 1) return inner;
  var tag = node.tagName.toLowerCase(), attributes = '';
  for (var name in node.__attributes) attributes += ' ' + name + '="' + escapeHtml(node.__attributes[name], true) + '"';
  return '<' + tag + attributes + '>' + (voidTags[node.tagName] ? '' : inner + '</' + tag + '>');
}
function buildNodes(list, parent) {
  for (var i = 0; i < list.length; i++) {
    var item = list[i];
    if (typeof item === 'string') { parent.appendChild(new Text(item)); continue; }
    var el = document.createElement(item[0]);
    for (var name in item[1]) el.setAttribute(name, item[1][name]);
    buildNodes(item[2], el);
    parent.appendChild(el);
  }
}
accessor(ElementProto, 'innerHTML', function () { return this.__children.map(htmlOf).join(''); },
         function (v) { setText(this, ''); buildNodes(JSON.parse(native.parseHtml(String(v))), this); });
accessor(ElementProto, 'outerHTML', function () { return htmlOf(this); });
ElementProto.click = function () { dispatch(this, new Event('click', {bubbles: true, cancelable: true})); };
ElementProto.focus = ElementProto.blur = function () {};

// ---- queries: tag, #id, .class and [attribute] compounds, comma lists
function walk(root, visit) {
  var stack = root.__children.slice().reverse();
  while (stack.length) {
    var node = stack.pop();
    if (node.nodeType !== 1) continue;
    if (visit(node) === false) return;
    for (var i = node.__children.length - 1; i >= 0; i--) stack.push(node.__children[i]);
  }
}
function compileSelector(text) {
  return String(text).split(',').map(function (part) {
    var tests = [], re = /([#.]?)([\w-]+)|\[([\w-]+)\]|(\*)/g, m;
    part = part.trim();
    while ((m = re.exec(part)) !== null) {
      if (m[3]) tests.push((function (a) { return function (el) { return el.hasAttribute(a); }; })(m[3]));
      else if (m[1] === '#') tests.push((function (v) { return function (el) { return el.id === v; }; })(m[2]));
      else if (m[1] === '.') tests.push((function (v) { return function (el) { return classes(el).indexOf(v) >= 0; }; })(m[2]));
      else if (m[2]) tests.push((function (v) { return function (el) { return el.tagName === v; }; })(m[2].toUpperCase()));
      else tests.push(function () { return true; });
    }
    return function (el) { return tests.length > 0 && tests.every(function (t) { return t(el); }); };
  });
}
function query(root, selector, first) {
  var tests = compileSelector(selector), found = [];
  walk(root, function (el) {
    if (tests.some(function (t) { return t(el); })) { found.push(el); if (first) return false; }
  });
  return first ? found[0] || null : found;
}
function addQueries(proto) {
  proto.querySelector = function (s) { return query(this, s, true); };
  proto.querySelectorAll = function (s) { return query(this, s, false); };
  proto.getElementsByTagName = function (t) { return query(this, t === '*' ? '*' : String(t), false); };
  proto.getElementsByClassName = function (c) { return query(this, '.' + String(c).trim().split(/\s+/).join('.'), false); };
}
addQueries(ElementProto);

// ---- the document
function Document() { initNode(this); }
Document.prototype = Object.create(NodeProto);
var DocumentProto = Document.prototype;
DocumentProto.nodeType = 9;
DocumentProto.nodeName = '#document';
addQueries(DocumentProto);
DocumentProto.createElement = function (tag) { return new Element(tag); };
DocumentProto.createTextNode = function (text) { return new Text(text); };
DocumentProto.createDocumentFragment = function () {
  var fragment = Object.create(NodeProto);
  initNode(fragment);
  fragment.nodeType = 11;
  return fragment;
};
DocumentProto.createEvent = function () { return new Event(''); };
DocumentProto.getElementById = function (id) { return query(this, '#' + String(id), true); };
accessor(DocumentProto, 'documentElement', function () { return this.__children[0] || null; });
function childNamed(parent, tag) {
  if (!parent) return null;
  for (var i = 0; i < parent.__children.length; i++) if (parent.__children[i].tagName === tag) return parent.__children[i];
  return null;
}
accessor(DocumentProto, 'head', function () { return childNamed(this.documentElement, 'HEAD'); });
accessor(DocumentProto, 'body', function () { return childNamed(this.documentElement, 'BODY'); });
accessor(DocumentProto, 'title', function () {
  var title = query(this, 'title', true);
  return title ? textOf(title).replace(/\s+/g, ' ').trim() : '';
}, function (v) {
  var title = query(this, 'title', true);
  if (!title) { title = new Element('title'); this.head.appendChild(title); }
  setText(title, v);
});
accessor(DocumentProto, 'cookie', function () { return ''; }, function () {});
accessor(DocumentProto, 'URL', function () { return global.location.href; });

var document = new Document();
// Gives the document its tree: html with head and body, whatever the markup had.
function adopt(json) {
  var holder = new Element('div');
  buildNodes(JSON.parse(json), holder);
  var html = childNamed(holder, 'HTML') || new Element('html');
  holder.__children.slice().forEach(function (n) { if (n !== html) html.appendChild(n); });
  var head = childNamed(html, 'HEAD'), body = childNamed(html, 'BODY');
  if (!head) { head = new Element('head'); html.insertBefore(head, html.firstChild); }
  if (!body) {
    body = new Element('body');
    html.__children.slice().forEach(function (n) { if (n !== head) body.appendChild(n); });
    html.appendChild(body);
  }
  html.__children.slice().forEach(function (n) {
    if (n !== head && n !== body) body.appendChild(n);
  });
  setText(document, '');
  document.appendChild(html);
}
adopt('[]');
document.readyState = 'loading';

// Which element a point of the view hits. The headless view lays nothing
// out, so only elements placed by their own style with position absolute or
// fixed and left, top, width and height in pixels have a place; the last of
// them in document order is on top. Any other point hits the body.
function pixels(value) {
  var match = /^(-?\d+(?:\.\d+)?)(px)?$/.exec(String(value === undefined ? '' : value).trim());
  return match ? Number(match[1]) : NaN;
}
function elementAt(x, y) {
  var hit = null;
  if (document.body) walk(document.body, function (el) {
    var style = el.style || {};
    if (style.position !== 'absolute' && style.position !== 'fixed') return;
    var left = pixels(style.left), top = pixels(style.top);
    var width = pixels(style.width), height = pixels(style.height);
    if (x >= left && x < left + width && y >= top && y < top + height) hit = el;
  });
  return hit || document.body;
}
DocumentProto.elementFromPoint = function (x, y) { return elementAt(Number(x), Number(y)); };

hooks.dom = {
  document: document, Event: Event, dispatch: dispatch, adopt: adopt, textOf: textOf,
  elementAt: elementAt,
  addEventListener: addEventListener, removeEventListener: removeEventListener,
  dispatchEvent: dispatchEvent
};
global.document = document;
global.Node = Node;
global.Element = global.HTMLElement = Element;
global.Text = Text;
global.Event = Event;
}))JS";

}  // namespace node_standin
