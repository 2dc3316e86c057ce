// The DLL that needs_absent.exe imports; built, and never laid down.
__declspec(dllexport) int AbsentHelper() { return 0; }
