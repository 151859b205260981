#pragma once
#include <string>

#include "rfc/rfc_api.h"

// "sapnwrfc.dll" on Windows, "libsapnwrfc.so" elsewhere.
const char *nw_library_file_name();

// Loads SAP's NetWeaver RFC library from directory, or else by its bare
// name from the known folders (see library_request), points its trace at RFC_TRACE_DIR and fills
// api with the program's operations that work through it (back end NetWeaver). False when no file
// loads (missing empty), or when the library found lacks operations: their names go to missing and
// its path to api.library_path.
bool load_nw_library(const std::string &directory, RfcApi &api, std::string &missing);
