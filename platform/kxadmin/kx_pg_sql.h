// The store's statements are written with "?" markers, as SQLite takes
// them; PostgreSQL numbers its parameters.
#pragma once

#include <string>
#include <string_view>

namespace kx {

// `sql` with each "?" outside quotes ('text', "identifier") replaced by
// $1, $2, ... in order.
std::string numbered_parameters(std::string_view sql);

}  // namespace kx
