/* Adds the test machine's printer: the system's PostScript driver with the printer
 * description kovprinter.ppd, on port LPT1: (which the spooler settings send to a file),
 * made the default printer. Usage: addprinter [NAME] */
#include <windows.h>
#include <winspool.h>
#include <stdio.h>

int main(int argc, char** argv) {
    char* name = argc > 1 ? argv[1] : "KOV Test Printer";
    DRIVER_INFO_3A driver;
    ZeroMemory(&driver, sizeof driver);
    driver.cVersion = 3;
    driver.pName = "Wine PostScript Driver";
    driver.pDriverPath = "wineps.drv";
    driver.pDataFile = "kovprinter.ppd";
    driver.pConfigFile = "wineps.drv";
    if (!AddPrinterDriverA(NULL, 3, (BYTE*)&driver)) {
        fprintf(stderr, "addprinter: cannot add the driver (%lu)\n", GetLastError());
        return 1;
    }
    PRINTER_INFO_2A printer;
    ZeroMemory(&printer, sizeof printer);
    printer.pPrinterName = name;
    printer.pPortName = "LPT1:";
    printer.pDriverName = driver.pName;
    printer.pPrintProcessor = "winprint";
    printer.pDatatype = "RAW";
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE handle = AddPrinterA(NULL, 2, (BYTE*)&printer);
    if (!handle) {
        fprintf(stderr, "addprinter: cannot add the printer (%lu)\n", GetLastError());
        return 1;
    }
    ClosePrinter(handle);
    if (!SetDefaultPrinterA(name)) {
        fprintf(stderr, "addprinter: cannot make it the default (%lu)\n", GetLastError());
        return 1;
    }
    printf("printer \"%s\" ready\n", name);
    return 0;
}
