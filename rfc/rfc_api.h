#pragma once
#include <string>

#include "rfc/saprfc.h"

// Which of SAP's two RFC libraries a run works through.
enum class RfcBackEnd { Classic, NetWeaver };

// The twelve entry points the program takes from the RFC library. With the
// classic library they are the library's own; with the NetWeaver library
// they are the program's own operations of the same shape that work through
// it (rfc/nw_library). Unit tests fill one with fakes.
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
    RfcBackEnd back_end = RfcBackEnd::Classic;
    std::string library_path; // as it was loaded
    void *library = nullptr;  // the loaded library's handle (none for fakes)
};
