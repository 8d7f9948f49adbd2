// Test page: calls serverJS in a steady stream (a few calls per timer tick,
// as a page does while it redraws) and once more in every push's handler;
// each reply is checked against the one its question got first, so a reply
// meant for another call shows. Message "end" makes it report what it saw.
// ES5 and the headless host's DOM subset only.
(function () {
  var REPORT_URL = "/page/report";
  var PROBES = [["appname", "sys"], ["width", "window"], ["runpath", "sys"],
                ["height", "window"], ["title", "window"]];
  var CALLS_PER_TICK = 3;
  var TICK_MS = 20;
  var expected = {};
  var calls = 0, wrong = 0, pushCalls = 0, pushWrong = 0, next = 0;
  var pushes = [];
  var wrongSamples = [];
  var callsAtFirstPush = -1;
  var ended = false;

  function report(value) {
    var request = new XMLHttpRequest();
    request.open("POST", REPORT_URL, true);
    request.setRequestHeader("Content-Type", "application/json");
    request.send(JSON.stringify(value));
  }

  function ask(index) {
    var probe = PROBES[index % PROBES.length];
    var reply = serverJS(JSON.stringify({ c: probe[1], a: probe[0] }));
    return { name: probe[0], reply: reply === undefined ? null : reply };
  }

  // True when the reply is the one this question got at start-up.
  function check(answer) {
    var ok = expected[answer.name] === answer.reply;
    if (!ok && wrongSamples.length < 5) {
      wrongSamples.push([answer.name, answer.reply]);
    }
    return ok;
  }

  function tick() {
    if (ended) { return; }
    for (var i = 0; i < CALLS_PER_TICK; i++) {
      calls += 1;
      if (!check(ask(next++))) { wrong += 1; }
    }
    document.getElementById("count").textContent = String(calls);
    setTimeout(tick, TICK_MS);
  }

  window.clientJS2 = function (message) {
    if (!message || message.c !== "stream") { return; }
    if (message.a === "end") {
      ended = true;
      report({ kind: "summary", pushes: pushes, calls: calls, wrong: wrong,
               pushCalls: pushCalls, pushWrong: pushWrong, samples: wrongSamples,
               callsAtFirstPush: callsAtFirstPush });
      return;
    }
    if (message.a === "ping") {
      report({ kind: "pong" });
      return;
    }
    if (callsAtFirstPush < 0) { callsAtFirstPush = calls; }
    pushes.push(message.data.n);
    pushCalls += 1;
    if (!check(ask(message.data.n))) { pushWrong += 1; }
  };

  // Start-up: many calls in a row, as a page does while it sets itself up.
  var START_CALLS = 40;
  for (var i = 0; i < START_CALLS; i++) {
    var answer = ask(i);
    if (i < PROBES.length) {
      expected[answer.name] = answer.reply;
    } else if (!check(answer)) {
      wrong += 1;
    }
  }
  report({ kind: "loaded", expected: expected });
  setTimeout(tick, TICK_MS);
})();
