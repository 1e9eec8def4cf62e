// Values of stored rows as the dump and the undo records write them: none,
// a decimal integer, or text in double quotes with \", \\ and \xNN
// (control bytes) escaped, so that no value can look like two.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "kx_backend.h"

namespace kx {

// A value of a stored row: none, an integer or text.
using RowValue = std::variant<std::monostate, std::int64_t, std::string>;

std::string quote(std::string_view text);
std::string render(const RowValue& value);
RowValue value_at(const Row& row, int col);
SqlArg as_arg(const RowValue& value);

// Reads one value written by render from the front of `text` and removes
// it; none when the text does not start with one.
std::optional<RowValue> take_value(std::string_view& text);

}  // namespace kx
