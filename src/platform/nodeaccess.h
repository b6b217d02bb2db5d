// Whether a user may open a device node for reading and writing, judged from
// its owner, group, mode and access control list (udev's uaccess tag gives
// the user at the seat an ACL entry). Judged, not tried, so that it answers
// for the user who ran sudo as well.
#pragma once
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace tw {

struct UserIdentity {
  uid_t uid = 0;
  std::vector<gid_t> groups;  // the primary group and every supplementary one
  std::string name;
};

// The user to judge for: the one who ran sudo (SUDO_UID) when this runs as
// root through sudo, else the user this process runs as, with the groups of
// the user database (a group joined since the last log-in counts).
UserIdentity InvokingUser();

struct NodeAccess {
  bool exists = false;
  bool allowed = false;  // read and write
  bool byAcl = false;    // allowed through an ACL entry
  std::string owner;     // user and group names (numbers when unnamed)
  std::string group;
  unsigned mode = 0;  // permission bits
};

NodeAccess CheckNodeAccess(const std::string& path, const UserIdentity& user);

// The name of a group, or its number as text.
std::string GroupName(gid_t gid);

// Whether the user is in the named group.
bool InGroup(const UserIdentity& user, const std::string& group);

}  // namespace tw
