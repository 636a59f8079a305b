#pragma once

// nlohmann-json for the whole project: include this instead of <nlohmann/json.hpp>. The member
// functions of the two JSON types are compiled once, into helmkit (json_types.cpp and
// json_ordered_types.cpp), instead of again in every file that uses them: in the sanitizer
// builds that was about a third of compiling such a file.
#include <nlohmann/json.hpp>

extern template class nlohmann::basic_json<>;
extern template class nlohmann::basic_json<nlohmann::ordered_map>;
