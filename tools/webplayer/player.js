// player.js -- the module player page: opens a .xm file from the picker or a
// drop, hands its bytes to the player (tools/webplayer/web_player.h, compiled
// into tavimo-player.js), and shows what is heard once per animation frame.
//
// Sound goes through the show's Web Audio layer (sound/sound_web.cpp): its
// audio callback mixes the blocks due with the player's render function,
// which also notes which song block each rendered block holds.
"use strict";
(function () {
  var $ = function (id) { return document.getElementById(id); };
  var RATE = 44100;
  var STATE = {EMPTY: 0, STOPPED: 1, PLAYING: 2, PAUSED: 3, ENDED: 4, RENDERING: 5};
  var M = null;            // the module instance
  var audio = null;        // the AudioContext, made at the first gesture
  var opened = false;      // the sound device is open
  var status = {};         // the last status read
  var shownPattern = -1, shownRow = -1, rowElements = [];
  var meters = [];         // level shown per channel, falling slowly
  var fileName = "";
  var downloadUrl = null;
  var rendered = null;     // the last WAV's bytes (the test hook reads them)

  function showError(text) { $("error").textContent = text; }

  // A C string argument, freed by the caller with M._free.
  function cString(text) {
    var size = M.lengthBytesUTF8(text) + 1;
    var p = M._malloc(size);
    M.stringToUTF8(text, p, size);
    return p;
  }
  function withString(text, f) {
    var p = cString(text);
    try { return f(p); } finally { M._free(p); }
  }

  function readStatus(pointer) {
    var h = M.HEAP32, i = pointer >> 2;
    return {state: h[i], order: h[i + 1], pattern: h[i + 2], row: h[i + 3], rows: h[i + 4],
              heardMs: h[i + 5], lengthMs: h[i + 6], songLength: h[i + 7], channels: h[i + 8],
              loop: h[i + 9], rate: h[i + 10], blockCount: h[i + 11]};
  }

  // Sound may start only from a gesture: the context is made at the first one.
  function ensureSound() {
    if (!M)
      return false;
    var paused = status.state === STATE.PAUSED;
    if (!audio) {
      try {
        audio = new AudioContext({sampleRate: RATE});
      } catch (e) {
        showError("This browser cannot play sound at " + RATE + " Hz: " + e.message);
        return false;
      }
      M.audioContext = audio;
    }
    if (!paused)
      audio.resume();
    if (!opened) {
      opened = !!M._web_player_open(RATE);
      if (!opened)
        showError("No sound could be played here.");
    }
    return opened;
  }

  function enable(loaded) {
    ["play", "stop", "renderButton"].forEach(function (id) { $(id).disabled = !loaded; });
  }

  function openFile(file) {
    if (!M || !file)
      return;
    fileName = file.name;
    var refusal = withString(file.name, function (p) {
      return M.UTF8ToString(M._web_player_size_refusal(p, file.size));
    });
    if (refusal) {
      showError(refusal);
      return;
    }
    file.arrayBuffer().then(function (bytes) {
      var pointer = M._web_player_buffer(bytes.byteLength);
      if (!pointer) {
        showError(file.name + ": out of memory");
        return;
      }
      M.HEAPU8.set(new Uint8Array(bytes), pointer);
      var reason = withString(file.name, function (p) {
        return M.UTF8ToString(M._web_player_load(p, bytes.byteLength));
      });
      shownPattern = -1;
      meters = [];
      $("download").hidden = true;
      if (reason) {
        showError(reason);
        $("facts").textContent = "";
        $("names").textContent = "";
        showFindings("");
        enable(false);
        $("rows").textContent = "";
        $("where").textContent = "no module";
        $("time").textContent = "";
        return;
      }
      showError("");
      $("facts").textContent = M.UTF8ToString(M._web_player_info(0));
      $("names").textContent = M.UTF8ToString(M._web_player_names());
      showFindings(M.UTF8ToString(M._web_player_findings()));
      enable(true);
      status = readStatus(M._web_player_frame());
      showPattern(status.pattern);
      if (opened) {
        audio.resume();
        M._web_player_play();
      }
    }, function (e) {
      showError(file.name + ": " + e.message);
    });
  }

  // The check's lines, each a list entry that plays from its order; its
  // last line (the count) below them.
  function showFindings(text) {
    var list = $("findings");
    list.textContent = "";
    var lines = text.split("\n").filter(function (line) { return line; });
    $("findingsCount").textContent = lines.length ? lines.pop() : "";
    lines.forEach(function (line) {
      var order = /^order\s+(\d+)/.exec(line);
      var item = document.createElement("li");
      item.textContent = line;
      if (order) {
        item.dataset.order = order[1];
        item.addEventListener("click", function () { seek(Number(order[1])); });
      }
      list.appendChild(item);
    });
  }

  function showPattern(pattern) {
    var rows = $("rows");
    rows.textContent = "";
    rowElements = [];
    shownPattern = pattern;
    shownRow = -1;
    for (var r = 0; ; r++) {
      var text = M.UTF8ToString(M._web_player_row_text(pattern, r));
      if (!text)
        break;
      var line = document.createElement("div");
      line.className = "row";
      var number = document.createElement("span");
      number.className = "num";
      number.textContent = (r < 10 ? "0" : "") + r;
      line.appendChild(number);
      text.split("|").forEach(function (cell) {
        var span = document.createElement("span");
        span.className = "cell";
        span.textContent = cell;
        line.appendChild(span);
      });
      rows.appendChild(line);
      rowElements.push(line);
    }
  }

  function showRow(row) {
    if (row === shownRow)
      return;
    if (rowElements[shownRow])
      rowElements[shownRow].classList.remove("now");
    shownRow = row;
    var line = rowElements[row];
    if (!line)
      return;
    line.classList.add("now");
    var view = $("pattern");
    view.scrollTop = line.offsetTop - view.clientHeight / 2 + line.offsetHeight / 2;
  }

  function clock(ms) {
    if (ms < 0)
      return "?";
    var s = ms / 1000, m = Math.floor(s / 60);
    s -= 60 * m;
    return m + ":" + (s < 10 ? "0" : "") + s.toFixed(1);
  }

  function fitCanvas(canvas) {
    var width = Math.max(1, Math.round(canvas.clientWidth * (window.devicePixelRatio || 1)));
    if (canvas.width !== width)
      canvas.width = width;
    return canvas.getContext("2d");
  }

  function drawBar() {
    var canvas = $("bar"), g = fitCanvas(canvas), w = canvas.width, h = canvas.height;
    g.fillStyle = "#1a1a20";
    g.fillRect(0, 0, w, h);
    var n = status.songLength || 0;
    if (!n)
      return;
    var playing = status.state === STATE.PLAYING || status.state === STATE.PAUSED;
    for (var o = 0; o < n; o++) {
      var x0 = Math.round(o * w / n), x1 = Math.round((o + 1) * w / n);
      g.fillStyle = playing && o === status.order ? "#8cb4ff" : playing && o < status.order ? "#3c4a6e" : "#2a2a33";
      g.fillRect(x0, 2, Math.max(1, x1 - x0 - 1), h - 4);
    }
  }

  function drawLevels() {
    var canvas = $("levels"), g = fitCanvas(canvas), w = canvas.width, h = canvas.height;
    g.fillStyle = "#111116";
    g.fillRect(0, 0, w, h);
    var n = status.channels || 0;
    if (!n)
      return;
    var levels = M._web_player_levels();
    var live = status.state === STATE.PLAYING || status.state === STATE.PAUSED;
    for (var c = 0; c < n; c++) {
      var level = live && levels ? M.HEAPU8[levels + c] / 255 : 0;
      meters[c] = Math.max(level, (meters[c] || 0) * 0.85);
      var x0 = Math.round(c * w / n) + 1, x1 = Math.round((c + 1) * w / n) - 1;
      var bar = Math.round(Math.min(1, Math.sqrt(meters[c])) * (h - 2));
      g.fillStyle = "#5c8f5c";
      g.fillRect(x0, h - 1 - bar, Math.max(1, x1 - x0), bar);
    }
  }

  function frame() {
    requestAnimationFrame(frame);
    if (!M)
      return;
    status = readStatus(M._web_player_frame());
    var s = status;
    var loaded = s.state !== STATE.EMPTY;
    if (loaded && s.state !== STATE.RENDERING) {
      var playing = s.state === STATE.PLAYING || s.state === STATE.PAUSED;
      if (s.pattern !== shownPattern)
        showPattern(s.pattern);
      showRow(playing ? s.row : -1);
      $("where").textContent = "order " + s.order + "/" + s.songLength + "  pattern " + s.pattern +
                               "  row " + s.row + "/" + s.rows;
      $("time").textContent = clock(playing ? s.heardMs : 0) + " / " + clock(s.lengthMs) +
                              (s.state === STATE.PAUSED ? "  (paused)" : s.state === STATE.ENDED ? "  (the end)" : "");
      $("play").textContent = s.state === STATE.PLAYING ? "pause" : s.state === STATE.PAUSED ? "resume" : "play";
    }
    drawBar();
    drawLevels();
  }

  function playOrPause() {
    if (!ensureSound() || status.state === STATE.EMPTY || status.state === STATE.RENDERING)
      return;
    // Pausing stops the audio clock: silent at once, and on resuming the
    // ring goes on with what it holds.
    if (status.state === STATE.PLAYING) {
      audio.suspend();
      M._web_player_pause(1, 1);
    } else if (status.state === STATE.PAUSED) {
      audio.resume();
      M._web_player_pause(0, 1);
    } else {
      M._web_player_play();
    }
  }

  // Anything that plays again after a pause lets the audio clock run.
  function unpause() {
    if (status.state === STATE.PAUSED) {
      M._web_player_pause(0, 1);
      audio.resume();
    }
  }

  function seek(order) {
    if (!ensureSound() || status.state === STATE.EMPTY || status.state === STATE.RENDERING)
      return;
    unpause();
    M._web_player_seek(Math.max(0, Math.min(order, status.songLength - 1)));
  }

  function stop() {
    if (!M)
      return;
    if (audio)
      audio.resume();
    M._web_player_stop();
  }

  function render() {
    if (status.state === STATE.EMPTY || status.state === STATE.RENDERING)
      return;
    if (audio)
      audio.resume();
    var path = "/render.wav";
    if (!withString(path, function (p) { return M._web_player_render_begin(p); })) {
      showError(fileName + ": the WAV file could not be rendered");
      return;
    }
    var progress = $("renderProgress");
    progress.hidden = false;
    progress.value = 0;
    $("download").hidden = true;
    $("renderButton").disabled = true;
    function step() {
      var done = M._web_player_render_step(100);
      progress.value = Math.max(0, done);
      if (done >= 0 && done < 1000) {
        setTimeout(step, 0);
        return;
      }
      $("renderButton").disabled = false;
      progress.hidden = true;
      if (done < 0) {
        showError(fileName + ": writing the WAV file failed");
        return;
      }
      var bytes = M.FS.readFile(path);
      M.FS.unlink(path);
      rendered = bytes;
      if (downloadUrl)
        URL.revokeObjectURL(downloadUrl);
      downloadUrl = URL.createObjectURL(new Blob([bytes], {type: "audio/wav"}));
      var link = $("download");
      link.href = downloadUrl;
      link.download = fileName.replace(/\.[^.]*$/, "") + ".wav";
      link.textContent = "download " + link.download + " (" + (bytes.length / 1048576).toFixed(1) + " MiB)";
      link.dataset.bytes = String(bytes.length);
      link.hidden = false;
    }
    setTimeout(step, 0);
  }

  // Wiring. A gesture anywhere may be the first one that allows sound.
  document.addEventListener("pointerdown", ensureSound, true);
  $("file").addEventListener("change", function () {
    openFile(this.files[0]);
    this.value = "";
  });
  $("play").addEventListener("click", playOrPause);
  $("stop").addEventListener("click", stop);
  $("loop").addEventListener("change", function () { if (M) M._web_player_set_loop(this.checked ? 1 : 0); });
  $("declick").addEventListener("change", function () { if (M) M._web_player_set_declick(this.checked ? 1 : 0); });
  $("renderButton").addEventListener("click", render);
  $("bar").addEventListener("click", function (e) {
    var box = this.getBoundingClientRect();
    seek(Math.floor((e.clientX - box.left) / box.width * (status.songLength || 0)));
  });
  document.addEventListener("dragover", function (e) {
    e.preventDefault();
    document.body.classList.add("dropping");
  });
  document.addEventListener("dragleave", function () { document.body.classList.remove("dropping"); });
  document.addEventListener("drop", function (e) {
    e.preventDefault();
    document.body.classList.remove("dropping");
    ensureSound();
    if (e.dataTransfer.files.length)
      openFile(e.dataTransfer.files[0]);
  });
  document.addEventListener("keydown", function (e) {
    if (e.target && (e.target.tagName === "INPUT" && e.target.type !== "checkbox"))
      return;
    if (e.key === " ") {
      e.preventDefault();
      playOrPause();
    } else if (e.key === "ArrowLeft" || e.key === "ArrowRight") {
      e.preventDefault();
      if (status.state === STATE.PLAYING || status.state === STATE.PAUSED)
        seek(status.order + (e.key === "ArrowLeft" ? -1 : 1));
    } else if (e.key === "Escape") {
      stop();
    }
  });

  var serveHint = "This browser does not let a page opened from disk load its files: " +
                  "run `make serve-web` and open the address it prints.";
  if (typeof tavimoPlayer !== "function") {
    showError(location.protocol === "file:" ? serveHint : "tavimo-player.js is missing.");
    return;
  }
  tavimoPlayer({}).then(function (instance) {
    M = instance;
    M._web_player_set_loop($("loop").checked ? 1 : 0);
    M._web_player_set_declick($("declick").checked ? 1 : 0);
    // For the browser test: what the page shows and the blocks it mixed.
    window.playerTest = {
      status: function () { return readStatus(M._web_player_frame()); },
      shown: function () { return status; },  // what the last frame drew
      info: function (json) { return M.UTF8ToString(M._web_player_info(json ? 1 : 0)); },
      findings: function () { return M.UTF8ToString(M._web_player_findings()); },
      renderedHash: function () {
        var h = 0x811c9dc5;
        for (var i = 0; rendered && i < rendered.length; i++)
          h = Math.imul(h ^ rendered[i], 0x01000193) >>> 0;
        return {size: rendered ? rendered.length : 0, hash: h};
      },
      blockSums: function (count) {
        var p = M._web_player_block_sums() >> 2;
        return Array.from(M.HEAPU32.subarray(p, p + count));
      },
    };
    requestAnimationFrame(frame);
  }, function (e) {
    showError(location.protocol === "file:" ? serveHint : "The player could not be loaded: " + e);
  });
})();
