#pragma once

namespace lumara {
inline constexpr const char* kProgramName = "Lumara";
inline constexpr const char* kVersionText = "Lumara 5.7";
} // namespace lumara
