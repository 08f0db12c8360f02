// Linux side of output_file.hpp: symbolic links followed by hand (so that a
// link whose file does not exist yet leads to the name to create), special
// files opened without O_CREAT or O_TRUNC, new files created with O_EXCL.
#include "platform/output_file.hpp"
#include "platform/output_file_common.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace vrk::platform {

using output_file_detail::reasonOf;
using output_file_detail::temporaryNameFor;

namespace {

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

OutputKind kindOf(mode_t mode) {
    if (S_ISREG(mode)) return OutputKind::regular;
    if (S_ISDIR(mode)) return OutputKind::directory;
    return OutputKind::special;
}

// Gives the open file fd the mode of old and, where allowed, its owner.
bool adopt(int fd, const struct stat& old, std::string& why) {
    if (::geteuid() == 0 && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            why = "its owner cannot be kept (" + reasonOf(errno) + ")";
            return false;
        }
    }
    // After the owner: a change of owner clears the set-id bits.
    if (::fchmod(fd, old.st_mode & 07777) != 0) {
        why = "its permissions cannot be kept (" + reasonOf(errno) + ")";
        return false;
    }
    return true;
}

void syncDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);  // best effort: not every file system syncs a directory
    ::close(fd);
}

}  // namespace

bool inspectOutputTarget(const std::string& path, OutputTarget& target, std::string& why) {
    // What the name leads to, through any links, the system's own ones
    // included (/dev/stdout leads to a pipe that has no name): anything but
    // a regular file is opened by the name as given.
    struct stat reached {};
    if (::stat(path.c_str(), &reached) == 0 && !S_ISREG(reached.st_mode)) {
        target = OutputTarget{kindOf(reached.st_mode), path};
        return true;
    }
    // A regular file, or nothing yet: the name to replace or create is the
    // one the links lead to.
    std::string current = path;
    for (int links = 0;; ++links) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                why = "it cannot be looked at (" + reasonOf(errno) + ")";
                return false;
            }
            target = OutputTarget{OutputKind::missing, current};
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            target = OutputTarget{kindOf(st.st_mode), current};
            return true;
        }
        if (links >= 40) {
            why = "it is a loop of symbolic links";
            return false;
        }
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n < 0) {
            why = "its symbolic link cannot be read (" + reasonOf(errno) + ")";
            return false;
        }
        link.resize(static_cast<std::size_t>(n));
        current = link.front() == '/' ? link : directoryOf(current) + "/" + link;
    }
}

bool keepReplacedAttributes(const std::string& fresh, const std::string& replaced,
                            std::string& why) {
    struct stat old {};
    if (::stat(replaced.c_str(), &old) != 0) return true;  // nothing replaced
    const int fd = ::open(fresh.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        why = fresh + ": " + reasonOf(errno);
        return false;
    }
    const bool kept = adopt(fd, old, why);
    ::close(fd);
    if (!kept) why = fresh + ": " + why;
    return kept;
}

bool OutputFile::open(const std::string& path) {
    OutputTarget t;
    if (!inspectOutputTarget(path, t, why_)) return false;
    if (t.kind == OutputKind::directory) return fail("it is a directory");
    target_ = t.path;
    if (t.kind == OutputKind::special) {
        // Opened as it is, without creating or truncating anything; a FIFO
        // waits for its reader as a shell's redirection does.
        const int fd = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return fail("it cannot be opened for writing (" + reasonOf(errno) + ")");
        struct stat st {};
        if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
            file_ = ::fdopen(fd, "wb");
            if (file_ == nullptr) {
                ::close(fd);
                return fail("it cannot be opened for writing (" + reasonOf(errno) + ")");
            }
            inPlace_ = true;
            return true;
        }
        // Replaced by a regular file meanwhile: that one is replaced as such.
        ::close(fd);
    }
    existed_ = t.kind != OutputKind::missing;
    // A new file that will replace an existing one is private until it has
    // that file's permissions; a new target gets the usual ones.
    const mode_t mode = existed_ ? 0600 : 0666;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = temporaryNameFor(target_);
        // O_EXCL: an existing name, a symbolic link included, is never opened.
        const int fd =
            ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            file_ = ::fdopen(fd, "wb");
            if (file_ != nullptr) return true;
            const int error = errno;
            ::close(fd);
            ::unlink(temporary_.c_str());
            temporary_.clear();
            return fail("it cannot be created (" + reasonOf(error) + ")");
        }
        if (errno != EEXIST) {
            const int error = errno;
            temporary_.clear();
            return fail("it cannot be created (" + reasonOf(error) + ")");
        }
    }
    temporary_.clear();
    return fail("no unused temporary name beside it");
}

bool OutputFile::commit() {
    errno = 0;
    if (std::fflush(file_) != 0) return fail("a write failed (" + reasonOf(errno) + ")");
    const int fd = ::fileno(file_);
    if (!inPlace_) {
        if (::fsync(fd) != 0) return fail("a write failed (" + reasonOf(errno) + ")");
        struct stat old {};
        if (existed_ && ::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
            std::string why;
            if (!adopt(fd, old, why)) return fail(why);
        }
    }
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) return fail("a write failed (" + reasonOf(errno) + ")");
    if (inPlace_) {
        committed_ = true;
        return true;
    }
    // Whatever took the target's name meanwhile that is not a regular file
    // is not replaced.
    struct stat now {};
    if (::lstat(target_.c_str(), &now) == 0 && !S_ISREG(now.st_mode))
        return fail("it is no longer a regular file; it was left as it is");
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        return fail("it cannot be replaced (" + reasonOf(errno) + ")");
    committed_ = true;
    syncDirectory(directoryOf(target_));
    return true;
}

}  // namespace vrk::platform
