// The program under node: its standard streams are terminals only where
// node says they are, as for the native program (whose live progress line
// on standard error is for a terminal only).
Module['onRuntimeInitialized'] = function() {
  var tty = require('tty');
  for (var fd = 0; fd <= 2; fd++) {
    if (FS.streams[fd] && !tty.isatty(fd)) FS.streams[fd].tty = false;
  }
};
