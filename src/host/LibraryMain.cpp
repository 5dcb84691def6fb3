// Load and unload of the library: creates the module-wide services when the
// library is loaded and frees them when it is unloaded.
