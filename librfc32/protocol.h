#pragma once
// The wire format between the stand-in RFC library and sapsim.
//
// Every message is a block of text lines ending in "\n", closed by an empty
// line. Binary values travel as hexadecimal text.
//
//   client: LOGON / client C / user U / passwd P / lang L / host H / sysnr N / dest D
//   server: OK                          or  REFUSED <reason>
//   client: CALL <function> / export <name> <hex> ... / table <name> <line length>
//   server: RESULT <code> / import <name> <hex> ... / row <table> <hex> ...
//           / exception <text> / message <text>
#include <string>
#include <vector>

namespace wire {

std::string to_hex(const unsigned char *data, std::size_t size);
bool from_hex(const std::string &hex, std::vector<unsigned char> &out);

} // namespace wire
