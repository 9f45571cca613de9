#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "setup/log_file.h"

namespace setup {

bool ReplaceLogFile(const std::string& path, const std::string& bytes, std::string& reason) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string aside = dir + "." + name + ".XXXXXX";
  std::vector<char> tmpl(aside.begin(), aside.end());
  tmpl.push_back('\0');
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  aside = tmpl.data();
  // The mode an ordinary new file gets, or the one the file has.
  struct stat st;
  mode_t mode;
  if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  (void)fchmod(fd, mode);  // a mode it cannot give is no reason to lose the log
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += size_t(n);
  }
  ok = ok && fsync(fd) == 0;
  int err = ok ? 0 : errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(aside.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(aside.c_str());
    reason = std::strerror(err ? err : EIO);
  }
  return ok;
}

}  // namespace setup
