__declspec(dllexport) int probe_value(void) { return 0; }
