// libFuzzer target for everything that reads files the sensor does not
// write itself: logon profiles, passwords, the global sensor file, the
// RFC library's trace file and the PRTG path file.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "common/numbered_error.h"
#include "config/global_sensor.h"
#include "config/logon_profile.h"
#include "config/password.h"
#include "rfc/failure.h"

namespace {

class OneFile : public FileOpener {
  public:
    explicit OneFile(const std::string &text) : text_(text) {}
    std::unique_ptr<std::istream> open_read(const std::string &) const override {
        return std::make_unique<std::istringstream>(text_);
    }

  private:
    std::string text_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    for (ProfileRun run : {ProfileRun::Single, ProfileRun::Multi}) {
        LogonParameters params;
        bool mark = false;
        try {
            std::istringstream in(text);
            read_logon_profile(in, "FUZZ.P00", run, params, mark);
            check_logon_parameters("FUZZ.P00", run, params, mark);
        } catch (const NumberedError &) {
        }
    }
    unscramble_password(text.substr(0, 60));
    for (const char *file : {"Quadrant.Prf", "SAP Quadrant.Gbl"}) {
        try {
            std::istringstream in(text);
            read_global_sensor_file(&in, file, text.substr(0, 20), "x", "item");
        } catch (const NumberedError &) {
        }
    }
    OutputDocument doc;
    scan_trace_file(doc, OneFile(text), 0);
    return 0;
}
