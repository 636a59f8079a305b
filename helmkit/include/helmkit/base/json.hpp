#pragma once

// nlohmann-json for the whole project: include this instead of <nlohmann/json.hpp>. The member
// functions of ordered_json, the type of every configuration, are compiled once, into helmkit
// (json_ordered_types.cpp), instead of again in every file that uses them: in the sanitizer
// builds that was about a third of compiling such a file. nlohmann::json, which few files use,
// is left to each of them.
#include <nlohmann/json.hpp>

extern template class nlohmann::basic_json<nlohmann::ordered_map>;
