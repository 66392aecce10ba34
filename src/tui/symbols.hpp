#pragma once
// The fixed one-cell symbols of borders, axes and plotted points.

#include "tui/buffer.hpp"

namespace vireo::tui::symbols {

inline constexpr Symbol HORIZONTAL{"─"};
inline constexpr Symbol VERTICAL{"│"};
inline constexpr Symbol TOP_LEFT{"┌"};
inline constexpr Symbol TOP_RIGHT{"┐"};
inline constexpr Symbol BOTTOM_LEFT{"└"};
inline constexpr Symbol BOTTOM_RIGHT{"┘"};
inline constexpr Symbol DOT{"•"};

}  // namespace vireo::tui::symbols
