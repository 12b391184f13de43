// A library that looks like a module but exports no RegisterModule.
extern "C" __attribute__((visibility("default"))) int NotAModule() { return 1; }
