#include "output_files.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "input_error.h"

namespace compensation::cli {

namespace fs = std::filesystem;

namespace {

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) {
        return fs::equivalent(a, b, ec);
    }
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

fs::path DirectoryOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

// A temporary file in the target's directory, so that the rename stays on one file system
// and is atomic. Returns its name; throws InputError when it cannot be written completely.
std::string WriteTemporary(const std::string& path, const std::string& content) {
    const fs::path target(path);
    std::string name =
        (DirectoryOf(path) / ("." + target.filename().string() + ".tmp.XXXXXX")).string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        throw InputError(path, 0, "",
                         std::string("cannot create a file beside it: ") + std::strerror(errno));
    }
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n <= 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(name.c_str());
            throw InputError(path, 0, "", std::string("cannot write: ") + std::strerror(error));
        }
        written += static_cast<std::size_t>(n);
    }
#if defined(_WIN32)
    // The data on disk before the rename makes it visible under the output's name.
    const bool flushed = ::_commit(fd) == 0;
#else
    // mkstemp creates the file readable by its owner only; an output is an ordinary file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    const bool flushed = ::fsync(fd) == 0;
#endif
    if (!flushed || ::close(fd) != 0) {
        const int error = errno;
        ::unlink(name.c_str());
        throw InputError(path, 0, "", std::string("cannot write: ") + std::strerror(error));
    }
    return name;
}

}  // namespace

void OutputFiles::AddInput(const std::string& path) {
    if (!path.empty()) {
        inputs_.push_back(path);
    }
}

void OutputFiles::Plan(const std::string& path, const std::string& option,
                       bool allowInputOverwrite) {
    std::error_code ec;
    if (!fs::is_directory(DirectoryOf(path), ec)) {
        throw UsageError(option + " " + path + ": the directory " + DirectoryOf(path).string() +
                         " does not exist");
    }
    if (fs::is_directory(path, ec)) {
        throw UsageError(option + " " + path + ": is a directory, not a file");
    }
    if (::access(DirectoryOf(path).string().c_str(), W_OK) != 0) {
        throw UsageError(option + " " + path + ": the directory " + DirectoryOf(path).string() +
                         " is not writable");
    }
    for (const std::string& input : inputs_) {
        if (!allowInputOverwrite && SameFile(path, input)) {
            throw UsageError(option + " " + path + " would overwrite the input " + input +
                             " (add --force to replace it, or --in-place for the model)");
        }
    }
    for (const std::string& other : planned_) {
        if (SameFile(path, other)) {
            throw UsageError(option + " " + path + " is already the destination of another output");
        }
    }
    planned_.push_back(path);
}

void OutputFiles::Stage(const std::string& path, std::string content) {
    staged_.push_back({path, std::move(content)});
}

void OutputFiles::Commit() {
    std::vector<std::string> temporaries;
    try {
        for (const Staged& file : staged_) {
            temporaries.push_back(WriteTemporary(file.path, file.content));
        }
    } catch (...) {
        for (const std::string& name : temporaries) {
            ::unlink(name.c_str());
        }
        throw;
    }
    for (std::size_t i = 0; i < staged_.size(); ++i) {
        // filesystem::rename replaces an existing output on Windows too, where the C
        // library's rename refuses to.
        std::error_code error;
        fs::rename(temporaries[i], staged_[i].path, error);
        if (error) {
            for (std::size_t j = i; j < temporaries.size(); ++j) {
                ::unlink(temporaries[j].c_str());
            }
            throw InputError(staged_[i].path, 0, "", "cannot replace: " + error.message());
        }
    }
    staged_.clear();
}

void WriteFileAtomically(const std::string& path, const std::string& content) {
    OutputFiles files;
    files.Stage(path, content);
    files.Commit();
}

}  // namespace compensation::cli
