/* The decompression library as it behaves when the destination drive fills up during the
   copy: every call ends with the library's disk-full status (28). Carried by a package in
   place of dunzip32.dll, it leads the install to the disk-full question and, on Cancel, to
   the library's own fatal error (1028). */
#include <windows.h>

__declspec(dllexport) int __stdcall dunzip(const unsigned char* command) {
    (void)command;
    return 28;
}
