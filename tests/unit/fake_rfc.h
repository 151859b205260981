#pragma once
// A fake RFC library for unit tests: records what the program passes and
// answers as the test sets it up.
#include <string>
#include <vector>

#include "rfc/rfc_library.h"

struct FakeRfc {
    // What the program passed.
    RFC_OPTIONS options{};
    RFC_CONNOPT_R3ONLY r3{};
    RFC_CONNOPT_CPIC cpic{};
    std::string user, password, hostname, gwhost, gwservice, connect_string;
    std::string rfc_ini, rfc_ini_content; // RFC_INI and its file, as RfcOpenEx saw them
    std::string open_directory;           // the current directory at the open
    bool hostname_null = false, gwhost_null = false, gwservice_null = false;
    int opens = 0, open_exs = 0, installs = 0, calls = 0, receives = 0, deletes = 0;
    std::vector<RFC_PARAMETER> exporting, importing;
    std::vector<std::string> export_values;

    // What the library answers.
    RFC_HANDLE open_result = 7;
    RFC_RC call_result = RFC_OK;
    RFC_RC receive_result = RFC_OK;
    std::string exception = "NOT_FOUND";
    std::vector<std::vector<unsigned char>> lines;
    RFC_ERROR_INFO last_error{};
};

// The fake that the entry points work on. make_fake_api() resets it;
// fake_api() only hands out the entry points.
extern FakeRfc fake;
RfcApi make_fake_api();
RfcApi fake_api();

// A 48-byte MEM_ALL line with the given figures.
std::vector<unsigned char> mem_all_line(int phys, int free, int swap_size, int swap_free, int in_pg,
                                        int out_pg);
