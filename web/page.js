// The page around the program: the canvas centred and scaled down to fit the
// browser window, the program's standard output in a text area with a button
// that saves it, and the settings the Emscripten loader reads from Module.
'use strict';

(function () {
  const canvas = document.getElementById('canvas');
  const stage = document.getElementById('stage');
  const status = document.getElementById('status');
  const output = document.getElementById('output');
  const saveButton = document.getElementById('save');
  const clearButton = document.getElementById('clear');
  const natural = { width: canvas.width, height: canvas.height };

  // Standard output, line by line with its newline: the saved file is these
  // bytes. The text area shows the end of it when it grows very long.
  const shownCharacters = 2000000;
  let lines = [];
  let outputPending = false;

  function showOutput() {
    outputPending = false;
    let text = lines.join('');
    if (text.length > shownCharacters) {
      text = '[the first ' + (text.length - shownCharacters) + ' characters are only in the saved file]\n' +
        text.slice(text.length - shownCharacters);
    }
    output.value = text;
    output.scrollTop = output.scrollHeight;
    saveButton.disabled = clearButton.disabled = lines.length === 0;
  }

  function print(line) {
    lines.push(line + '\n');
    if (!outputPending) {
      outputPending = true;
      requestAnimationFrame(showOutput);
    }
  }

  function save() {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob(lines, { type: 'text/plain' }));
    link.download = 'vorlask-analysis.txt';
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
  }

  // The program's canvas keeps its 1024 x 768 pixels; only its displayed
  // size follows the window, at whole-pixel offsets so that pointer
  // positions map onto canvas pixels exactly at the natural size. Applied
  // once the program has made its window: SDL would take a CSS size it finds
  // at that moment for the window's own.
  function fit() {
    const top = stage.getBoundingClientRect().top + window.scrollY;
    const scale = Math.min(1, stage.clientWidth / natural.width, (window.innerHeight - top) / natural.height);
    const width = Math.max(1, Math.floor(natural.width * scale));
    const height = Math.max(1, Math.floor(natural.height * scale));
    canvas.style.width = scale < 1 ? width + 'px' : '';
    canvas.style.height = scale < 1 ? height + 'px' : '';
    canvas.style.marginLeft = Math.floor((stage.clientWidth - width) / 2) + 'px';
  }

  // Space would scroll the page and activate a focused button besides
  // reaching the program; buttons give the keyboard back once clicked.
  window.addEventListener('keydown', (event) => {
    if (event.code === 'Space' && !(event.target instanceof HTMLTextAreaElement)) event.preventDefault();
  });
  canvas.addEventListener('contextmenu', (event) => event.preventDefault());
  saveButton.addEventListener('click', () => { save(); saveButton.blur(); });
  clearButton.addEventListener('click', () => { lines = []; showOutput(); clearButton.blur(); });

  window.Module = {
    canvas: canvas,
    print: print,
    printErr: (text) => console.warn(text),
    setStatus: (text) => { status.textContent = text; },
    onFirstFrame: () => {
      window.vorlaskFirstFrame = performance.now();
      status.textContent = '';
      fit();
      window.addEventListener('resize', fit);
    },
    onAbort: (what) => { status.textContent = 'The program stopped: ' + what; },
  };
  canvas.addEventListener('webglcontextlost', (event) => {
    status.textContent = 'The browser took the canvas away (WebGL context lost); reload the page.';
    event.preventDefault();
  });
})();
