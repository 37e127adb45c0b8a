/* Does what no shipped binary may do, so that the import check has to
   refuse it: a Vista-only function and an import from a DLL of our own. */
__declspec(dllimport) unsigned long long __stdcall GetTickCount64(void);
__declspec(dllimport) int probe_value(void);

int main(void) { return (int)(GetTickCount64() & 1) + probe_value(); }
