/* A stand-in device library that needs qzneed.dll by name, as a vendor's
   library needs its own DLLs: its calls answer that there is no reader. */
__declspec(dllimport) int qzneed_answer(void);

__declspec(dllexport) int qz_call(unsigned handle, unsigned function, void* params) {
    (void)handle;
    (void)function;
    (void)params;
    /* The call keeps the import: the loader must find qzneed.dll first. */
    (void)qzneed_answer();
    return 0;
}
