#pragma once
#include <string>

#include "rfc/rfc_api.h"

// "librfc32.dll" on Windows, "librfc32.so" elsewhere.
const char *rfc_library_file_name();

// Which library a run may load: either (classic first), or one of them.
enum class RfcLibraryChoice { Either, Classic, NetWeaver };

// Loads the RFC library the choice allows: librfc32 from the directory of
// the running program; when it is not there or cannot be loaded, SAP's
// NetWeaver library from that directory, then by its bare name from the
// known folders (see library_request). Throws NumberedError 1018 naming each library, where it was
// looked for and, for a file of the wrong bitness, that; or naming the operations that the library
// found lacks.
RfcApi load_rfc_library(RfcLibraryChoice choice = RfcLibraryChoice::Classic);
