// A program that the loader ends before any of its code runs: it imports a
// function of a DLL that the tests never lay down beside it
// (STATUS_DLL_NOT_FOUND), as a flash utility copied without its DLL is.
#include <windows.h>

__declspec(dllimport) int AbsentHelper();

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return AbsentHelper(); }
