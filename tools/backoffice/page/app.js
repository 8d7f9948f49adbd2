// Reference customer display. The till calls clientJS2(message) for every
// message its server pushes (and for its own error reports); this page shows
// them and reports everything back to the back-office simulator so tests can
// see exactly what reached the page. Plain ES5 and a small DOM subset only:
// the same file must run in the headless engine and in a real browser.
(function () {
  var MAX_LISTED = 10;
  var REPORT_URL = "/page/report";
  // A report whose request never completes must not stall the ones behind it.
  var REPORT_TIMEOUT_MS = 5000;
  var CLOCK_PERIOD_MS = 1000;
  var LOAD_COUNT_KEY = "lumo.display.loads";
  var PROBES = [
    ["pcname", "sys"], ["appname", "sys"], ["runpath", "sys"],
    ["width", "window"], ["height", "window"], ["left", "window"],
    ["top", "window"], ["title", "window"]
  ];

  var messages = [];
  var listed = [];
  var sale = newSale();
  var identity = { pcname: "", appname: "" };
  var reportQueue = [];
  var reportBusy = false;

  // ---- small DOM helpers --------------------------------------------------
  function byId(id) { return document.getElementById(id); }

  function setText(id, text) {
    var element = byId(id);
    if (element) { element.textContent = text; }
  }

  function removeChildren(element) {
    while (element.children.length > 0) { element.removeChild(element.children[0]); }
  }

  function addLine(parent, className, text) {
    var line = document.createElement("div");
    line.className = className;
    line.textContent = text;
    parent.appendChild(line);
    return line;
  }

  function pad2(n) { return (n < 10 ? "0" : "") + n; }

  function timeText(date) {
    return pad2(date.getHours()) + ":" + pad2(date.getMinutes()) + ":" + pad2(date.getSeconds());
  }

  function toJson(value) {
    try { return JSON.stringify(value); } catch (e) { return String(value); }
  }

  function text(value) { return value === undefined || value === null ? "" : String(value); }

  function money(value) {
    var number = parseFloat(value);
    return isNaN(number) ? text(value) : number.toFixed(2);
  }

  // ---- reports to the simulator, one request at a time so they arrive in order
  function report(value) {
    reportQueue.push(toJson(value));
    if (!reportBusy) { sendNextReport(); }
  }

  function sendNextReport() {
    if (reportQueue.length === 0) { reportBusy = false; return; }
    reportBusy = true;
    var body = reportQueue.shift();
    var finished = false;
    var timer = null;
    function done() {
      if (finished) { return; }
      finished = true;
      if (timer !== null) { clearTimeout(timer); }
      sendNextReport();
    }
    try {
      var request = new XMLHttpRequest();
      request.open("POST", REPORT_URL, true);
      request.setRequestHeader("Content-Type", "application/json");
      request.onreadystatechange = function () { if (request.readyState === 4) { done(); } };
      request.onload = done;
      request.onerror = done;
      timer = setTimeout(done, REPORT_TIMEOUT_MS);
      request.send(body);
    } catch (e) {
      setTimeout(done, 0);
    }
  }

  // ---- what the customer sees ---------------------------------------------
  function newSale() { return { items: [], total: null, paid: null, change: null }; }

  // One table row per item: name, quantity, unit price, amount. A space
  // between the cells keeps them apart where an engine draws text only.
  function addRow(parent, cells) {
    var row = document.createElement("tr");
    for (var i = 0; i < cells.length; i++) {
      if (i > 0) { row.appendChild(document.createTextNode(" ")); }
      var cell = document.createElement("td");
      cell.className = i === 0 ? "name" : "num";
      cell.textContent = cells[i];
      row.appendChild(cell);
    }
    parent.appendChild(row);
    return row;
  }

  function renderSale() {
    var list = byId("sale-items");
    var sum = 0;
    removeChildren(list);
    for (var i = 0; i < sale.items.length; i++) {
      var item = sale.items[i];
      var qty = parseFloat(item.qty);
      var price = parseFloat(item.price);
      var subtotal = isNaN(qty) || isNaN(price) ? 0 : qty * price;
      sum += subtotal;
      addRow(list, [text(item.name), text(item.qty), money(item.price), subtotal.toFixed(2)]);
    }
    setText("sale-total", sale.total === null ? sum.toFixed(2) : money(sale.total));
    var pay = "";
    if (sale.paid !== null) { pay += "实收 " + money(sale.paid); }
    if (sale.change !== null) { pay += "  找零 " + money(sale.change); }
    setText("sale-pay", pay);
  }

  function showProblem(message) {
    setText("error", message);
    var element = byId("error");
    if (element) { element.className = message ? "error shown" : "error"; }
  }

  function renderStatus() {
    var parts = [];
    if (identity.pcname) { parts.push("收银台 " + identity.pcname); }
    if (identity.appname) { parts.push("应用 " + identity.appname); }
    parts.push("消息 " + messages.length);
    setText("status", parts.join("  ·  "));
  }

  function renderList() {
    var list = byId("messages");
    removeChildren(list);
    for (var i = listed.length - 1; i >= 0; i--) { addLine(list, "message", listed[i]); }
  }

  // Each handler updates the display and returns the line for the message list.
  var handlers = {
    "sale/item": function (data) {
      sale.items.push({ name: data.name, qty: data.qty, price: data.price });
      renderSale();
      return "商品 " + text(data.name) + " ×" + text(data.qty) + " " + money(data.price);
    },
    "sale/total": function (data) {
      sale.total = data.total === undefined ? null : data.total;
      sale.paid = data.paid === undefined ? null : data.paid;
      sale.change = data.change === undefined ? null : data.change;
      renderSale();
      return "合计 " + money(data.total);
    },
    "sale/clear": function () {
      sale = newSale();
      renderSale();
      return "新交易";
    },
    "ad/show": function (data) {
      setText("ad", text(data.text));
      return "广告 " + text(data.text);
    },
    "shop/title": function (data) {
      setText("shop", text(data.name));
      return "店名 " + text(data.name);
    },
    "sys/error": function (data) {
      var line = "脚本错误 " + text(data.msg) + " (" + text(data.sname) + ":" + text(data.line) + ")";
      showProblem(line);
      return line;
    },
    "sys/conn": function () { return "服务器连接"; },
    "sys/update": function () { return "软件更新"; }
  };

  function show(message) {
    var isObject = message !== null && typeof message === "object";
    var handler = isObject ? handlers[text(message.c) + "/" + text(message.a)] : undefined;
    var data = isObject && message.data !== null && typeof message.data === "object" ? message.data : {};
    var line = handler ? handler(data) : toJson(message);
    listed.push("#" + messages.length + " " + timeText(new Date()) + "  " + line);
    if (listed.length > MAX_LISTED) { listed.shift(); }
    renderList();
    renderStatus();
  }

  // The entry point of the till. It never throws: an exception here would
  // come back as an error report through this same function.
  window.clientJS2 = function (message) {
    messages.push(message);
    try {
      show(message);
    } catch (e) {
      try { showProblem("显示失败 " + e.message); } catch (ignored) { /* nothing left to show with */ }
    }
    report({ kind: "message", msg: message, seq: messages.length });
  };
  window.lumoMessages = messages;

  // ---- start ----------------------------------------------------------------
  function countLoad() {
    try {
      var count = parseInt(localStorage.getItem(LOAD_COUNT_KEY) || "0", 10) + 1;
      localStorage.setItem(LOAD_COUNT_KEY, String(count));
      return count;
    } catch (e) {
      return null;
    }
  }

  function probeServer() {
    var result = { kind: "serverjs", available: typeof serverJS === "function", replies: {}, types: {} };
    if (!result.available) { return result; }
    for (var i = 0; i < PROBES.length; i++) {
      var name = PROBES[i][0];
      try {
        var reply = serverJS(JSON.stringify({ c: PROBES[i][1], a: name }));
        result.types[name] = typeof reply;
        result.replies[name] = reply === undefined ? null : reply;
      } catch (e) {
        result.types[name] = "error";
        result.replies[name] = text(e.message);
      }
    }
    identity.pcname = text(result.replies.pcname);
    identity.appname = text(result.replies.appname);
    return result;
  }

  function tick() { setText("clock", timeText(new Date())); }

  report({ kind: "loaded", href: location.href, loads: countLoad() });
  report(probeServer());
  renderSale();
  renderStatus();
  tick();
  setInterval(tick, CLOCK_PERIOD_MS);
})();
