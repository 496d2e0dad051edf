#include "app/shell/instance.h"

#include "files/program_dir.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>

namespace {

// Opens the marker of one number and takes its lock; -1 when it is held by a
// live instance or cannot be opened.
int TryMarker(const std::string& name)
{
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno != EEXIST) return -1;
        // The marker exists: it is free only when no living process locks it.
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // Another process locked it between our create and our lock, or holds it.
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

InstanceMarker::~InstanceMarker()
{
    if (fd_ >= 0) ::close(fd_);
}

std::string InstanceMarker::MarkerName(const std::string& dir, int n)
{
    return JoinPath(dir, "Kelvo5_ID_" + std::to_string(n) + ".sid").string();
}

std::string InstanceMarker::TempPsqName(const std::string& dir, int n)
{
    return JoinPath(dir, "Kelvo5_tmp_" + std::to_string(n) + ".psq").string();
}

bool InstanceMarker::Claim(const std::string& dir, int maxId)
{
    Release();
    for (int n = 1; n <= maxId; ++n) {
        std::string name = MarkerName(dir, n);
        int fd = TryMarker(name);
        if (fd < 0) {
            // A directory we cannot write to has no free number at all.
            if (errno == EACCES || errno == EROFS || errno == ENOENT || errno == ENOTDIR)
                return false;
            continue;
        }
        fd_ = fd;
        id_ = n;
        sidFile_ = name;
        return true;
    }
    return false;
}

void InstanceMarker::Release()
{
    if (fd_ < 0) return;
    ::unlink(sidFile_.c_str());
    ::close(fd_);
    fd_ = -1;
}
