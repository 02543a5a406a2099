// js_loader.js - parses a G-code file with npm's gcode-toolpath, keeping nothing, for the
// benchmark's comparison: node js_loader.js FOLDER_WITH_NODE_MODULES FILE
const path = require('path');
const Toolpath = require(path.join(process.argv[2], 'node_modules', 'gcode-toolpath'));
let segments = 0;
const toolpath = new Toolpath({
  addLine: () => { ++segments; },
  addArcCurve: () => { ++segments; },
});
toolpath.loadFromFileSync(process.argv[3]);
if (segments === 0) process.exit(1);
