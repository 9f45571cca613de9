// The reasons behind a refused device: the group that may open it, read from
// the device file; the processes holding it, read from /proc.
#include "serial/open_failure_posix.h"

#include <dirent.h>
#include <errno.h>
#include <grp.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>


namespace serial {
namespace {

// The group whose members may read and write the device; empty when the
// group's bits do not allow it (then joining it would not help).
std::string PermittedGroup(const struct stat& st) {
  if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
  std::vector<char> buffer(16384);
  struct group entry {};
  struct group* found = nullptr;
  if (getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->gr_name;
  return std::to_string(st.st_gid);
}

// "name (pid)" of each other process with the device open, as far as /proc
// lets this user see; comma-separated.
std::string Holders(const struct stat& device) {
  std::string holders;
  DIR* proc = opendir("/proc");
  if (!proc) return holders;
  const std::string self = std::to_string(getpid());
  while (dirent* e = readdir(proc)) {
    const std::string pid = e->d_name;
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    const std::string fdDir = "/proc/" + pid + "/fd";
    DIR* fds = opendir(fdDir.c_str());
    if (!fds) continue;
    bool holds = false;
    while (dirent* f = readdir(fds)) {
      if (f->d_name[0] == '.') continue;
      struct stat st {};
      if (stat((fdDir + "/" + f->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device.st_rdev) {
        holds = true;
        break;
      }
    }
    closedir(fds);
    if (!holds) continue;
    std::string name;
    std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
    if (!holders.empty()) holders += ", ";
    holders += (name.empty() ? "?" : name) + " (" + pid + ")";
  }
  closedir(proc);
  return holders;
}

}  // namespace

OpenFailure DescribeOpenFailure(int err, const std::string& path) {
  struct stat st {};
  const bool exists = stat(path.c_str(), &st) == 0;
  switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
      return {OpenProblem::NoPermission, exists ? PermittedGroup(st) : std::string()};
    case EBUSY:
    case EWOULDBLOCK:
      return {OpenProblem::InUse, exists && S_ISCHR(st.st_mode) ? Holders(st) : std::string()};
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
    case EIO:  // a device node whose hardware is gone
      return {OpenProblem::NoSuchPort, {}};
    case ENOTTY:
      return {OpenProblem::Other, "это не последовательный порт"};
    default: {
      char buffer[256] = {};
      // The GNU strerror_r returns its text, maybe not in the buffer.
      const char* text = strerror_r(err, buffer, sizeof buffer);
      return {OpenProblem::Other, text ? text : ""};
    }
  }
}

}  // namespace serial
