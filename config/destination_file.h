#pragma once
#include <string>
#include <utility>
#include <vector>

// The reader of destination entries (the classic saprfc.ini format of a
// file SapRfc.<destination>) and of the connect string of RfcOpenEx. The
// reachability check and the NetWeaver road read through it; the stand-in
// library (librfc32/wire.c, plain C) has a reader of its own that follows
// the same rules, and one table of cases runs against both.
//
// - Words are separated by white space (blank, tab, CR, LF, VT, FF); a
//   double quote opens a stretch up to the next double quote in which white
//   space belongs to the word. In a file a quote ends with its line.
// - A word holding "=" is a setting: the key before the first "=",
//   upper-cased (ASCII), and the value after it, whose enclosing double
//   quotes are taken off ("a b" is a b). Other words, and words with an
//   empty key, are ignored. An empty value is kept as "" (it means: not
//   given).
// - A key given twice keeps its first place and its last value.
// - In a file, lines end at LF, and a NUL byte ends its line; a word that
//   begins with "*", "#", "//" or "/*" begins a comment that runs to the end
//   of its line (whole comment lines, and comments after settings).
// - An entry begins with the setting DEST=<name>, the name matched exactly,
//   case included, and runs up to the next DEST setting. Only the first entry
//   of that name counts.
using DestinationSetting = std::pair<std::string, std::string>;
using DestinationSettings = std::vector<DestinationSetting>;

// The settings of a connect string ("CLIENT=100 USER=X PASSWD=\"a b\" ...").
DestinationSettings read_connect_words(const std::string &text);

// The settings of destination's entry in the text of a destination file,
// DEST itself left out; false (and entry empty) when there is no such
// entry.
bool read_destination_entry(const std::string &text, const std::string &destination,
                            DestinationSettings &entry);

// The value of key (upper-case) in settings; "" when not given.
std::string setting_value(const DestinationSettings &settings, const std::string &key);
