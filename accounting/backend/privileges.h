// Who runs what when cupsd runs the backend as root: the count of an
// untrusted job never does, and a wrapped backend does only when cupsd
// itself would have run it as root.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace qmbackend {

// An unprivileged account, looked up while still root.
struct Account {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;  // its primary group, its only group once switched to
};

// The account `name`; nullopt with `error` when it does not exist or is root.
std::optional<Account> LookUpAccount(const std::string& name, std::string& error);

// Becomes `account` for good, as cupsd starts its filters: setgroups, setgid,
// setuid, each checked, then checks that root cannot be regained. Empty on
// success, else what failed (the process must then not go on).
std::string BecomeAccount(const Account& account);

// cupsd runs a backend as root when neither group nor others may write it
// and others may not execute it (mode 0700, 0744, 0750), else as its User.
constexpr bool CupsRunsAsRoot(mode_t mode) { return (mode & (S_IWGRP | S_IWOTH | S_IXOTH)) == 0; }

// For its scope, the process's effective ids are the account's, so that the
// files it creates (the store, the journal) belong to it. Root stays the
// real and saved id and is taken back at the end. No-op when not root.
class ActingAs {
public:
    explicit ActingAs(const Account* account);
    ~ActingAs();
    ActingAs(const ActingAs&) = delete;
    ActingAs& operator=(const ActingAs&) = delete;
    const std::string& error() const { return error_; }

private:
    void Restore();

    bool switched_ = false;
    std::vector<gid_t> groups_;  // root's supplementary groups, given back
    std::string error_;
};

}  // namespace qmbackend
