#include "measure/get_mem_all.h"

#include <cstring>

namespace {

RFC_TYPE_ELEMENT mem_all_elements[13] = {
    {const_cast<char *>("TYPE"), TYPINT2, 2, 0, 0},
    {const_cast<char *>("SUBTYPE"), TYPINT2, 2, 0, 0},
    {const_cast<char *>("SERIALNR"), TYPINT2, 2, 0, 0},
    {const_cast<char *>("IN_PG_SEC"), TYPINT, 4, 0, 0},
    {const_cast<char *>("OUT_PG_SEC"), TYPINT, 4, 0, 0},
    {const_cast<char *>("IN_KB_SEC"), TYPINT, 4, 0, 0},
    {const_cast<char *>("OUT_KB_SEC"), TYPINT, 4, 0, 0},
    {const_cast<char *>("FREE_MEM"), TYPINT, 4, 0, 0},
    {const_cast<char *>("PHYS_MEM"), TYPINT, 4, 0, 0},
    {const_cast<char *>("SWAP_CONF"), TYPINT, 4, 0, 0},
    {const_cast<char *>("SWAP_FREE"), TYPINT, 4, 0, 0},
    {const_cast<char *>("SWAP_SIZE"), TYPINT, 4, 0, 0},
    {const_cast<char *>("SWAP_MAX"), TYPINT, 4, 0, 0},
};

RFC_PARAMETER parameter(const char *name, unsigned type, unsigned length, void *address) {
    return {const_cast<char *>(name), static_cast<unsigned>(std::strlen(name)), type, length,
            address};
}

} // namespace

RFC_RC call_get_mem_all(const RfcApi &api, RFC_TYPEHANDLE &type_handle, RFC_HANDLE handle,
                        const char local_remote[6], const char logical_destination[32],
                        GetMemAllImports &imports, ITAB_H table, std::string &exception_text,
                        const ProgramLog &log) {
    if (type_handle == 0 &&
        api.RfcInstallStructure("MEM_ALL", mem_all_elements, 13, &type_handle) != 0) {
        char operation[] = "RfcInstallStructure";
        fatal_rfc_error(operation);
    }

    RFC_PARAMETER exporting[3] = {
        parameter("LOCAL_REMOTE", TYPC, 6, const_cast<char *>(local_remote)),
        parameter("LOGICAL_DESTINATION", TYPC, 32, const_cast<char *>(logical_destination)),
        {}};
    RFC_TABLE tables[2] = {};
    tables[0].name = const_cast<char *>("TF_MEM_ALL");
    tables[0].nlen = 10;
    tables[0].type = type_handle;
    tables[0].leng = mem_all_line_length;
    tables[0].ithandle = table;

    RFC_RC rc = api.RfcCall(handle, "GET_MEM_ALL", exporting, tables);
    write_log_line(log, handle, "RfcCall called", "");
    if (rc != RFC_OK) return rc;

    RFC_PARAMETER importing[10] = {parameter("ACTIVEFLAG", TYPINT, 4, &imports.activeflag),
                                   parameter("DETAILSCOLL", TYPINT, 4, &imports.detailscoll),
                                   parameter("DETAILSMODE", TYPINT, 4, &imports.detailsmode),
                                   parameter("DETAILSREQI", TYPINT, 4, &imports.detailsreqi),
                                   parameter("F_MEM_ALL_READ", TYPC, 3, imports.f_mem_all_read),
                                   parameter("INTERVAL", TYPINT, 4, &imports.interval),
                                   parameter("LASTCOLLINT", TYPINT, 4, &imports.lastcollint),
                                   parameter("LASTCOLLWRT", TYPC, 25, imports.lastcollwrt),
                                   parameter("NORMCOLLINT", TYPINT, 4, &imports.normcollint),
                                   {}};
    char *exception = nullptr;
    rc = api.RfcReceive(handle, importing, tables, &exception);
    write_log_line(log, handle, "RfcReceive called", "");
    if (rc == RFC_EXCEPTION || rc == RFC_SYS_EXCEPTION)
        exception_text = exception ? std::string(exception, strnlen(exception, 255)) : "";
    return rc;
}
