#include "tui/ncurses_backend.hpp"

namespace vireo::tui {

std::expected<std::unique_ptr<Backend>, IoError> open_ncurses_backend() {
    return std::unexpected(IoError::from_kind(IoErrorKind::Unsupported));
}

}  // namespace vireo::tui
