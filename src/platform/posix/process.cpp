#include "platform/process.hpp"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

namespace vireo::platform {

std::uint32_t process_id() {
    return static_cast<std::uint32_t>(::getpid());
}

std::optional<std::string> environment_variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

void ignore_file_size_limit_signal() {
    ::signal(SIGXFSZ, SIG_IGN);
}

void ignore_broken_pipe_signal() {
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace vireo::platform
