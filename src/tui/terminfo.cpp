#include "tui/terminfo.hpp"

#include <curses.h>
#include <term.h>

namespace vireo::tui {

namespace {

bool has_capability(const char* name) {
    const char* value = tigetstr(name);
    return value != nullptr && value != reinterpret_cast<const char*>(-1);
}

}  // namespace

bool terminfo_entry_usable(const char* type, int fd) {
    // Asked before starting curses, which does not give back all it took for a missing entry.
    int error = 0;
    if (setupterm(type, fd, &error) != OK) {
        return false;
    }
    const bool usable = has_capability("cup") && has_capability("clear");
    del_curterm(cur_term);
    return usable;
}

}  // namespace vireo::tui
