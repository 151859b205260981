#pragma once
#include <cstddef>
#include <string>
#include <vector>

// A folder that the run holds open while it works in it, so that what it
// removes there is reached through the folder it checked, never through a
// path resolved again, where another local user could have put a link in
// the meantime. POSIX: a descriptor, and the *at() calls; Windows: a handle
// opened without FILE_SHARE_DELETE, which keeps the folder from being renamed
// or replaced while it is held, and no reparse point followed.
class HeldFolder {
  public:
    HeldFolder() = default;
    ~HeldFolder();
    HeldFolder(const HeldFolder &) = delete;
    HeldFolder &operator=(const HeldFolder &) = delete;

    // The folder at path (native, without trailing separator), created for
    // this user alone when it is missing. True only when it is a real folder
    // (not a link, not a reparse point), owned by this user, and nobody else
    // has rights to it: mode 0700 on POSIX, on Windows an access list that
    // grants nobody but the user, SYSTEM and the Administrators.
    bool open_private(const std::string &path);
    // The folder at path as it is, for a folder this run creates its own
    // subfolder in (the temporary folder itself). Links are followed here:
    // the path is the administrator's choice, not a name in a shared folder.
    bool open_shared(const std::string &path);
    bool is_open() const;
    void close();
    const std::string &path() const { return path_; }

    // Creates the subfolder name, for this user alone; false when the name
    // exists already or it cannot be made.
    bool make_subfolder(const std::string &name) const;
    // The names of the entries in the folder, at most max of them.
    std::vector<std::string> entries(std::size_t max) const;
    // When name is a folder of this user's (not a link, not a reparse
    // point), removes the files in it: links as links, never what they point
    // to, at most max_subfolder_entries of them. With remove_itself the
    // subfolder goes too. False when name is no such folder or something
    // stays behind.
    bool empty_subfolder(const std::string &name, bool remove_itself) const;

    // Removes the subfolder name when it is an empty folder.
    bool remove_empty_subfolder(const std::string &name) const;

    static constexpr std::size_t max_subfolder_entries = 4096;

  private:
#ifdef _WIN32
    void *handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::string path_;
};

// The name that tells this user's own folder of run folders apart from
// other users' in a shared temporary folder: the user id on POSIX, the
// user's SID on Windows. Empty when it cannot be told.
std::string user_folder_tag();
