#pragma once

namespace tarvo {

// Names under which the program keeps its per-user settings and titles its boxes.
inline constexpr const char* kOrganizationName = "Tarvo";
inline constexpr const char* kApplicationTitle = "Tarvo Board Configuration Utility";

}  // namespace tarvo
