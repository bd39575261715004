#pragma once

namespace korvidan::scan::messages {

inline constexpr const char* cannot_list_folder = "read_dir()呼び出し失敗";

// The exclusion marks without their leading separator, in the order they are tested.
inline constexpr const char* exclusion_mark_names[5] = {
    "WapselSELECT", "BrondikalSELECT", "GrevastonSELECT", "Mendolux4SELECT", "Mendolux4RVS"};

}  // namespace korvidan::scan::messages
