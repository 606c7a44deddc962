// The outer installer executable: calls the engine once on its main thread
// and turns its result into the exit code.

extern "C" bool RunInstaller();

int wmain() { return RunInstaller() ? 0 : 1; }
