#pragma once
#include <string>

#ifdef _WIN32
#include <windows.h>

// The security descriptor of a file readable by its owner alone, as Windows
// has no file modes: a protected access list, so that nothing is inherited
// from the folder, granting full control to SYSTEM, the Administrators group
// and the user running this process, and to no one else.
class OwnerOnlyDescriptor {
  public:
    OwnerOnlyDescriptor();
    OwnerOnlyDescriptor(const OwnerOnlyDescriptor &) = delete;
    OwnerOnlyDescriptor &operator=(const OwnerOnlyDescriptor &) = delete;

    // nullptr when it could not be built; a file is then not written.
    SECURITY_ATTRIBUTES *attributes() { return built_ ? &attributes_ : nullptr; }
    // The descriptor in SDDL, for tests and diagnostics; empty when not built.
    std::string sddl();
    // The three it grants, each a SID; nullptr when not built.
    PSID user() { return built_ ? user_sid_ : nullptr; }
    PSID system() { return built_ ? system_sid_ : nullptr; }
    PSID administrators() { return built_ ? administrators_sid_ : nullptr; }

  private:
    bool built_ = false;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    alignas(DWORD) unsigned char user_sid_[SECURITY_MAX_SID_SIZE]{};
    alignas(DWORD) unsigned char system_sid_[SECURITY_MAX_SID_SIZE]{};
    alignas(DWORD) unsigned char administrators_sid_[SECURITY_MAX_SID_SIZE]{};
    alignas(DWORD) unsigned char acl_[512]{};
};
#endif
