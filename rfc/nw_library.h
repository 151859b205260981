#pragma once
#include <string>
#include <utility>
#include <vector>

#include "config/destination_file.h"

#include "rfc/rfc_api.h"

// Connection parameters for RfcOpenConnection, by name, in their order.
using NwSettings = std::vector<std::pair<std::string, std::string>>;

// The parameters for the classic RfcOpen's records: ASHOST and SYSNR (two
// digits), CLIENT, USER, PASSWD and LANG, GWHOST and GWSERV, trailing
// blanks taken off, empty ones left out. Throws NumberedError 1008 for
// mode R/2 (CPI-C), which the NetWeaver library cannot reach.
NwSettings nw_logon_settings(const RFC_OPTIONS &options);

// The parameters for the classic RfcOpenEx: the destination entry's keys,
// then the connect string's logon data, a key given again replacing its
// earlier value in place; DEST and TYPE mean nothing to the NetWeaver
// library and are left out.
NwSettings nw_destination_settings(const DestinationSettings &entry,
                                   const DestinationSettings &logon);

// What the loaded NetWeaver library says of its version (RfcGetVersion):
// "7500.0 patch 12 (its text)"; empty when it has no such operation.
std::string nw_library_version(void *library);

// "sapnwrfc.dll" on Windows, "libsapnwrfc.so" elsewhere.
const char *nw_library_file_name();

// Loads SAP's NetWeaver RFC library from directory, or else by its bare
// name from the known folders (see library_request), points its trace at RFC_TRACE_DIR and fills
// api with the program's operations that work through it (back end NetWeaver). False when no file
// loads (missing empty), or when the library found lacks operations: their names go to missing and
// its path to api.library_path.
bool load_nw_library(const std::string &directory, RfcApi &api, std::string &missing);
