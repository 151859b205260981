#pragma once
#include <cstdint>
#include <string>

#include "rfc/failure.h"
#include "rfc/rfc_library.h"

constexpr unsigned mem_all_line_length = 48;

// Receiving fields of the nine importing parameters; nothing reads them.
struct GetMemAllImports {
    std::int32_t activeflag = 0, detailscoll = 0, detailsmode = 0, detailsreqi = 0;
    char f_mem_all_read[3] = {};
    std::int32_t interval = 0, lastcollint = 0;
    char lastcollwrt[25] = {};
    std::int32_t normcollint = 0;
};

// Performs the remote call of GET_MEM_ALL into the table. Installs MEM_ALL
// once per process (type_handle keeps it). Returns the library's result code;
// for 2 and 3 the exception text is copied into exception_text.
RFC_RC call_get_mem_all(const RfcApi &api, RFC_TYPEHANDLE &type_handle, RFC_HANDLE handle,
                        const char local_remote[6], const char logical_destination[32],
                        GetMemAllImports &imports, ITAB_H table, std::string &exception_text,
                        const ProgramLog &log);
