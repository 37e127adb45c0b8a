/* A DLL the stand-in library asks for by name (qzneed.dll, and qzlate.dll
   built from the same source), copied to several folders:
   each copy, when loaded, appends its own path to the file QZNEED_REPORT
   names, so the test sees which copy the system chose. */
#include <windows.h>

__declspec(dllexport) int qzneed_answer(void) { return 7; }

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    char path[MAX_PATH + 2], report[MAX_PATH + 1];
    DWORD length, written;
    HANDLE file;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    length = GetModuleFileNameA(self, path, MAX_PATH);
    if (!length || !GetEnvironmentVariableA("QZNEED_REPORT", report, sizeof report)) return TRUE;
    path[length++] = '\n';
    file = CreateFileA(report, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return TRUE;
    WriteFile(file, path, length, &written, NULL);
    CloseHandle(file);
    return TRUE;
}
