// Builds without threads have one core to offer, whatever the machine has:
// a run then starts no thread of its own.
mergeInto(LibraryManager.library, {
  emscripten_num_logical_cores: function() { return 1; },
});
