#pragma once
// The wire format between the stand-in RFC library and sapsim, and the
// stand-in's readers of what arrives from outside: replies and saprfc.ini.
//
// Every message is a block of text lines ending in "\n", closed by an empty
// line. Binary values travel as hexadecimal text.
//
//   client: LOGON / client C / user U / passwd P / lang L / host H / sysnr N / dest D
//   server: OK [/ libfault NAME]        or  REFUSED <reason>
//   client: CALL <function> / export <name> <hex> ... / table <name> <line length>
//   server: RESULT <code> / import <name> <hex> ... / row <table> <hex> ...
//           / exception <text> / message <text>
#include <istream>
#include <map>
#include <string>
#include <vector>

#include "rfc/saprfc.h"

namespace wire {

std::string to_hex(const unsigned char *data, std::size_t size);
bool from_hex(const std::string &hex, std::vector<unsigned char> &out);

// An internal table of the library: what ItCreate returns.
struct Table {
    std::string name;
    unsigned line_length;
    std::vector<std::vector<unsigned char>> lines;
};

// KEY=value settings of one destination in saprfc.ini (keys upper-cased).
using Entry = std::map<std::string, std::string>;

// Finds the entry of destination: "DEST=<name>" starts it, and KEY=value
// words follow on that line and the next ones until the next DEST. Lines
// starting with "*" or "#" are comments.
bool read_saprfc_entry(std::istream &in, const std::string &destination, Entry &entry);

// Reads "RESULT <code>" and what follows into the caller's importing
// parameters and tables (whose ithandle is a Table). Returns false when the
// reply breaks the protocol.
bool apply_reply(const std::vector<std::string> &reply, RFC_PARAMETER *importing, RFC_TABLE *tables,
                 std::string &exception, RFC_RC &rc, std::string &message);

} // namespace wire
