// Soak page: notes the sequence number of every soak push that reaches it and,
// when the soak asks, reports all it has noted since it loaded. Reports are
// few (one per request of the soak), so a hundred thousand pushes do not turn
// into a hundred thousand requests. The page only records; the soak judges.
// ES5 and the headless host's DOM subset only.
(function () {
  var REPORT_URL = "/page/report";
  var LATE_LIMIT = 10000;
  // Tells this load's reports from those of the page before a reload.
  var load = String(new Date().getTime()) + "-" + String(Math.floor(Math.random() * 1e9));
  // Runs [first, last] of numbers that came in rising order; any number not
  // above the last one seen goes to `late` as it came (a repeat or one out of
  // order), so the soak can tell which.
  var ranges = [];
  var late = [];
  var lateDropped = 0;
  var others = 0;
  var errors = [];
  var count = 0;

  function report(value) {
    var request = new XMLHttpRequest();
    request.open("POST", REPORT_URL, true);
    request.setRequestHeader("Content-Type", "application/json");
    request.send(JSON.stringify(value));
  }

  function note(seq) {
    var last = ranges.length ? ranges[ranges.length - 1] : null;
    count += 1;
    if (last && seq === last[1] + 1) {
      last[1] = seq;
    } else if (!last || seq > last[1]) {
      ranges.push([seq, seq]);
    } else if (late.length < LATE_LIMIT) {
      late.push(seq);
    } else {
      lateDropped += 1;
    }
  }

  function state(id) {
    return { kind: "soak", load: load, id: id, count: count, ranges: ranges, late: late,
             lateDropped: lateDropped, others: others, errors: errors };
  }

  window.clientJS2 = function (message) {
    if (message && message.c === "soak" && message.a === "p" && typeof message.s === "number") {
      note(message.s);
    } else if (message && message.c === "soak" && message.a === "report") {
      report(state(message.id));
      var shown = document.getElementById("count");
      if (shown) { shown.textContent = String(count); }
    } else if (message && message.c === "sys" && message.a === "error") {
      if (errors.length < 20) { errors.push(message.data); }
    } else {
      others += 1;
    }
  };

  report({ kind: "loaded", load: load, href: location.href });
})();
