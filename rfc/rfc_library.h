#pragma once
#include <string>

#include "rfc/saprfc.h"

// The twelve entry points the program takes from the RFC library. Unit tests
// fill one with fakes.
struct RfcApi {
    RfcEnvironment_t RfcEnvironment = nullptr;
    RfcOpen_t RfcOpen = nullptr;
    RfcOpenEx_t RfcOpenEx = nullptr;
    RfcInstallStructure_t RfcInstallStructure = nullptr;
    RfcCall_t RfcCall = nullptr;
    RfcReceive_t RfcReceive = nullptr;
    RfcLastError_t RfcLastError = nullptr;
    RfcClose_t RfcClose = nullptr;
    ItCreate_t ItCreate = nullptr;
    ItFill_t ItFill = nullptr;
    ItGetLine_t ItGetLine = nullptr;
    ItDelete_t ItDelete = nullptr;
};

// "librfc32.dll" on Windows, "librfc32.so" elsewhere.
const char *rfc_library_file_name();

// Loads the library from the directory of the running program and looks up
// all twelve entry points. Throws NumberedError 1018 naming the library when
// it is missing or lacks an entry point.
RfcApi load_rfc_library();
