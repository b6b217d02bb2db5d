#include "platform/nodeaccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tw {

namespace {

// The POSIX ACL as Linux stores it in "system.posix_acl_access": a 4-byte
// version, then 8-byte entries (tag, permissions, id).
constexpr std::uint32_t kAclVersion = 2;
constexpr std::uint16_t kAclUser = 0x02;
constexpr std::uint16_t kAclGroupObj = 0x04;
constexpr std::uint16_t kAclGroup = 0x08;
constexpr std::uint16_t kAclMask = 0x10;
constexpr std::uint16_t kReadWrite = 0x06;

struct AclEntry {
  std::uint16_t tag;
  std::uint16_t perm;
  std::uint32_t id;
};

std::vector<AclEntry> ReadAcl(const std::string& path) {
  std::vector<AclEntry> entries;
  unsigned char buffer[1024];
  const ssize_t size = ::getxattr(path.c_str(), "system.posix_acl_access", buffer, sizeof buffer);
  std::uint32_t version = 0;
  if (size < 4 || (size - 4) % 8 != 0) {
    return entries;
  }
  std::memcpy(&version, buffer, 4);
  if (version != kAclVersion) {
    return entries;
  }
  for (ssize_t at = 4; at < size; at += 8) {
    AclEntry entry{};
    std::memcpy(&entry.tag, buffer + at, 2);
    std::memcpy(&entry.perm, buffer + at + 2, 2);
    std::memcpy(&entry.id, buffer + at + 4, 4);
    entries.push_back(entry);
  }
  return entries;
}

// A named user entry decides alone; otherwise any group entry of the user's
// may grant. Both grant at most what the mask lets through.
bool AclAllows(const std::vector<AclEntry>& acl, const UserIdentity& user, gid_t ownerGroup) {
  std::uint16_t mask = kReadWrite;
  for (const AclEntry& entry : acl) {
    if (entry.tag == kAclMask) {
      mask = entry.perm;
    }
  }
  const auto grants = [mask](const AclEntry& entry) {
    return (entry.perm & mask & kReadWrite) == kReadWrite;
  };
  for (const AclEntry& entry : acl) {
    if (entry.tag == kAclUser && entry.id == user.uid) {
      return grants(entry);
    }
  }
  for (const AclEntry& entry : acl) {
    const gid_t gid = entry.tag == kAclGroupObj ? ownerGroup : static_cast<gid_t>(entry.id);
    const bool member = std::find(user.groups.begin(), user.groups.end(), gid) != user.groups.end();
    if ((entry.tag == kAclGroupObj || entry.tag == kAclGroup) && member && grants(entry)) {
      return true;
    }
  }
  return false;
}

std::string UserName(uid_t uid) {
  const passwd* entry = ::getpwuid(uid);
  return entry ? entry->pw_name : std::to_string(uid);
}

}  // namespace

std::string GroupName(gid_t gid) {
  const group* entry = ::getgrgid(gid);
  return entry ? entry->gr_name : std::to_string(gid);
}

bool InGroup(const UserIdentity& user, const std::string& name) {
  const group* entry = ::getgrnam(name.c_str());
  return entry && std::find(user.groups.begin(), user.groups.end(), entry->gr_gid) != user.groups.end();
}

UserIdentity InvokingUser() {
  UserIdentity user;
  user.uid = ::getuid();
  const char* sudoUid = std::getenv("SUDO_UID");
  if (user.uid == 0 && sudoUid && *sudoUid) {
    user.uid = static_cast<uid_t>(std::strtoul(sudoUid, nullptr, 10));
  }
  user.name = UserName(user.uid);
  const passwd* entry = ::getpwuid(user.uid);
  gid_t primary = entry ? entry->pw_gid : ::getgid();
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  if (entry && ::getgrouplist(entry->pw_name, primary, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count));
    ::getgrouplist(entry->pw_name, primary, groups.data(), &count);
  }
  groups.resize(entry ? static_cast<std::size_t>(count) : 0);
  if (groups.empty()) {
    groups.push_back(primary);
  }
  user.groups = groups;
  return user;
}

NodeAccess CheckNodeAccess(const std::string& path, const UserIdentity& user) {
  NodeAccess access;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return access;
  }
  access.exists = true;
  access.owner = UserName(info.st_uid);
  access.group = GroupName(info.st_gid);
  access.mode = info.st_mode & 07777;
  const bool inGroup = std::find(user.groups.begin(), user.groups.end(), info.st_gid) != user.groups.end();
  unsigned bits = 0;
  if (user.uid == 0) {
    bits = 06;
  } else if (user.uid == info.st_uid) {
    bits = (access.mode >> 6) & 07;
  } else if (inGroup) {
    bits = (access.mode >> 3) & 07;
  } else {
    bits = access.mode & 07;
  }
  access.allowed = (bits & 06) == 06;
  if (!access.allowed && user.uid != info.st_uid) {
    access.byAcl = access.allowed = AclAllows(ReadAcl(path), user, info.st_gid);
  }
  return access;
}

}  // namespace tw
