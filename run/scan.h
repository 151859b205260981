#pragma once
#include <functional>
#include <string>

#include "common/files.h"
#include "measure/memory.h"
#include "run/context.h"

// How one system is to be scanned.
struct ScanRequest {
    std::string profile; // the profile's file name: the session's and the connect string's
    // False for a faulty profile, which is never used to log on: its
    // password may be the one left from another system, and a wrong logon
    // can lock the user.
    bool may_log_on = true;
    // One system of a list: a profile the library cannot take fails that
    // system alone, and every session is finished for the next. Otherwise
    // the run's one system: such a profile ends the run (NumberedError), a
    // measured system's folder is emptied as the run removes it, and a
    // failure's reason is taken from the session's trace.
    bool of_list = false;
    // After the RFC environment is installed, and after the measurement,
    // before the connection closes.
    std::function<void()> environment_installed;
    std::function<void(const Measurement &)> measured;
};

// What the scan of one system gives.
struct ScanResult {
    bool opened = false;     // the connection was opened
    Measurement measurement; // its figures or failure, once opened
    // The run's one system only: why the connection failed (the partner
    // not reached, or the library's trace), or for a failed measurement the
    // trace's last error or a hint; empty when there is nothing to say.
    std::string reason;
    bool measured() const { return opened && measurement.status == RunStatus::Measured; }
};

// The scan of one system, the same for every run: installs the RFC
// environment, opens the connection to the system of ctx.logon (with the
// options' overrides), measures, closes the connection and finishes the
// library's session in the run folder.
ScanResult scan(RunContext &ctx, const FileOpener &files, const ScanRequest &request);
