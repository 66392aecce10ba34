#pragma once
// Questions to the terminal database, kept apart from code that names things `columns` or
// `lines`, which its header takes as macros.

namespace vireo::tui {

// True when the database has an entry for `type` that can move the cursor and clear the screen.
// `fd` is the terminal it would drive.
bool terminfo_entry_usable(const char* type, int fd);

}  // namespace vireo::tui
