#include "helmkit/base/json.hpp"

template class nlohmann::basic_json<nlohmann::ordered_map>;
