#include "fake_rfc.h"

#include "common/files.h"

#include <cstdio>
#include <cstdlib>

#include <cstring>

FakeRfc fake;

namespace {

struct FakeTable {
    std::vector<std::vector<unsigned char>> lines;
};

void SAP_API fake_environment(RFC_ENV *) {}

RFC_HANDLE SAP_API fake_open(RFC_OPTIONS *options) {
    ++fake.opens;
    fake.options = *options;
    fake.user = options->user;
    fake.password = options->password;
    if (options->mode == RFC_MODE_R3ONLY) {
        fake.r3 = *static_cast<RFC_CONNOPT_R3ONLY *>(options->connopt);
        fake.hostname_null = fake.r3.hostname == nullptr;
        fake.gwhost_null = fake.r3.gateway_host == nullptr;
        fake.gwservice_null = fake.r3.gateway_service == nullptr;
        if (fake.r3.hostname) fake.hostname = fake.r3.hostname;
    } else {
        fake.cpic = *static_cast<RFC_CONNOPT_CPIC *>(options->connopt);
        fake.gwhost_null = fake.cpic.gateway_host == nullptr;
        fake.gwservice_null = fake.cpic.gateway_service == nullptr;
        if (fake.cpic.gateway_host) fake.gwhost = fake.cpic.gateway_host;
    }
    return fake.open_result;
}

RFC_HANDLE SAP_API fake_open_ex(const char *connect, RFC_ERROR_INFO_EX *) {
    ++fake.open_exs;
    fake.connect_string = connect;
    fake.open_directory = current_directory();
    // What the library would read: the file that RFC_INI names.
    const char *ini = std::getenv("RFC_INI");
    fake.rfc_ini = ini ? ini : "";
    fake.rfc_ini_content.clear();
    if (std::FILE *f = ini ? std::fopen(ini, "rb") : nullptr) {
        char buffer[256];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            fake.rfc_ini_content.append(buffer, n);
        std::fclose(f);
    }
    return fake.open_result;
}

RFC_RC SAP_API fake_install(const char *, RFC_TYPE_ELEMENT *, unsigned entries,
                            RFC_TYPEHANDLE *handle) {
    ++fake.installs;
    *handle = entries == 13 ? 42 : 0;
    return RFC_OK;
}

RFC_RC SAP_API fake_call(RFC_HANDLE, const char *, RFC_PARAMETER *exporting, RFC_TABLE *) {
    ++fake.calls;
    fake.exporting.clear();
    fake.export_values.clear();
    for (RFC_PARAMETER *p = exporting; p->name; ++p) {
        fake.exporting.push_back(*p);
        fake.export_values.emplace_back(static_cast<const char *>(p->addr), p->leng);
    }
    return fake.call_result;
}

RFC_RC SAP_API fake_receive(RFC_HANDLE, RFC_PARAMETER *importing, RFC_TABLE *tables,
                            char **exception) {
    ++fake.receives;
    fake.importing.clear();
    for (RFC_PARAMETER *p = importing; p->name; ++p)
        fake.importing.push_back(*p);
    if (fake.receive_result == RFC_OK)
        static_cast<FakeTable *>(tables[0].ithandle)->lines = fake.lines;
    if (fake.receive_result == RFC_EXCEPTION || fake.receive_result == RFC_SYS_EXCEPTION)
        *exception = &fake.exception[0];
    return fake.receive_result;
}

int SAP_API fake_last_error(RFC_ERROR_INFO *info) {
    *info = fake.last_error;
    return 0;
}

void SAP_API fake_close(RFC_HANDLE) {}

ITAB_H SAP_API fake_it_create(const char *, unsigned, unsigned, unsigned) {
    return new FakeTable;
}

unsigned SAP_API fake_it_fill(ITAB_H t) {
    return static_cast<unsigned>(static_cast<FakeTable *>(t)->lines.size());
}

void *SAP_API fake_it_get_line(ITAB_H t, unsigned n) {
    return static_cast<FakeTable *>(t)->lines.at(n - 1).data();
}

int SAP_API fake_it_delete(ITAB_H t) {
    ++fake.deletes;
    delete static_cast<FakeTable *>(t);
    return 0;
}

void put32(std::vector<unsigned char> &line, std::size_t offset, int value) {
    auto v = static_cast<unsigned>(value);
    for (int i = 0; i < 4; ++i)
        line[offset + i] = static_cast<unsigned char>(v >> (8 * i));
}

} // namespace

RfcApi make_fake_api() {
    fake = FakeRfc{};
    return fake_api();
}

RfcApi fake_api() {
    RfcApi api;
    api.RfcEnvironment = fake_environment;
    api.RfcOpen = fake_open;
    api.RfcOpenEx = fake_open_ex;
    api.RfcInstallStructure = fake_install;
    api.RfcCall = fake_call;
    api.RfcReceive = fake_receive;
    api.RfcLastError = fake_last_error;
    api.RfcClose = fake_close;
    api.ItCreate = fake_it_create;
    api.ItFill = fake_it_fill;
    api.ItGetLine = fake_it_get_line;
    api.ItDelete = fake_it_delete;
    return api;
}

std::vector<unsigned char> mem_all_line(int phys, int free, int swap_size, int swap_free, int in_pg,
                                        int out_pg) {
    std::vector<unsigned char> line(48, 0);
    put32(line, 8, in_pg);
    put32(line, 12, out_pg);
    put32(line, 24, free);
    put32(line, 28, phys);
    put32(line, 36, swap_free);
    put32(line, 40, swap_size);
    return line;
}
