#include "platform/platform.h"

#include "compensation/tracing.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__APPLE__)
#include <mach-o/dyld.h>

#include <climits>
#include <cstdint>
#else
#include <unistd.h>

#include <climits>
#endif

namespace compensation::platform {

namespace {

bool IsSeparator(char c) {
#if defined(_WIN32)
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

constexpr char kSeparator =
#if defined(_WIN32)
    '\\';
#else
    '/';
#endif

std::string DirectoryOf(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) {
            return path.substr(0, i);
        }
    }
    return std::string();
}

std::string ExecutablePath() {
#if defined(_WIN32)
    char buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return (n > 0 && n < MAX_PATH) ? std::string(buffer, n) : std::string();
#elif defined(__APPLE__)
    char buffer[PATH_MAX];
    std::uint32_t size = sizeof(buffer);
    return _NSGetExecutablePath(buffer, &size) == 0 ? std::string(buffer) : std::string();
#else
    // readlink fills the whole buffer without a terminating zero when the path is longer: a
    // full buffer means a cut path, which is no directory to write to.
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer));
    return (n > 0 && static_cast<std::size_t>(n) < sizeof(buffer))
               ? std::string(buffer, static_cast<std::size_t>(n))
               : std::string();
#endif
}

std::string FormatLocalClock(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[16] = {};
    std::strftime(text, sizeof(text), format, &local);
    return text;
}

struct Resource {
    unsigned int id;
    const char* text;
};

// Message texts a host may raise through CQuorException by number.
constexpr Resource kResources[] = {
    {1, "Compensation did not converge."},
    {2, "The views do not cover the azimuth circle."},
    {3, "Too few usable measurements."},
    {4, "The measurement arrays do not fit the counts given."},
};

}  // namespace

std::string ExecutableDirectory() {
    return DirectoryOf(ExecutablePath());
}

std::string TraceDirectory() {
    const char* overridden = std::getenv("COMPENSATION_TRACE_DIR");
    if (overridden != nullptr && overridden[0] != '\0') {
        std::string dir(overridden);
        if (!IsSeparator(dir.back())) {
            dir.push_back(kSeparator);
        }
        return dir;
    }
    return ExecutableDirectory();
}

bool TraceSwitchedOff() {
    const char* value = std::getenv(kTraceSwitchVariable);
    if (value == nullptr) {
        return false;
    }
    std::string lower;
    for (const char* c = value; *c != '\0'; ++c) {
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*c))));
    }
    return lower == "0" || lower == "off" || lower == "no" || lower == "false";
}

std::string LocalDate() {
    return FormatLocalClock("%m/%d/%y");
}

std::string LocalTime() {
    return FormatLocalClock("%H:%M:%S");
}

std::string ResourceText(unsigned int id) {
    for (const Resource& resource : kResources) {
        if (resource.id == id) {
            return resource.text;
        }
    }
    return std::string();
}

}  // namespace compensation::platform
