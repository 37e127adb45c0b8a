/* A stand-in device library that needs qzneed.dll by name, as a vendor's
   library needs its own DLLs, and asks for qzlate.dll by name on every
   call, as one that loads a helper only when it is used: its calls answer
   that there is no reader. */
#include <windows.h>

__declspec(dllimport) int qzneed_answer(void);

__declspec(dllexport) int qz_call(unsigned handle, unsigned function, void* params) {
    HMODULE later = LoadLibraryA("qzlate.dll");
    (void)handle;
    (void)function;
    (void)params;
    if (later) FreeLibrary(later);
    /* The call keeps the import: the loader must find qzneed.dll first. */
    (void)qzneed_answer();
    return 0;
}
