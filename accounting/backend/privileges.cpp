#include "privileges.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace qmbackend {

namespace {

std::string Failed(const char* call) { return std::string(call) + ": " + std::strerror(errno); }

}  // namespace

std::optional<Account> LookUpAccount(const std::string& name, std::string& error) {
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    const int rc = ::getpwnam_r(name.c_str(), &pw, buf.data(), buf.size(), &found);
    if (found == nullptr) {
        error = "no user \"" + name + "\"" + (rc != 0 ? std::string(": ") + std::strerror(rc) : "");
        return std::nullopt;
    }
    if (pw.pw_uid == 0 || pw.pw_gid == 0) {
        error = "user \"" + name + "\" is root or in root's group";
        return std::nullopt;
    }
    return Account{name, pw.pw_uid, pw.pw_gid};
}

std::string BecomeAccount(const Account& account) {
    if (::setgroups(1, &account.gid) != 0) return Failed("setgroups");
    if (::setgid(account.gid) != 0) return Failed("setgid");
    if (::setuid(account.uid) != 0) return Failed("setuid");
    if (::getuid() != account.uid || ::geteuid() != account.uid || ::getgid() != account.gid ||
        ::getegid() != account.gid) {
        errno = EPERM;
        return "the ids did not change";
    }
    if (::setuid(0) == 0 || ::seteuid(0) == 0) {
        errno = EPERM;
        return "root could be taken back";
    }
    return "";
}

ActingAs::ActingAs(const Account* account) {
    if (account == nullptr || ::geteuid() != 0) return;
    const int n = ::getgroups(0, nullptr);
    groups_.resize(n > 0 ? static_cast<size_t>(n) : 0);
    if (n > 0 && ::getgroups(n, groups_.data()) != n) groups_.clear();
    switched_ = true;
    if (::setgroups(1, &account->gid) != 0) error_ = Failed("setgroups");
    else if (::setegid(account->gid) != 0) error_ = Failed("setegid");
    else if (::seteuid(account->uid) != 0) error_ = Failed("seteuid");
    if (!error_.empty()) Restore();
}

ActingAs::~ActingAs() { Restore(); }

void ActingAs::Restore() {
    if (!switched_) return;
    switched_ = false;
    // Root's own ids back; a failure here leaves us less privileged, never more.
    if (::seteuid(0) == 0) {
        ::setegid(::getgid());
        ::setgroups(groups_.size(), groups_.data());
    }
}

}  // namespace qmbackend
