#include "output_files.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "input_error.h"

namespace compensation::cli {

namespace fs = std::filesystem;

namespace {

// The temporary files that exist at this moment, for the signal handler: an interrupted run
// removes them instead of leaving hidden files beside its outputs. The handler may read only
// what is complete, so a name is written before its slot is counted and uncounted before it is
// reused; the run is single-threaded.
constexpr std::size_t kMostTemporaries = 16;
constexpr std::size_t kLongestTemporaryName = 4096;
std::array<std::array<char, kLongestTemporaryName>, kMostTemporaries> temporaryNames;
volatile std::sig_atomic_t temporaryCount = 0;

extern "C" void RemoveTemporariesAndDie(int signal) {
    for (std::sig_atomic_t slot = 0; slot < temporaryCount; ++slot) {
        ::unlink(temporaryNames[static_cast<std::size_t>(slot)].data());
    }
    // The default action then ends the process with the signal's own status.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Registered names of one Commit; the handler is installed while any exist.
class TemporaryRegistry {
  public:
    TemporaryRegistry() {
        previousInt_ = std::signal(SIGINT, RemoveTemporariesAndDie);
        previousTerm_ = std::signal(SIGTERM, RemoveTemporariesAndDie);
    }
    ~TemporaryRegistry() {
        temporaryCount = 0;
        std::signal(SIGINT, previousInt_);
        std::signal(SIGTERM, previousTerm_);
    }
    TemporaryRegistry(const TemporaryRegistry&) = delete;
    TemporaryRegistry& operator=(const TemporaryRegistry&) = delete;

    // The template's slot, filled in place by mkstemp before it is counted.
    char* NextSlot(const std::string& name) {
        const auto slot = static_cast<std::size_t>(temporaryCount);
        if (slot >= kMostTemporaries || name.size() >= kLongestTemporaryName) {
            return nullptr;
        }
        std::copy(name.begin(), name.end(), temporaryNames[slot].begin());
        temporaryNames[slot][name.size()] = '\0';
        return temporaryNames[slot].data();
    }
    void Count() { temporaryCount = temporaryCount + 1; }

  private:
    using Handler = void (*)(int);
    Handler previousInt_;
    Handler previousTerm_;
};

// Holds SIGINT and SIGTERM back for its lifetime. Windows has no signal mask (it delivers
// Ctrl+C on a thread of its own), so there the moment between creating a temporary and
// registering it stays open.
class InterruptsHeld {
  public:
#if defined(_WIN32)
    InterruptsHeld() = default;
#else
    InterruptsHeld() {
        sigset_t interrupts;
        sigemptyset(&interrupts);
        sigaddset(&interrupts, SIGINT);
        sigaddset(&interrupts, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &interrupts, &previous_);
    }
    ~InterruptsHeld() {
        ::sigprocmask(SIG_SETMASK, &previous_, nullptr);
    }

  private:
    sigset_t previous_;
#endif
  public:
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;
};

bool SameFile(const std::string& path, const std::string& other) {
    std::error_code ec;
    if (fs::exists(path, ec) && fs::exists(other, ec)) {
        return fs::equivalent(path, other, ec);
    }
    return fs::weakly_canonical(path, ec) == fs::weakly_canonical(other, ec);
}

fs::path DirectoryOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

// A temporary file in the target's directory, so that the rename stays on one file system
// and is atomic. Returns its name; throws InputError when it cannot be written completely.
std::string WriteTemporary(const std::string& path, const std::string& content,
                           TemporaryRegistry& registry) {
    const fs::path target(path);
    const std::string pattern =
        (DirectoryOf(path) / ("." + target.filename().string() + ".tmp.XXXXXX")).string();
    char* slot = registry.NextSlot(pattern);
    if (slot == nullptr) {
        throw InputError(path, 0, "", "too many outputs, or a path too long, for one run");
    }
    int fd = -1;
    int createError = 0;
    {
        // The file and its slot appear together for the handler: a signal between the two
        // would leave the file unknown to it.
        [[maybe_unused]] const InterruptsHeld held;
        fd = ::mkstemp(slot);
        createError = errno;
        if (fd >= 0) {
            registry.Count();
        }
    }
    if (fd < 0) {
        throw InputError(
            path, 0, "",
            std::string("cannot create a file beside it: ") + std::strerror(createError));
    }
    const std::string name = slot;
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t wrote = ::write(fd, content.data() + written, content.size() - written);
        if (wrote <= 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(name.c_str());
            throw InputError(path, 0, "", std::string("cannot write: ") + std::strerror(error));
        }
        written += static_cast<std::size_t>(wrote);
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
    TemporaryRegistry registry;
    std::vector<std::string> temporaries;
    try {
        for (const Staged& file : staged_) {
            temporaries.push_back(WriteTemporary(file.path, file.content, registry));
        }
    } catch (...) {
        for (const std::string& name : temporaries) {
            ::unlink(name.c_str());
        }
        throw;
    }
    for (std::size_t file = 0; file < staged_.size(); ++file) {
        // filesystem::rename replaces an existing output on Windows too, where the C
        // library's rename refuses to.
        std::error_code error;
        fs::rename(temporaries[file], staged_[file].path, error);
        if (error) {
            for (std::size_t unrenamed = file; unrenamed < temporaries.size(); ++unrenamed) {
                ::unlink(temporaries[unrenamed].c_str());
            }
            throw InputError(staged_[file].path, 0, "", "cannot replace: " + error.message());
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
